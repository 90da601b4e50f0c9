// What the user knows of replays and players: it follows the files through
// the library's own batches and through renames by other programs, survives
// the cache, a restart and a kill mid-batch, and changes who counts as whom.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <thread>

#include "library/core/folder_scan.h"
#include "library/journal/batches.h"
#include "library/replay_library.h"
#include "library/stats/replay_stats.h"
#include "library/userdata/user_store.h"
#include "tests/support/replay_builder.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << list.join(QStringLiteral(" | ")).toStdString();
}

namespace {

using myzor::FileEntry;
using myzor::NotesChange;
using myzor::UserStore;

class UserDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkpath("lib/sub");
  }
  QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
  QByteArray bytes(const QString& relative) const { return QFile::encodeName(path(relative)); }
  // A replay of its own content (`seed` tells them apart), as the library lists it.
  FileEntry write(const QString& relative, std::uint8_t seed,
                  std::vector<std::u16string> players = {u"Ann", u"Bob"}) const {
    replay_builder::ReplaySpec recipe =
        replay_builder::SimpleReplay(static_cast<int>(players.size()), false);
    recipe.map_name = "Ridge " + std::to_string(seed);
    for (std::size_t i = 0; i < players.size(); ++i) recipe.players[i].name = players[i];
    EXPECT_TRUE(replay_builder::WriteFile(bytes(relative).toStdString(),
                                          replay_builder::BuildReplay(recipe)));
    FileEntry entry;
    EXPECT_TRUE(myzor::StatFile(bytes(relative), entry));
    return entry;
  }
  static FileEntry at(const QByteArray& file) {
    FileEntry entry;
    EXPECT_TRUE(myzor::StatFile(file, entry)) << file.constData();
    return entry;
  }
  static NotesChange tagged(const QString& tag) {
    NotesChange change;
    change.add = {tag};
    return change;
  }
  // The tags the store gives the file at `file`, found by its content if need be.
  static QStringList tagsAt(UserStore& store, const QByteArray& file) {
    const auto found = store.find(at(file));
    return found ? found->notes.tags : QStringList{QStringLiteral("(none)")};
  }
  QString storeFile() const { return path("data/myzor/journal.sqlite"); }

  QTemporaryDir m_dir;
};

TEST_F(UserDataTest, TheDataFollowsRenamesMovesAndCopiesByMyzorAndByOtherPrograms) {
  UserStore store(storeFile());
  ASSERT_TRUE(store.isOpen()) << store.error().toStdString();
  const FileEntry a = write("lib/a.rec", 1);
  const FileEntry b = write("lib/b.rec", 2);
  NotesChange change = tagged(QStringLiteral("review"));
  change.rating = 4;
  change.note = QStringLiteral("lost to a rush");
  ASSERT_TRUE(store.edit({a, b}, change));
  ASSERT_EQ(store.fillHashes(), 2);

  // A rename by the library's own batch.
  myzor::RenamePlan plan;
  plan.files.push_back({a.path, "renamed.rec", myzor::RenameState::ok, {}, "renamed"});
  ASSERT_TRUE(myzor::JournaledRename(store.journal(), plan).results.front().ok);
  EXPECT_EQ(tagsAt(store, bytes("lib/renamed.rec")), QStringList{"review"});
  // A move to a folder, and a copy: both carry it.
  ASSERT_TRUE(myzor::JournaledCopy(store.journal(), myzor::BatchKind::move,
                                   {bytes("lib/renamed.rec")}, bytes("lib/sub"))
                  .results.front()
                  .ok);
  ASSERT_TRUE(myzor::JournaledCopy(store.journal(), myzor::BatchKind::copy,
                                   {bytes("lib/sub/renamed.rec")}, bytes("lib"))
                  .results.front()
                  .ok);
  EXPECT_EQ(tagsAt(store, bytes("lib/sub/renamed.rec")), QStringList{"review"});
  EXPECT_EQ(tagsAt(store, bytes("lib/renamed.rec")), QStringList{"review"});
  // The copy is its own: a tag given to it stays off the original.
  ASSERT_TRUE(store.edit({at(bytes("lib/renamed.rec"))}, tagged(QStringLiteral("copy"))));
  EXPECT_EQ(tagsAt(store, bytes("lib/sub/renamed.rec")), QStringList{"review"});

  // Another program renames b: found again by its size and SHA-256.
  ASSERT_EQ(std::rename(b.path.constData(), bytes("lib/sub/elsewhere.rec").constData()), 0);
  const auto found = store.find(at(bytes("lib/sub/elsewhere.rec")));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->notes.rating, 4);
  EXPECT_EQ(found->notes.note, QStringLiteral("lost to a rush"));
  // A replay of other bytes at the old name is not taken for it.
  write("lib/b.rec", 3);
  EXPECT_EQ(tagsAt(store, bytes("lib/b.rec")), QStringList{"(none)"});

  // Undone, newest first: the copy goes with its data, the move brings the
  // data back to the old name with the file.
  const auto batches = store.journal().batches();
  ASSERT_EQ(batches[1].kind, myzor::BatchKind::copy);
  ASSERT_EQ(batches[2].kind, myzor::BatchKind::move);
  ASSERT_TRUE(myzor::UndoBatch(store.journal(), batches[1].id).results.front().ok);
  ASSERT_TRUE(myzor::UndoBatch(store.journal(), batches[2].id).results.front().ok);
  EXPECT_EQ(tagsAt(store, bytes("lib/renamed.rec")), QStringList{"review"});
}

