// The window with its replay index: a start shows what the index remembers
// without opening a replay, reads only what changed, and follows the folder.
#include <gtest/gtest.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "library/replay_library.h"
#include "tests/support/replay_builder.h"
#include "ui/form1.h"
#include "ui/main_window.h"

namespace {

class IndexWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(m_dir.path()).mkpath("lib/sub");
    for (const char* name : {"lib/a.rec", "lib/b.rec", "lib/sub/c.rec"}) write(name, name);
  }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  void write(const QString& relative, const char* map) const {
    replay_builder::ReplaySpec recipe = replay_builder::SimpleReplay(2, false);
    recipe.map_name = map;
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(path(relative)).toStdString(),
                                          replay_builder::BuildReplay(recipe)));
  }
  QByteArray bytes(const QString& relative) const {
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // A window on lib/, its rows listed and, on a start from the index, the folder checked.
  std::unique_ptr<MainWindow> open() {
    auto window = std::make_unique<MainWindow>(new myzor::ReplayLibrary(path("cache/index.sqlite")),
                                               m_dir.path(), m_settings);
    QSignalSpy checked(window->findChild<myzor::ReplayLibrary*>(), &myzor::ReplayLibrary::checked);
    QSignalSpy finished(window->library(), &myzor::ReplayLibrary::finished);
    window->start({path("lib")});
    EXPECT_TRUE(finished.wait(10'000));
    if (m_opened++ > 0) {
      EXPECT_TRUE(!checked.isEmpty() || checked.wait(10'000));
    }
    return window;
  }
  static QString map(const MainWindow& window, const QString& relative) {
    const myzor::LibraryModel* model = window.library()->model();
    const int row =
        model->rowOf(QFile::encodeName(QDir(window.form()->zorFolder()).filePath(relative)));
    return row < 0 ? QString() : model->row(row).map;
  }
  static QStringList file1(const MainWindow& window) {
    QStringList names;
    for (const QListWidgetItem* item :
         window.findChild<QListWidget*>("File1")->findItems("*", Qt::MatchWildcard))
      names << item->text();
    return names;
  }

  QTemporaryDir m_dir;
  QSettings m_settings{QDir(m_dir.path()).filePath("settings.ini"), QSettings::IniFormat};
  int m_opened = 0;
};

TEST_F(IndexWindowTest, StartsFromTheIndexOpeningOnlyChangedFilesAndRebuildsAGarbageIndex) {
  open();
  const qint64 opened = myzor::ReplayFilesRead();
  EXPECT_EQ(open()->library()->model()->rowCount(), 3);
  EXPECT_EQ(myzor::ReplayFilesRead(), opened);

  write("lib/b.rec", "Salt Marsh of a longer name");
  ASSERT_TRUE(QFile::remove(path("lib/a.rec")));
  {
    const auto window = open();
    QTRY_COMPARE_WITH_TIMEOUT(map(*window, "b.rec"), QString("Salt Marsh of a longer name"),
                              10'000);
    EXPECT_EQ(myzor::ReplayFilesRead(), opened + 1);
    EXPECT_EQ(window->library()->model()->rowCount(), 2);
    EXPECT_EQ(file1(*window), QStringList{"b.rec"});
  }

  const QByteArray before = bytes("lib/b.rec") + bytes("lib/sub/c.rec");
  QFile garbage(path("cache/index.sqlite"));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write(QByteArray(8192, '\x5a'));
  garbage.close();
  m_opened = 0;
  const auto window = open();
  EXPECT_EQ(map(*window, "sub/c.rec"), "lib/sub/c.rec");
  EXPECT_TRUE(window->statusBar()->currentMessage().contains("rebuilt"));
  EXPECT_EQ(bytes("lib/b.rec") + bytes("lib/sub/c.rec"), before);
}

TEST_F(IndexWindowTest, FollowsNewRenamedAndRemovedReplaysInTheTableAndFile1KeepingItsSelection) {
  const auto window = open();
  auto* list = window->findChild<QListWidget*>("File1");
  list->setCurrentRow(1);  // b.rec
  const qint64 opened = myzor::ReplayFilesRead();

  write("lib/new.rec", "Cinder Fields");
  ASSERT_TRUE(QFile::rename(path("lib/a.rec"), path("lib/renamed.rec")));
  ASSERT_TRUE(QFile::remove(path("lib/sub/c.rec")));
  QTRY_COMPARE_WITH_TIMEOUT(map(*window, "new.rec"), QString("Cinder Fields"), 10'000);
  QTRY_COMPARE_WITH_TIMEOUT(window->library()->model()->rowCount(), 3, 10'000);
  // The hidden viewer lists its folder again once shown.
  EXPECT_EQ(file1(*window), (QStringList{"a.rec", "b.rec"}));
  window->setViewerVisible(true);
  QTRY_COMPARE_WITH_TIMEOUT(file1(*window), (QStringList{"b.rec", "new.rec", "renamed.rec"}),
                            10'000);
  EXPECT_EQ(map(*window, "renamed.rec"), "lib/a.rec");
  EXPECT_TRUE(list->currentItem()->isSelected() && list->currentItem()->text() == "b.rec");
  EXPECT_EQ(myzor::ReplayFilesRead(), opened + 2);  // new.rec and renamed.rec, not b.rec again
}

TEST_F(IndexWindowTest, AnIndexWithoutPlayersKeepsItsRowsShownWhileTheyAreReadAgain) {
  open();
  {
    // The index as the version before kept it: the rows without their players' teams.
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older version");
    db.setDatabaseName(path("cache/index.sqlite"));
    ASSERT_TRUE(db.open());
    QSqlQuery query(db);
    ASSERT_TRUE(query.exec("ALTER TABLE replays ADD COLUMN players BLOB") &&
                query.exec("ALTER TABLE replays ADD COLUMN races BLOB") &&
                query.exec("ALTER TABLE replays DROP COLUMN roster"));
    const auto framed = [](const QStringList& list) {
      QByteArray bytes;
      QDataStream stream(&bytes, QIODevice::WriteOnly);
      stream.setVersion(QDataStream::Qt_6_0);
      stream << list;
      return bytes;
    };
    ASSERT_TRUE(query.prepare("UPDATE replays SET players = ?, races = ?"));
    query.addBindValue(framed({"Mira", "Ashen Vel"}));
    query.addBindValue(framed({"race_2", "race_1"}));
    ASSERT_TRUE(query.exec() && query.exec("PRAGMA user_version = 1"));
  }
  QSqlDatabase::removeDatabase("older version");
  const auto rosters = [](const MainWindow& window) {
    QList<int> teams;
    for (int i = 0; i < window.library()->model()->rowCount(); ++i) {
      for (const myzor::RowPlayer& player : window.library()->model()->row(i).roster)
        teams.append(player.team);
    }
    return teams;
  };
  const qint64 opened = myzor::ReplayFilesRead();
  {
    const auto window = open();
    QSignalSpy removed(window->library()->model(), &QAbstractItemModel::rowsRemoved);
    EXPECT_EQ(window->library()->model()->rowCount(), 3);
    EXPECT_FALSE(window->statusBar()->currentMessage().contains("rebuilt"));
    QTRY_COMPARE_WITH_TIMEOUT(rosters(*window), (QList<int>{2, 1, 2, 1, 2, 1}), 10'000);
    EXPECT_EQ(window->library()->model()->rowCount(), 3);
    EXPECT_TRUE(removed.isEmpty());
    EXPECT_EQ(myzor::ReplayFilesRead(), opened + 3);
  }
  // The players read again are kept: the next start opens no replay.
  EXPECT_EQ(rosters(*open()), (QList<int>{2, 1, 2, 1, 2, 1}));
  EXPECT_EQ(myzor::ReplayFilesRead(), opened + 3);
}

}  // namespace
