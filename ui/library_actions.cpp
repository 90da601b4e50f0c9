#include "ui/library_actions.h"

#include "library/library.h"
#include "library/library_filter.h"
#include "library/library_model.h"
#include "library/rename_pattern.h"
#include "ui/library_panel.h"
#include "ui/rename_dialog.h"

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
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

const QString kPatternKey = QStringLiteral("rename/pattern");

QString folderOf(const QByteArray& path) { return QFile::decodeName(path.left(path.lastIndexOf('/') + 1)); }

}  // namespace

LibraryActions::LibraryActions(myzor::Library* library, LibraryPanel* panel, QSettings& settings, QWidget* window)
    : QObject(window), m_library(library), m_panel(panel), m_settings(settings), m_window(window) {
  m_choose_folder = [this](const QString& title) {
    return QFileDialog::getExistingDirectory(m_window, title, QFile::decodeName(m_library->root()));
  };
  m_choose_export = [this](const QStringList& filters, QString* picked) {
    const QString start = QDir(QFile::decodeName(m_library->root())).filePath(QStringLiteral("replays.csv"));
    return QFileDialog::getSaveFileName(m_window, tr("Export replays"), start, filters.join(QStringLiteral(";;")),
                                        picked);
  };
  m_choose_clash = [this](int clashes) -> std::optional<myzor::ClashPolicy> {
    QMessageBox box(QMessageBox::Question, tr("Names taken"),
                    clashes == 1 ? tr("1 replay has a name already taken in that folder.")
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
  m_selection_actions = {
      addAction("act_rename", tr("Rename by pattern…"), QKeySequence(Qt::Key_F2), &LibraryActions::renameSelected),
      addAction("act_trash", tr("Move to trash"), QKeySequence(Qt::Key_Delete), &LibraryActions::trashSelected),
      addAction("act_copy_to", tr("Copy to folder…"), {}, &LibraryActions::copySelected),
      addAction("act_move_to", tr("Move to folder…"), {}, &LibraryActions::moveSelected),
  };
  // Copy (Ctrl+C) stays the table's own: it copies the cell.
  m_selection_actions += {
      addAction("act_show_folder", tr("Show in file manager"), {}, &LibraryActions::showInFileManager),
      addAction("act_copy_path", tr("Copy path"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                &LibraryActions::copyPaths),
  };
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  table->addAction(separator);
  m_undo_action = addAction("act_undo", tr("Undo"), QKeySequence::Undo, &LibraryActions::undoRename);
  m_export_action = addAction("act_export", tr("Export…"), QKeySequence(Qt::CTRL | Qt::Key_E),
                              &LibraryActions::exportShown);
  m_export_action->setToolTip(tr("Write the replays shown to a CSV or JSON Lines file (Ctrl+E)"));
  m_read_rest_action = addAction("act_read_rest", tr("Read the rest"), {}, &LibraryActions::readRest);
  m_read_rest_action->setToolTip(tr("Read the replays left unread when reading was stopped"));
  panel->setReadRestAction(m_read_rest_action);
  connect(library, &myzor::Library::started, this, &LibraryActions::updateActions);
  connect(library, &myzor::Library::finished, this, &LibraryActions::updateActions);
  table->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(library, &myzor::Library::rowsRead, this, &LibraryActions::selectArrived);
  updateActions();
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
  m_undo_action->setEnabled(!m_busy && !m_undo.empty());
  m_export_action->setEnabled(!m_busy);
  m_read_rest_action->setEnabled(!m_library->isRunning() && m_library->model()->unreadCount() > 0);
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
  const QByteArray root = m_library->root().endsWith('/') ? m_library->root() : m_library->root() + '/';
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
  m_library->refresh(paths);
  // A file that left the folder: its neighbour takes its place, as in a file manager.
  const int count = m_panel->filter()->rowCount();
  if (sources_gone && m_reselect.isEmpty() && current_row >= 0 && count > 0)
    table->setCurrentIndex(m_panel->filter()->index(std::min(current_row, count - 1), 0));
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
    const QModelIndex index = m_panel->filter()->mapFromSource(m_library->model()->index(source_row, 0));
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
  const QString pattern = m_settings.value(kPatternKey, QString::fromLatin1(myzor::kDefaultRenamePattern)).toString();
  auto* dialog = new RenameDialog(std::move(rows), pattern, m_window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    m_settings.setValue(kPatternKey, dialog->patternText());
    auto outcome = std::make_shared<myzor::RenameOutcome>();
    run([plan = dialog->plan(), outcome] { *outcome = myzor::ExecuteRename(plan); },
        [this, outcome] {
          m_undo = std::move(outcome->undo);
          updateActions();
          finish(outcome->results, tr("renamed"), true);
        });
  });
  dialog->open();
}

void LibraryActions::undoRename() {
  if (m_undo.empty() || m_busy) return;
  auto results = std::make_shared<std::vector<myzor::FileResult>>();
  run([undo = std::exchange(m_undo, {}), results] { *results = myzor::UndoRename(undo); },
      [this, results] { finish(*results, tr("given back their old names"), true); });
}

void LibraryActions::trashSelected() {
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty() || m_busy) return;
  std::vector<QByteArray> paths;
  for (const myzor::ReplayRow& row : rows) paths.push_back(row.file.path);
  auto* box = new QMessageBox(QMessageBox::Question, tr("Move to trash"),
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
    if (box->clickedButton() != trash || m_busy) return;
    auto results = std::make_shared<std::vector<myzor::FileResult>>();
    run([paths, results] { *results = myzor::MoveToTrash(paths); },
        [this, results] { finish(*results, tr("moved to the trash"), true); });
  });
  box->open();
}

