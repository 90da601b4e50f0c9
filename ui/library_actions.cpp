#include "ui/library_actions.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>
#include <algorithm>
#include <atomic>
#include <memory>

#include "library/files/rename_pattern.h"
#include "library/journal/batches.h"
#include "library/journal/journal.h"
#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "ui/duplicates_dialog.h"
#include "ui/history_dialog.h"
#include "ui/library_panel.h"
#include "ui/rename_dialog.h"

namespace {

const QString kPatternKey = QStringLiteral("rename/pattern");

QString folderOf(const QByteArray& path) {
  return QFile::decodeName(path.left(path.lastIndexOf('/') + 1));
}

// The status line's verb for an undo of this kind.
QString undoneText(myzor::BatchKind kind) {
  switch (kind) {
    case myzor::BatchKind::rename:
      return LibraryActions::tr("given back their old names");
    case myzor::BatchKind::move:
      return LibraryActions::tr("moved back");
    case myzor::BatchKind::copy:
      return LibraryActions::tr("taken back (copies removed)");
    case myzor::BatchKind::trash:
      return LibraryActions::tr("restored from the trash");
  }
  return {};
}

}  // namespace

LibraryActions::LibraryActions(myzor::ReplayLibrary* library, LibraryPanel* panel,
                               QSettings& settings, QWidget* window)
    : QObject(window), m_library(library), m_panel(panel), m_settings(settings), m_window(window) {
  m_choose_folder = [this](const QString& title) {
    return QFileDialog::getExistingDirectory(m_window, title, QFile::decodeName(m_library->root()));
  };
  m_choose_export = [this](const QStringList& filters, QString* picked) {
    const QString start =
        QDir(QFile::decodeName(m_library->root())).filePath(QStringLiteral("replays.csv"));
    return QFileDialog::getSaveFileName(m_window, tr("Export replays"), start,
                                        filters.join(QStringLiteral(";;")), picked);
  };
  m_choose_clash = [this](int clashes) -> std::optional<myzor::ClashPolicy> {
    QMessageBox box(QMessageBox::Question, tr("Names taken"),
                    clashes == 1
                        ? tr("1 replay has a name already taken in that folder.")
                        : tr("%1 replays have names already taken in that folder.").arg(clashes),
                    QMessageBox::NoButton, m_window);
    box.setObjectName(QStringLiteral("dlg_clash"));
    box.setInformativeText(tr("No file there is replaced."));
    QPushButton* skip = box.addButton(tr("Skip those"), QMessageBox::AcceptRole);
    QPushButton* both = box.addButton(tr("Keep both"), QMessageBox::AcceptRole);
    box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.exec();
    if (box.clickedButton() == skip) return myzor::ClashPolicy::skip;
    if (box.clickedButton() == both) return myzor::ClashPolicy::keep_both;
    return std::nullopt;
  };

  QTableView* table = panel->table();
  m_actions.rename = addAction("act_rename", tr("Rename by pattern…"), QKeySequence(Qt::Key_F2),
                               &LibraryActions::renameSelected);
  m_actions.trash = addAction("act_trash", tr("Move to trash"), QKeySequence(Qt::Key_Delete),
                              &LibraryActions::trashSelected);
  m_actions.copy_to =
      addAction("act_copy_to", tr("Copy to folder…"), {}, &LibraryActions::copySelected);
  m_actions.move_to =
      addAction("act_move_to", tr("Move to folder…"), {}, &LibraryActions::moveSelected);
  // Copy (Ctrl+C) stays the table's own: it copies the cell.
  m_actions.show_folder = addAction("act_show_folder", tr("Show in file manager"), {},
                                    &LibraryActions::showInFileManager);
  m_actions.copy_path =
      addAction("act_copy_path", tr("Copy path"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                &LibraryActions::copyPaths);
  m_selection_actions = {m_actions.rename,  m_actions.trash,       m_actions.copy_to,
                         m_actions.move_to, m_actions.show_folder, m_actions.copy_path};
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  table->addAction(separator);
  m_actions.undo =
      addAction("act_undo", tr("Undo"), QKeySequence::Undo, &LibraryActions::undoRename);
  m_actions.undo->setToolTip(tr("Take back the last rename, move, copy or move to trash (Ctrl+Z)"));
  m_actions.find_duplicates =
      addAction("act_find_duplicates", tr("Find duplicates…"), {}, &LibraryActions::findDuplicates);
  m_actions.find_duplicates->setToolTip(
      tr("List the selected replays that are byte for byte the same"));
  m_selection_actions += m_actions.find_duplicates;
  m_actions.history = addAction("act_history", tr("History…"), QKeySequence(Qt::CTRL | Qt::Key_H),
                                &LibraryActions::showHistory);
  m_actions.history->setToolTip(
      tr("Past renames, moves, copies and trashings; any of them can be undone (Ctrl+H)"));
  m_actions.export_rows = addAction("act_export", tr("Export…"), QKeySequence(Qt::CTRL | Qt::Key_E),
                                    &LibraryActions::exportShown);
  m_actions.export_rows->setToolTip(
      tr("Write the replays shown to a CSV or JSON Lines file (Ctrl+E)"));
  m_actions.read_rest =
      addAction("act_read_rest", tr("Read the rest"), {}, &LibraryActions::readRest);
  m_actions.read_rest->setToolTip(tr("Read the replays left unread when reading was stopped"));
  panel->setReadRestAction(m_actions.read_rest);
  connect(library, &myzor::ReplayLibrary::started, this, &LibraryActions::updateActions);
  connect(library, &myzor::ReplayLibrary::finished, this, &LibraryActions::updateActions);
  table->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(library, &myzor::ReplayLibrary::rowsRead, this, &LibraryActions::selectArrived);
  connect(library, &myzor::ReplayLibrary::rowsRemoved, this, [this] {
    const int row = std::exchange(m_neighbour_row, -1);
    const int count = m_panel->filter()->rowCount();
    if (row >= 0 && count > 0)
      m_panel->table()->setCurrentIndex(m_panel->filter()->index(std::min(row, count - 1), 0));
  });
  updateActions();
  // After the window is up: the journal is read on a worker.
  QTimer::singleShot(0, this, [this] { checkJournal(true); });
}

LibraryActions::~LibraryActions() {
  m_closing = true;
  m_pool.waitForDone();
}

QAction* LibraryActions::addAction(const char* name, const QString& text, const QKeySequence& keys,
                                   void (LibraryActions::*slot)()) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(keys);
  // Delete in the search field deletes a character, not a replay.
  action->setShortcutContext(Qt::WidgetShortcut);
  connect(action, &QAction::triggered, this, slot);
  m_panel->table()->addAction(action);
  return action;
}

