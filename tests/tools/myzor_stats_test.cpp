// myzor-stats as scripts use it: the JSON object, --search, exit codes.
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

ToolRun runStats(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(MYZOR_STATS), arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  return {process.exitCode(), process.readAllStandardOutput(),
          QString::fromUtf8(process.readAllStandardError())};
}

class MyzorStats : public testing::Test {
 protected:
  // Two 1v1 games on Ridge, a 7v1 on Frost, a file cut short.
  void SetUp() override {
    game("a.rec", "Ridge", {u"Ann", u"Bob"}, 1);
    game("b/b.rec", "Ridge", {u"Bob", u"Ann"}, 1);
    game("c.rec", "Frost", {u"Ann", u"T1", u"T2", u"T3", u"T4", u"T5", u"T6", u"Bob"}, 7);
    game("d.rec", "Ridge", {u"Ann"}, 1);
    QFile::resize(m_dir.filePath("d.rec"), 100);
  }
  void game(const QString& name, const std::string& map, const std::vector<std::u16string>& players,
            int first_team) {
    ReplaySpec recipe = SimpleReplay(static_cast<int>(players.size()), false);
    recipe.map_name = map;
    for (std::size_t i = 0; i < players.size(); ++i) {
      recipe.players[i].name = players[i];
      recipe.players[i].team = i < static_cast<std::size_t>(first_team) ? 0 : 1;
    }
    QDir().mkpath(QFileInfo(m_dir.filePath(name)).path());
    ASSERT_TRUE(WriteFile(m_dir.filePath(name).toStdString(), BuildReplay(recipe)));
  }
  QTemporaryDir m_dir;
};

QStringList keys(const QJsonObject& o) {
  QStringList out;
  for (auto it = o.begin(); it != o.end(); ++it) out.append(it.key());
  return out;
}

TEST_F(MyzorStats, JsonHoldsTheAggregatesAndAFailedFileSetsExitOne) {
  const QString missing = m_dir.filePath("missing.rec");
  const ToolRun run = runStats({"--json", "-r", m_dir.path(), missing});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.err.contains(missing)) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("d.rec")) << run.err.toStdString();
  EXPECT_EQ(run.out.count('\n'), 1);
  const QJsonObject o = QJsonDocument::fromJson(run.out).object();
  // QJsonObject sorts its keys, so the order is checked on the text.
  EXPECT_TRUE(
      run.out.startsWith(R"({"games":3,"failed":2,"players":[{"name":"Ann","games":3,"first":")"));
  EXPECT_LT(run.out.indexOf("\"maps\""), run.out.indexOf("\"matchups\""));
  EXPECT_EQ(keys(o), QStringList({"failed", "formats", "games", "maps", "matchups", "months",
                                  "players", "races"}));
  const QJsonObject ann = o["players"][0].toObject();
  EXPECT_EQ(keys(ann),
            QStringList({"first", "games", "last", "name", "opponents", "races", "teammates"}));
  EXPECT_EQ(ann["teammates"].toArray().size(), 5);  // six in c.rec, at most five shown
  EXPECT_EQ(ann["opponents"].toArray(), QJsonArray({QJsonObject{{"name", "Bob"}, {"games", 3}}}));
  EXPECT_EQ(o["maps"].toArray(), QJsonArray({QJsonObject{{"name", "Ridge"}, {"games", 2}},
                                             QJsonObject{{"name", "Frost"}, {"games", 1}}}));
  EXPECT_EQ(o["formats"].toArray(), QJsonArray({QJsonObject{{"name", "1v1"}, {"games", 2}},
                                                QJsonObject{{"name", "7v1"}, {"games", 1}}}));
  EXPECT_EQ(o["months"][0].toObject().keys(), QStringList({"games", "month"}));
  EXPECT_EQ(o["matchups"][0].toObject()["games"].toInt(), 2);
  EXPECT_EQ(o["matchups"][0].toObject()["races"].toArray().size(), 2);
}

struct SearchCase {
  const char* query;
  int games;
  int failed;
};
void PrintTo(const SearchCase& c, std::ostream* out) { *out << '"' << c.query << '"'; }

class StatsSearch : public MyzorStats, public testing::WithParamInterface<SearchCase> {};

TEST_P(StatsSearch, CountsOnlyTheRowsTheSearchLists) {
  const ToolRun run =
      runStats({"--json", "--recursive", "--search", GetParam().query, m_dir.path()});
  const QJsonObject o = QJsonDocument::fromJson(run.out).object();
  EXPECT_EQ(o["games"].toInt(), GetParam().games);
  EXPECT_EQ(o["failed"].toInt(), GetParam().failed);
}

INSTANTIATE_TEST_SUITE_P(Queries, StatsSearch,
                         testing::Values(SearchCase{"map:ridge", 2, 0},
                                         SearchCase{"player:T3", 1, 0}, SearchCase{"nobody", 0, 0},
                                         SearchCase{"", 3, 1}, SearchCase{"status:short", 0, 1}));

TEST_F(MyzorStats, UsageErrorsExitTwo) {
  const ToolRun bad = runStats({"--search", "colour:red", m_dir.path()});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_TRUE(bad.err.contains("colour")) << bad.err.toStdString();
  EXPECT_TRUE(bad.out.isEmpty());
  EXPECT_EQ(runStats({}).exit_code, 2);
  EXPECT_EQ(runStats({"--frobnicate", m_dir.path()}).exit_code, 2);
  const ToolRun folder = runStats({m_dir.path()});  // a folder without -r is a failed input
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_TRUE(folder.err.contains("--recursive"));
  const ToolRun version = runStats({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.trimmed(), "myzor-stats " MYZOR_VERSION);
  EXPECT_TRUE(runStats({"--help"}).out.contains("--search"));
  const ToolRun text = runStats({"-r", m_dir.path()});
  EXPECT_TRUE(text.out.startsWith("games: 3\nfailed: 1\n")) << text.out.toStdString();
}

}  // namespace
