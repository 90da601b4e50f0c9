#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <csignal>
#include <set>

#include "library/index/reconcile.h"
#include "library/index/replay_index.h"

namespace myzor {
namespace {

ReplayRow Row(int n) {
  ReplayRow row;
  row.file = {"/r/" + QByteArray::number(n) + ".rec", 1000 + n, 1'700'000'000'000'000'000 + n,
              50u + n};
  row.game = QStringLiteral("Game %1 ").repeated(20).arg(n);
  // A replacement character that is really there, not a sign of bytes that failed to decode.
  if (n == 3) row.game += QChar::ReplacementCharacter;
  for (const char* name : {"Ashen\nVel", "Mira"})
    row.roster.push_back({QString::fromUtf8(name), QString(), 1, 0, 0});
  row.ok = n % 2 == 0;
  if (!row.ok) row.error_offset = n;
  return row;
}

std::vector<ReplayRow> Rows(int first, int count) {
  std::vector<ReplayRow> rows;
  for (int n = first; n < first + count; ++n) rows.push_back(Row(n));
  return rows;
}

QByteArray PathOf(const ReplayRow& row) { return row.file.path; }
QByteArray PathOf(const FileEntry& entry) { return entry.path; }
QByteArray PathOf(const QByteArray& path) { return path; }

template <typename T>
std::set<std::string> Paths(const std::vector<T>& items) {
  std::set<std::string> paths;
  for (const T& item : items) paths.insert(PathOf(item).toStdString());
  return paths;
}

TEST(Reconcile, OpensOnlyNewAndChangedFilesAndDropsGoneOnes) {
  std::vector<ReplayRow> rows = Rows(0, 8);
  rows[5].ok = rows[6].ok = false;
  rows[5].error_kind = QStringLiteral("out_of_range");  // cut short, unchanged since
  rows[6].error_kind = QStringLiteral("file");          // could not be opened
  rows[7].ok = true;
  rows[7].names_only = true;  // kept by an index too old to hold the teams
  std::vector<FileEntry> files;
  for (const ReplayRow& row : rows) files.push_back(row.file);
  files[1].size += 1;
  files[2].mtime_ns += 1;
  files[3].inode += 1;  // replaced by another file of the same size and time
  files.erase(files.begin() + 4);
  files.push_back({"/r/new.rec", 1, 1, 1});

  std::vector<KnownFile> known;
  for (const ReplayRow& row : rows) known.push_back(KnownFile::of(row));
  const Reconciliation result = Reconcile(known, files);
  using Names = std::set<std::string>;
  EXPECT_EQ(Paths(result.to_read),
            (Names{"/r/1.rec", "/r/2.rec", "/r/3.rec", "/r/6.rec", "/r/7.rec", "/r/new.rec"}));
  EXPECT_EQ(Paths(result.gone), (Names{"/r/4.rec"}));
}

QByteArray Contents(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

void Write(const QString& file, const QByteArray& bytes) {
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(bytes);
}

class Index : public testing::Test {
 protected:
  void TearDown() override {
    QSqlDatabase::removeDatabase(QStringLiteral("other copy"));
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  void otherCopyRuns(const char* sql) {
    ReplayIndex(file).store(Rows(0, 3000));
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other copy"));
    db.setDatabaseName(file);
    if (db.open()) QSqlQuery(db).exec(QString::fromLatin1(sql));
  }
  QTemporaryDir dir;
  QString file = dir.filePath(QStringLiteral("index.sqlite"));
};

TEST_F(Index, KeepsEveryColumnOfTheRowsOfAFolder) {
  ReplayIndex(file).store(Rows(0, 5));
  ReplayRow elsewhere = Row(9);
  elsewhere.file.path = "/r2/9.rec";
  ReplayIndex index(file);
  EXPECT_TRUE(index.store({elsewhere}) && index.remove({"/r/4.rec"}));

  const std::vector<ReplayRow> rows = index.rowsUnder("/r");
  ASSERT_EQ(Paths(rows), Paths(Rows(0, 4)));
  for (const ReplayRow& row : rows) {
    ReplayRow stored = Row(row.file.path.mid(3).chopped(4).toInt());
    EXPECT_EQ(row.file, stored.file);
    EXPECT_EQ(std::tie(row.relative_path, row.game, row.roster, row.ok, row.error_offset),
              std::tie(stored.relative_path = row.file.path.mid(3), stored.game, stored.roster,
                       stored.ok, stored.error_offset));
  }
  EXPECT_TRUE(index.takeStatus().isNone());
}

// Names and races as the versions before framed them.
QByteArray Framed(const QStringList& list) {
  QByteArray bytes;
  QDataStream stream(&bytes, QIODevice::WriteOnly);
  stream.setVersion(QDataStream::Qt_6_0);
  stream << list;
  return bytes;
}

// An index left by each version before keeps its rows and their players:
// version 1 had name lists only, 2 and 3 a players table beside them.
class IndexBefore : public Index, public testing::WithParamInterface<int> {};

TEST_P(IndexBefore, KeepsItsRowsAndThePlayersOfEachRow) {
  const int version = GetParam();
  {
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("before"));
    db.setDatabaseName(file);
    ASSERT_TRUE(db.open());
    QSqlQuery query(db);
    ASSERT_TRUE(query.exec(QStringLiteral(
        "CREATE TABLE replays (path BLOB PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT "
        "NULL, "
        "inode INTEGER NOT NULL, game TEXT, map TEXT, players BLOB, teams TEXT, races BLOB, "
        "version TEXT, "
        "win_conditions TEXT, player_count INTEGER, ok INTEGER NOT NULL, error_kind TEXT, "
        "error_offset INTEGER, error_message TEXT) WITHOUT ROWID")));
    if (version > 1) {
      ASSERT_TRUE(
          query.exec(QStringLiteral("CREATE TABLE players (path BLOB NOT NULL, seat INTEGER NOT "
                                    "NULL, name TEXT, team INTEGER, "
                                    "race TEXT, block_start INTEGER, block_end INTEGER, PRIMARY "
                                    "KEY (path, seat)) WITHOUT ROWID")));
      // The second row's players only in the players table, the third's in both.
      for (const char* path : {"/r/1.rec", "/r/2.rec"}) {
        ASSERT_TRUE(
            query.exec(QStringLiteral("INSERT INTO players VALUES (CAST('%1' AS BLOB), 0, "
                                      "'Mira', 2, 'race_2', 20, 30), (CAST('%1' AS BLOB), 1, "
                                      "'Ashen Vel', 1, 'race_1', 30, 40)")
                           .arg(QLatin1String(path))));
      }
    }
    ASSERT_TRUE(
        query.prepare(QStringLiteral("INSERT INTO replays VALUES (?, 10, 20, 30, 'Game', 'Map', ?, "
                                     "'A vs B', ?, '1.2', 'Annihilate', 2, ?, NULL, NULL, NULL)")));
    for (int n = 0; n < 4; ++n) {
      const bool listed = n == 0 || n == 2;
      query.addBindValue("/r/" + QByteArray::number(n) + ".rec");
      query.addBindValue(listed ? Framed({"Mira", "Ashen Vel"}) : QByteArray());
      query.addBindValue(listed ? Framed({"race_2", "race_1"}) : QByteArray());
      query.addBindValue(n != 3);
      ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
    }
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("before"));

  ReplayIndex index(file);
  const std::vector<ReplayRow> read = index.rowsUnder("/r");
  ASSERT_EQ(read.size(), 4u) << index.takeStatus().detail.toStdString();
  const Roster roster{{"Mira", "race_2", 2, 20, 30}, {"Ashen Vel", "race_1", 1, 30, 40}};
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    const ReplayRow& row = read[static_cast<std::size_t>(n)];
    const bool has_players = n == 0 || (n == 1 && version > 1) || n == 2;
    const bool has_seats = (n == 1 || n == 2) && version > 1;
    EXPECT_EQ(row.players(), has_players ? "Mira, Ashen Vel" : "");
    EXPECT_EQ(row.races(), has_players ? "race_2, race_1" : "");
    EXPECT_EQ(row.lacksRoster(), has_players && !has_seats);
    if (has_seats) {
      EXPECT_EQ(row.roster, roster);
    }
    EXPECT_EQ(row.teams(), has_seats ? "Ashen Vel vs Mira" : has_players ? "A vs B" : "");
    EXPECT_EQ(std::tie(row.game, row.map, row.version, row.win_conditions, row.ok),
              std::make_tuple(QStringLiteral("Game"), QStringLiteral("Map"), QStringLiteral("1.2"),
                              QStringLiteral("Annihilate"), n != 3));
  }
  EXPECT_TRUE(index.takeStatus().isNone());
  // Kept as this version keeps them from now on.
  EXPECT_EQ(ReplayIndex(file).rowsUnder("/r").size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Versions, IndexBefore, testing::Values(1, 2, 3));

// Players kept cut short or with bytes after them leave their file out, to
// be read again, and every other row stays.
TEST_F(Index, LeavesOutARowWhosePlayersAreDamaged) {
  std::vector<ReplayRow> rows = Rows(0, 2);
  rows[1].roster = {{"Ashen\nVel", "race_1", 2, 10, 20}, {"Mira", "race_2", 1, 20, 30}};
  ReplayIndex(file).store(rows);
  QByteArray packed;
  {
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other copy"));
    db.setDatabaseName(file);
    ASSERT_TRUE(db.open());
    QSqlQuery query(db);
    ASSERT_TRUE(query.exec(QStringLiteral(
                    "SELECT roster FROM replays WHERE path = CAST('/r/1.rec' AS BLOB)")) &&
                query.next());
    packed = query.value(0).toByteArray();
  }
  ASSERT_FALSE(packed.isEmpty());
  std::vector<QByteArray> damaged;
  for (qsizetype size = 0; size < packed.size(); ++size) damaged.push_back(packed.left(size));
  damaged.push_back(packed + '\0');
  for (const QByteArray& roster : damaged) {
    SCOPED_TRACE(roster.toHex().toStdString());
    {
      QSqlDatabase db = QSqlDatabase::database(QStringLiteral("other copy"));
      QSqlQuery query(db);
      ASSERT_TRUE(query.prepare(
          QStringLiteral("UPDATE replays SET roster = ? WHERE path = CAST('/r/1.rec' AS BLOB)")));
      query.addBindValue(roster);
      ASSERT_TRUE(query.exec());
    }
    const std::vector<ReplayRow> read = ReplayIndex(file).rowsUnder("/r");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].file, rows[0].file);
  }
}

// Each way the index can be spoiled, and what the user is told.
struct Trouble {
  const char* name;
  IndexStatus::Kind kind;
};
void PrintTo(const Trouble& trouble, std::ostream* out) { *out << trouble.name; }

class UnusableIndex : public Index, public testing::WithParamInterface<Trouble> {
 protected:
  // The index file to open, spoiled as `trouble` says. (A read-only folder
  // does not stop root, who runs the tests; a folder that cannot be made does.)
  QString spoil(const std::string& trouble) {
    if (trouble == "garbage") Write(file, QByteArray(9000, '\x5a'));
    if (trouble == "zero_length") Write(file, {});
    if (trouble == "cut_short") {
      ReplayIndex(file).store(Rows(0, 3000));
      QFile(file).resize(QFile(file).size() / 2);
    }
    if (trouble == "another_version") otherCopyRuns("PRAGMA user_version = 99");
    if (trouble == "locked_by_another_copy") otherCopyRuns("BEGIN IMMEDIATE");
    if (trouble == "disk_full") {
      ReplayIndex(file).store(Rows(0, 10));
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = 256 * 1024;
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (trouble == "cache_folder_under_a_file") {
      Write(dir.filePath(QStringLiteral("cache")), "x");
      return dir.filePath(QStringLiteral("cache/index.sqlite"));
    }
    return file;
  }
};

TEST_P(UnusableIndex, ProgramGoesOnSaysSoOnceAndLeavesReplaysAlone) {
  const QStringList replays{dir.filePath(QStringLiteral("a.rec")), file + QStringLiteral(".rec")};
  for (const QString& replay : replays) Write(replay, replay.toUtf8().repeated(100));
  const QString opened = spoil(GetParam().name);

  ReplayIndex index(opened, 200);
  const bool stored = index.store(Rows(0, 2000));
  const IndexStatus status = index.takeStatus();
  EXPECT_EQ(status.kind, GetParam().kind) << status.detail.toStdString();
  EXPECT_TRUE(index.takeStatus().isNone());
  for (const QString& replay : replays) EXPECT_EQ(Contents(replay), replay.toUtf8().repeated(100));
  const bool used = status.kind != IndexStatus::Kind::unusable;
  EXPECT_EQ(stored, used);
  EXPECT_EQ(index.isUsed(), used);
  EXPECT_EQ(index.rowsUnder("/r").size(), used ? 2000u : 0u);
  if (status.kind == IndexStatus::Kind::rebuilt) {
    EXPECT_TRUE(QFile::exists(status.path));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Troubles, UnusableIndex,
    testing::Values(Trouble{"garbage", IndexStatus::Kind::rebuilt},
                    Trouble{"cut_short", IndexStatus::Kind::rebuilt},
                    Trouble{"zero_length", IndexStatus::Kind::rebuilt},
                    Trouble{"another_version", IndexStatus::Kind::rebuilt_upgraded},
                    Trouble{"cache_folder_under_a_file", IndexStatus::Kind::unusable},
                    Trouble{"locked_by_another_copy", IndexStatus::Kind::unusable},
                    Trouble{"disk_full", IndexStatus::Kind::unusable}),
    [](const auto& info) { return std::string(info.param.name); });

// The child that writes rows in batches of 50, saying "stored" after each.
int WriteIndex(const QString& file, int first, int count) {
  ReplayIndex index(file);
  for (int n = first; n < first + count; n += 50) {
    if (!index.store(Rows(n, 50)))
      return std::fputs(qPrintable(index.takeStatus().detail), stderr), 1;
    std::fputs("stored\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}

TEST_F(Index, TwoCopiesWriteAtOnceAndOneKilledMidWriteLosesNothingOfTheOther) {
  QProcess steady, killed;
  for (auto [writer, first, count] :
       {std::tuple(&steady, 0, 3000), std::tuple(&killed, 3000, 10'000'000)})
    writer->start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--write-index"), file, QString::number(first), QString::number(count)});
  QByteArray said;
  while (said.count("stored") < 20 && killed.waitForReadyRead(30'000))
    said += killed.readAllStandardOutput();
  killed.kill();  // SIGKILL, most likely in the middle of a batch
  ASSERT_TRUE(killed.waitForFinished(30'000) && steady.waitForFinished(60'000));
  EXPECT_EQ(steady.exitCode(), 0) << steady.readAllStandardError().toStdString();

  ReplayIndex index(file);
  EXPECT_TRUE(index.isUsed()) << index.takeStatus().detail.toStdString();
  const std::vector<ReplayRow> rows = index.rowsUnder("/r");
  const auto kept = std::count_if(rows.begin(), rows.end(),
                                  [](const ReplayRow& row) { return row.file.size < 4000; });
  EXPECT_EQ(kept, 3000);
  EXPECT_GE(rows.size() - 3000, 1000u);
  EXPECT_EQ((rows.size() - 3000) % 50, 0u);  // whole batches only
  EXPECT_TRUE(index.store(Rows(0, 10)));
}

}  // namespace
}  // namespace myzor

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 5 && std::string_view(argv[1]) == "--write-index")
    return myzor::WriteIndex(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]),
                             std::atoi(argv[4]));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