void LibraryActions::updateActions() {
  for (QAction* action : std::as_const(m_selection_actions)) action->setEnabled(!m_busy);
  m_actions.undo->setEnabled(!m_busy && m_undoable);
  if (m_history) m_history->setBusy(m_busy);
  m_actions.export_rows->setEnabled(!m_busy);
  m_actions.read_rest->setEnabled(!m_library->isRunning() && m_library->model()->unreadCount() > 0);
}

void LibraryActions::readRest() {
  m_library->readRest();
  updateActions();
}

std::vector<myzor::ReplayRow> LibraryActions::selectedRows() const {
  QModelIndexList selected = m_panel->table()->selectionModel()->selectedRows();
  // In the order shown, which {n} counts in.
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<myzor::ReplayRow> rows;
  for (const QModelIndex& index : selected)
    rows.push_back(m_library->model()->row(m_panel->filter()->mapToSource(index).row()));
  return rows;
}

std::vector<myzor::ReplayRow> LibraryActions::shownRows() const {
  std::vector<myzor::ReplayRow> rows;
  const myzor::LibraryFilter* filter = m_panel->filter();
  for (int row = 0; row < filter->rowCount(); ++row)
    rows.push_back(m_library->model()->row(filter->mapToSource(filter->index(row, 0)).row()));
  return rows;
}

