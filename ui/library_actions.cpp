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

#include "library/core/paths.h"
#include "library/files/rename_pattern.h"
#include "library/journal/journal.h"
#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "ui/batch_controller.h"
#include "ui/duplicates_dialog.h"
#include "ui/history_dialog.h"
#include "ui/library_panel.h"
#include "ui/rename_dialog.h"

namespace {

const QString kPatternKey = QStringLiteral("rename/pattern");

QString folderOf(const QByteArray& path) {
  return QFile::decodeName(path.left(path.lastIndexOf('/') + 1));
}

// "12 replays renamed, 2 skipped, 1 failed: a.rec: Permission denied"; `done` is the
// past participle of the operation ("renamed", "copied", ...).
QString summaryText(const std::vector<myzor::FileResult>& results, const QString& done) {
  const int ok = static_cast<int>(
      std::count_if(results.begin(), results.end(), [](const auto& r) { return r.ok; }));
  const int skipped = static_cast<int>(
      std::count_if(results.begin(), results.end(), [](const auto& r) { return r.skipped; }));
  const int failures = static_cast<int>(results.size()) - ok - skipped;
  QString text = LibraryActions::tr("%n replay(s) %1", nullptr, ok).arg(done);
  if (skipped > 0) text += LibraryActions::tr(", %n skipped", nullptr, skipped);
  if (failures == 0) return text;
  QStringList shown;
  for (const myzor::FileResult& result : results) {
    if (result.ok || result.skipped) continue;
    if (shown.size() == 3) {
      shown.append(LibraryActions::tr("and %n more", nullptr, failures - 3));
      break;
    }
    shown.append(LibraryActions::tr("%1: %2").arg(myzor::DisplayName(myzor::NameOf(result.path)),
                                                  result.error));
  }
  return text + LibraryActions::tr(", %n failed: %1", nullptr, failures)
                    .arg(shown.join(QStringLiteral("; ")));
}

// What a batch did, for the status line.
QString reportText(const BatchReport& report) {
  using Step = BatchReport::Step;
  if (report.nothing_to_undo)
    return report.journal_error.isEmpty()
               ? LibraryActions::tr("Nothing to undo")
               : LibraryActions::tr("Nothing to undo: %1").arg(report.journal_error);
  if (report.refused)
    return LibraryActions::tr("Nothing was changed: %1")
        .arg(report.journal_error.isEmpty() ? LibraryActions::tr("the journal cannot be used")
                                            : report.journal_error);
  QString done;
  switch (report.step) {
    case Step::rename:
      done = LibraryActions::tr("renamed");
      break;
    case Step::trash:
      done = LibraryActions::tr("moved to the trash");
      break;
    case Step::copy:
      done = LibraryActions::tr("copied");
      break;
    case Step::move:
      done = LibraryActions::tr("moved");
      break;
    case Step::finish:
      done = LibraryActions::tr("done, the batch is finished");
      break;
    case Step::undo:
      switch (report.kind) {
        case myzor::BatchKind::rename:
          done = LibraryActions::tr("given back their old names");
          break;
        case myzor::BatchKind::move:
          done = LibraryActions::tr("moved back");
          break;
        case myzor::BatchKind::copy:
          done = LibraryActions::tr("taken back (copies removed)");
          break;
        case myzor::BatchKind::trash:
          done = LibraryActions::tr("restored from the trash");
          break;
        case myzor::BatchKind::notes:
        case myzor::BatchKind::players:
          done = LibraryActions::tr("given back what they held before");
          break;
      }
      break;
  }
  return summaryText(report.results, done);
}

}  // namespace

// The questions of a batch, asked with the desktop's dialogs over the window.
class LibraryActions::WindowQuestions : public BatchQuestions {
 public:
  explicit WindowQuestions(LibraryActions* actions) : m_actions(actions) {}

