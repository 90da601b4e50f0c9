#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "library/core/full_read.h"
#include "library/core/paths.h"
#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "library/userdata/user_store.h"
#include "ui/details_pane.h"
#include "ui/form1.h"
#include "ui/library_actions.h"
#include "ui/library_panel.h"
#include "ui/notes_actions.h"
#include "ui/players_view.h"
#include "ui/statistics_view.h"

namespace {

const QString kFolderKey = QStringLiteral("library/folder");
const QString kRecentKey = QStringLiteral("library/recent");
const QString kLastReplayKey = QStringLiteral("library/last_replay");
// Saved by the window with a Folder column; what older versions saved under
// other keys is left alone.
const QString kColumnsKey = QStringLiteral("window/columns");
const QString kSplitterKey = QStringLiteral("window/splitter");
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kDetailsKey = QStringLiteral("window/details");
const QString kViewerKey = QStringLiteral("window/viewer");
constexpr int kRecentCount = 8;

// The local folder or file a drop carries, or empty.
QString droppedPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QFileInfo info(url.toLocalFile());
  if (info.isDir()) return info.absoluteFilePath();
  if (info.isFile() && myzor::IsReplayFileName(info.fileName())) return info.absoluteFilePath();
  return {};
}

QString indexStatusText(const myzor::IndexStatus& status) {
  using Kind = myzor::IndexStatus::Kind;
  using Reason = myzor::IndexStatus::Reason;
  switch (status.kind) {
    case Kind::none:
      return {};
    case Kind::rebuilt:
      return MainWindow::tr(
                 "The replay index was damaged and has been rebuilt; the old file was kept as %1.")
          .arg(status.path);
    case Kind::rebuilt_upgraded:
      return MainWindow::tr("The replay index was made by another version and has been rebuilt.");
    case Kind::unusable:
      break;
  }
  QString why;
  switch (status.reason) {
    case Reason::none:
    case Reason::no_cache_folder:
      why = MainWindow::tr("there is no cache folder");
      break;
    case Reason::folder_not_made:
      why = MainWindow::tr("the folder %1 cannot be made").arg(status.path);
      break;
    case Reason::held_by_another_copy:
      why = MainWindow::tr("%1 is held by another copy of the program").arg(status.path);
      break;
    case Reason::folder_not_writable:
      why = MainWindow::tr("the folder %1 cannot be written").arg(status.path);
      break;
    case Reason::cannot_set_aside:
      why = MainWindow::tr("%1 is damaged and cannot be set aside").arg(status.path);
      break;
    case Reason::database:
      why = QStringLiteral("%1: %2").arg(status.path, status.detail);
      break;
  }
  return MainWindow::tr("The replay index could not be used: %1; replays are read from the files.")
      .arg(why);
}

// Whether `path` lies inside `folder` (at any depth).
bool isBelow(const QString& path, const QString& folder) {
  if (folder.isEmpty()) return false;
  const QString inside = QDir::cleanPath(folder) + QLatin1Char('/');
  return QDir::cleanPath(path).startsWith(inside);
}

}  // namespace

