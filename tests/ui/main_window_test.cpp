// The window with the library: which folder it opens, the panel beside the
// designed controls, and a row of the table shown as a pick in File1 would.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "library/core/full_read.h"
#include "library/replay_library.h"
#include "tests/support/replay_builder.h"
#include "ui/details_pane.h"
#include "ui/form1.h"
#include "ui/library_panel.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    write("testfiles/1.30/sample.rec", "Sample Map");
    write("lib/game 2.rec", "Ashfall Ridge");
    write("lib/game 10.rec", "Frost Pass");
    write("lib/sub/deep.rec", "Deep Hollow");
  }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  void write(const QString& relative, const char* map) const {
    replay_builder::ReplaySpec recipe = replay_builder::SimpleReplay(2, false);
    recipe.map_name = map;
    QDir().mkpath(QFileInfo(path(relative)).absolutePath());
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(path(relative)).toStdString(),
                                          replay_builder::BuildReplay(recipe)));
  }
  // A window as the program opens it with `arguments`, its library read.
  std::unique_ptr<MainWindow> open(const QStringList& arguments = {}) {
    auto window = std::make_unique<MainWindow>(
        new myzor::ReplayLibrary(myzor::ReplayIndex::defaultFile()), m_dir.path(), m_settings);
    window->start(arguments);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    waitForRead(*window);
    return window;
  }
  static void waitForRead(MainWindow& window) {
    QSignalSpy finished(window.library(), &myzor::ReplayLibrary::finished);
    if (window.library()->isRunning()) {
      EXPECT_TRUE(finished.wait(10'000));
    }
  }
  template <typename T>
  static T* control(const MainWindow& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static QString selectedFile(const MainWindow& window) {
    const auto selected = control<QListWidget>(window, "File1")->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
  }
  // The map the designed viewer shows, once it has read what it follows; it reads only while
  // shown, so it is shown first.
  static QString map(MainWindow& window, const QString& expected) {
    window.setViewerVisible(true);
    QLabel* label = control<QLabel>(window, "lbl_map");
    (void)QTest::qWaitFor([&] { return label->text() == expected; }, 5'000);
    return label->text();
  }

  QTemporaryDir m_dir;
  QSettings m_settings{QDir(m_dir.path()).filePath("settings.ini"), QSettings::IniFormat};
};

TEST_F(MainWindowTest, AFolderArgumentOpensThatFolderForFile1AndTheLibrary) {
  const auto window = open({path("lib")});
  EXPECT_EQ(window->form()->zorFolder(), path("lib") + '/');
  EXPECT_EQ(control<QListWidget>(*window, "File1")->count(), 2);  // its own files only
  EXPECT_EQ(window->library()->model()->rowCount(), 3);           // and those below it
  EXPECT_EQ(control<QLabel>(*window, "lbl_count")->text(), "3 of 3");
  // The designed controls keep their size in a window of their own.
  EXPECT_TRUE(window->form()->isWindow());
}

TEST_F(MainWindowTest, AWrongArgumentIsReportedAndTheWindowGoesOn) {
  for (const QStringList& arguments :
       {QStringList{path("missing")}, QStringList{path("lib"), path("lib/sub")}}) {
    const auto window = open(arguments);
    EXPECT_EQ(window->form()->zorFolder(), path("testfiles/1.30") + '/');
    EXPECT_FALSE(window->statusBar()->currentMessage().isEmpty())
        << arguments.join(' ').toStdString();
  }
}

TEST_F(MainWindowTest, RemembersTheFolderTheViewerTheSortOrderAndTheReplayShown) {
  {
    const auto window = open({path("lib")});
    QTableView* table = control<QTableView>(*window, "tbl_library");
    table->sortByColumn(0, Qt::DescendingOrder);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_TRUE(window->isViewerVisible());
    EXPECT_EQ(window->windowTitle(),
              "myZor Replaymanager — " + QDir::toNativeSeparators(path("lib")));
  }
  const auto window = open();
  EXPECT_EQ(window->form()->zorFolder(), path("lib") + '/');
  EXPECT_TRUE(window->isViewerVisible());
  const QTableView* table = control<QTableView>(*window, "tbl_library");
  EXPECT_EQ(control<QComboBox>(*window, "cmb_sort")->currentText(), "File, descending");
  EXPECT_EQ(table->currentIndex().data().toString(), "game 2.rec");
  EXPECT_EQ(map(*window, "Ashfall Ridge"), "Ashfall Ridge");
}

TEST_F(MainWindowTest, AFileBelowTheRememberedFolderIsSelectedThere) {
  open({path("lib")});
  const auto window = open({path("lib/sub/deep.rec")});
  EXPECT_EQ(window->form()->zorFolder(), path("lib") + '/');
  EXPECT_EQ(window->library()->model()->rowCount(), 3);
  const QTableView* table = control<QTableView>(*window, "tbl_library");
  EXPECT_EQ(table->currentIndex().data().toString(), "deep.rec");
  EXPECT_TRUE(table->selectionModel()->isRowSelected(table->currentIndex().row(), {}));
  EXPECT_EQ(map(*window, "Deep Hollow"), "Deep Hollow");
  EXPECT_TRUE(control<QLabel>(*window, "lbl_details_path")->text().endsWith("deep.rec"));
}

TEST_F(MainWindowTest, DroppingAFolderOrAReplayOpensIt) {
  const auto window = open();
  const auto drop = [&](const QString& dropped) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &event);
    waitForRead(*window);
  };
  drop(path("lib/sub"));
  EXPECT_EQ(window->form()->zorFolder(), path("lib/sub") + '/');
  EXPECT_EQ(window->library()->model()->rowCount(), 1);
  // A replay opens its folder and is shown as a pick in File1 would be.
  drop(path("lib/game 2.rec"));
  EXPECT_EQ(window->form()->zorFolder(), path("lib") + '/');
  EXPECT_EQ(selectedFile(*window), "game 2.rec");
  EXPECT_EQ(map(*window, "Ashfall Ridge"), "Ashfall Ridge");
}

TEST_F(MainWindowTest, APickWithTheViewerHiddenReadsTheReplayOnceForTheDetailsAndTheViewer) {
  const auto window = open({path("lib")});
  const qint64 before = myzor::FullReads();
  QSignalSpy shown(window->details(), &DetailsPane::shown);
  control<QTableView>(*window, "tbl_library")->selectRow(0);  // "deep"
  ASSERT_TRUE(shown.wait(5'000));
  EXPECT_EQ(myzor::FullReads(), before + 1);
  EXPECT_EQ(control<QLabel>(*window, "lbl_map")->text(), "");
  EXPECT_EQ(map(*window, "Deep Hollow"), "Deep Hollow");
  EXPECT_EQ(myzor::FullReads(), before + 1);
}

TEST_F(MainWindowTest, TheKeyboardSearchesAndStepsThroughTheTableShowingEachReplay) {
  const auto window = open({path("lib")});
  QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
  QLineEdit* search = control<QLineEdit>(*window, "txt_search");
  ASSERT_TRUE(search->hasFocus());
  QTest::keyClicks(search, "map:\"frost pass\"");
  EXPECT_EQ(control<QLabel>(*window, "lbl_count")->text(), "1 of 3");
  // A mistyped field lists nothing and says why below the field, until it is mended.
  QLabel* hint = control<QLabel>(*window, "search_hint");
  EXPECT_FALSE(hint->isVisibleTo(window.get()));
  QTest::keyClicks(search, " mpa:x");
  EXPECT_EQ(control<QLabel>(*window, "lbl_count")->text(), "0 of 3");
  EXPECT_TRUE(hint->isVisibleTo(window.get()));
  EXPECT_TRUE(hint->text().startsWith("unknown field mpa: game, map, player"))
      << hint->text().toStdString();
  search->clear();
  EXPECT_FALSE(hint->isVisibleTo(window.get()));

  // File order: "deep" (in sub/), "game 2", "game 10".
  QTest::keyClick(search, Qt::Key_Down);
  EXPECT_EQ(map(*window, "Deep Hollow"), "Deep Hollow");  // not one of File1's entries
  EXPECT_EQ(selectedFile(*window), "");
  QTableView* table = control<QTableView>(*window, "tbl_library");
  QTest::keyClick(table, Qt::Key_Down);
  EXPECT_EQ(map(*window, "Ashfall Ridge"), "Ashfall Ridge");
  EXPECT_EQ(selectedFile(*window), "game 2.rec");
  // A letter goes to the next file name starting with it.
  QTest::keyClick(table, Qt::Key_G);
  EXPECT_EQ(selectedFile(*window), "game 10.rec");

  // Sorting without the mouse keeps the row selected and in view.
  QTest::keyClick(control<QComboBox>(*window, "cmb_sort"), Qt::Key_Down);
  EXPECT_EQ(table->model()->index(0, 0).data().toString(), "game 10.rec");
  EXPECT_EQ(table->currentIndex().row(), 0);
  EXPECT_EQ(table->selectionModel()->selectedRows().size(), 1);
}

}  // namespace

namespace {

// What a screen reader says for every control the keyboard reaches outside
// the designed viewer, and for every value of the details pane.
TEST_F(MainWindowTest, EveryControlAndEveryDetailHasANameForScreenReaders) {
  auto window = open({path("lib/game 2.rec")});
  for (const char* view : {"act_view_players", "act_view_statistics"})
    control<QAction>(*window, view)->trigger();
  QStringList unnamed;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    const bool in_viewer = widget->window() != window.get();
    const bool reached = (widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible() &&
                         !widget->size().isEmpty();
    const bool detail = widget->objectName().startsWith(QLatin1String("lbl_details_"));
    // A view's viewport is spoken for by the view.
    const auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
    const bool viewport = area != nullptr && area->viewport() == widget;
    if (in_viewer || viewport || !(reached || detail)) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (accessible == nullptr || accessible->text(QAccessible::Name).trimmed().isEmpty())
      unnamed << QStringLiteral("%1 (%2)").arg(widget->objectName(),
                                               widget->metaObject()->className());
  }
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

}  // namespace

TEST_F(MainWindowTest, EveryActionOfTheTableIsReachableFromTheMenuBarAndNoTwoShareAKey) {
  auto window = open({path("lib")});
  QSet<QAction*> in_menus;
  for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
    for (QAction* action : menu->actions()) in_menus.insert(action);
  QStringList missing;
  for (QAction* action : window->panel()->table()->actions())
    if (!action->isSeparator() && !in_menus.contains(action)) missing << action->text();
  EXPECT_TRUE(missing.isEmpty()) << missing.join(", ").toStdString();

  // One key, one action, wherever in the window the action lives.
  QHash<QKeySequence, QAction*> owner;
  QStringList clashes;
  for (QAction* action : in_menus)
    for (const QKeySequence& key : action->shortcuts()) {
      QAction*& first = owner[key];
      if (first && first != action)
        clashes << QStringLiteral("%1: %2 / %3").arg(key.toString(), first->text(), action->text());
      first = action;
    }
  EXPECT_TRUE(clashes.isEmpty()) << clashes.join(", ").toStdString();
}
