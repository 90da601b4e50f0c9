// myzor-dupes as scripts use it: only byte-identical files are grouped, the
// groups and their files come sorted, and every line is valid UTF-8.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QUtf8StringView>
#include <nlohmann/json.hpp>

#include "tests/support/replay_builder.h"

namespace {

using namespace replay_builder;

TEST(MyzorDupes, GroupsOnlyIdenticalFilesAcrossFolders) {
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  for (const char* folder : {"/a", "/b", "/c"})
    ASSERT_EQ(::mkdir((root + folder).c_str(), 0755), 0);
  Layout layout;
  const Bytes replay = BuildReplay(SimpleReplay(2, true), &layout);
  // Three copies, one named by bytes that are not UTF-8.
  for (const char* name : {"/a/one.rec", "/b/two\xff.rec", "/c/three.rec"})
    ASSERT_TRUE(WriteFile(root + name, replay));
  // The same size and record, another picture: no duplicate.
  Bytes repainted = replay;
  repainted[static_cast<std::size_t>(layout.badge_pixels[0])] ^= 0x40;
  ASSERT_TRUE(WriteFile(root + "/a/repainted.rec", repainted));
  ASSERT_TRUE(WriteFile(root + "/c/other.rec", {1, 2, 3}));

  QProcess process;
  process.start(QStringLiteral(MYZOR_DUPES),
                {QStringLiteral("--json"), QStringLiteral("-r"), dir.path()});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  const QByteArray out = process.readAllStandardOutput();
  EXPECT_TRUE(QUtf8StringView(out).isValidUtf8());
  ASSERT_EQ(out.count('\n'), 1) << out.toStdString();
  const auto group = nlohmann::json::parse(out.toStdString());
  EXPECT_EQ(group["size"], replay.size());
  EXPECT_EQ(group["sha256"],
            QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(replay.data()),
                                                static_cast<qsizetype>(replay.size())),
                                     QCryptographicHash::Sha256)
                .toHex()
                .toStdString());
  EXPECT_EQ(group["files"], nlohmann::json::array({root + "/a/one.rec", root + "/b/two\uFFFD.rec",
                                                   root + "/c/three.rec"}));

  process.start(QStringLiteral(MYZOR_DUPES), {dir.path()});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_TRUE(process.readAllStandardError().contains("--recursive"));
  process.start(QStringLiteral(MYZOR_DUPES), {});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 2);
  ::unlink(
      (root + "/b/two\xff.rec").c_str());  // QTemporaryDir removes files by their names as text
}

}  // namespace
