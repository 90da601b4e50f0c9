// The library's table: what a folder's files become, how rows sort and which
// rows a search shows.
#include "library/folder_scan.h"
#include "library/library.h"
#include "library/library_filter.h"
#include "library/library_model.h"
#include "tests/support/replay_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace {

using myzor::LibraryModel;

myzor::ReplayRow Row(const QString& file, qint64 size, qint64 mtime_s, QStringList players, const QString& map,
              const QString& status = QStringLiteral("ok")) {
  myzor::ReplayRow row;
  row.relative_path = file;
  row.file.size = size;
  row.file.mtime_ns = mtime_s * 1'000'000'000;
  row.players = std::move(players);
  row.map = map;
  row.game = QStringLiteral("Duel");
  row.ok = status == QStringLiteral("ok");
  if (!row.ok) row.error_message = status;
  return row;
}

QStringList Files(const QAbstractItemModel& model) {
  QStringList files;
  for (int row = 0; row < model.rowCount(); ++row) files << model.index(row, LibraryModel::FileColumn).data().toString();
  return files;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<myzor::ReplayRow> rows;
    rows.push_back(Row("game 10.rec", 900, 3000, {"Ashen Vel", "Mira Tolvane"}, "Ashfall Ridge"));
    rows.push_back(Row("game 2.rec", 10'000, 1000, {"Zoë Ærn"}, "Frost Pass"));
    rows.push_back(Row("Game 1.rec", 50, 2000, {"Mira Tolvane"}, "Ashfall Ridge cliffs",
                       "cut.rec: read outside the file at byte 300"));
    model.appendRows(std::move(rows));
    filter.setSourceModel(&model);
  }
  QStringList sortedBy(int column, Qt::SortOrder order = Qt::AscendingOrder) {
    filter.sort(column, order);
    return Files(filter);
  }
  LibraryModel model;
  myzor::LibraryFilter filter;
};

TEST_F(TableTest, SortsNumbersInsideNamesSizesAndDatesByValue) {
  EXPECT_EQ(sortedBy(LibraryModel::FileColumn), QStringList({"Game 1.rec", "game 2.rec", "game 10.rec"}));
  EXPECT_EQ(sortedBy(LibraryModel::SizeColumn), QStringList({"Game 1.rec", "game 10.rec", "game 2.rec"}));
  EXPECT_EQ(sortedBy(LibraryModel::ModifiedColumn, Qt::DescendingOrder),
            QStringList({"game 10.rec", "Game 1.rec", "game 2.rec"}));
}

struct SearchCase {
  const char* text;
  QStringList shown;  // in file order
};

class SearchTest : public TableTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(SearchTest, ShowsTheRowsHoldingEveryWord) {
  filter.sort(LibraryModel::FileColumn);
  filter.setSearchText(QString::fromUtf8(GetParam().text));
  EXPECT_EQ(Files(filter), GetParam().shown) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Words, SearchTest,
    ::testing::Values(SearchCase{"", {"Game 1.rec", "game 2.rec", "game 10.rec"}},
                      SearchCase{"mira", {"Game 1.rec", "game 10.rec"}},
                      SearchCase{"mira ashen", {"game 10.rec"}},          // words AND-ed
                      SearchCase{"zoe ærn", {"game 2.rec"}},              // accents fold
                      SearchCase{"ZOË", {"game 2.rec"}},
                      SearchCase{"map:\"Ashfall Ridge\"", {"Game 1.rec", "game 10.rec"}},
                      SearchCase{"\"ridge cliffs\"", {"Game 1.rec"}},
                      SearchCase{"map:ashfall player:ashen", {"game 10.rec"}},
                      SearchCase{"player:frost", {}},                     // a key looks in its column only
                      SearchCase{"status:ok", {"game 2.rec", "game 10.rec"}},
                      SearchCase{"status:byte", {"Game 1.rec"}},
                      SearchCase{"Player:mira MAP:ashfall", {"Game 1.rec", "game 10.rec"}},
                      SearchCase{"nosuch:mira", {}}));                    // an unknown field lists none

TEST(SearchProblemTest, NamesAnUnknownFieldOnly) {
  EXPECT_EQ(myzor::SearchProblem("mira Player:mira \"a:b\" 12:30"), QString());
  EXPECT_EQ(myzor::SearchProblem("map:x:y foo:bar"),
            "unknown field foo: game, map, player, race, status, team, version");
}

// Replays written into a temporary folder and read by the library.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  void write(const QString& relative, const replay_builder::ReplaySpec& recipe, std::size_t cut = 0) {
    QDir().mkpath(QFileInfo(path(relative)).absolutePath());
    replay_builder::Bytes bytes = replay_builder::BuildReplay(recipe);
    if (cut > 0) bytes.resize(cut);
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(path(relative)).toStdString(), bytes));
  }
  // Opens `folder` and waits for the read to end.
  void read(myzor::Library& library, const QString& folder) {
    QSignalSpy finished(&library, &myzor::Library::finished);
    library.openFolder(QFile::encodeName(folder));
    ASSERT_TRUE(finished.wait(10'000));
  }
  QTemporaryDir m_dir;
};

TEST_F(FolderTest, ListsEveryReplayBelowTheFolderAndKeepsDamagedOnes) {
  replay_builder::ReplaySpec duel = replay_builder::SimpleReplay(3, true);
  duel.players[0].name = u"Ashen Vel";
  duel.players[2].name = u"Mira Tolvane";
  write("b/duel.REC", duel);
  write("a.rec", replay_builder::SimpleReplay(2, false), 300);
  write("notes.txt", duel);
  ASSERT_TRUE(QFile::link(m_dir.path(), path("b/back")));  // a loop

  myzor::Library library;
  QSignalSpy problems(&library, &myzor::Library::problemsFound);
  read(library, m_dir.path());
  LibraryModel& model = *library.model();
  ASSERT_EQ(Files(model), QStringList({"a.rec", "b/duel.REC"}));
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems[0][0].toStringList().join('\n').contains("b/back")) << problems[0][0].toStringList().join('\n').toStdString();

  const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
  EXPECT_TRUE(cell(0, LibraryModel::StatusColumn).contains("a.rec")) << cell(0, LibraryModel::StatusColumn).toStdString();
  EXPECT_EQ(cell(1, LibraryModel::PlayersColumn), "Ashen Vel, Player 2, Mira Tolvane");
  EXPECT_EQ(cell(1, LibraryModel::TeamsColumn), "Player 2 vs Ashen Vel & Mira Tolvane");
  EXPECT_EQ(cell(1, LibraryModel::RacesColumn), "race_1, race_2, race_3");
  EXPECT_EQ(cell(1, LibraryModel::WinConditionsColumn), "Annihilate");
  EXPECT_EQ(cell(1, LibraryModel::StatusColumn), "ok");
  const std::vector<myzor::RowPlayer> roster{{"Ashen Vel", "race_1", 2}, {"Player 2", "race_2", 1}, {"Mira Tolvane", "race_3", 2}};
  EXPECT_TRUE(model.row(1).roster == roster);
  EXPECT_EQ(model.index(1, 0).data(LibraryModel::PathRole).toByteArray(), QFile::encodeName(path("b/duel.REC")));
}