void LibraryActions::copySelected() { copyOrMove(false); }

void LibraryActions::moveSelected() { copyOrMove(true); }

void LibraryActions::copyOrMove(bool move) {
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty() || m_busy) return;
  const QString folder = m_choose_folder(move ? tr("Move replays to folder") : tr("Copy replays to folder"));
  if (folder.isEmpty()) return;
  const QByteArray target = QFile::encodeName(QDir(folder).absolutePath());
  std::vector<std::pair<QByteArray, qint64>> files;
  std::vector<QByteArray> paths;
  qint64 total = 0;
  for (const myzor::ReplayRow& row : rows) {
    files.emplace_back(row.file.path, row.file.size);
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
  auto* progress = new QProgressDialog(move ? tr("Moving %1…").arg(count) : tr("Copying %1…").arg(count),
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

  auto results = std::make_shared<std::vector<myzor::FileResult>>();
  run(
      [this, move, files, total, target, policy, cancelled, results, shown] {
        qint64 before = 0;
        int last = -1;
        const auto report = [&](qint64 done) {
          const int permille = total > 0 ? static_cast<int>(std::min<qint64>(done * 1000 / total, 1000)) : 1000;
          if (permille == std::exchange(last, permille)) return;
          QMetaObject::invokeMethod(
              this, [shown, permille] { if (shown) shown->setValue(permille); }, Qt::QueuedConnection);
        };
        for (const auto& [path, size] : files) {
          // A cancel stops the file being copied and every one after it.
          if (cancelled->load() || m_closing) {
            results->push_back({path, {}, false, tr("cancelled")});
            continue;
          }
          const myzor::CopyProgress step = [&](std::int64_t done, std::int64_t) {
            report(before + done);
            return !cancelled->load() && !m_closing;
          };
          auto one = move ? myzor::MoveToFolder({path}, target, step, policy)
                          : myzor::CopyToFolder({path}, target, step, policy);
          results->push_back(std::move(one.front()));
          before += size;
          report(before);
        }
      },
      [this, move, results, shown] {
        delete shown.data();
        finish(*results, move ? tr("moved") : tr("copied"), move);
      });
}

void LibraryActions::showInFileManager() {
  const QModelIndex current = m_panel->table()->currentIndex();
  const std::vector<myzor::ReplayRow> rows = selectedRows();
  if (rows.empty()) return;
  const QByteArray path = current.isValid() ? current.data(myzor::LibraryModel::PathRole).toByteArray()
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
  const bool json = suffix == QLatin1String("jsonl") || (suffix != QLatin1String("csv") && picked == filters[1]);
  if (suffix.isEmpty()) path += json ? QStringLiteral(".jsonl") : QStringLiteral(".csv");

  auto error = std::make_shared<QString>();
  const qsizetype count = m_panel->filter()->rowCount();
  run([rows = shownRows(), json, path, error] {
        *error = myzor::WriteExport(path, json ? myzor::RowsToJsonLines(rows) : myzor::RowsToCsv(rows));
      },
      [this, path, count, error] {
        const QString done = count == 1 ? tr("1 replay exported to %1").arg(path)
                                        : tr("%1 replays exported to %2").arg(count).arg(path);
        emit message(error->isEmpty() ? done : *error);
      });
}
