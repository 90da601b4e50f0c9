// myzor-rename as scripts use it: a dry run changes nothing, a real run keeps
// every file's contents, and every output line is valid UTF-8.
#include "tests/support/replay_builder.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUtf8StringView>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace {

using namespace replay_builder;
using Listing = std::map<std::string, std::string>;  // name -> contents, by the names' bytes

Listing list(const std::string& folder) {
  Listing files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

int run(const QStringList& arguments, QByteArray* out = nullptr) {
  QProcess process;
  process.start(QStringLiteral(MYZOR_RENAME), arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  if (out != nullptr) *out = process.readAllStandardOutput();
  return process.exitCode();
}

TEST(MyzorRename, DryRunChangesNothingAndTheRealRunKeepsEveryFile) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  ReplaySpec recipe = SimpleReplay(2, false);
  recipe.map_name = "../Ashfall";
  ASSERT_TRUE(WriteFile(folder + "/a.rec", BuildReplay(recipe)));
  recipe.players[0].name = u"Other";
  ASSERT_TRUE(WriteFile(folder + "/odd\xff.rec", BuildReplay(recipe)));
  ASSERT_TRUE(WriteFile(folder + "/damaged.rec", {1, 2, 3}));
  const Listing before = list(folder);

  QByteArray out;
  EXPECT_EQ(run({QStringLiteral("--dry-run"), QStringLiteral("--json"), QStringLiteral("-r"), dir.path()}, &out), 1);
  EXPECT_EQ(list(folder), before);
  EXPECT_EQ(out.count('\n'), 3);
  EXPECT_TRUE(QUtf8StringView(out).isValidUtf8()) << out.toStdString();

  EXPECT_EQ(run({QStringLiteral("--pattern"), QStringLiteral("{map}"), QStringLiteral("-r"), dir.path()}), 1);
  const Listing after = list(folder);
  EXPECT_EQ(after.size(), 3u);
  EXPECT_EQ(after.at("damaged.rec"), before.at("damaged.rec"));
  EXPECT_EQ(after.at("_._Ashfall.rec") + after.at("_._Ashfall (2).rec"), before.at("a.rec") + before.at("odd\xff.rec"));
  ::unlink((folder + "/odd\xff.rec").c_str());  // QTemporaryDir removes files by their names as text

  EXPECT_EQ(run({QStringLiteral("--pattern"), QStringLiteral("{map"), dir.path()}), 2);
}

}  // namespace