void LibraryActions::run(std::function<void()> work, std::function<void()> done) {
  m_busy = true;
  updateActions();
  auto* watcher = new QFutureWatcher<void>(this);
  connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, done = std::move(done)] {
    watcher->deleteLater();
    m_busy = false;
    updateActions();
    done();
  });
  watcher->setFuture(QtConcurrent::run(&m_pool, std::move(work)));
}

void LibraryActions::finish(const std::vector<myzor::FileResult>& results, const QString& done,
                            bool sources_gone) {
  QList<QByteArray> paths;
  m_reselect.clear();
  const QByteArray root =
      m_library->root().endsWith('/') ? m_library->root() : m_library->root() + '/';
  for (const myzor::FileResult& result : results) {
    paths.append(result.path);
    if (result.new_path.isEmpty()) continue;
    paths.append(result.new_path);
    if (sources_gone && result.new_path.startsWith(root)) m_reselect.insert(result.new_path);
  }
  QTableView* table = m_panel->table();
  const int current_row = table->currentIndex().row();
  // Without this the view steps its current row through the rows of files
  // that are gone, and each would be opened on the way.
  if (sources_gone) {
    table->selectionModel()->clearCurrentIndex();
    table->clearSelection();
  }
  // A file that left the folder: its neighbour takes its place, as in a file
  // manager, once its row has gone.
  m_neighbour_row = sources_gone && m_reselect.isEmpty() ? current_row : -1;
  m_library->refresh(paths);
  emit filesChanged();
  emit message(myzor::Summary(results, done));
}

void LibraryActions::selectArrived(const std::vector<myzor::ReplayRow>& rows) {
  if (m_reselect.isEmpty()) return;
  QItemSelection selection;
  QModelIndex first;
  for (const myzor::ReplayRow& row : rows) {
    if (!m_reselect.remove(row.file.path)) continue;
    const int source_row = m_library->model()->rowOf(row.file.path);
    const QModelIndex index =
        m_panel->filter()->mapFromSource(m_library->model()->index(source_row, 0));
    if (!index.isValid()) continue;
    selection.select(index, index);
    if (!first.isValid()) first = index;
  }
  if (!first.isValid()) return;
  QItemSelectionModel* model = m_panel->table()->selectionModel();
  model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
  model->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void LibraryActions::renameSelected() {
  std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty() || m_busy) return;
  const QString pattern =
      m_settings.value(kPatternKey, QString::fromLatin1(myzor::kDefaultRenamePattern)).toString();
  auto* dialog = new RenameDialog(std::move(rows), pattern, m_window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    m_settings.setValue(kPatternKey, dialog->patternText());
    auto outcome = std::make_shared<myzor::BatchOutcome>();
    run(
        [plan = dialog->plan(), outcome] {
          myzor::Journal journal;
          *outcome = myzor::JournaledRename(journal, plan);
        },
        [this, outcome] { finishBatch(*outcome, tr("renamed"), true); });
  });
  dialog->open();
}

void LibraryActions::undoRename() { takeBack(std::nullopt); }

void LibraryActions::finishBatch(const myzor::BatchOutcome& outcome, const QString& done,
                                 bool sources_gone) {
  if (!outcome.refused.isEmpty()) {
    emit message(outcome.refused);
    return;
  }
  m_undoable = true;
  updateActions();
  finish(outcome.results, done, sources_gone);
  refreshHistory();
}

