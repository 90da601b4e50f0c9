// The library's table: what a folder's files become, how rows sort and which
// rows a search shows.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "library/core/folder_scan.h"
#include "library/load/replay_loader.h"
#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "library/search/folded_row.h"
#include "library/search/query.h"
#include "tests/support/replay_builder.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
namespace myzor {
inline void PrintTo(const SearchProblem& problem, std::ostream* out) {
  *out << static_cast<int>(problem.kind) << " " << problem.value.toStdString();
}
}  // namespace myzor

namespace {

using myzor::LibraryModel;

myzor::ReplayRow Row(const QString& file, qint64 size, qint64 mtime_s, QStringList players,
                     const QString& map, const QString& status = QStringLiteral("ok"),
                     const QString& version = {}, int count = 0) {
  myzor::ReplayRow row;
  row.relative_path = file;
  row.file.path = file.toUtf8();
  row.file.size = size;
  row.file.mtime_ns = mtime_s * 1'000'000'000;
  for (const QString& name : players) row.roster.push_back({name, {}});
  row.map = map;
  row.game = QStringLiteral("Duel");
  row.version = version;
  row.player_count = count;
  row.ok = status == QStringLiteral("ok");
  if (!row.ok) row.error_message = status;
  return row;
}

QStringList Files(const QAbstractItemModel& model) {
  QStringList files;
  for (int row = 0; row < model.rowCount(); ++row)
    files << model.index(row, LibraryModel::FileColumn).data().toString();
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
  EXPECT_EQ(sortedBy(LibraryModel::FileColumn),
            QStringList({"Game 1.rec", "game 2.rec", "game 10.rec"}));
  EXPECT_EQ(sortedBy(LibraryModel::SizeColumn),
            QStringList({"Game 1.rec", "game 10.rec", "game 2.rec"}));
  EXPECT_EQ(sortedBy(LibraryModel::ModifiedColumn, Qt::DescendingOrder),
            QStringList({"game 10.rec", "Game 1.rec", "game 2.rec"}));
}

TEST_F(TableTest, StaysInOrderAsRowsComeChangeAndGo) {
  EXPECT_EQ(sortedBy(LibraryModel::MapColumn),
            QStringList({"game 10.rec", "Game 1.rec", "game 2.rec"}));
  std::vector<myzor::ReplayRow> added;
  added.push_back(Row("a.rec", 1, 1, {}, "Zenith"));
  added.push_back(Row("b.rec", 1, 1, {}, "Basalt"));
  model.appendRows(std::move(added));
  EXPECT_EQ(Files(filter),
            QStringList({"game 10.rec", "Game 1.rec", "b.rec", "game 2.rec", "a.rec"}));
  // A file read again with another map moves; one gone leaves.
  std::vector<LibraryModel::Entry> changed;
  myzor::ReplayRow row = Row("game 10.rec", 900, 3000, {}, "Yarrow");
  changed.push_back(LibraryModel::makeEntry(row));
  model.upsertEntries(std::move(changed));
  model.removePaths({"b.rec"});
  EXPECT_EQ(Files(filter), QStringList({"Game 1.rec", "game 2.rec", "game 10.rec", "a.rec"}));
}

TEST_F(TableTest, ManyRowsSortInOrderAlsoAfterMoreCome) {
  // Enough rows to be ordered on several threads at once.
  std::vector<myzor::ReplayRow> rows;
  for (int i = 0; i < 40'000; ++i)
    rows.push_back(Row(QStringLiteral("r%1.rec").arg(i), (i * 7919) % 1000, 1, {},
                       QStringLiteral("Map %1").arg((i * 7727) % 997)));
  model.appendRows(std::move(rows));
  const auto inOrder = [this](int column, bool descending) {
    for (int row = 1; row < filter.rowCount(); ++row) {
      const auto number = [&](int at) {
        const QString text = filter.index(at, column).data(LibraryModel::SortRole).toString();
        return column == LibraryModel::MapColumn ? text.section(' ', 1).toInt() : text.toInt();
      };
      if (descending ? number(row - 1) < number(row) : number(row - 1) > number(row)) return row;
    }
    return 0;
  };
  sortedBy(LibraryModel::MapColumn);
  EXPECT_EQ(inOrder(LibraryModel::MapColumn, false), 0);
  sortedBy(LibraryModel::SizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(inOrder(LibraryModel::SizeColumn, true), 0);
  std::vector<myzor::ReplayRow> more;
  for (int i = 0; i < 100; ++i)
    more.push_back(Row(QStringLiteral("late%1.rec").arg(i), 999 - i * 9, 1, {}, "Map 0"));
  model.appendRows(std::move(more));
  EXPECT_EQ(inOrder(LibraryModel::SizeColumn, true), 0);
  sortedBy(LibraryModel::SizeColumn);
  EXPECT_EQ(inOrder(LibraryModel::SizeColumn, false), 0);
}

struct SearchCase {
  SearchCase(const char* search, QStringList files, myzor::SearchProblem problem = {})
      : text(search), shown(std::move(files)), hint(std::move(problem)) {}
  const char* text;
  QStringList shown;  // in file order
  myzor::SearchProblem hint;
};
void PrintTo(const SearchCase& search, std::ostream* out) { *out << search.text; }

// Beside the three rows above, replays of 2024 whose times lie near midnight
// in Berlin, so that a date read as UTC lands on another day, and two of
// 2025 at the last and the first instant of a day, the day before Berlin's
// clocks go forward.
class SearchTest : public TableTest, public ::testing::WithParamInterface<SearchCase> {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void SetUp() override {
    TableTest::SetUp();
    std::vector<myzor::ReplayRow> rows;
    // 2024-05-17 00:30, 2024-06-30 23:50, 2024-01-01 00:10 in Berlin.
    rows.push_back(Row("north.rec", 1, 1715898600, {"Łucja", "Øyvind"}, "Straße", "ok", "1.30", 2));
    rows.push_back(Row("south.rec", 1, 1719784200, {"Đorđe", "Æsir"}, "Œuvre", "ok", "1.3", 4));
    rows.push_back(
        Row("west.rec", 1, 1704064200, {"Kai", "Жанна"}, "Glacier Bay", "ok", "1.30", 4));
    // 2025-03-29 23:59:59.999999999 and 2025-03-30 00:00 in Berlin.
    rows.push_back(
        Row("z1 eve.rec", 1, 1743289200, {"Kaiser", "Jo \"Ace\" Lin"}, "Glacier Bay", "ok", "", 2));
    rows.back().file.mtime_ns -= 1;
    rows.push_back(Row("z2 dawn.rec", 1, 1743289200, {"Kai"}, "Twin\\Peaks", "ok", "", 1));
    rows.back().roster[0].race = "Orc";
    model.appendRows(std::move(rows));
    // What the user knows of three of them; given after the rows, as the store's answer comes.
    const auto notes = [](QStringList tags, int rating, bool favourite, bool watched,
                          const char* note) {
      return std::make_shared<const myzor::ReplayNotes>(
          myzor::ReplayNotes{std::move(tags), rating, favourite, watched, note});
    };
    model.setNotes({{"north.rec", notes({"Révision", "to study"}, 4, true, false,
                                        "lost to a rush\nat five minutes")},
                    {"south.rec", notes({"done"}, 2, false, true, "")},
                    {"west.rec", notes({}, 5, true, true, "")}});
  }
};

TEST_P(SearchTest, ShowsTheRowsTheSearchHoldsForOrAHint) {
  filter.sort(LibraryModel::FileColumn);
  const QString text = QString::fromUtf8(GetParam().text);
  filter.setSearchText(text);
  EXPECT_EQ(Files(filter), GetParam().shown) << GetParam().text;
  EXPECT_EQ(filter.searchProblem(), GetParam().hint) << GetParam().text;
  // The tools' search of one row at a time lists the same rows.
  const myzor::SearchQuery query = myzor::CompileSearch(text);
  QStringList matched;
  for (int i = 0; i < model.rowCount(); ++i)
    if (myzor::Matches(query, model.row(i))) matched << model.row(i).relative_path;
  QStringList shown = GetParam().shown;
  std::sort(matched.begin(), matched.end());
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(matched, shown) << GetParam().text;
}

const QStringList k1970 = {"Game 1.rec", "game 2.rec", "game 10.rec"};
const QStringList k2024 = {"north.rec", "south.rec", "west.rec"};
const QStringList k2025 = {"z1 eve.rec", "z2 dawn.rec"};
using Problem = myzor::SearchProblem::Kind;

INSTANTIATE_TEST_SUITE_P(
    Words, SearchTest,
    ::testing::Values(
        SearchCase{"", k1970 + k2024 + k2025}, SearchCase{"mira", {"Game 1.rec", "game 10.rec"}},
        SearchCase{"mira ashen", {"game 10.rec"}},  // words AND-ed
        SearchCase{"zoe ærn", {"game 2.rec"}},      // accents fold
        SearchCase{"ZOË", {"game 2.rec"}},
        SearchCase{"lucja oyvind strasse", {"north.rec"}},  // letters without a decomposition
        SearchCase{"dorde AESIR oeuvre", {"south.rec"}}, SearchCase{"ŁUCJA STRASSE", {"north.rec"}},
        SearchCase{"map:\"Ashfall Ridge\"", {"Game 1.rec", "game 10.rec"}},
        SearchCase{"\"ridge cliffs\"", {"Game 1.rec"}},
        SearchCase{"map:ashfall player:ashen", {"game 10.rec"}},
        SearchCase{"player:frost", {}},  // a key looks in its column only
        SearchCase{"status:ok", QStringList{"game 2.rec", "game 10.rec"} + k2024 + k2025},
        SearchCase{"status:byte", {"Game 1.rec"}},
        SearchCase{"Player:mira MAP:ashfall", {"Game 1.rec", "game 10.rec"}},
        SearchCase{"-mira", QStringList{"game 2.rec"} + k2024 + k2025},
        SearchCase{"-mira OR ashen", QStringList{"game 2.rec", "game 10.rec"} + k2024 + k2025},
        SearchCase{"map:ashfall -player:ashen", {"Game 1.rec"}},
        SearchCase{"\"-mira\" - \"OR\"", {}},  // quoted, a dash and OR are text
        SearchCase{"frost OR oeuvre", {"game 2.rec", "south.rec"}},
        SearchCase{"mira ashen OR zoe", {"game 2.rec", "game 10.rec"}},  // AND binds tighter
        SearchCase{"map:\"Frost Pass\" OR player:\"Mira Tolvane\"", k1970},
        SearchCase{"OR kai OR", QStringList{"west.rec"} + k2025},
        SearchCase{"player:ЖАННА", {"west.rec"}},      // folded beyond Latin
        SearchCase{"date:2024-05-17", {"north.rec"}},  // local time: UTC says 05-16
        SearchCase{"date:2024-05", {"north.rec"}}, SearchCase{"date:2024", k2024},
        SearchCase{"date:2023", {}}, SearchCase{"-date:2024", k1970 + k2025},
        SearchCase{"after:2024-01-01", k2024 + k2025},  // the day named is included
        SearchCase{"after:2024-01-02", QStringList{"north.rec", "south.rec"} + k2025},
        SearchCase{"after:2025-03-30", {"z2 dawn.rec"}},  // from its first instant
        SearchCase{"before:2025-03-29", k1970 + k2024 + QStringList{"z1 eve.rec"}},  // to its last
        SearchCase{"date:2025-03-29", {"z1 eve.rec"}},
        SearchCase{"date:2025-03-30", {"z2 dawn.rec"}},
        SearchCase{"after:2025-03 before:2025", k2025},
        SearchCase{"before:2024-06-30", k1970 + k2024},
        SearchCase{"before:2024-06-29", k1970 + QStringList{"north.rec", "west.rec"}},
        SearchCase{"after:2024-05-17 before:2024-05-17", {"north.rec"}},
        SearchCase{"count:4", {"south.rec", "west.rec"}},
        SearchCase{"count:2", {"north.rec", "z1 eve.rec"}},
        SearchCase{"-count:0 -count:4", {"north.rec", "z1 eve.rec", "z2 dawn.rec"}},
        SearchCase{"player:kai", QStringList{"west.rec"} + k2025},   // part of a name
        SearchCase{"player:=\"Kai\"", {"west.rec", "z2 dawn.rec"}},  // a whole name
        SearchCase{"player:=kaiser", {"z1 eve.rec"}}, SearchCase{"player:=kais", {}},
        SearchCase{"-player:=kai", k1970 + QStringList{"north.rec", "south.rec", "z1 eve.rec"}},
        SearchCase{"player:\"jo \\\"ace\\\" lin\"", {"z1 eve.rec"}},  // \" in quotes
        SearchCase{"player:=\"Jo \\\"Ace\\\" Lin\"", {"z1 eve.rec"}},
        SearchCase{"\"\\\"ace\\\"\"", {"z1 eve.rec"}},
        SearchCase{"map:\"twin\\\\peaks\"", {"z2 dawn.rec"}},  // \\ in quotes
        SearchCase{"map:\"twin\\peaks\"", {"z2 dawn.rec"}},    // any other \ is itself
        SearchCase{"map:=\"glacier bay\"", {"west.rec", "z1 eve.rec"}},
        SearchCase{"map:=glacier", {}},
        SearchCase{"map:\"=glacier bay\"", {}},  // a quoted = is text
        SearchCase{"race:orc", {"z2 dawn.rec"}}, SearchCase{"race:=or", {}},
        SearchCase{"team:kaiser", {"z1 eve.rec"}},
        SearchCase{"team:\"kai & жанна\"", {"west.rec"}},  // folded word by word
        SearchCase{"team:\"lucja & oyvind\"", {"north.rec"}}, SearchCase{"game:due -game:duel", {}},
        SearchCase{"player:=", k1970 + k2024 + k2025},
        SearchCase{"version:1.3", {"south.rec"}},  // the whole value
        SearchCase{"version:1.30", {"north.rec", "west.rec"}},
        SearchCase{"VERSION:1.30 map:", {"north.rec", "west.rec"}},
        SearchCase{"mira Player:mira \"a:b\" 12:30", {}},
        SearchCase{"nosuch:mira", {}, {Problem::unknown_field, "nosuch"}},
        SearchCase{"map:x:y -foo:bar", {}, {Problem::unknown_field, "foo"}},
        SearchCase{"mira OR date:2024-13", {}, {Problem::bad_date, "2024-13"}},
        SearchCase{"before:2024-02-30", {}, {Problem::bad_date, "2024-02-30"}},
        SearchCase{"count:4x", {}, {Problem::bad_count, "4x"}}));

const QStringList kAll = k1970 + k2024 + k2025;
INSTANTIATE_TEST_SUITE_P(
    WhatTheUserKnows, SearchTest,
    ::testing::Values(
        SearchCase{"tag:revision", {"north.rec"}},  // accents fold
        SearchCase{"tag:\"TO STUDY\"", {"north.rec"}},
        SearchCase{"tag:study", {}},  // one whole tag
        SearchCase{"-tag:done", QStringList{k1970} + QStringList{"north.rec", "west.rec"} + k2025},
        SearchCase{"rating:4", {"north.rec"}}, SearchCase{"rating:>=4", {"north.rec", "west.rec"}},
        SearchCase{"rating:>4", {"west.rec"}},
        SearchCase{"rating:<=2", k1970 + QStringList{"south.rec"} + k2025},
        SearchCase{"rating:<1 -rating:=0", {}},
        SearchCase{"is:favourite", {"north.rec", "west.rec"}},
        SearchCase{"is:FAVORITE", {"north.rec", "west.rec"}},
        SearchCase{"is:watched", {"south.rec", "west.rec"}},
        SearchCase{"-is:watched", k1970 + QStringList{"north.rec"} + k2025},
        SearchCase{"note:rush", {"north.rec"}},
        SearchCase{"note:\"rush at\"", {"north.rec"}},  // across the note's lines
        SearchCase{"five study", {"north.rec"}},        // tags and notes in any column
        SearchCase{"is:favourite -is:watched OR tag:done", {"north.rec", "south.rec"}},
        SearchCase{"rating:6", {}, {Problem::bad_rating, "6"}},
        SearchCase{"rating:>=x", {}, {Problem::bad_rating, ">=x"}},
        SearchCase{"is:starred", {}, {Problem::bad_flag, "starred"}}));

TEST_F(SearchTest, ANameOfAPersonFindsTheGamesOfAllTheirNames) {
  filter.sort(LibraryModel::FileColumn);
  filter.setSearchText(QStringLiteral("player:=kai"));
  EXPECT_EQ(Files(filter), (QStringList{"west.rec", "z2 dawn.rec"}));
  // Kai and "Mira Tolvane" are one person; Kaiser is not.
  filter.setPersons({{"kai", {"kai", "mira tolvane"}}, {"mira tolvane", {"kai", "mira tolvane"}}});
  EXPECT_EQ(Files(filter), (QStringList{"Game 1.rec", "game 10.rec", "west.rec", "z2 dawn.rec"}));
  filter.setSearchText(QStringLiteral("player:\"mira tolvane\" -player:ashen"));
  EXPECT_EQ(Files(filter), (QStringList{"Game 1.rec", "west.rec", "z2 dawn.rec"}));
  filter.setPersons({});
  EXPECT_EQ(Files(filter), (QStringList{"Game 1.rec"}));
}

// Replays written into a temporary folder and read by the library.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  void write(const QString& relative, const replay_builder::ReplaySpec& recipe,
             std::size_t cut = 0) {
    QDir().mkpath(QFileInfo(path(relative)).absolutePath());
    replay_builder::Bytes bytes = replay_builder::BuildReplay(recipe);
    if (cut > 0) bytes.resize(cut);
    ASSERT_TRUE(replay_builder::WriteFile(QFile::encodeName(path(relative)).toStdString(), bytes));
  }
  // Opens `folder` and waits for the read to end.
  void read(myzor::ReplayLoader& library, const QString& folder) {
    QSignalSpy finished(&library, &myzor::ReplayLoader::finished);
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
  write("z/.hidden.rec", duel);
  ASSERT_TRUE(QFile::link(m_dir.path(), path("b/back")));  // a loop

  myzor::ReplayLoader library;
  QSignalSpy problems(&library, &myzor::ReplayLoader::problemsFound);
  read(library, m_dir.path());
  LibraryModel& model = *library.model();
  ASSERT_EQ(Files(model), QStringList({"a.rec", "duel.REC", ".hidden.rec"}));
  ASSERT_EQ(problems.size(), 1);
  const auto skipped = problems[0][0].value<myzor::ScanProblems>();
  ASSERT_EQ(skipped.size(), 1);
  EXPECT_EQ(skipped[0].kind, myzor::ScanProblem::Kind::loop);
  EXPECT_TRUE(skipped[0].folder.endsWith("b/back")) << skipped[0].folder.toStdString();

  const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
  EXPECT_TRUE(cell(0, LibraryModel::StatusColumn).contains("a.rec"))
      << cell(0, LibraryModel::StatusColumn).toStdString();
  EXPECT_EQ(cell(1, LibraryModel::PlayersColumn), "Ashen Vel, Player 2, Mira Tolvane");
  EXPECT_EQ(cell(1, LibraryModel::TeamsColumn), "Player 2 vs Ashen Vel & Mira Tolvane");
  EXPECT_EQ(cell(1, LibraryModel::RacesColumn), "race_1, race_2, race_3");
  EXPECT_EQ(cell(1, LibraryModel::WinConditionsColumn), "Annihilate");
  EXPECT_EQ(cell(1, LibraryModel::StatusColumn), "ok");
  const myzor::Roster roster{
      {"Ashen Vel", "race_1", 2}, {"Player 2", "race_2", 1}, {"Mira Tolvane", "race_3", 2}};
  ASSERT_EQ(model.row(1).roster.size(), roster.size());
  for (qsizetype i = 0; i < roster.size(); ++i) {
    myzor::RowPlayer read = model.row(1).roster[i];
    EXPECT_GT(read.block_end, read.block_start);
    EXPECT_TRUE(read.carriesPictures());
    read.block_start = read.block_end = 0;
    EXPECT_TRUE(read == roster[i]);
  }
  EXPECT_EQ(model.index(1, 0).data(LibraryModel::PathRole).toByteArray(),
            QFile::encodeName(path("b/duel.REC")));
}

TEST_F(FolderTest, AnotherFolderOpenedMidReadGetsNoneOfTheFirstFoldersRows) {
  for (int i = 0; i < 3000; ++i)
    write(QStringLiteral("old/old_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));
  for (int i = 0; i < 3; ++i)
    write(QStringLiteral("new/new_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));

  myzor::ReplayLoader library;
  library.openFolder(QFile::encodeName(path("old")));
  QSignalSpy rows(library.model(), &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(rows.wait(10'000));  // the old folder's read is under way
  library.refresh({QFile::encodeName(path("old/old_0.rec"))});
  read(library, path("new"));
  library.refresh(
      {QFile::encodeName(path("old/old_1.rec"))});  // not below the open folder: ignored
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
  for (int i = 0; i < kFiles; ++i)
    write(QStringLiteral("r_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));
  myzor::ReplayLoader library;
  library.setMaxThreads(1);
  QSignalSpy finished(&library, &myzor::ReplayLoader::finished);
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
  myzor::ReplayLoader library;
  read(library, m_dir.path());
  const QByteArray file = QFile::encodeName(path("a.rec"));
  const qint64 opened = myzor::ReplayFilesRead();
  library.checkFile(file);  // unchanged: not opened
  QTest::qWait(100);
  EXPECT_EQ(myzor::ReplayFilesRead(), opened);

  replay_builder::ReplaySpec other = replay_builder::SimpleReplay(3, false);
  other.map_name = "Salt Marsh";
  write("a.rec", other);  // the same inode, no new entry in the folder
  QSignalSpy read_again(&library, &myzor::ReplayLoader::rowsRead);
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
  ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
  ASSERT_TRUE(QFile::setPermissions(path("locked"), QFile::WriteOwner));
  const auto scan = [&] {
    const myzor::FolderScan result = myzor::ScanFolder(QFile::encodeName(m_dir.path()));
    return result.files.size() == 1 && result.problems.size() == 1 &&
           result.problems[0].kind == myzor::ScanProblem::Kind::unreadable &&
           result.problems[0].folder.endsWith("/locked") && !result.problems[0].reason.isEmpty();
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

// The one object the window uses, without any window: a folder opened, a
// start from the index that opens no replay, a file rewritten outside, and
// a read stopped and taken up again.
TEST_F(FolderTest, TheLibraryStartsFromItsIndexFollowsChangesAndReadsTheRestAfterAStop) {
  for (int i = 0; i < 300; ++i)
    write(QStringLiteral("lib/r_%1.rec").arg(i), replay_builder::SimpleReplay(2, false));
  const QByteArray root = QFile::encodeName(path("lib"));
  const QString index = path("cache/index.sqlite");
  const auto openAndWait = [&root](myzor::ReplayLibrary& library) {
    QSignalSpy finished(&library, &myzor::ReplayLibrary::finished);
    library.open(root);
    return finished.wait(10'000);
  };
  {
    myzor::ReplayLibrary library(index);
    QSignalSpy scanned(&library, &myzor::ReplayLibrary::scanned);
    library.setMaxThreads(1);
    library.open(root);
    ASSERT_TRUE(scanned.wait(10'000));
    library.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!library.isRunning(), 10'000);
    EXPECT_EQ(library.model()->rowCount(), 300);  // a row for every file found, read or not
    QSignalSpy finished(&library, &myzor::ReplayLibrary::finished);
    library.readRest();
    if (library.isRunning()) {
      ASSERT_TRUE(finished.wait(10'000));
    }
    EXPECT_EQ(library.model()->unreadCount(), 0);
    EXPECT_EQ(library.model()->rowCount(), 300);
  }

  const qint64 before = myzor::ReplayFilesRead();
  myzor::ReplayLibrary library(index, {50, 20, 3000, 0});
  QSignalSpy checked(&library, &myzor::ReplayLibrary::checked);
  ASSERT_TRUE(openAndWait(library));
  if (checked.isEmpty()) {
    ASSERT_TRUE(checked.wait(10'000));
  }
  EXPECT_EQ(checked.first().at(0).toLongLong(), 0);  // nothing to read again
  EXPECT_EQ(library.model()->rowCount(), 300);
  EXPECT_EQ(myzor::ReplayFilesRead(), before);

  replay_builder::ReplaySpec three = replay_builder::SimpleReplay(3, false);
  three.players[0].name = u"Rewritten";
  write("lib/r_7.rec", three);
  const QByteArray changed = QFile::encodeName(path("lib/r_7.rec"));
  QTRY_COMPARE_WITH_TIMEOUT(library.model()->row(library.model()->rowOf(changed)).player_count, 3,
                            10'000);
  EXPECT_EQ(myzor::ReplayFilesRead(), before + 1);
}

int main(int argc, char* argv[]) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