MainWindow::MainWindow(myzor::ReplayLibrary* library, const QString& program_folder,
                       QSettings& settings, QWidget* parent)
    : QMainWindow(parent),
      m_settings(settings),
      m_program_folder(program_folder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                : program_folder),
      m_library(library),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_panel(new LibraryPanel(m_library, m_splitter)),
      m_details(new DetailsPane(m_program_folder, m_splitter)),
      m_form(new Form1(m_program_folder, this)) {
  // Gone after the panes and views that show it.
  m_library->setParent(this);
  setObjectName(QStringLiteral("main_window"));
  setWindowTitle(m_form->windowTitle());
  setAcceptDrops(true);

  m_splitter->setObjectName(QStringLiteral("splitter_main"));
  m_splitter->setChildrenCollapsible(false);
  m_splitter->addWidget(m_panel);
  m_splitter->addWidget(m_details);
  m_splitter->setStretchFactor(0, 3);
  m_splitter->setStretchFactor(1, 2);
  m_details->setMinimumWidth(280);
  setCentralWidget(m_splitter);

  // The designed controls keep their size and places in a window of their own.
  m_form->setWindowFlag(Qt::Window);
  m_form->setFixedSize(m_form->size());
  m_form->installEventFilter(this);

  statusBar()->setObjectName(QStringLiteral("status_bar"));
  // A summary naming several failures is longer than the line.
  connect(statusBar(), &QStatusBar::messageChanged, statusBar(), &QStatusBar::setToolTip);

  connect(m_panel, &LibraryPanel::folderChosen, this, &MainWindow::openFolder);
  connect(m_panel, &LibraryPanel::replaySelected, this, &MainWindow::showSelected);
  connect(m_panel, &LibraryPanel::replayActivated, this, [this](const QByteArray& path) {
    // The viewer follows the table, so it has this row already unless it was opened before the row
    // was listed.
    if (path != m_viewer_path) followInViewer(path);
    setViewerVisible(true);
    m_form->raise();
    m_form->activateWindow();
  });
  connect(m_library, &myzor::ReplayLibrary::indexStatus, this,
          [this](const myzor::IndexStatus& status) {
            statusBar()->showMessage(indexStatusText(status));
          });
  connect(m_library, &myzor::ReplayLibrary::polling, this, [this](int interval_ms) {
    statusBar()->showMessage(
        tr("The folder is checked for changes every %1 seconds: the system cannot follow all its "
           "subfolders.")
            .arg(QLocale().toString(interval_ms / 1000.0)));
  });
  // File1 lists the folder's own files: only new and removed ones there change it.
  connect(m_library, &myzor::ReplayLibrary::folderChanged, this,
          [this](const myzor::FolderChanges& changes) {
            QList<QByteArray> paths(changes.removed.cbegin(), changes.removed.cend());
            for (const myzor::FileEntry& entry : changes.added) paths.append(entry.path);
            const QByteArray folder = m_library->root() + '/';
            if (std::any_of(paths.cbegin(), paths.cend(), [&folder](const QByteArray& path) {
                  return path.startsWith(folder) && path.indexOf('/', folder.size()) < 0;
                }))
              relistViewerFiles();
          });

  m_actions = new LibraryActions(m_library, m_panel, m_settings, this);
  connect(m_actions, &LibraryActions::message, statusBar(),
          [this](const QString& text) { statusBar()->showMessage(text); });
  // File1 lists the folder's own files, which an operation may have renamed or moved.
  connect(m_actions, &LibraryActions::filesChanged, this, &MainWindow::relistViewerFiles);

  m_notes = new NotesActions(m_library, m_panel, this);
  // The details pane's edit of one replay is one batch, as an edit of many.
  connect(m_details, &DetailsPane::notesEdited, this,
          [this](const QByteArray& path, const myzor::ReplayNotes& notes) {
            const int row = m_library->model()->rowOf(path);
            if (row < 0) return;
            myzor::NotesChange change;
            change.replace = notes;
            m_library->editNotes({m_library->model()->row(row).file}, change);
          });
  connect(m_library, &myzor::ReplayLibrary::notesChanged, this, [this] {
    m_details->setKnownTags(m_library->knownTags());
    const int row = m_library->model()->rowOf(m_details->path());
    if (row >= 0) m_details->showNotes(m_library->model()->row(row).notes.get());
    m_panel->filter()->setPersons(myzor::SearchNamesOf(m_library->persons()));
  });
  connect(
      m_library, &myzor::ReplayLibrary::notesEdited, this,
      [this](qint64 batch, const QString& error) {
        if (!error.isEmpty())
          statusBar()->showMessage(tr("Not kept: the data store cannot be used: %1").arg(error));
        else if (batch != 0)
          statusBar()->showMessage(tr("Kept; Undo (Ctrl+Z) takes it back"), 5000);
      });

  m_viewer_pool.setMaxThreadCount(1);
  connect(m_details, &DetailsPane::readDone, this, &MainWindow::takeRead);

  buildMenus();
  setupViews();
  restoreSettings();
}