void LibraryActions::takeBack(std::optional<qint64> batch, bool finish_it) {
  if (m_busy) return;
  struct Work {
    myzor::BatchOutcome outcome;
    std::optional<myzor::JournalBatch> batch;
    bool more = false;  // something left to undo afterwards
  };
  auto work = std::make_shared<Work>();
  run(
      [batch, finish_it, work] {
        myzor::Journal journal;
        // A batch cut short is the last one, whatever came before it.
        work->batch = batch ? journal.batch(*batch) : journal.interrupted();
        if (!work->batch && !batch) work->batch = journal.lastUndoable();
        if (!work->batch) {
          work->outcome.refused = journal.isOpen() ? tr("Nothing to undo")
                                                   : tr("Nothing to undo: %1").arg(journal.error());
          return;
        }
        work->outcome = finish_it ? myzor::FinishBatch(journal, work->batch->id)
                                  : myzor::UndoBatch(journal, work->batch->id);
        work->more = journal.lastUndoable().has_value();
      },
      [this, finish_it, work] {
        m_undoable = work->more;
        updateActions();
        if (!work->outcome.refused.isEmpty()) {
          emit message(work->outcome.refused);
        } else {
          finish(work->outcome.results,
                 finish_it ? tr("done, the batch is finished") : undoneText(work->batch->kind),
                 true);
        }
        refreshHistory();
      });
}

void LibraryActions::readJournal(std::function<void()> work, std::function<void()> done) {
  auto* watcher = new QFutureWatcher<void>(this);
  connect(watcher, &QFutureWatcher<void>::finished, this, [watcher, done = std::move(done)] {
    watcher->deleteLater();
    done();
  });
  watcher->setFuture(QtConcurrent::run(&m_pool, std::move(work)));
}

void LibraryActions::checkJournal(bool offer_recovery) {
  struct Found {
    std::optional<myzor::JournalBatch> cut_short;
    bool undoable = false;
    QString error;
  };
  auto found = std::make_shared<Found>();
  readJournal(
      [found] {
        myzor::Journal journal;
        found->cut_short = journal.interrupted();
        found->undoable = journal.lastUndoable().has_value();
        found->error = journal.isOpen() ? QString() : journal.error();
      },
      [this, found, offer_recovery] {
        m_undoable = found->undoable;
        updateActions();
        if (!found->error.isEmpty())
          emit message(tr("The journal cannot be used: %1").arg(found->error));
        if (offer_recovery && found->cut_short) offerRecovery(*found->cut_short);
      });
}

void LibraryActions::offerRecovery(const myzor::JournalBatch& batch) {
  auto* box = new QMessageBox(QMessageBox::Warning, tr("A batch did not finish"),
                              tr("A %1 did not finish: %2 of %3 files were done when it stopped.")
                                  .arg(myzor::DescribeBatch(batch).section(QLatin1Char(':'), 0, 0))
                                  .arg(batch.done)
                                  .arg(batch.total),
                              QMessageBox::NoButton, m_window);
  box->setObjectName(QStringLiteral("dlg_recover"));
  box->setInformativeText(
      tr("Undo puts every file back where it was; Finish completes the batch. "
         "Nothing is overwritten either way."));
  QPushButton* undo = box->addButton(tr("&Undo"), QMessageBox::AcceptRole);
  QPushButton* complete = box->addButton(tr("&Finish"), QMessageBox::AcceptRole);
  QPushButton* later = box->addButton(tr("Later"), QMessageBox::RejectRole);
  box->setDefaultButton(undo);
  box->setEscapeButton(later);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, box, undo, complete, id = batch.id] {
    if (box->clickedButton() == undo || box->clickedButton() == complete)
      takeBack(id, box->clickedButton() == complete);
  });
  box->open();
}

void LibraryActions::showHistory() {
  if (!m_history) {
    m_history = new HistoryDialog(m_window);
    m_history->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_history, &HistoryDialog::undoRequested, this,
            [this](qint64 batch) { takeBack(batch); });
  }
  m_history->setBusy(m_busy);
  m_history->show();
  m_history->raise();
  refreshHistory();
}