TEST_F(FolderTest, AnotherFolderOpenedMidReadGetsNoneOfTheFirstFoldersRows) {
  for (int i = 0; i < 3000; ++i)
    write(QStringLiteral("old/old_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));
  for (int i = 0; i < 3; ++i) write(QStringLiteral("new/new_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));

  myzor::Library library;
  library.openFolder(QFile::encodeName(path("old")));
  QSignalSpy rows(library.model(), &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(rows.wait(10'000));  // the old folder's read is under way
  read(library, path("new"));
  // Whatever the old workers still send arrives after this.
  QTest::qWait(200);
  EXPECT_EQ(Files(*library.model()), QStringList({"new_0.rec", "new_1.rec", "new_2.rec"}));
  EXPECT_EQ(library.total(), 3);
}

int StatusCount(const LibraryModel& model, const QString& status) {
  int count = 0;
  for (int row = 0; row < model.rowCount(); ++row)
    count += model.index(row, LibraryModel::StatusColumn).data().toString() == status ? 1 : 0;
  return count;
}

TEST_F(FolderTest, StopKeepsARowForEveryFileFoundAndReadTheRestReadsThem) {
  constexpr int kFiles = 1500;
  for (int i = 0; i < kFiles; ++i) write(QStringLiteral("r_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));
  myzor::Library library;
  library.setMaxThreads(1);
  QSignalSpy finished(&library, &myzor::Library::finished);
  QSignalSpy inserted(library.model(), &QAbstractItemModel::rowsInserted);
  library.openFolder(QFile::encodeName(m_dir.path()));
  ASSERT_TRUE(inserted.wait(10'000));
  library.stop();
  ASSERT_TRUE(finished.wait(10'000));
  ASSERT_TRUE(finished[0][0].toBool());
  const LibraryModel& model = *library.model();
  ASSERT_EQ(model.rowCount(), kFiles);
  const int unread = model.unreadCount();
  ASSERT_GT(unread, 0);
  EXPECT_EQ(StatusCount(model, "not read"), unread);
  EXPECT_EQ(library.done(), kFiles - unread);

  const qint64 opened = myzor::ReplayFilesRead();
  library.readRest();
  ASSERT_TRUE(finished.wait(10'000));
  EXPECT_FALSE(finished[1][0].toBool());
  EXPECT_EQ(StatusCount(model, "ok"), kFiles);
  EXPECT_EQ(model.unreadCount(), 0);
  EXPECT_EQ(myzor::ReplayFilesRead() - opened, unread);  // only those files were opened again
}

TEST_F(FolderTest, AFileRewrittenInPlaceIsReadAgainWhenItsRowIsChecked) {
  write("a.rec", replay_builder::SimpleReplay(2, false));
  myzor::Library library;
  read(library, m_dir.path());
  const QByteArray file = QFile::encodeName(path("a.rec"));
  const qint64 opened = myzor::ReplayFilesRead();
  library.checkFile(file);  // unchanged: not opened
  QTest::qWait(100);
  EXPECT_EQ(myzor::ReplayFilesRead(), opened);

  replay_builder::ReplaySpec other = replay_builder::SimpleReplay(3, false);
  other.map_name = "Salt Marsh";
  write("a.rec", other);  // the same inode, no new entry in the folder
  QSignalSpy read_again(&library, &myzor::Library::rowsRead);
  library.checkFile(file);
  ASSERT_TRUE(read_again.wait(10'000));
  EXPECT_EQ(library.model()->row(0).map, "Salt Marsh");
  EXPECT_EQ(library.model()->rowCount(), 1);
}

// Root reads every folder, so the unreadable one is scanned by a child that
// has given up root.
TEST_F(FolderTest, AnUnreadableSubfolderIsReportedAndSkipped) {
  write("top.rec", replay_builder::SimpleReplay(2, false));
  write("locked/inside.rec", replay_builder::SimpleReplay(2, false));
  ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
  ASSERT_TRUE(QFile::setPermissions(path("locked"), QFile::WriteOwner));
  const auto scan = [&] {
    const myzor::FolderScan result = myzor::ScanFolder(QFile::encodeName(m_dir.path()));
    return result.files.size() == 1 && result.problems.size() == 1 && result.problems[0].contains("locked");
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(scan());
  } else {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && scan() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace

int main(int argc, char* argv[]) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