MainWindow::~MainWindow() { saveSettings(); }

QMenu* MainWindow::menu(const QString& name) const {
  return menuBar()->findChild<QMenu*>(QStringLiteral("menu_") + name, Qt::FindDirectChildrenOnly);
}

void MainWindow::buildMenus() {
  const auto add_menu = [this](const char* name, const QString& title) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };
  const auto action = [this](QMenu* menu, const char* name, const QString& text,
                             const QKeySequence& keys, auto slot) {
    QAction* made = menu->addAction(text);
    made->setObjectName(QString::fromLatin1(name));
    made->setShortcut(keys);
    connect(made, &QAction::triggered, this, slot);
    return made;
  };
  const LibraryActions::Actions& library = m_actions->actions();

  QMenu* file = add_menu("menu_file", tr("&File"));
  action(file, "act_open_folder", tr("Open folder…"), QKeySequence::Open,
         [this] { m_panel->chooseFolder(); });
  m_recent = file->addMenu(tr("Open recent"));
  m_recent->setObjectName(QStringLiteral("menu_recent"));
  connect(m_recent, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
  fillRecentMenu();
  file->addSeparator();
  library.export_rows->setShortcutContext(Qt::WindowShortcut);
  file->addAction(library.export_rows);
  file->addAction(library.read_rest);
  file->addSeparator();
  action(file, "act_quit", tr("Quit"), QKeySequence::Quit, [this] { close(); });

  QMenu* edit = add_menu("menu_edit", tr("&Edit"));
  for (QAction* entry :
       {library.rename, library.undo, library.history, static_cast<QAction*>(nullptr),
        library.trash, library.copy_to, library.move_to, static_cast<QAction*>(nullptr),
        library.copy_path, library.show_folder, library.find_duplicates}) {
    if (entry == nullptr)
      edit->addSeparator();
    else
      edit->addAction(entry);
  }
  library.undo->setShortcutContext(Qt::WindowShortcut);
  library.history->setShortcutContext(Qt::WindowShortcut);
  edit->addSeparator();
  // Ctrl+A selects the rows while the table has focus, the text while the search field has.
  QAction* select_all =
      action(edit, "act_select_all", tr("Select all"), QKeySequence::SelectAll, [this] {
        m_panel->table()->setFocus(Qt::ShortcutFocusReason);
        m_panel->table()->selectAll();
      });
  select_all->setShortcutContext(Qt::WidgetShortcut);
  m_panel->table()->addAction(select_all);
  action(edit, "act_find", tr("Search"), QKeySequence::Find, [this] { m_panel->focusSearch(); });
  menuBar()->addMenu(m_notes->menu());

  QMenu* view = add_menu("menu_view", tr("&View"));
  m_details_action = action(view, "act_view_details", tr("Details"), QKeySequence(Qt::Key_F9),
                            [this](bool on) { m_details->setVisible(on); });
  m_details_action->setCheckable(true);
  m_details_action->setChecked(true);
  m_viewer_action = action(view, "act_view_viewer", tr("Designed viewer"), QKeySequence(Qt::Key_F8),
                           [this](bool on) { setViewerVisible(on); });
  m_viewer_action->setCheckable(true);
  // The viewer is a window of its own: F8 there hides it again.
  m_form->addAction(m_viewer_action);
  view->addMenu(m_panel->columnsMenu());
  view->addSeparator();

  QMenu* help = add_menu("menu_help", tr("&Help"));
  action(help, "act_shortcuts", tr("Keyboard shortcuts"), QKeySequence::HelpContents,
         &MainWindow::showShortcuts);
  action(help, "act_about", tr("About myZor"), {}, &MainWindow::showAbout);
}

