#include "ui/main_window.h"

#include "library/indexed_library.h"
#include "library/library.h"
#include "ui/form1.h"
#include "ui/library_actions.h"
#include "ui/library_panel.h"
#include "ui/players_view.h"
#include "ui/statistics_view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QKeySequence>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>

namespace {

const QString kFolderKey = QStringLiteral("library/folder");
const QString kVisibleKey = QStringLiteral("library/visible");
const QString kSplitterKey = QStringLiteral("library/splitter");
const QString kColumnsKey = QStringLiteral("library/columns");
const QString kGeometryKey = QStringLiteral("window/geometry");


// The local folder or file a drop carries, or empty.
QString droppedPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QFileInfo info(url.toLocalFile());
  if (info.isDir()) return info.absoluteFilePath();
  if (info.isFile() && info.suffix().compare(QStringLiteral("rec"), Qt::CaseInsensitive) == 0)
    return info.absoluteFilePath();
  return {};
}

}  // namespace

MainWindow::MainWindow(const QString& program_folder, QSettings& settings, const QString& index_file,
                       QWidget* parent)
    : QMainWindow(parent),
      m_settings(settings),
      m_program_folder(program_folder.isEmpty() ? QCoreApplication::applicationDirPath() : program_folder),
      m_library(new myzor::Library(this)),
      m_indexed(new myzor::IndexedLibrary(
          m_library, index_file.isEmpty() ? myzor::ReplayIndex::defaultFile() : index_file, {}, this)),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_form(new Form1(m_program_folder, m_splitter)),
      m_panel(new LibraryPanel(m_library, m_splitter)),
      m_toggle(new QPushButton(tr("Library"), this)) {
  setObjectName(QStringLiteral("main_window"));
  setWindowTitle(m_form->windowTitle());
  setAcceptDrops(true);

  // The designed controls keep their places: Form1 sits at the client
  // area's top-left corner, never narrower or wider than designed.
  m_form->setMinimumSize(m_form->size());
  m_form->setMaximumWidth(m_form->width());
  m_splitter->setObjectName(QStringLiteral("splitter_library"));
  m_splitter->setChildrenCollapsible(false);
  m_splitter->addWidget(m_form);
  m_splitter->addWidget(m_panel);
  m_splitter->setStretchFactor(0, 0);
  m_splitter->setStretchFactor(1, 1);
  setCentralWidget(m_splitter);

  m_toggle->setObjectName(QStringLiteral("btn_library"));
  m_toggle->setCheckable(true);
  m_toggle->setChecked(true);
  m_toggle->setAccessibleName(tr("Show library"));
  m_toggle->setToolTip(tr("Show or hide the library (F9)"));
  m_toggle->setFocusPolicy(Qt::TabFocus);
  statusBar()->setObjectName(QStringLiteral("status_bar"));
  statusBar()->addPermanentWidget(m_toggle);
  connect(m_toggle, &QPushButton::toggled, this, &MainWindow::setLibraryVisible);

  const auto shortcut = [this](const QKeySequence& keys, auto slot) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence(Qt::Key_F9), [this] { setLibraryVisible(!isLibraryVisible()); });
  shortcut(QKeySequence::Open, [this] { m_panel->chooseFolder(); });
  shortcut(QKeySequence::Find, [this] {
    setLibraryVisible(true);
    m_panel->focusSearch();
  });

  setupViews();

  connect(m_panel, &LibraryPanel::folderChosen, this, &MainWindow::openFolder);
  connect(m_panel, &LibraryPanel::replaySelected, m_form, &Form1::showReplay);
  connect(m_indexed, &myzor::IndexedLibrary::statusChanged, this,
          [this](const QString& text) { statusBar()->showMessage(text); });
  // File1 lists the folder's own files: only new and removed ones there change it.
  connect(m_indexed, &myzor::IndexedLibrary::folderChanged, this, [this](const myzor::FolderChanges& changes) {
    QList<QByteArray> paths(changes.removed.cbegin(), changes.removed.cend());
    for (const myzor::FileEntry& entry : changes.added) paths.append(entry.path);
    const QByteArray folder = m_library->root() + '/';
    if (std::any_of(paths.cbegin(), paths.cend(), [&folder](const QByteArray& path) {
          return path.startsWith(folder) && path.indexOf('/', folder.size()) < 0;
        }))
      m_form->listFilesAgain();
  });

  m_panel->restoreHeaderState(m_settings.value(kColumnsKey).toByteArray());
  if (!restoreGeometry(m_settings.value(kGeometryKey).toByteArray()))
    resize(std::min(m_form->width() + m_splitter->handleWidth() + m_panel_width,
                    screen()->availableGeometry().width()),
           height());
  m_splitter->restoreState(m_settings.value(kSplitterKey).toByteArray());
  if (!m_settings.value(kVisibleKey, true).toBool()) setLibraryVisible(false);
  setupLibraryActions();
}

