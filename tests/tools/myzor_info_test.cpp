// myzor-info as scripts use it: arguments, exit codes and JSON Lines.
#include "tests/support/replay_builder.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

using namespace replay_builder;

struct ToolRun {
  int exit_code = -1;
  QByteArray out;
  QByteArray err;
};

ToolRun runInfo(const QStringList& arguments, int timeout_ms = 60000) {
  QProcess process;
  process.start(QStringLiteral(MYZOR_INFO), arguments);
  EXPECT_TRUE(process.waitForFinished(timeout_ms)) << "myzor-info did not finish";
  return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

std::vector<QJsonObject> jsonLines(const QByteArray& out) {
  std::vector<QJsonObject> objects;
  for (const QByteArray& line : out.split('\n')) {
    if (line.isEmpty()) continue;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    objects.push_back(document.object());
  }
  return objects;
}

class MyzorInfo : public testing::Test {
 protected:
  QString write(const QString& name, const Bytes& bytes) {
    const QString path = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(WriteFile(path.toStdString(), bytes));
    return path;
  }
  QTemporaryDir m_dir;
};

TEST_F(MyzorInfo, JsonHoldsTheRecordInFieldOrder) {
  ReplaySpec recipe = SimpleReplay(2, true);
  recipe.game_name = u"Quote \" and \\ and \u0141";
  const QString path = write(QStringLiteral("a.rec"), BuildReplay(recipe));
  const ToolRun run = runInfo({QStringLiteral("--json"), path});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  const auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 1u);
  const QJsonObject& o = objects[0];
  EXPECT_EQ(o[QStringLiteral("file")].toString(), path);
  EXPECT_TRUE(o[QStringLiteral("ok")].toBool());
  const QJsonObject replay = o[QStringLiteral("replay")].toObject();
  EXPECT_EQ(replay[QStringLiteral("game_name")].toString(), QStringLiteral("Quote \" and \\ and Ł"));
  EXPECT_EQ(replay[QStringLiteral("win_annihilate")].toDouble(), 1.0);
  const QJsonArray players = replay[QStringLiteral("players")].toArray();
  ASSERT_EQ(players.size(), 2);
  const QJsonObject badge = players[0].toObject()[QStringLiteral("badge")].toObject();
  EXPECT_EQ(badge[QStringLiteral("width")].toInt(), 64);
  EXPECT_EQ(badge[QStringLiteral("height")].toInt(), 64);
  EXPECT_EQ(players[1].toObject()[QStringLiteral("banner")].toObject()[QStringLiteral("height")].toInt(), 96);
  EXPECT_EQ(o[QStringLiteral("actions")].toArray().at(0).toString(), QStringLiteral("7\taction"));

  // Scripts may rely on the order of the fields as well as their names.
  const QByteArray line = run.out;
  const char* order[] = {"\"game_name\"", "\"map_name\"", "\"version\"", "\"header_value\"",
                         "\"ai_difficulty\"", "\"resource_rate\"", "\"win_annihilate\"",
                         "\"win_sudden_death\"", "\"player_count\"", "\"players\"",
                         "\"block_start\"", "\"block_end\"", "\"name\"", "\"race\"", "\"team\"",
                         "\"banner\"", "\"banner_name\"", "\"badge\"", "\"badge_name\"",
                         "\"actions\""};
  qsizetype last = -1;
  for (const char* key : order) {
    const qsizetype at = line.indexOf(key, last + 1);
    EXPECT_GT(at, last) << key;
    last = at;
  }
}

TEST_F(MyzorInfo, FailedFilesAreReportedAndTheRestStillRead) {
  const Bytes whole = BuildReplay(SimpleReplay(1, false));
  const QString good = write(QStringLiteral("good.rec"), whole);
  const QString cut = write(QStringLiteral("cut.rec"), Bytes(whole.begin(), whole.begin() + 300));
  const QString missing = m_dir.filePath(QStringLiteral("missing.rec"));
  const ToolRun run = runInfo({QStringLiteral("--json"), cut, missing, good});
  EXPECT_EQ(run.exit_code, 1);
  const auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 3u);
  const QJsonObject error = objects[0][QStringLiteral("error")].toObject();
  EXPECT_FALSE(objects[0][QStringLiteral("ok")].toBool());
  EXPECT_EQ(error[QStringLiteral("kind")].toString(), QStringLiteral("out_of_range"));
  EXPECT_GE(error[QStringLiteral("offset")].toInt(), 300);
  EXPECT_TRUE(error[QStringLiteral("message")].toString().contains(QStringLiteral("cut.rec")));
  EXPECT_EQ(objects[1][QStringLiteral("error")].toObject()[QStringLiteral("kind")].toString(),
            QStringLiteral("file"));
  EXPECT_TRUE(objects[1][QStringLiteral("error")].toObject()[QStringLiteral("offset")].isNull());
  EXPECT_TRUE(objects[2][QStringLiteral("ok")].toBool());
}