void MainWindow::fillRecentMenu() {
  m_recent->clear();
  const QStringList folders = m_settings.value(kRecentKey).toStringList();
  for (const QString& folder : folders) {
    QAction* entry = m_recent->addAction(QDir::toNativeSeparators(folder));
    connect(entry, &QAction::triggered, this, [this, folder] {
      if (QFileInfo(folder).isDir()) {
        openFolder(folder);
        return;
      }
      QStringList kept = m_settings.value(kRecentKey).toStringList();
      kept.removeAll(folder);
      m_settings.setValue(kRecentKey, kept);
      statusBar()->showMessage(tr("%1 is gone; it is no longer listed under Open recent")
                                   .arg(QDir::toNativeSeparators(folder)));
    });
  }
  m_recent->setEnabled(!folders.isEmpty());
}

void MainWindow::rememberRecent(const QString& folder) {
  QStringList folders = m_settings.value(kRecentKey).toStringList();
  folders.removeAll(folder);
  folders.prepend(folder);
  while (folders.size() > kRecentCount) folders.removeLast();
  m_settings.setValue(kRecentKey, folders);
}

void MainWindow::showShortcuts() {
  QDialog dialog(this);
  dialog.setObjectName(QStringLiteral("dlg_shortcuts"));
  dialog.setWindowTitle(tr("Keyboard shortcuts"));
  auto* table = new QTableWidget(&dialog);
  table->setObjectName(QStringLiteral("tbl_shortcuts"));
  table->setAccessibleName(tr("Keyboard shortcuts"));
  table->setColumnCount(2);
  table->setHorizontalHeaderLabels({tr("Keys"), tr("Does")});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Every menu entry with keys, then the keys only the table knows.
  QList<QPair<QString, QString>> rows;
  for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
    for (const QAction* entry : menu->actions()) {
      if (entry->shortcut().isEmpty()) continue;
      const QPair<QString, QString> row{
          entry->shortcut().toString(QKeySequence::NativeText),
          entry->text().remove(QLatin1Char('&')).remove(QStringLiteral("…"))};
      if (!rows.contains(row)) rows.append(row);
    }
  }
  rows.append({tr("Enter"), tr("Open the replay in the designed viewer")});
  rows.append({tr("A letter"), tr("Go to the next replay whose file name starts with it")});
  rows.append({tr("Down (in the search field)"), tr("Go on to the table")});
  table->setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < rows.size(); ++row) {
    table->setItem(row, 0, new QTableWidgetItem(rows[row].first));
    table->setItem(row, 1, new QTableWidgetItem(rows[row].second));
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(table);
  layout->addWidget(buttons);
  dialog.resize(520, 460);
  dialog.exec();
}

void MainWindow::showAbout() {
  QMessageBox::about(this, tr("About myZor"),
                     tr("<h3>myZor Replaymanager %1</h3>"
                        "<p>Browses, searches and manages the replay files of a folder.</p>"
                        "<p>Licence: MIT. Copyright © myZor developers.</p>")
                         .arg(QCoreApplication::applicationVersion().toHtmlEscaped()));
}

QString MainWindow::defaultFolder() const {
  return QDir(m_program_folder).filePath(QStringLiteral("testfiles/1.30"));
}

void MainWindow::start(const QStringList& arguments) {
  if (arguments.size() == 1 && openPath(arguments.first())) return;
  const QString remembered = m_settings.value(kFolderKey).toString();
  openFolder(!remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : defaultFolder());
  if (arguments.isEmpty()) {
    const QByteArray last = m_settings.value(kLastReplayKey).toByteArray();
    if (!last.isEmpty() && isBelow(QFile::decodeName(last), QFile::decodeName(m_library->root())))
      m_panel->selectPaths({last});
  }
  // Said after opening, which clears the status line.
  if (arguments.size() > 1)
    statusBar()->showMessage(tr("Give one folder or one replay file, not %1: %2")
                                 .arg(arguments.size())
                                 .arg(arguments.join(QLatin1Char(' '))));
  else if (arguments.size() == 1)
    statusBar()->showMessage(pathProblem(arguments.first()));
}