void LibraryActions::refreshHistory() {
  if (!m_history) return;
  struct Read {
    std::vector<myzor::JournalBatch> batches;
    QString error;
  };
  auto read = std::make_shared<Read>();
  readJournal(
      [read] {
        myzor::Journal journal;
        read->batches = journal.batches();
        read->error = journal.error();
      },
      [this, read] {
        if (m_history) m_history->setBatches(read->batches, read->error);
      });
}

void LibraryActions::findDuplicates() {
  if (m_busy) return;
  // The selection when it holds more than one replay, else every row shown.
  std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.size() < 2) rows = shownRows();
  emit message(tr("Looking for duplicates among %1 replays…").arg(rows.size()));
  auto search = std::make_shared<myzor::DuplicateSearch>();
  const int count = static_cast<int>(rows.size());
  run([this, rows = std::move(rows), search] { *search = myzor::FindDuplicates(rows, &m_closing); },
      [this, search, count] {
        auto* dialog = new DuplicatesDialog(*search, count, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &DuplicatesDialog::trashRequested, this, &LibraryActions::trashPaths);
        emit message(search->groups.empty()
                         ? tr("No duplicates found")
                         : tr("%1 groups of duplicates found").arg(search->groups.size()));
        dialog->open();
      });
}

void LibraryActions::trashPaths(const std::vector<QByteArray>& paths) {
  if (paths.empty() || m_busy) return;
  auto outcome = std::make_shared<myzor::BatchOutcome>();
  run(
      [paths, outcome] {
        myzor::Journal journal;
        *outcome = myzor::JournaledTrash(journal, paths);
        // The trash is no place to select rows in.
        for (myzor::FileResult& result : outcome->results) result.new_path.clear();
      },
      [this, outcome] { finishBatch(*outcome, tr("moved to the trash"), true); });
}

void LibraryActions::trashSelected() {
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty() || m_busy) return;
  std::vector<QByteArray> paths;
  for (const myzor::ReplayRow& row : rows) paths.push_back(row.file.path);
  auto* box =
      new QMessageBox(QMessageBox::Question, tr("Move to trash"),
                      rows.size() == 1 ? tr("Move %1 to the trash?").arg(rows.front().relative_path)
                                       : tr("Move %1 replays to the trash?").arg(rows.size()),
                      QMessageBox::NoButton, m_window);
  box->setObjectName(QStringLiteral("dlg_confirm_trash"));
  box->setInformativeText(tr("They can be restored from the desktop's trash."));
  QPushButton* trash = box->addButton(tr("Move to &Trash"), QMessageBox::AcceptRole);
  QPushButton* cancel = box->addButton(QMessageBox::Cancel);
  box->setDefaultButton(cancel);
  box->setEscapeButton(cancel);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, box, trash, paths] {
    if (box->clickedButton() == trash) trashPaths(paths);
  });
  box->open();
}

void LibraryActions::copySelected() { copyOrMove(false); }

void LibraryActions::moveSelected() { copyOrMove(true); }

