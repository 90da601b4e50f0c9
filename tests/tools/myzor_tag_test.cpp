// myzor-tag as scripts use it: edits, --list, moving the data to another
// machine with --export and --import, and the other tools seeing it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/support/replay_builder.h"

namespace {

using namespace replay_builder;

struct ToolRun {
  int exit_code = -1;
  QByteArray out;
  QString err;
};

class MyzorTag : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    game("one/a.rec", 1, {u"Foo", u"Bar"});
    game("one/b.rec", 2, {u"Foo_2", u"Bar"});
    game("one/c.rec", 3, {u"Foo", u"Foo_2"});
  }
  QString path(const QString& relative) const { return m_dir.filePath(relative); }
  void game(const QString& name, int seed, const std::vector<std::u16string>& players) {
    ReplaySpec recipe = SimpleReplay(static_cast<int>(players.size()), false);
    recipe.map_name = "Map " + std::to_string(seed);
    for (std::size_t i = 0; i < players.size(); ++i) {
      recipe.players[i].name = players[i];
      recipe.players[i].team = static_cast<int>(i);
    }
    QDir().mkpath(QFileInfo(path(name)).path());
    ASSERT_TRUE(WriteFile(path(name).toStdString(), BuildReplay(recipe)));
  }
  // Runs `program` with the user's data in `data` (a folder below the temporary one).
  ToolRun run(const char* program, const QStringList& arguments, const QString& data = "home1",
              const QByteArray& input = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path(data));
    process.setProcessEnvironment(environment);
    process.start(QString::fromLatin1(program), arguments);
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
  }
  // --list --json of these files: file name to its object without "file".
  QMap<QString, QJsonObject> listed(const QStringList& files, const QString& data) {
    const ToolRun listing = run(MYZOR_TAG, QStringList{"--list", "--json"} + files, data);
    EXPECT_EQ(listing.exit_code, 0) << listing.err.toStdString();
    QMap<QString, QJsonObject> out;
    for (const QByteArray& line : listing.out.split('\n')) {
      if (line.isEmpty()) continue;
      QJsonObject object = QJsonDocument::fromJson(line).object();
      out.insert(QFileInfo(object.take("file").toString()).fileName(), object);
    }
    return out;
  }
  QTemporaryDir m_dir;
};

TEST_F(MyzorTag, DataMovesToAnotherMachineWhosePathsDifferAndEveryItemComesBack) {
  ASSERT_EQ(run(MYZOR_TAG, {"--add", "Révision", "--add", "to study", "--rate", "4", "--favourite",
                            path("one/a.rec"), path("one/b.rec")})
                .exit_code,
            0);
  ASSERT_EQ(run(MYZOR_TAG,
                {"--remove", "to study", "--watched", "--note", "rush\nat five", path("one/b.rec")})
                .exit_code,
            0);
  const QMap<QString, QJsonObject> before =
      listed({path("one/a.rec"), path("one/b.rec"), path("one/c.rec")}, "home1");
  ASSERT_EQ(before.size(), 3);  // every file, also the one without data
  EXPECT_EQ(before["b.rec"]["tags"].toArray(), QJsonArray{"Révision"});
  EXPECT_EQ(before["b.rec"]["note"].toString(), QStringLiteral("rush\nat five"));
  EXPECT_EQ(before["c.rec"]["rating"].toInt(), 0);
  // Two names one person, given as an import would give them.
  ASSERT_EQ(run(MYZOR_TAG, {"--import", "-"}, "home1",
                R"({"player":"Foo","person":"Foo"})"
                "\n"
                R"({"player":"Foo_2","person":"Foo","note":"smurf"})"
                "\n")
                .exit_code,
            0);
  const ToolRun exported = run(MYZOR_TAG, {"--export", path("all.jsonl")}, "home1");
  ASSERT_EQ(exported.exit_code, 0) << exported.err.toStdString();

  // The other machine: other folders (the first machine's are not there),
  // its own data folder.
  ASSERT_TRUE(QDir().mkpath(path("two/deeper")));
  for (const char* name : {"a.rec", "b.rec", "c.rec"})
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("one/") + name),
                              path(QStringLiteral("two/deeper/x-") + name)));
  const ToolRun imported = run(MYZOR_TAG, {"--import", path("all.jsonl")}, "home2");
  ASSERT_EQ(imported.exit_code, 0) << imported.err.toStdString();
  const QMap<QString, QJsonObject> after =
      listed({path("two/deeper/x-a.rec"), path("two/deeper/x-b.rec"), path("two/deeper/x-c.rec")},
             "home2");
  for (const char* name : {"a.rec", "b.rec", "c.rec"})
    EXPECT_EQ(after[QStringLiteral("x-") + name], before[name]) << name;
  // The persons came along: myzor-stats counts them, and --names each name.
  const auto players = [this](const QStringList& options) {
    const ToolRun stats =
        run(MYZOR_STATS, options + QStringList{"--json", "-r", path("two")}, "home2");
    QStringList out;
    for (const QJsonValue& player : QJsonDocument::fromJson(stats.out)["players"].toArray())
      out << QStringLiteral("%1 %2").arg(player["name"].toString()).arg(player["games"].toInt());
    return out;
  };
  EXPECT_EQ(players({}), (QStringList{"Foo 3", "Bar 2"}));
  EXPECT_EQ(players({"--names"}), (QStringList{"Bar 2", "Foo 2", "Foo_2 2"}));
  EXPECT_EQ(players({"--search", "player:=foo"}), (QStringList{"Foo 3", "Bar 2"}));
  EXPECT_EQ(players({"--search", "tag:revision is:watched"}), (QStringList{"Bar 1", "Foo 1"}));
}

TEST_F(MyzorTag, EachCallIsOneBatchThatMyzorRenameUndoesAndBadUseIsRefused) {
  ASSERT_EQ(run(MYZOR_TAG, {"-r", "--add", "x", path("one")}).exit_code, 0);
  EXPECT_EQ(listed({path("one/c.rec")}, "home1")["c.rec"]["tags"].toArray(), QJsonArray{"x"});
  const ToolRun history = run(MYZOR_RENAME, {"--history", "--json"});
  EXPECT_EQ(QJsonDocument::fromJson(history.out.split('\n').front())["files"].toInt(), 3);
  ASSERT_EQ(run(MYZOR_RENAME, {"--undo"}).exit_code, 0);
  EXPECT_EQ(listed({path("one/c.rec")}, "home1")["c.rec"]["tags"].toArray(), QJsonArray{});

  for (const QStringList& wrong :
       {QStringList{"--rate", "6", path("one/a.rec")}, QStringList{"--add", "x"},
        QStringList{path("one/a.rec")}, QStringList{"--favourite", "--no-favourite", path("one")},
        QStringList{"--list", "--add", "x", path("one/a.rec")},
        QStringList{"--export", "f", path("one/a.rec")}}) {
    const ToolRun refused = run(MYZOR_TAG, wrong);
    EXPECT_EQ(refused.exit_code, 2) << wrong.join(' ').toStdString();
    EXPECT_TRUE(refused.err.contains("Try 'myzor-tag --help'")) << refused.err.toStdString();
  }
  const ToolRun folder = run(MYZOR_TAG, {"--add", "x", path("one")});
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_TRUE(folder.err.contains("use --recursive")) << folder.err.toStdString();
  const ToolRun broken =
      run(MYZOR_TAG, {"--import", "-"}, "home1", "{\"sha256\":\"ab\",\"path\":\"/x\"}\nnot json\n");
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_TRUE(broken.err.contains("line 2: not a JSON object")) << broken.err.toStdString();
}

}  // namespace