QString MainWindow::pathProblem(const QString& path) {
  return QFileInfo::exists(path) ? tr("%1: not a folder or a replay file").arg(path)
                                 : tr("%1: no such file or folder").arg(path);
}

bool MainWindow::openPath(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir()) {
    openFolder(info.absoluteFilePath());
    return true;
  }
  if (!info.isFile()) {
    statusBar()->showMessage(pathProblem(path));
    return false;
  }
  // A file inside the library's folder is one of its rows; another opens its own folder.
  const QString file = info.absoluteFilePath();
  QString folder = QFile::decodeName(m_library->root());
  if (!isBelow(file, folder)) {
    const QString remembered = m_settings.value(kFolderKey).toString();
    folder = isBelow(file, remembered) && QFileInfo(remembered).isDir() ? remembered
                                                                        : info.absolutePath();
    openFolder(folder);
  }
  const QByteArray bytes = QFile::encodeName(file);
  m_panel->selectPaths({bytes});
  // The designed viewer shows it, as a pick in File1 would, whether or not its row is listed yet.
  if (m_viewer_path != bytes) followInViewer(bytes);
  return true;
}

void MainWindow::openFolder(const QString& folder) {
  const QString absolute = QDir(folder).absolutePath();
  statusBar()->clearMessage();
  m_details->clear();
  m_form->openFolder(absolute);
  m_library->open(QFile::encodeName(absolute));
  m_settings.setValue(kFolderKey, absolute);
  rememberRecent(absolute);
  setWindowTitle(tr("%1 — %2").arg(m_form->windowTitle(), QDir::toNativeSeparators(absolute)));
}

void MainWindow::showSelected(const QByteArray& path) {
  const int row = m_library->model()->rowOf(path);
  if (row >= 0) {
    m_viewer_path = path;
    m_viewer_read.reset();
    m_viewer_waits_for_details = true;
    m_form->selectReplay(path);
    m_details->showRow(m_library->model()->row(row));
  } else {
    followInViewer(path);
  }
  m_settings.setValue(kLastReplayKey, path);
}

void MainWindow::followInViewer(const QByteArray& path) {
  m_viewer_path = path;
  m_viewer_read.reset();
  m_viewer_waits_for_details = false;
  m_form->selectReplay(path);
  if (m_form->isVisible()) readForViewer(path);
}

void MainWindow::takeRead(std::shared_ptr<const myzor::FullRead> read) {
  if (!read || read->path != m_viewer_path) return;
  m_viewer_read = std::move(read);
  m_viewer_waits_for_details = false;
  catchUpViewer();
}

void MainWindow::readForViewer(const QByteArray& path) {
  auto* watcher = new QFutureWatcher<std::shared_ptr<const myzor::FullRead>>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
    watcher->deleteLater();
    takeRead(watcher->result());
  });
  watcher->setFuture(QtConcurrent::run(&m_viewer_pool, [path] {
    return std::make_shared<const myzor::FullRead>(myzor::ReadInFull(path));
  }));
}

void MainWindow::relistViewerFiles() {
  // Listing a folder of thousands is no work for a viewer nobody sees: it is done when shown.
  m_viewer_files_stale = true;
  catchUpViewer();
}

void MainWindow::catchUpViewer() {
  if (!m_form->isVisible()) return;
  if (std::exchange(m_viewer_files_stale, false)) {
    m_form->listFilesAgain();
    if (!m_viewer_path.isEmpty()) m_form->selectReplay(m_viewer_path);
  }
  if (m_viewer_path.isEmpty() || m_viewer_shown == m_viewer_path) return;
  if (m_viewer_read) {
    m_form->showReplay(*m_viewer_read);
    m_viewer_shown = m_viewer_path;
  } else if (!m_viewer_waits_for_details) {
    m_viewer_waits_for_details = true;  // one read at a time for it
    readForViewer(m_viewer_path);
  }
}