TEST_F(UserDataTest, AnEditIsTakenBackAfterARestartUnlessChangedSince) {
  const FileEntry a = write("lib/a.rec", 1);
  const FileEntry b = write("lib/b.rec", 2);
  {
    UserStore store(storeFile());
    ASSERT_TRUE(store.edit({a, b}, tagged(QStringLiteral("to watch"))));
    NotesChange rate;
    rate.rating = 3;
    ASSERT_TRUE(store.edit({a, b}, rate));
    // b is edited again after: the rating's undo leaves it alone.
    NotesChange favourite;
    favourite.favourite = true;
    ASSERT_TRUE(store.edit({b}, favourite));
  }
  UserStore store(storeFile());
  const auto batches = store.journal().batches();
  ASSERT_EQ(batches.size(), 3u);
  const myzor::BatchOutcome undone = store.undo(batches[1].id);
  ASSERT_FALSE(undone.refused);
  ASSERT_EQ(undone.results.size(), 2u);
  EXPECT_EQ(store.find(a)->notes.rating, 0);
  EXPECT_EQ(store.find(b)->notes.rating, 3);
  EXPECT_EQ(store.journal().batch(batches[1].id)->state, myzor::BatchState::undone);
  EXPECT_EQ(store.journal().lastUndoable()->id, batches[0].id);
  ASSERT_FALSE(store.undo(batches[0].id).refused);
  ASSERT_FALSE(store.undo(batches[2].id).refused);
  // a is as before the three; b keeps the rating that was left alone.
  EXPECT_TRUE(store.find(a)->notes.isEmpty());
  EXPECT_EQ(store.find(b)->notes.tags, QStringList{"to watch"});
  EXPECT_EQ(store.find(b)->notes.rating, 3);
}

// A child edits 1,000 replays in one batch and is killed at some moment:
// each replay holds the tag, or none does.
TEST_F(UserDataTest, AKillDuringABatchLeavesEveryReplayAsItWasOrAsTheBatchMadeIt) {
  std::vector<FileEntry> files;
  for (int i = 0; i < 1000; ++i) {
    FileEntry file;
    file.path = bytes(QStringLiteral("lib/r%1.rec").arg(i));
    file.size = 1000 + i;
    files.push_back(file);
  }
  int whole = 0;
  int none = 0;
  // Later and later kills, until one came after the commit (a slower
  // machine needs more rounds).
  for (int round = 0; round < 60 && (round < 8 || whole == 0); ++round) {
    QFile::remove(storeFile());
    QFile::remove(storeFile() + "-wal");
    QFile::remove(storeFile() + "-shm");
    { UserStore made(storeFile()); }
    const pid_t child = ::fork();
    if (child == 0) {
      UserStore store(storeFile());
      ::_exit(store.edit(files, tagged(QStringLiteral("kill"))) ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 15));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    UserStore store(storeFile());
    ASSERT_TRUE(store.isOpen()) << store.error().toStdString();
    const std::size_t tagged_now = store.replays().size();
    ASSERT_TRUE(tagged_now == 0 || tagged_now == files.size()) << tagged_now << " of 1000";
    EXPECT_EQ(store.journal().batches().size(), tagged_now == 0 ? 0u : 1u);
    (tagged_now == 0 ? none : whole) += 1;
  }
  // Both ends were seen: the kills fell before and after the commit.
  EXPECT_GT(whole, 0);
  EXPECT_GT(none, 0);
}