void MainWindow::setupLibraryActions() {
  m_actions = new LibraryActions(m_library, m_panel, m_settings, this);
  QStatusBar* status = statusBar();
  connect(m_actions, &LibraryActions::message, status, [status](const QString& text) { status->showMessage(text); });
  // A summary naming several failures is longer than the line.
  connect(status, &QStatusBar::messageChanged, status, &QStatusBar::setToolTip);
  // File1 lists the folder's own files, which an operation may have renamed or moved.
  connect(m_actions, &LibraryActions::filesChanged, this, [this] { m_form->openFolder(m_form->zorFolder()); });
}

MainWindow::~MainWindow() { saveSettings(); }

QString MainWindow::defaultFolder() const {
  return QDir(m_program_folder).filePath(QStringLiteral("testfiles/1.30"));
}

void MainWindow::start(const QStringList& arguments) {
  if (arguments.size() == 1 && openPath(arguments.first())) return;
  const QString remembered = m_settings.value(kFolderKey).toString();
  openFolder(!remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : defaultFolder());
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
  if (info.isFile()) {
    openFolder(info.absolutePath());
    m_form->showReplay(QFile::encodeName(info.absoluteFilePath()));
    return true;
  }
  statusBar()->showMessage(pathProblem(path));
  return false;
}

void MainWindow::openFolder(const QString& folder) {
  const QString absolute = QDir(folder).absolutePath();
  statusBar()->clearMessage();
  m_form->openFolder(absolute);
  m_indexed->open(QFile::encodeName(absolute));
  m_settings.setValue(kFolderKey, absolute);
}

bool MainWindow::isLibraryVisible() const { return !m_panel->isHidden(); }

void MainWindow::setLibraryVisible(bool visible) {
  if (visible == isLibraryVisible()) return;
  // The window grows and shrinks by the panel, so Form1 keeps its size; a
  // hidden panel has no width of its own, so the last one is kept.
  if (!visible) m_panel_width = m_panel->width();
  m_panel->setVisible(visible);
  {
    const QSignalBlocker blocker(m_toggle);
    m_toggle->setChecked(visible);
  }
  m_toggle->setAccessibleName(visible ? tr("Hide library") : tr("Show library"));
  // The new minimum width has to be known before the window can shrink to it.
  m_splitter->refresh();
  layout()->activate();
  if (visible) {
    resize(m_form->width() + m_splitter->handleWidth() + m_panel_width, height());
  } else {
    if (m_panel->isAncestorOf(focusWidget())) m_form->setFocus();
    resize(m_form->width(), height());
  }
  m_settings.setValue(kVisibleKey, visible);
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
  QMainWindow::closeEvent(event);
}

void MainWindow::saveSettings() {
  m_settings.setValue(kGeometryKey, saveGeometry());
  m_settings.setValue(kSplitterKey, m_splitter->saveState());
  m_settings.setValue(kColumnsKey, m_panel->headerState());
  m_settings.setValue(kVisibleKey, isLibraryVisible());
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
    toggle->setToolTip(tr("Show or hide the %1 view (%2)").arg(title, keys.toString(QKeySequence::NativeText)));
    addAction(toggle);
    // Docks shown together share one place; the one asked for comes to the front.
    connect(toggle, &QAction::triggered, dock, [dock](bool shown) {
      if (shown) dock->raise();
    });
    return dock;
  };
  auto* players = add(new PlayersView(m_library,
                                      [this](const QString& search) {
                                        setLibraryVisible(true);
                                        m_panel->searchField()->setText(search);
                                      }),
                      "dock_players", tr("Players"), "act_view_players", QKeySequence(Qt::CTRL | Qt::Key_1));
  auto* statistics = add(new StatisticsView(m_panel->filter()), "dock_statistics", tr("Statistics"),
                         "act_view_statistics", QKeySequence(Qt::CTRL | Qt::Key_2));
  tabifyDockWidget(players, statistics);
}
