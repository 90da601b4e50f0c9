#include "library/reconcile.h"
#include "library/replay_index.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace myzor {
namespace {

ReplayRow Row(int n) {
  ReplayRow row;
  row.file = {"/r/" + QByteArray::number(n) + ".rec", 1000 + n, 1'700'000'000'000'000'000 + n, 50u + n};
  row.game = QStringLiteral("Game %1 ").repeated(20).arg(n);
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

template <typename T>
std::vector<std::string> Paths(const std::vector<T>& items) {
  std::vector<std::string> paths;
  for (const T& item : items) {
    if constexpr (std::is_same_v<T, ReplayRow>) paths.push_back(item.file.path.toStdString());
    else if constexpr (std::is_same_v<T, FileEntry>) paths.push_back(item.path.toStdString());
    else paths.push_back(item.toStdString());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(Reconcile, OpensOnlyNewAndChangedFilesAndDropsGoneOnes) {
  std::vector<ReplayRow> rows = Rows(0, 7);
  rows[5].ok = rows[6].ok = false;
  rows[5].error_kind = QStringLiteral("out_of_range");  // cut short, unchanged since
  rows[6].error_kind = QStringLiteral("file");          // could not be opened
  std::vector<FileEntry> files;
  for (const ReplayRow& row : rows) files.push_back(row.file);
  files[1].size += 1;
  files[2].mtime_ns += 1;
  files[3].inode += 1;  // replaced by another file of the same size and time
  files.erase(files.begin() + 4);
  files.push_back({"/r/new.rec", 1, 1, 1});

  const Reconciliation result = Reconcile(rows, files);
  using Names = std::vector<std::string>;
  EXPECT_EQ(Paths(result.current), (Names{"/r/0.rec", "/r/5.rec"}));
  EXPECT_EQ(Paths(result.to_read), (Names{"/r/1.rec", "/r/2.rec", "/r/3.rec", "/r/6.rec", "/r/new.rec"}));
  EXPECT_EQ(Paths(result.gone), (Names{"/r/4.rec"}));
}

class Index : public testing::Test {
 public:
  void TearDown() override {
    QSqlDatabase::removeDatabase(QStringLiteral("other copy"));
    rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    unlimited.rlim_cur = unlimited.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
  }
  QString made(int rows) {
    ReplayIndex index(file);
    index.store(Rows(0, rows));
    return file;
  }
  static QSqlDatabase otherCopy(const QString& file) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other copy"));
    db.setDatabaseName(file);
    db.open();
    return db;
  }
  QTemporaryDir dir;
  QString file = dir.filePath(QStringLiteral("index.sqlite"));
};

TEST_F(Index, KeepsEveryColumnOfTheRowsOfAFolder) {
  ReplayIndex(file).store(Rows(0, 3));
  ReplayIndex(file).store({Row(3), Row(4)});
  ReplayRow elsewhere = Row(9);
  elsewhere.file.path = "/r2/9.rec";
  ReplayIndex index(file);
  index.store({elsewhere});
  EXPECT_TRUE(index.remove({"/r/4.rec"}));

  const std::vector<ReplayRow> rows = index.rowsUnder("/r");
  ASSERT_EQ(Paths(rows), Paths(Rows(0, 4)));
  for (const ReplayRow& row : rows) {
    const ReplayRow stored = Row(row.file.path.mid(3).chopped(4).toInt());
    EXPECT_EQ(row.file, stored.file);
    EXPECT_EQ(row.relative_path, row.file.path.mid(3));
    EXPECT_EQ(std::tie(row.game, row.players, row.ok, row.error_offset),
              std::tie(stored.game, stored.players, stored.ok, stored.error_offset));
  }
  EXPECT_EQ(index.takeStatus(), QString());
}

struct Trouble {
  const char* name;
  std::function<QString(Index&)> cause;  // returns the index file to open
  const char* says;
};

void PrintTo(const Trouble& trouble, std::ostream* out) { *out << trouble.name; }

class UnusableIndex : public Index, public testing::WithParamInterface<Trouble> {};

TEST_P(UnusableIndex, ProgramGoesOnSaysSoOnceAndLeavesReplaysAlone) {
  for (const char* name : {"a.rec", "index.sqlite.rec"}) {
    QFile replay(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(replay.open(QIODevice::WriteOnly));
    replay.write(QByteArray(5000, name[0]));
  }
  const auto replays = [&] {
    QList<QByteArray> bytes;
    for (const char* name : {"a.rec", "index.sqlite.rec"}) {
      QFile replay(dir.filePath(QString::fromLatin1(name)));
      bytes.append(replay.open(QIODevice::ReadOnly) ? replay.readAll() : QByteArray());
    }
    return bytes;
  };
  const QList<QByteArray> before = replays();

  const QString opened = GetParam().cause(*this);
  if (opened.isEmpty()) GTEST_SKIP() << "the folder is not read-only for this user (root)";
  ReplayIndex index(opened, 200);
  const bool stored = index.store(Rows(0, 2000));
  const QString status = index.takeStatus();
  EXPECT_TRUE(status.contains(QLatin1String(GetParam().says))) << status.toStdString();
  EXPECT_EQ(index.takeStatus(), QString());
  EXPECT_EQ(replays(), before);
  if (status.startsWith(QLatin1String("The replay index could not be used"))) {
    EXPECT_FALSE(stored);
    EXPECT_FALSE(index.isUsed());
    EXPECT_TRUE(index.rowsUnder("/r").empty());
    return;
  }
  EXPECT_TRUE(stored);
  EXPECT_EQ(index.rowsUnder("/r").size(), 2000u);
  if (status.contains(QLatin1String("kept as "))) {
    EXPECT_TRUE(QFile::exists(status.section(QLatin1String("kept as "), 1).chopped(1)));
  }
}

void Write(const QString& file, const QByteArray& bytes) {
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Troubles, UnusableIndex,
    testing::Values(
        Trouble{"garbage",
                [](Index& t) {
                  Write(t.file, QByteArray(9000, '\x5a'));
                  return t.file;
                },
                "damaged and has been rebuilt"},
        Trouble{"cut_short",
                [](Index& t) {
                  t.made(3000);
                  QFile(t.file).resize(QFile(t.file).size() / 2);
                  return t.file;
                },
                "damaged and has been rebuilt"},
        Trouble{"zero_length",
                [](Index& t) {
                  Write(t.file, {});
                  return t.file;
                },
                "damaged and has been rebuilt"},
        Trouble{"another_version",
                [](Index& t) {
                  t.made(10);
                  Index::otherCopy(t.file).exec(QStringLiteral("PRAGMA user_version = 99"));
                  return t.file;
                },
                "another version and has been rebuilt"},
        Trouble{"cache_folder_under_a_file",
                [](Index& t) {
                  Write(t.dir.filePath(QStringLiteral("cache")), "x");
                  return t.dir.filePath(QStringLiteral("cache/index.sqlite"));
                },
                "could not be used"},
        Trouble{"read_only_cache_folder",
                [](Index& t) {
                  const QString folder = t.dir.filePath(QStringLiteral("read-only"));
                  QDir().mkpath(folder);
                  QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
                  // Root writes anyway; the case above covers a folder it cannot use.
                  if (::access(QFile::encodeName(folder).constData(), W_OK) == 0) return QString();
                  return folder + QStringLiteral("/index.sqlite");
                },
                "could not be used"},
        Trouble{"locked_by_another_copy",
                [](Index& t) {
                  t.made(10);
                  Index::otherCopy(t.file).exec(QStringLiteral("BEGIN IMMEDIATE"));
                  return t.file;
                },
                "database is locked"},
        Trouble{"disk_full",
                [](Index& t) {
                  t.made(10);
                  std::signal(SIGXFSZ, SIG_IGN);
                  rlimit limit{};
                  ::getrlimit(RLIMIT_FSIZE, &limit);
                  limit.rlim_cur = 256 * 1024;
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return t.file;
                },
                "could not be used"}),
    [](const testing::TestParamInfo<Trouble>& info) { return std::string(info.param.name); });

// The child that writes rows in batches of `batch`, saying "stored" after each.
int WriteIndex(const QString& file, int first, int count, int batch) {
  ReplayIndex index(file);
  for (int n = first; n < first + count; n += batch) {
    if (!index.store(Rows(n, batch))) {
      std::fputs(qPrintable(index.takeStatus()), stderr);
      return 1;
    }
    std::fputs("stored\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}

QProcess* StartWriter(QObject* parent, const QString& file, int first, int count, int batch) {
  auto* writer = new QProcess(parent);
  writer->start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--write-index"), file, QString::number(first), QString::number(count),
                 QString::number(batch)});
  return writer;
}

TEST_F(Index, TwoCopiesWritingAtOnceLoseNoRows) {
  QObject owner;
  QProcess* one = StartWriter(&owner, file, 0, 3000, 50);
  QProcess* two = StartWriter(&owner, file, 3000, 3000, 50);
  for (QProcess* writer : {one, two}) {
    ASSERT_TRUE(writer->waitForFinished(60'000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
  }
  EXPECT_EQ(ReplayIndex(file).rowsUnder("/r").size(), 6000u);
}

TEST_F(Index, KilledDuringAWriteLeavesAUsableIndexOfWholeBatches) {
  QObject owner;
  QProcess* writer = StartWriter(&owner, file, 0, 10'000'000, 500);
  ASSERT_TRUE(writer->waitForStarted(30'000));
  QByteArray said;
  while (said.count("stored") < 3 && writer->state() == QProcess::Running) {
    writer->waitForReadyRead(30'000);
    said += writer->readAllStandardOutput();
  }
  writer->kill();  // SIGKILL, in the middle of some batch
  ASSERT_TRUE(writer->waitForFinished(30'000));

  ReplayIndex index(file);
  EXPECT_TRUE(index.isUsed()) << index.takeStatus().toStdString();
  const std::size_t rows = index.rowsUnder("/r").size();
  EXPECT_GE(rows, 500u);
  EXPECT_EQ(rows % 500, 0u);
  EXPECT_TRUE(index.store(Rows(0, 10)));
}

}  // namespace
}  // namespace myzor

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 6 && std::string_view(argv[1]) == "--write-index")
    return myzor::WriteIndex(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                             std::atoi(argv[5]));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