bool MainWindow::isViewerVisible() const { return m_form->isVisible(); }

void MainWindow::setViewerVisible(bool visible) {
  if (visible && !m_form->isVisible()) {
    // Beside the main window where the screen has room, else over it.
    const QRect room = screen()->availableGeometry();
    QPoint at = frameGeometry().topRight() + QPoint(8, 0);
    if (at.x() + m_form->width() > room.right()) at = geometry().topLeft() + QPoint(40, 40);
    m_form->move(at);
  }
  m_form->setVisible(visible);
  const QSignalBlocker blocker(m_viewer_action);
  m_viewer_action->setChecked(visible);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Closing the designed viewer's window unticks its entry in the View menu.
  if (watched == m_form && (event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
    const QSignalBlocker blocker(m_viewer_action);
    m_viewer_action->setChecked(event->type() == QEvent::Show);
    if (event->type() == QEvent::Show) QTimer::singleShot(0, this, &MainWindow::catchUpViewer);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = droppedPath(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  openPath(path);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  saveSettings();
  m_form->close();
  QMainWindow::closeEvent(event);
}

void MainWindow::restoreSettings() {
  m_panel->restoreHeaderState(m_settings.value(kColumnsKey).toByteArray());
  if (!restoreGeometry(m_settings.value(kGeometryKey).toByteArray())) {
    const QSize room = screen()->availableGeometry().size();
    resize(std::min(1400, room.width()), std::min(900, room.height()));
  }
  if (!m_splitter->restoreState(m_settings.value(kSplitterKey).toByteArray()))
    m_splitter->setSizes({width() * 3 / 5, width() * 2 / 5});
  const bool details = m_settings.value(kDetailsKey, true).toBool();
  m_details->setVisible(details);
  m_details_action->setChecked(details);
  if (m_settings.value(kViewerKey, false).toBool()) setViewerVisible(true);
}

void MainWindow::saveSettings() {
  m_settings.setValue(kGeometryKey, saveGeometry());
  m_settings.setValue(kSplitterKey, m_splitter->saveState());
  m_settings.setValue(kColumnsKey, m_panel->headerState());
  m_settings.setValue(kDetailsKey, !m_details->isHidden());
  // Once the window is gone the viewer's window is closed with it, not by the user.
  if (isVisible()) m_settings.setValue(kViewerKey, m_form->isVisible());
  m_settings.sync();
}

// The Players and Statistics views, each in a dock of its own, hidden at first.
void MainWindow::setupViews() {
  const auto add = [this](QWidget* view, const char* name, const QString& title, const char* action,
                          const QKeySequence& keys) {
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QLatin1String(name));
    dock->setWidget(view);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    QAction* toggle = dock->toggleViewAction();
    toggle->setObjectName(QLatin1String(action));
    toggle->setShortcut(keys);
    toggle->setToolTip(
        tr("Show or hide the %1 view (%2)").arg(title, keys.toString(QKeySequence::NativeText)));
    menu(QStringLiteral("view"))->addAction(toggle);
    // Docks shown together share one place; the one asked for comes to the front.
    connect(toggle, &QAction::triggered, dock, [dock](bool shown) {
      if (shown) dock->raise();
    });
    return dock;
  };
  auto* players = add(
      new PlayersView(m_library,
                      [this](const QString& search) { m_panel->searchField()->setText(search); }),
      "dock_players", tr("Players"), "act_view_players", QKeySequence(Qt::CTRL | Qt::Key_1));
  auto* statistics = add(new StatisticsView(m_panel->filter()), "dock_statistics", tr("Statistics"),
                         "act_view_statistics", QKeySequence(Qt::CTRL | Qt::Key_2));
  tabifyDockWidget(players, statistics);
  auto* statistics_view = static_cast<StatisticsView*>(statistics->widget());
  connect(m_library, &myzor::ReplayLibrary::notesChanged, statistics_view,
          [this, statistics_view] { statistics_view->setPersons(m_library->persons()); });
}
