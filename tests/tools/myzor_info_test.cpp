// myzor-info as scripts use it: arguments, exit codes and JSON Lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/replay_builder.h"

namespace {

using namespace replay_builder;

struct ToolRun {
  int exit_code = -1;
  QByteArray out;
  QByteArray err;
};

ToolRun runInfo(const QStringList& arguments, int timeout_ms = 60000, bool as_nobody = false,
                const QString& program = QStringLiteral(MYZOR_INFO)) {
  QProcess process;
  if (as_nobody && ::geteuid() == 0) {
    process.setChildProcessModifier([] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    });
  }
  process.start(program, arguments);
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
  const QJsonValue o = objects[0];
  EXPECT_EQ(o[u"file"].toString(), path);
  EXPECT_TRUE(o[u"ok"].toBool());
  EXPECT_EQ(o[u"replay"][u"game_name"].toString(), QStringLiteral("Quote \" and \\ and Ł"));
  EXPECT_EQ(o[u"replay"][u"win_annihilate"].toDouble(), 1.0);
  const QJsonValue players = o[u"replay"][u"players"];
  ASSERT_EQ(players.toArray().size(), 2);
  EXPECT_EQ(QSize(players[0][u"badge"][u"width"].toInt(), players[0][u"badge"][u"height"].toInt()),
            QSize(64, 64));
  EXPECT_EQ(players[1][u"banner"][u"height"].toInt(), 96);
  EXPECT_EQ(o[u"actions"][0].toString(), QStringLiteral("7\taction"));

  // Scripts may rely on the order of the fields as well as their names.
  const QByteArray line = run.out;
  const char* order[] = {
      "\"game_name\"",     "\"map_name\"",      "\"version\"",        "\"header_value\"",
      "\"ai_difficulty\"", "\"resource_rate\"", "\"win_annihilate\"", "\"win_sudden_death\"",
      "\"player_count\"",  "\"players\"",       "\"block_start\"",    "\"block_end\"",
      "\"name\"",          "\"race\"",          "\"team\"",           "\"banner\"",
      "\"banner_name\"",   "\"badge\"",         "\"badge_name\"",     "\"actions\""};
  qsizetype last = -1;
  for (const char* key : order) {
    const qsizetype at = line.indexOf(key, last + 1);
    EXPECT_GT(at, last) << key;
    last = at;
  }
}

