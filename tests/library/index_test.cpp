#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <csignal>
#include <set>

#include "library/reconcile.h"
#include "library/replay_index.h"

namespace myzor {
namespace {

ReplayRow Row(int n) {
  ReplayRow row;
  row.file = {"/r/" + QByteArray::number(n) + ".rec", 1000 + n, 1'700'000'000'000'000'000 + n,
              50u + n};
  row.game = QStringLiteral("Game %1 ").repeated(20).arg(n);
  // A replacement character that is really there, not a sign of bytes that failed to decode.
  if (n == 3) row.game += QChar::ReplacementCharacter;
  row.players = {QStringLiteral("Ashen\nVel"), QStringLiteral("Mira")};
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
  for (ReplayRow& row : rows) {
    for (const QString& name : row.players) row.roster.push_back({name, QString(), 1, 0, 0});
  }
  rows[5].ok = rows[6].ok = false;
  rows[5].error_kind = QStringLiteral("out_of_range");  // cut short, unchanged since
  rows[6].error_kind = QStringLiteral("file");          // could not be opened
  rows[7].ok = true;
  rows[7].roster.clear();  // kept by an index too old to hold the teams
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
  EXPECT_EQ(Paths(result.current), (Names{"/r/0.rec", "/r/5.rec"}));
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
    EXPECT_EQ(std::tie(row.relative_path, row.game, row.players, row.ok, row.error_offset),
              std::tie(stored.relative_path = row.file.path.mid(3), stored.game, stored.players,
                       stored.ok, stored.error_offset));
  }
  EXPECT_EQ(index.takeStatus(), QString());
}

TEST_F(Index, KeepsTheRowsOfTheVersionBeforeAndThePlayersOfEachRow) {
  std::vector<ReplayRow> rows = Rows(0, 3);
  rows[1].roster = {{"Ashen\nVel", "race_1", 2, 10, 20}, {"Mira", "race_2", 1, 20, 30}};
  rows[1].races = {"race_1", "race_2"};
  ReplayIndex(file).store(rows);
  {
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("before"));
    db.setDatabaseName(file);
    ASSERT_TRUE(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 2")));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("before"));
  ReplayIndex index(file);
  const std::vector<ReplayRow> read = index.rowsUnder("/r");
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].players, rows[i].players);
    EXPECT_EQ(read[i].races, rows[i].races);
    EXPECT_EQ(read[i].roster, rows[i].roster);
  }
  EXPECT_EQ(index.takeStatus(), QString());
}

// Each way the index can be spoiled, and what the user is told.
struct Trouble {
  const char* name;
  const char* says;
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
  const QString status = index.takeStatus();
  EXPECT_TRUE(status.contains(QLatin1String(GetParam().says))) << status.toStdString();
  EXPECT_EQ(index.takeStatus(), QString());
  for (const QString& replay : replays) EXPECT_EQ(Contents(replay), replay.toUtf8().repeated(100));
  const bool used = !status.startsWith(QLatin1String("The replay index could not be used"));
  EXPECT_EQ(stored, used);
  EXPECT_EQ(index.isUsed(), used);
  EXPECT_EQ(index.rowsUnder("/r").size(), used ? 2000u : 0u);
  if (status.contains(QLatin1String("kept as "))) {
    EXPECT_TRUE(QFile::exists(status.section(QLatin1String("kept as "), 1).chopped(1)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Troubles, UnusableIndex,
    testing::Values(Trouble{"garbage", "damaged and has been rebuilt; the old file was kept as"},
                    Trouble{"cut_short", "damaged and has been rebuilt; the old file was kept as"},
                    Trouble{"zero_length", "damaged and has been rebuilt"},
                    Trouble{"another_version", "another version and has been rebuilt"},
                    Trouble{"cache_folder_under_a_file", "could not be used"},
                    Trouble{"locked_by_another_copy", "could not be used"},
                    Trouble{"disk_full", "could not be used"}),
    [](const auto& info) { return std::string(info.param.name); });

// The child that writes rows in batches of 50, saying "stored" after each.
int WriteIndex(const QString& file, int first, int count) {
  ReplayIndex index(file);
  for (int n = first; n < first + count; n += 50) {
    if (!index.store(Rows(n, 50))) return std::fputs(qPrintable(index.takeStatus()), stderr), 1;
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
  EXPECT_TRUE(index.isUsed()) << index.takeStatus().toStdString();
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
