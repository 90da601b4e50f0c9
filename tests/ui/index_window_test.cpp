// The window with its replay index: a start shows what the index remembers
// without opening a replay, reads only what changed, and follows the folder.
#include "library/indexed_library.h"
#include "library/library.h"
#include "tests/support/replay_builder.h"
#include "ui/form1.h"
#include "ui/main_window.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class IndexWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkpath("lib/sub");
    write("lib/a.rec", "Ashfall Ridge");
    write("lib/b.rec", "Frost Pass");
    write("lib/sub/c.rec", "Deep Hollow");
  }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  void write(const QString& relative, const char* map) const {
    replay_builder::ReplaySpec recipe = replay_builder::SimpleReplay(2, false);
    recipe.map_name = map;
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(path(relative)).toStdString(),
                                          replay_builder::BuildReplay(recipe)));
  }
  // A window on lib/ with its rows in the table and the folder compared with the index.
  std::unique_ptr<MainWindow> open() {
    auto window = std::make_unique<MainWindow>(m_dir.path(), m_settings, path("cache/index.sqlite"));
    auto* indexed = window->findChild<myzor::IndexedLibrary*>();
    QSignalSpy checked(indexed, &myzor::IndexedLibrary::checked);
    QSignalSpy finished(window->library(), &myzor::Library::finished);
    window->start({path("lib")});
    window->show();
    EXPECT_TRUE(finished.wait(10'000));
    // A first start reads every file itself; a later one checks them against the index.
    if (window->library()->model()->rowCount() > 0 && m_started++ > 0)
      EXPECT_TRUE(!checked.isEmpty() || checked.wait(10'000));
    return window;
  }
  static QStringList fileList(const MainWindow& window) {
    QStringList names;
    const auto* list = window.findChild<QListWidget*>("File1");
    for (int row = 0; row < list->count(); ++row) names << list->item(row)->text();
    return names;
  }
  static QString mapOf(const MainWindow& window, const QString& name) {
    const myzor::LibraryModel* model = window.library()->model();
    const int row = model->rowOf(QFile::encodeName(QDir(window.form()->zorFolder()).filePath(name)));
    return row < 0 ? QString() : model->row(row).map;
  }

  QTemporaryDir m_dir;
  QSettings m_settings{QDir(m_dir.path()).filePath("settings.ini"), QSettings::IniFormat};
  int m_started = 0;
};

TEST_F(IndexWindowTest, AStartFromTheIndexOpensOnlyNewAndChangedFilesAndDropsGoneOnes) {
  open();
  const qint64 opened = myzor::ReplayFilesRead();
  {
    const auto window = open();
    EXPECT_EQ(window->library()->model()->rowCount(), 3);
    EXPECT_EQ(mapOf(*window, "sub/c.rec"), "Deep Hollow");
    EXPECT_EQ(myzor::ReplayFilesRead(), opened);
  }
  write("lib/b.rec", "Salt Marsh of a longer name");
  ASSERT_TRUE(QFile::remove(path("lib/a.rec")));
  const auto window = open();
  QTRY_COMPARE_WITH_TIMEOUT(mapOf(*window, "b.rec"), QString("Salt Marsh of a longer name"), 10'000);
  EXPECT_EQ(myzor::ReplayFilesRead(), opened + 1);
  EXPECT_EQ(window->library()->model()->rowCount(), 2);
  EXPECT_EQ(fileList(*window), QStringList{"b.rec"});
}

TEST_F(IndexWindowTest, FollowsNewRenamedAndRemovedReplaysInTheTableAndFile1KeepingItsSelection) {
  const auto window = open();
  auto* list = window->findChild<QListWidget*>("File1");
  list->setCurrentRow(1);  // b.rec, read and shown
  ASSERT_EQ(window->form()->currentReplay().map_name, "Frost Pass");
  const qint64 opened = myzor::ReplayFilesRead();

  write("lib/new.rec", "Cinder Fields");
  ASSERT_TRUE(QFile::rename(path("lib/a.rec"), path("lib/renamed.rec")));
  ASSERT_TRUE(QFile::remove(path("lib/sub/c.rec")));
  QTRY_COMPARE_WITH_TIMEOUT(fileList(*window), (QStringList{"b.rec", "new.rec", "renamed.rec"}), 10'000);
  QTRY_COMPARE_WITH_TIMEOUT(window->library()->model()->rowCount(), 3, 10'000);
  QTRY_COMPARE_WITH_TIMEOUT(mapOf(*window, "new.rec"), QString("Cinder Fields"), 10'000);
  EXPECT_EQ(mapOf(*window, "renamed.rec"), "Ashfall Ridge");
  EXPECT_EQ(mapOf(*window, "a.rec"), "");
  EXPECT_EQ(list->currentItem()->text(), "b.rec");
  EXPECT_TRUE(list->currentItem()->isSelected());
  EXPECT_EQ(myzor::ReplayFilesRead(), opened + 2);  // new.rec and renamed.rec, not b.rec again
}

TEST_F(IndexWindowTest, AGarbageIndexIsRebuiltAndSaidSoWhileTheReplaysStayUntouched) {
  const auto bytes = [this] {
    QStringList all;
    for (const char* name : {"lib/a.rec", "lib/b.rec", "lib/sub/c.rec"}) {
      QFile file(path(name));
      EXPECT_TRUE(file.open(QIODevice::ReadOnly));
      all << file.readAll().toBase64();
    }
    return all;
  };
  const QStringList before = bytes();
  QDir().mkpath(path("cache"));
  QFile garbage(path("cache/index.sqlite"));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write(QByteArray(8192, '\x5a') + "not a database");
  garbage.close();

  const auto window = open();
  EXPECT_EQ(window->library()->model()->rowCount(), 3);
  EXPECT_TRUE(window->statusBar()->currentMessage().contains("rebuilt")) << window->statusBar()->currentMessage().toStdString();
  EXPECT_EQ(bytes(), before);
}

}  // namespace