// Arguments that are no replay file at all: each gets its own error line,
// nothing waits on a pipe, and the good file after them is still read.
TEST_F(MyzorInfo, ArgumentsThatAreNoReadableFileAreReportedOneByOne) {
  const QString good = write(QStringLiteral("good.rec"), BuildReplay(SimpleReplay(1, false)));
  const QString fifo = m_dir.filePath(QStringLiteral("pipe.rec"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  const QString folder = m_dir.filePath(QStringLiteral("folder.rec"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString missing = m_dir.filePath(QStringLiteral("missing.rec"));
  // 300 MiB that take no room on disk.
  const QString huge = m_dir.filePath(QStringLiteral("huge.rec"));
  {
    std::ofstream out(QFile::encodeName(huge).constData(), std::ios::binary);
    out.seekp((std::streamoff{300} << 20) - 1);
    out.put('\0');
    ASSERT_TRUE(out.good());
  }

  const QStringList files = {fifo, folder, missing, huge, good};
  const ToolRun run = runInfo(QStringList{QStringLiteral("--json")} + files, 20000);
  EXPECT_EQ(run.exit_code, 1);
  const auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 5u) << run.out.toStdString();
  const char* kinds[] = {"file", "file", "file", "too_large"};
  const char* says[] = {"not a regular file", "is a folder", "cannot open", "300 MiB"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(files[i].toStdString());
    const QJsonObject& o = objects[static_cast<std::size_t>(i)];
    EXPECT_EQ(o[QStringLiteral("file")].toString(), files[i]);
    EXPECT_FALSE(o[QStringLiteral("ok")].toBool());
    const QJsonObject error = o[QStringLiteral("error")].toObject();
    EXPECT_EQ(error[QStringLiteral("kind")].toString(), QLatin1String(kinds[i]));
    EXPECT_TRUE(error[QStringLiteral("offset")].isNull());
    const QString message = error[QStringLiteral("message")].toString();
    EXPECT_TRUE(message.startsWith(files[i])) << message.toStdString();
    if (i != 3) {
      EXPECT_TRUE(message.contains(QLatin1String(says[i]))) << message.toStdString();
    }
  }
  EXPECT_TRUE(objects[4][QStringLiteral("ok")].toBool());

  // Without --json the same reports go to standard error, one line each.
  const ToolRun plain = runInfo(files, 20000);
  EXPECT_EQ(plain.exit_code, 1);
  EXPECT_EQ(plain.err.count('\n'), 4) << plain.err.toStdString();
  EXPECT_TRUE(plain.err.contains(QFile::encodeName(huge))) << plain.err.toStdString();
  EXPECT_TRUE(plain.out.contains("Player 1"));
}

TEST_F(MyzorInfo, AFileWithoutReadPermissionIsAFileError) {
  if (::geteuid() == 0) {
    // Root reads files whatever their permission bits say.
    GTEST_SKIP() << "running as root, where permission bits do not stop reading";
  }
  const QString path = write(QStringLiteral("locked.rec"), BuildReplay(SimpleReplay(1, false)));
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
  const ToolRun run = runInfo({QStringLiteral("--json"), path});
  EXPECT_EQ(run.exit_code, 1);
  const auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 1u);
  const QJsonObject error = objects[0][QStringLiteral("error")].toObject();
  EXPECT_EQ(error[QStringLiteral("kind")].toString(), QStringLiteral("file"));
  EXPECT_TRUE(error[QStringLiteral("message")].toString().contains(QStringLiteral("ermission")));
}

TEST_F(MyzorInfo, FoldersNeedRecursive) {
  const Bytes bytes = BuildReplay(SimpleReplay(1, false));
  write(QStringLiteral("games/b.rec"), bytes);
  write(QStringLiteral("games/deep/A.REC"), bytes);
  write(QStringLiteral("games/notes.txt"), bytes);
  QDir(m_dir.path()).mkpath(QStringLiteral("games/folder.rec"));
  const QString folder = m_dir.filePath(QStringLiteral("games"));

  ToolRun run = runInfo({QStringLiteral("--json"), folder});
  EXPECT_EQ(run.exit_code, 1);
  auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_TRUE(objects[0][QStringLiteral("error")].toObject()[QStringLiteral("message")]
                  .toString()
                  .contains(QStringLiteral("--recursive")));

  run = runInfo({QStringLiteral("--json"), QStringLiteral("-r"), folder});
  EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
  objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_TRUE(objects[0][QStringLiteral("file")].toString().endsWith(QStringLiteral("games/b.rec")));
  EXPECT_TRUE(objects[1][QStringLiteral("file")].toString().endsWith(QStringLiteral("deep/A.REC")));
}

TEST_F(MyzorInfo, ExtractsEachPlayersPicturesAsPng) {
  ReplaySpec recipe = SimpleReplay(2, true);
  recipe.players.push_back(SimpleReplay(1, false).players[0]);  // a third player without pictures
  QImage banner(64, 96, QImage::Format_RGB32);
  banner.fill(Qt::darkBlue);
  banner.setPixel(0, 0, qRgb(255, 0, 0));  // top-left stays top-left
  recipe.players[1].banner = banner;
  const QString path = write(QStringLiteral("two.rec"), BuildReplay(recipe));
  const QString out = m_dir.filePath(QStringLiteral("pictures"));
  const ToolRun run = runInfo({QStringLiteral("--extract-pictures"), out, path});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  const QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(files, QStringList({QStringLiteral("two.player1.badge.png"),
                                QStringLiteral("two.player1.banner.png"),
                                QStringLiteral("two.player2.badge.png"),
                                QStringLiteral("two.player2.banner.png")}));
  const QImage saved(QDir(out).filePath(QStringLiteral("two.player2.banner.png")));
  ASSERT_EQ(saved.size(), QSize(64, 96));
  EXPECT_EQ(saved.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(saved.pixel(63, 95) & 0xFFFFFF, QColor(Qt::darkBlue).rgb() & 0xFFFFFF);
}

TEST_F(MyzorInfo, NoPicturesGivesTheSameOutputAndRefusesExtraction) {
  ReplaySpec recipe = SimpleReplay(2, true);
  recipe.players.push_back(SimpleReplay(1, false).players[0]);
  Layout layout;
  const Bytes whole = BuildReplay(recipe, &layout);
  write(QStringLiteral("d/whole.rec"), whole);
  write(QStringLiteral("d/cut.rec"), Bytes(whole.begin(), whole.begin() + layout.banner_pixels[1] + 5));
  const QString folder = m_dir.filePath(QStringLiteral("d"));
  for (const QString& format : {QStringLiteral("--json"), QStringLiteral("-r")}) {
    const ToolRun full = runInfo({format, QStringLiteral("-r"), folder});
    const ToolRun fast = runInfo({format, QStringLiteral("-r"), QStringLiteral("--no-pictures"), folder});
    EXPECT_EQ(fast.exit_code, 1);
    EXPECT_EQ(fast.out, full.out);
    EXPECT_EQ(fast.err, full.err);
  }
  const ToolRun both = runInfo({QStringLiteral("--no-pictures"), QStringLiteral("--extract-pictures"),
                                m_dir.filePath(QStringLiteral("p")), folder});
  EXPECT_EQ(both.exit_code, 2);
  EXPECT_TRUE(both.err.contains("--extract-pictures")) << both.err.toStdString();
}

TEST_F(MyzorInfo, HumanSummaryAndUsage) {
  const QString path = write(QStringLiteral("h.rec"), BuildReplay(SimpleReplay(2, false)));
  ToolRun run = runInfo({path});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.out.contains("Test Game"));
  EXPECT_TRUE(run.out.contains("Player 2"));
  EXPECT_TRUE(run.out.contains("annihilate"));

  EXPECT_EQ(runInfo({}).exit_code, 2);
  EXPECT_EQ(runInfo({QStringLiteral("--no-such-option"), path}).exit_code, 2);
  run = runInfo({QStringLiteral("--help")});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.out.contains("--json"));
  run = runInfo({QStringLiteral("--version")});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.out.contains(MYZOR_VERSION));
}

}  // namespace