TEST_F(UserDataTest, NamesMergedAsOnePersonCountTogetherUntilSplitAgain) {
  std::vector<myzor::ReplayRow> rows;
  const auto game = [&rows](std::vector<QString> names) {
    myzor::ReplayRow row;
    for (std::size_t i = 0; i < names.size(); ++i)
      row.roster.push_back({names[i], {}, static_cast<int>(i)});
    row.player_count = static_cast<int>(names.size());
    rows.push_back(row);
  };
  game({"Foo", "Bar"});
  game({"Foo_2", "Bar"});
  game({"Foo", "Foo_2"});  // both names in one game: the person played it once
  const auto counts = [&rows](const myzor::PersonOf& persons) {
    std::vector<myzor::StatsRow> light;
    for (const myzor::ReplayRow& row : rows) light.push_back(myzor::StatsRowOf(row, persons));
    QStringList out;
    for (const myzor::PlayerStats& player : myzor::ComputeStats(light).players)
      out << QStringLiteral("%1 %2").arg(player.name).arg(player.games);
    return out;
  };
  UserStore store(storeFile());
  ASSERT_TRUE(store.merge({"Foo", "Foo_2"}, "Foo"));
  EXPECT_EQ(counts(myzor::PersonsOf(store.players())), (QStringList{"Foo 3", "Bar 2"}));
  // A third name joins the person through either of the two.
  ASSERT_TRUE(store.merge({"Foo_2", "xFoo"}, "Foo_2"));
  EXPECT_EQ(myzor::PersonsOf(store.players()).value("Foo"), QStringLiteral("Foo_2"));
  EXPECT_EQ(myzor::PersonsOf(store.players()).size(), 3);
  ASSERT_TRUE(store.split("Foo_2"));
  EXPECT_EQ(counts(myzor::PersonsOf(store.players())), (QStringList{"Bar 2", "Foo 2", "Foo_2 2"}));
  // And the split is taken back by the journal like any edit.
  ASSERT_FALSE(store.undo(store.journal().lastUndoable()->id).refused);
  EXPECT_EQ(counts(myzor::PersonsOf(store.players())), (QStringList{"Foo_2 3", "Bar 2"}));
}

// The library's rows show the data: after the cache went, and for a file
// another program renamed, within the watcher's time.
TEST_F(UserDataTest, TheTableShowsTheDataAfterTheCacheWentAndFollowsARenameOutside) {
  write("lib/a.rec", 1);
  write("lib/b.rec", 2);
  const auto open = [this](myzor::ReplayLibrary& library) {
    library.useStore(storeFile());
    QSignalSpy finished(&library, &myzor::ReplayLibrary::finished);
    library.open(bytes("lib"));
    ASSERT_TRUE(finished.wait(10'000));
  };
  const auto notesAt = [](myzor::ReplayLibrary& library, const QByteArray& file) {
    const int row = library.model()->rowOf(file);
    return row < 0 || !library.model()->row(row).notes ? QStringList()
                                                       : library.model()->row(row).notes->tags;
  };
  {
    myzor::ReplayLibrary library(path("cache/index.sqlite"));
    open(library);
    QSignalSpy edited(&library, &myzor::ReplayLibrary::notesEdited);
    library.editNotes({at(bytes("lib/a.rec"))}, tagged(QStringLiteral("Révision")));
    ASSERT_TRUE(edited.wait(10'000));
    EXPECT_NE(edited.first().first().toLongLong(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notesAt(library, bytes("lib/a.rec")).isEmpty(); }));
  }
  ASSERT_TRUE(QDir(path("cache")).removeRecursively());
  myzor::ReplayLibrary library(path("cache/index.sqlite"));
  open(library);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !notesAt(library, bytes("lib/a.rec")).isEmpty(); }, 10'000));
  EXPECT_EQ(notesAt(library, bytes("lib/a.rec")), QStringList{"Révision"});
  EXPECT_TRUE(notesAt(library, bytes("lib/b.rec")).isEmpty());
  // The hashes are made after the edit is shown; the rename waits for them.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        UserStore look(storeFile());
        return !look.replays().empty() && !look.replays().front().sha256.isEmpty();
      },
      10'000));
  ASSERT_EQ(std::rename(bytes("lib/a.rec").constData(), bytes("lib/sub/moved.rec").constData()), 0);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return notesAt(library, bytes("lib/sub/moved.rec")) == QStringList{"Révision"}; },
      10'000));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