void LibraryActions::copyOrMove(bool move) {
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty() || m_busy) return;
  const QString folder =
      m_choose_folder(move ? tr("Move replays to folder") : tr("Copy replays to folder"));
  if (folder.isEmpty()) return;
  const QByteArray target = QFile::encodeName(QDir(folder).absolutePath());
  std::vector<QByteArray> paths;
  qint64 total = 0;
  for (const myzor::ReplayRow& row : rows) {
    paths.push_back(row.file.path);
    total += row.file.size;
  }
  myzor::ClashPolicy policy = myzor::ClashPolicy::keep_both;
  if (const int clashes = myzor::CountClashes(paths, target); clashes > 0) {
    const std::optional<myzor::ClashPolicy> chosen = m_choose_clash(clashes);
    if (!chosen) return;
    policy = *chosen;
  }

  const QString count = rows.size() == 1 ? tr("1 replay") : tr("%1 replays").arg(rows.size());
  auto* progress =
      new QProgressDialog(move ? tr("Moving %1…").arg(count) : tr("Copying %1…").arg(count),
                          tr("Cancel"), 0, 1000, m_window);
  progress->setObjectName(QStringLiteral("dlg_progress"));
  progress->setAccessibleName(move ? tr("Moving replays") : tr("Copying replays"));
  progress->setWindowModality(Qt::WindowModal);
  progress->setMinimumDuration(500);
  progress->setAutoClose(false);
  progress->setAutoReset(false);
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  connect(progress, &QProgressDialog::canceled, this, [cancelled] { cancelled->store(true); });
  const QPointer<QProgressDialog> shown(progress);

  auto outcome = std::make_shared<myzor::BatchOutcome>();
  run(
      [this, move, paths, total, target, policy, cancelled, outcome, shown] {
        qint64 before = 0;
        qint64 current = 0;  // the size of the file being copied
        int last = -1;
        // A cancel stops the file being copied and every one after it.
        const myzor::CopyProgress step = [&](std::int64_t done, std::int64_t size) {
          if (done == 0) before += std::exchange(current, size);
          const qint64 all = before + done;
          const int permille =
              total > 0 ? static_cast<int>(std::min<qint64>(all * 1000 / total, 1000)) : 1000;
          if (permille != std::exchange(last, permille))
            QMetaObject::invokeMethod(
                this,
                [shown, permille] {
                  if (shown) shown->setValue(permille);
                },
                Qt::QueuedConnection);
          return !cancelled->load() && !m_closing;
        };
        myzor::Journal journal;
        *outcome =
            myzor::JournaledCopy(journal, move ? myzor::BatchKind::move : myzor::BatchKind::copy,
                                 paths, target, step, policy);
      },
      [this, move, outcome, shown] {
        delete shown.data();
        finishBatch(*outcome, move ? tr("moved") : tr("copied"), move);
      });
}

void LibraryActions::showInFileManager() {
  const QModelIndex current = m_panel->table()->currentIndex();
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty()) return;
  const QByteArray path = current.isValid()
                              ? current.data(myzor::LibraryModel::PathRole).toByteArray()
                              : rows.front().file.path;
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folderOf(path))))
    emit message(tr("%1: no file manager could be started").arg(folderOf(path)));
}

void LibraryActions::copyPaths() {
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty()) return;
  QStringList paths;
  for (const myzor::ReplayRow& row : rows) paths.append(QFile::decodeName(row.file.path));
  QGuiApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
  emit message(paths.size() == 1 ? tr("Path copied") : tr("%1 paths copied").arg(paths.size()));
}

void LibraryActions::exportShown() {
  if (m_busy) return;
  const QStringList filters{tr("CSV (*.csv)"), tr("JSON Lines (*.jsonl)")};
  QString picked = filters.front();
  QString path = m_choose_export(filters, &picked);
  if (path.isEmpty()) return;
  // A name that says which it is wins over the filter picked.
  const QString suffix = QFileInfo(path).suffix().toLower();
  const bool json =
      suffix == QLatin1String("jsonl") || (suffix != QLatin1String("csv") && picked == filters[1]);
  if (suffix.isEmpty()) path += json ? QStringLiteral(".jsonl") : QStringLiteral(".csv");

  auto error = std::make_shared<QString>();
  const qsizetype count = m_panel->filter()->rowCount();
  run(
      [rows = shownRows(), json, path, error] {
        *error =
            myzor::WriteExport(path, json ? myzor::RowsToJsonLines(rows) : myzor::RowsToCsv(rows));
      },
      [this, path, count, error] {
        const QString done = count == 1 ? tr("1 replay exported to %1").arg(path)
                                        : tr("%1 replays exported to %2").arg(count).arg(path);
        emit message(error->isEmpty() ? done : *error);
      });
}
