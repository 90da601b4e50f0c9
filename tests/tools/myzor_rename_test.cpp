// myzor-rename as scripts use it: a dry run changes nothing, a real run keeps
// every file's contents, and every output line is valid UTF-8; a run killed
// at any moment can be undone or finished from its journal.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUtf8StringView>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "tests/support/replay_builder.h"

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

// A fast folder: the kill test's files and journal live in memory where they can.
QString scratch(const char* name) {
  const bool shm = std::filesystem::is_directory("/dev/shm");
  return (shm ? QStringLiteral("/dev/shm/") : QDir::tempPath() + '/') + QLatin1String(name) +
         "-XXXXXX";
}

// This program's journal, apart from the user's.
const QTemporaryDir data(scratch("myzor-data"));

void start(QProcess& process, const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(MYZOR_RENAME), arguments);
}

int run(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr) {
  QProcess process;
  start(process, arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  if (out != nullptr) *out = process.readAllStandardOutput();
  if (err != nullptr) *err = process.readAllStandardError();
  return process.exitCode();
}

// The names, and one hash of the multiset of the contents' hashes.
std::pair<std::set<std::string>, std::string> state(const std::string& folder) {
  std::multiset<QByteArray> hashes;
  std::set<std::string> names;
  for (const auto& [name, bytes] : list(folder)) {
    names.insert(name);
    hashes.insert(
        QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256));
  }
  QCryptographicHash all(QCryptographicHash::Sha256);
  for (const QByteArray& hash : hashes) all.addData(hash);
  return {names, all.result().toHex().toStdString()};
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
  EXPECT_EQ(
      run({QStringLiteral("--dry-run"), QStringLiteral("--json"), QStringLiteral("-r"), dir.path()},
          &out),
      1);
  EXPECT_EQ(list(folder), before);
  EXPECT_EQ(out.count('\n'), 3);
  EXPECT_TRUE(QUtf8StringView(out).isValidUtf8()) << out.toStdString();

  EXPECT_EQ(
      run({QStringLiteral("--pattern"), QStringLiteral("{map}"), QStringLiteral("-r"), dir.path()}),
      1);
  const Listing after = list(folder);
  EXPECT_EQ(after.size(), 3u);
  EXPECT_EQ(after.at("damaged.rec"), before.at("damaged.rec"));
  EXPECT_EQ(after.at("_._Ashfall.rec") + after.at("_._Ashfall (2).rec"),
            before.at("a.rec") + before.at("odd\xff.rec"));
  ::unlink(
      (folder + "/odd\xff.rec").c_str());  // QTemporaryDir removes files by their names as text

  EXPECT_EQ(run({QStringLiteral("--pattern"), QStringLiteral("{map"), dir.path()}), 2);
}

// 2,000 files, some named by bytes that are not UTF-8, killed at random
// moments: afterwards --undo (or --finish) leaves every file at its old (or
// new) name, never both or neither, and no content is lost or doubled.
TEST(MyzorRename, KilledAtAnyMomentItIsUndoneOrFinishedFromTheJournal) {
  QTemporaryDir dir(scratch("myzor-kill"));
  const std::string folder = dir.path().toStdString();
  for (int i = 0; i < 2000; ++i) {
    const std::string name = (i % 97 == 0 ? "odd\xff" : "r") + std::to_string(i) + ".rec";
    ASSERT_TRUE(WriteFile(folder + "/" + name,
                          {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)}));
  }
  const auto before = state(folder);
  const QStringList rename{QStringLiteral("--pattern"), QStringLiteral("k{n}"), dir.path()};
  QElapsedTimer whole;
  whole.start();
  ASSERT_EQ(run(rename + QStringList{QStringLiteral("-r")}), 0);
  const int full_us = static_cast<int>(whole.nsecsElapsed() / 1000);
  ASSERT_EQ(run({QStringLiteral("--undo")}), 0);
  ASSERT_EQ(state(folder), before);
  int interrupted = 0;
  for (int round = 0; round < 20; ++round) {
    QProcess process;
    start(process, rename + QStringList{QStringLiteral("-r")});
    ASSERT_TRUE(process.waitForStarted());
    ::usleep(QRandomGenerator::global()->bounded(full_us + full_us / 10));
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished();
    const auto middle = state(folder);
    EXPECT_EQ(middle.second, before.second) << "round " << round;
    QByteArray history;
    run({QStringLiteral("--history"), QStringLiteral("--json")}, &history);
    const bool cut_short = history.contains("\"interrupted\"");
    interrupted += cut_short;
    if (cut_short && interrupted % 3 == 1) {
      // Refused while a batch waits, then finished: every file under its new name.
      QByteArray err;
      EXPECT_EQ(run(rename + QStringList{QStringLiteral("-r")}, nullptr, &err), 3);
      EXPECT_TRUE(err.contains("--finish")) << err.toStdString();
      EXPECT_EQ(state(folder), middle);
      EXPECT_EQ(run({QStringLiteral("--finish")}, nullptr, &err), 0) << err.toStdString();
      const auto finished = state(folder);
      EXPECT_EQ(finished.second, before.second);
      EXPECT_EQ(finished.first.size(), 2000u);
      for (const std::string& name : finished.first) EXPECT_EQ(name[0], 'k') << name;
    }
    QByteArray err;
    run({QStringLiteral("--undo")}, nullptr, &err);
    EXPECT_EQ(state(folder), before) << "round " << round << ": " << err.toStdString();
  }
  EXPECT_GT(interrupted, 0);
  QByteArray out;
  EXPECT_EQ(run({QStringLiteral("--history"), QStringLiteral("--json")}, &out), 0);
  EXPECT_GE(out.count("\"state\":\"undone\""), interrupted) << out.toStdString();
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    ::unlink(entry.path().c_str());
}

// A journal that is not one is set aside, the rename refused, and the next run works.
TEST(MyzorRename, ADamagedJournalIsSetAsideAndTheRenameRefused) {
  QTemporaryDir dir;
  ASSERT_TRUE(WriteFile(dir.path().toStdString() + "/a.rec", {1, 2, 3}));
  const QString journal = data.path() + "/myzor/journal.sqlite";
  QDir().mkpath(data.path() + "/myzor");
  QFile::remove(journal);
  ASSERT_TRUE(WriteFile(journal.toStdString(), std::vector<std::uint8_t>(4096, 0x5a)));
  QByteArray err;
  EXPECT_EQ(
      run({QStringLiteral("--pattern"), QStringLiteral("b"), dir.path() + "/a.rec"}, nullptr, &err),
      1);
  EXPECT_TRUE(err.contains("damaged") && err.contains("nothing was renamed")) << err.toStdString();
  EXPECT_TRUE(QFile::exists(dir.path() + "/a.rec"));
  EXPECT_EQ(
      QDir(data.path() + "/myzor").entryList({QStringLiteral("journal.sqlite.damaged-*")}).size(),
      1);
  EXPECT_EQ(run({QStringLiteral("--pattern"), QStringLiteral("b"), dir.path() + "/a.rec"}), 0);
  EXPECT_TRUE(QFile::exists(dir.path() + "/b.rec"));
}

}  // namespace