  void confirmTrash(const std::vector<myzor::ReplayRow>& rows,
                    std::function<void(bool)> answer) override {
    QWidget* window = m_actions->m_window;
    auto* box = new QMessageBox(
        QMessageBox::Question, LibraryActions::tr("Move to trash"),
        rows.size() == 1
            ? LibraryActions::tr("Move %1 to the trash?").arg(rows.front().relative_path)
            : LibraryActions::tr("Move %n replays to the trash?", nullptr, int(rows.size())),
        QMessageBox::NoButton, window);
    box->setObjectName(QStringLiteral("dlg_confirm_trash"));
    box->setInformativeText(LibraryActions::tr("They can be restored from the desktop's trash."));
    QPushButton* trash =
        box->addButton(LibraryActions::tr("Move to &Trash"), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(
        box, &QMessageBox::finished, m_actions,
        [box, trash, answer = std::move(answer)] { answer(box->clickedButton() == trash); });
    box->open();
  }

  QString chooseFolder(bool move) override {
    const QString title = move ? LibraryActions::tr("Move replays to folder")
                               : LibraryActions::tr("Copy replays to folder");
    const QString folder = choose_folder ? choose_folder(title)
                                         : QFileDialog::getExistingDirectory(
                                               m_actions->m_window, title,
                                               QFile::decodeName(m_actions->m_library->root()));
    return folder.isEmpty() ? folder : QDir(folder).absolutePath();
  }

  std::optional<myzor::ClashPolicy> chooseClash(int clashes) override {
    if (choose_clash) return choose_clash(clashes);
    QMessageBox box(QMessageBox::Question, LibraryActions::tr("Names taken"),
                    LibraryActions::tr("%n replay(s) already have a name taken in that folder.",
                                       nullptr, clashes),
                    QMessageBox::NoButton, m_actions->m_window);
    box.setObjectName(QStringLiteral("dlg_clash"));
    box.setInformativeText(LibraryActions::tr("No file there is replaced."));
    QPushButton* skip = box.addButton(LibraryActions::tr("Skip those"), QMessageBox::AcceptRole);
    QPushButton* both = box.addButton(LibraryActions::tr("Keep both"), QMessageBox::AcceptRole);
    box.addButton(LibraryActions::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.exec();
    if (box.clickedButton() == skip) return myzor::ClashPolicy::skip;
    if (box.clickedButton() == both) return myzor::ClashPolicy::keep_both;
    return std::nullopt;
  }

  void offerRecovery(const myzor::JournalBatch& batch,
                     std::function<void(Recovery)> answer) override {
    auto* box = new QMessageBox(
        QMessageBox::Warning, LibraryActions::tr("A batch did not finish"),
        LibraryActions::tr("A %1 did not finish: %2 of %3 files were done when it stopped.")
            .arg(kindText(batch.kind))
            .arg(batch.done)
            .arg(batch.total),
        QMessageBox::NoButton, m_actions->m_window);
    box->setObjectName(QStringLiteral("dlg_recover"));
    box->setInformativeText(
        LibraryActions::tr("Undo puts every file back where it was; Finish completes the batch. "
                           "Nothing is overwritten either way."));
    QPushButton* undo = box->addButton(LibraryActions::tr("&Undo"), QMessageBox::AcceptRole);
    QPushButton* complete = box->addButton(LibraryActions::tr("&Finish"), QMessageBox::AcceptRole);
    QPushButton* later = box->addButton(LibraryActions::tr("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(undo);
    box->setEscapeButton(later);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, m_actions,
                     [box, undo, complete, answer = std::move(answer)] {
                       answer(box->clickedButton() == undo       ? Recovery::undo
                              : box->clickedButton() == complete ? Recovery::finish
                                                                 : Recovery::later);
                     });
    box->open();
  }

  void progressStarted(bool move, int files) override {
    delete m_progress.data();
    m_progress =
        new QProgressDialog(move ? LibraryActions::tr("Moving %n replay(s)…", nullptr, files)
                                 : LibraryActions::tr("Copying %n replay(s)…", nullptr, files),
                            LibraryActions::tr("Cancel"), 0, 1000, m_actions->m_window);
    m_progress->setObjectName(QStringLiteral("dlg_progress"));
    m_progress->setAccessibleName(move ? LibraryActions::tr("Moving replays")
                                       : LibraryActions::tr("Copying replays"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(500);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    QObject::connect(m_progress, &QProgressDialog::canceled, m_actions,
                     [this] { m_actions->m_batches->cancel(); });
  }
  void progressMoved(int permille) override {
    if (m_progress) m_progress->setValue(permille);
  }
  void progressEnded() override { delete m_progress.data(); }

  FolderChooser choose_folder;
  ClashChooser choose_clash;

 private:
  // The kind of a batch as the sentence above names it.
  static QString kindText(myzor::BatchKind kind) {
    switch (kind) {
      case myzor::BatchKind::rename:
        return LibraryActions::tr("rename");
      case myzor::BatchKind::move:
        return LibraryActions::tr("move");
      case myzor::BatchKind::copy:
        return LibraryActions::tr("copy");
      case myzor::BatchKind::trash:
        return LibraryActions::tr("move to the trash");
      case myzor::BatchKind::notes:
        return LibraryActions::tr("edit of tags and notes");
      case myzor::BatchKind::players:
        return LibraryActions::tr("edit of players");
    }
    return {};
  }

  LibraryActions* const m_actions;
  QPointer<QProgressDialog> m_progress;
};

void LibraryActions::setFolderChooser(FolderChooser chooser) {
  m_questions->choose_folder = std::move(chooser);
}

void LibraryActions::setClashChooser(ClashChooser chooser) {
  m_questions->choose_clash = std::move(chooser);
}

LibraryActions::LibraryActions(myzor::ReplayLibrary* library, LibraryPanel* panel,
                               QSettings& settings, QWidget* window)
    : QObject(window), m_library(library), m_panel(panel), m_settings(settings), m_window(window) {
  m_questions = std::make_unique<WindowQuestions>(this);
  m_batches = new BatchController(library, m_questions.get(), this);
  connect(m_batches, &BatchController::busyChanged, this, &LibraryActions::updateActions);
  connect(m_batches, &BatchController::undoableChanged, this, &LibraryActions::updateActions);
  connect(m_batches, &BatchController::finished, this, &LibraryActions::batchEnded);
  connect(m_batches, &BatchController::journalProblem, this, [this](const QString& error) {
    emit message(tr("The journal cannot be used: %1").arg(error));
  });
  connect(m_batches, &BatchController::historyRead, this,
          [this](const std::vector<myzor::JournalBatch>& batches, const QString& error) {
            if (m_history) m_history->setBatches(batches, error);
          });
  m_choose_export = [this](const QStringList& filters, QString* picked) {
    const QString start =
        QDir(QFile::decodeName(m_library->root())).filePath(QStringLiteral("replays.csv"));
    return QFileDialog::getSaveFileName(m_window, tr("Export replays"), start,
                                        filters.join(QStringLiteral(";;")), picked);
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
  m_actions.undo->setToolTip(tr(
      "Take back the last rename, move, copy, move to trash or edit of tags and notes (Ctrl+Z)"));
  m_actions.find_duplicates =
      addAction("act_find_duplicates", tr("Find duplicates…"), {}, &LibraryActions::findDuplicates);
  m_actions.find_duplicates->setToolTip(
      tr("List the selected replays that are byte for byte the same"));
  m_selection_actions += m_actions.find_duplicates;
  m_actions.history = addAction("act_history", tr("History…"), QKeySequence(Qt::CTRL | Qt::Key_H),
                                &LibraryActions::showHistory);
  m_actions.history->setToolTip(
      tr("Past renames, moves, copies, trashings and edits of tags and notes; any of them can be "
         "undone (Ctrl+H)"));
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
  // An edit of tags or notes is the newest batch, to be undone as any.
  connect(library, &myzor::ReplayLibrary::notesEdited, this, [this](qint64 batch) {
    if (batch != 0) m_batches->checkJournal(false);
    refreshHistory();
  });
  updateActions();
  // After the window is up: the journal is read on a worker.
  QTimer::singleShot(0, this, [this] { m_batches->checkJournal(true); });
}

// The controller goes first, while the questions it may still ask are there.
LibraryActions::~LibraryActions() { delete m_batches; }

bool LibraryActions::isBusy() const { return m_batches->isBusy(); }

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
  const bool busy = m_batches->isBusy();
  for (QAction* action : std::as_const(m_selection_actions)) action->setEnabled(!busy);
  m_actions.undo->setEnabled(!busy && m_batches->canUndo());
  if (m_history) m_history->setBusy(busy);
  m_actions.export_rows->setEnabled(!busy);
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

void LibraryActions::batchEnded(const BatchReport& report) {
  const QString text = reportText(report);
  // Files renamed, moved, copied or trashed took their data along; an undo
  // may have given data back.
  m_library->reloadNotes();
  if (report.refused || report.nothing_to_undo) {
    emit message(text);
    refreshHistory();
    return;
  }
  m_reselect.clear();
  const QByteArray root =
      m_library->root().endsWith('/') ? m_library->root() : m_library->root() + '/';
  for (const myzor::FileResult& result : report.results) {
    if (report.sources_gone && !result.new_path.isEmpty() && result.new_path.startsWith(root))
      m_reselect.insert(result.new_path);
  }
  QTableView* table = m_panel->table();
  const int current_row = table->currentIndex().row();
  // Without this the view steps its current row through the rows of files
  // that are gone, and each would be opened on the way.
  if (report.sources_gone) {
    table->selectionModel()->clearCurrentIndex();
    table->clearSelection();
  }
  // A file that left the folder: its neighbour takes its place, as in a file
  // manager, once its row has gone.
  m_neighbour_row = report.sources_gone && m_reselect.isEmpty() ? current_row : -1;
  emit filesChanged();
  emit message(text);
  refreshHistory();
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
  if (rows.empty() || isBusy()) return;
  const QString pattern =
      m_settings.value(kPatternKey, QString::fromLatin1(myzor::kDefaultRenamePattern)).toString();
  auto* dialog = new RenameDialog(std::move(rows), pattern, m_window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    m_settings.setValue(kPatternKey, dialog->patternText());
    m_batches->rename(dialog->plan());
  });
  dialog->open();
}

void LibraryActions::undoRename() { m_batches->undo(); }

void LibraryActions::showHistory() {
  if (!m_history) {
    m_history = new HistoryDialog(m_window);
    m_history->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_history, &HistoryDialog::undoRequested, this,
            [this](qint64 batch) { m_batches->undo(batch); });
  }
  m_history->setBusy(isBusy());
  m_history->show();
  m_history->raise();
  refreshHistory();
}

void LibraryActions::refreshHistory() {
  if (m_history) m_batches->readHistory();
}

void LibraryActions::findDuplicates() {
  if (isBusy()) return;
  // The selection when it holds more than one replay, else every row shown.
  std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.size() < 2) rows = shownRows();
  emit message(tr("Looking for duplicates among %n replay(s)…", nullptr, int(rows.size())));
  auto search = std::make_shared<myzor::DuplicateSearch>();
  const int count = static_cast<int>(rows.size());
  m_batches->runExclusive(
      [closing = m_batches->closing(), rows = std::move(rows), search] {
        *search = myzor::FindDuplicates(rows, closing);
      },
      [this, search, count] {
        auto* dialog = new DuplicatesDialog(*search, count, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &DuplicatesDialog::trashRequested, m_batches, &BatchController::trashPaths);
        emit message(search->groups.empty() ? tr("No duplicates found")
                                            : tr("%n group(s) of duplicates found", nullptr,
                                                 int(search->groups.size())));
        dialog->open();
      });
}

void LibraryActions::trashSelected() { m_batches->trash(selectedRows()); }

void LibraryActions::copySelected() { m_batches->copyOrMove(selectedRows(), false); }

void LibraryActions::moveSelected() { m_batches->copyOrMove(selectedRows(), true); }

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
  emit message(tr("%n path(s) copied", nullptr, int(paths.size())));
}

void LibraryActions::exportShown() {
  if (isBusy()) return;
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
  m_batches->runExclusive(
      [rows = shownRows(), json, path, error] {
        *error =
            myzor::WriteExport(path, json ? myzor::RowsToJsonLines(rows) : myzor::RowsToCsv(rows));
      },
      [this, path, count, error] {
        const QString done = tr("%n replay(s) exported to %1", nullptr, int(count)).arg(path);
        emit message(error->isEmpty() ? done : *error);
      });
}