// Arguments that are no readable replay: each gets its own error line with
// the right kind, nothing waits on a pipe, and the files after them are read.
TEST_F(MyzorInfo, FailuresAreReportedOneByOneAndTheRestStillRead) {
  const Bytes whole = BuildReplay(SimpleReplay(1, false));
  const QString good = write(QStringLiteral("good.rec"), whole);
  const QString fifo = m_dir.filePath(QStringLiteral("pipe.rec"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  const QString folder = m_dir.filePath(QStringLiteral("folder.rec"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString huge = write(QStringLiteral("huge.rec"), {});
  ASSERT_TRUE(QFile::resize(huge, qint64{300} << 20));  // sparse: no room taken on disk
  const QString locked = write(QStringLiteral("locked.rec"), whole);
  ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
  const struct {
    QString file;
    const char* kind;
    const char* says;
  } cases[] = {
      {write(QStringLiteral("cut.rec"), Bytes(whole.begin(), whole.begin() + 300)), "out_of_range",
       "byte"},
      {m_dir.filePath(QStringLiteral("missing.rec")), "file", "cannot open"},
      {fifo, "file", "not a regular file"},
      {folder, "file", "--recursive"},
      {huge, "too_large", "256 MiB"},
      {write(QStringLiteral("empty.rec"), {}), "empty", "0 bytes"},
      {locked, "file", "ermission"},
  };
  QStringList files;
  for (const auto& c : cases) files << c.file;
  // As root, permission bits stop nobody: the tool runs as "nobody" then, from a copy
  // here, since the build folder need not be open to others.
  const QString program = m_dir.filePath(QStringLiteral("myzor-info"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(MYZOR_INFO), program));
  const ToolRun run = runInfo(QStringList{QStringLiteral("--json")} + files + QStringList{good},
                              20000, true, program);
  EXPECT_EQ(run.exit_code, 1);
  const auto objects = jsonLines(run.out);
  ASSERT_EQ(objects.size(), std::size(cases) + 1) << run.out.toStdString();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].file.toStdString());
    const QJsonValue o = objects[i];
    EXPECT_EQ(o[u"file"].toString(), cases[i].file);
    EXPECT_FALSE(o[u"ok"].toBool());
    const QJsonValue error = o[u"error"];
    EXPECT_EQ(error[u"kind"].toString(), QLatin1String(cases[i].kind));
    // Only the cut file has an offset: at or past its end.
    EXPECT_EQ(error[u"offset"].isNull(), i != 0);
    EXPECT_GE(error[u"offset"].toInt(300), 300);
    const QString message = error[u"message"].toString();
    EXPECT_TRUE(message.startsWith(cases[i].file)) << message.toStdString();
    EXPECT_TRUE(message.contains(QLatin1String(cases[i].says))) << message.toStdString();
  }
  EXPECT_TRUE(objects.back()[u"ok"].toBool());

  // Without --json the same reports go to standard error, one line each.
  const ToolRun plain = runInfo(files + QStringList{good}, 20000, true, program);
  EXPECT_EQ(plain.exit_code, 1);
  EXPECT_EQ(plain.err.count('\n'), static_cast<qsizetype>(std::size(cases)))
      << plain.err.toStdString();
  EXPECT_TRUE(plain.out.contains("Player 1"));
}

// File names are bytes: each opens by its own bytes whether named on the
// command line or found under a folder, and every JSON line stays valid,
// with U+FFFD for bytes that are not UTF-8. A folder lists in sorted order.
TEST_F(MyzorInfo, AnyFileNameOpensAndEveryLineIsValidJson) {
  const QByteArray folder = QFile::encodeName(m_dir.filePath(QStringLiteral("games")));
  ASSERT_TRUE(QDir().mkpath(QFile::decodeName(folder)));
  std::vector<QByteArray> paths;
  for (const std::string& name : AwkwardFileNames()) {
    paths.push_back(folder + "/" + QByteArray::fromStdString(name));
    ASSERT_TRUE(WriteFile(paths.back().toStdString(), BuildReplay(SimpleReplay(1, false))));
  }
  paths.push_back(QFile::encodeName(
      write(QStringLiteral("games/deep/z.REC"), BuildReplay(SimpleReplay(1, false)))));
  write(QStringLiteral("games/notes.txt"), {});
  // Links lead to files but not into folders: a link to the folder itself
  // lists nothing twice, and a folder named like a replay is a folder still.
  const QByteArray outside =
      QFile::encodeName(write(QStringLiteral("outside.rec"), BuildReplay(SimpleReplay(1, false))));
  paths.push_back(folder + "/linked.rec");
  ASSERT_EQ(::symlink(outside.constData(), paths.back().constData()), 0);
  ASSERT_EQ(::symlink(folder.constData(), (folder + "/again").constData()), 0);
  paths.push_back(QFile::encodeName(
      write(QStringLiteral("games/box.rec/in.rec"), BuildReplay(SimpleReplay(1, false)))));
  std::sort(paths.begin(), paths.end());

  const auto expectEveryFile = [&paths](const QByteArray& out) {
    const auto objects = jsonLines(out);
    ASSERT_EQ(objects.size(), paths.size()) << out.toStdString();
    for (std::size_t i = 0; i < paths.size(); ++i) {
      EXPECT_EQ(objects[i][u"file"].toString(), QString::fromUtf8(paths[i]));
      EXPECT_TRUE(objects[i][u"ok"].toBool());
    }
  };
  const ToolRun run =
      runInfo({QStringLiteral("--json"), QStringLiteral("-r"), QFile::decodeName(folder)});
  EXPECT_EQ(run.exit_code, 0);
  expectEveryFile(run.out);

  // Named on the command line: the shell hands each name's bytes to argv unchanged.
  std::string command = MYZOR_INFO " --json";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ::setenv(("MYZOR_PATH" + std::to_string(i)).c_str(), paths[i].constData(), 1);
    command += " \"$MYZOR_PATH" + std::to_string(i) + "\"";
  }
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  QByteArray out;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, static_cast<qsizetype>(got));
  EXPECT_EQ(::pclose(pipe), 0);
  expectEveryFile(out);
  // QTemporaryDir removes by decoded names, which miss names that are not UTF-8.
  std::filesystem::remove_all(folder.toStdString());
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
  EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
            QStringList({"two.player1.badge.png", "two.player1.banner.png", "two.player2.badge.png",
                         "two.player2.banner.png"}));
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
  write(QStringLiteral("d/cut.rec"),
        Bytes(whole.begin(), whole.begin() + layout.banner_pixels[1] + 5));
  const QString folder = m_dir.filePath(QStringLiteral("d"));
  for (const QString& format : {QStringLiteral("--json"), QStringLiteral("-r")}) {
    const ToolRun full = runInfo({format, QStringLiteral("-r"), folder});
    const ToolRun fast =
        runInfo({format, QStringLiteral("-r"), QStringLiteral("--no-pictures"), folder});
    EXPECT_EQ(fast.exit_code, 1);
    EXPECT_EQ(fast.out, full.out);
    EXPECT_EQ(fast.err, full.err);
  }
  const ToolRun both =
      runInfo({QStringLiteral("--no-pictures"), QStringLiteral("--extract-pictures"),
               m_dir.filePath(QStringLiteral("p")), folder});
  EXPECT_EQ(both.exit_code, 2);
  EXPECT_TRUE(both.err.contains("--extract-pictures")) << both.err.toStdString();
}

TEST_F(MyzorInfo, HumanSummaryAndUsage) {
  const QString path = write(QStringLiteral("h.rec"), BuildReplay(SimpleReplay(2, false)));
  const struct {
    QStringList arguments;
    int exit_code;
    QByteArrayList says;
  } cases[] = {{{path}, 0, {"Test Game", "Player 2", "annihilate"}},
               {{}, 2, {}},
               {{QStringLiteral("--no-such-option"), path}, 2, {}},
               {{QStringLiteral("--help")}, 0, {"--json"}},
               {{QStringLiteral("--version")}, 0, {MYZOR_VERSION}}};
  for (const auto& c : cases) {
    const ToolRun run = runInfo(c.arguments);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments.join(' ').toStdString();
    for (const QByteArray& text : c.says) EXPECT_TRUE(run.out.contains(text)) << text.toStdString();
  }

  // The window program answers both without a display.
  QProcess myzor;
  QProcessEnvironment no_display = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    no_display.remove(QLatin1String(name));
  myzor.setProcessEnvironment(no_display);
  for (const char* option : {"--help", "--version"}) {
    myzor.start(QStringLiteral(MYZOR), {QLatin1String(option)});
    ASSERT_TRUE(myzor.waitForFinished(20000));
    EXPECT_EQ(myzor.exitCode(), 0) << option;
    const QByteArray out = myzor.readAllStandardOutput();
    EXPECT_TRUE(out.contains(option[2] == 'h' ? "testfiles/1.30" : "myzor " MYZOR_VERSION))
        << out.toStdString();
  }
}

}  // namespace
