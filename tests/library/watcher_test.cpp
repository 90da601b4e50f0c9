#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

#include "library/core/folder_scan.h"
#include "library/watch/folder_watcher.h"

namespace myzor {
namespace {

class Watcher : public testing::Test {
 protected:
  // Short intervals keep the suite quick; nothing below depends on them.
  void start(std::vector<FileEntry> known = {}, int max_folders = 0) {
    watcher = std::make_unique<FolderWatcher>(FolderWatcher::Timing{300, 50, 300, max_folders});
    QObject::connect(watcher.get(), &FolderWatcher::changed, [this](const FolderChanges& changes) {
      for (const FileEntry& entry : changes.added) added.try_emplace(entry.path, entry);
      for (const FileEntry& entry : changes.changed) changed.try_emplace(entry.path, entry);
      for (const QByteArray& path : changes.removed) removed[path];
    });
    QObject::connect(watcher.get(), &FolderWatcher::polling,
                     [this](int interval_ms) { said << interval_ms; });
    watcher->watch(QFile::encodeName(dir.path()), known);
  }
  QByteArray path(const char* name) const {
    return QFile::encodeName(dir.filePath(QString::fromLatin1(name)));
  }
  void write(const char* name, const QByteArray& bytes,
             QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(QFile::decodeName(path(name)));
    ASSERT_TRUE(file.open(mode));
    file.write(bytes);
  }
  // The first report of `name` in `list`, waited for as long as a slow machine may need.
  FileEntry waitFor(const std::map<QByteArray, FileEntry>& list, const char* name) {
    QSignalSpy spy(watcher.get(), &FolderWatcher::changed);
    while (!list.contains(path(name)) && spy.wait(10'000)) {
    }
    EXPECT_TRUE(list.contains(path(name))) << name;
    return list.contains(path(name)) ? list.at(path(name)) : FileEntry{};
  }

  QTemporaryDir dir;
  std::unique_ptr<FolderWatcher> watcher;
  std::map<QByteArray, FileEntry> added, changed, removed;
  QList<int> said;
};

TEST_F(Watcher, ReportsNewRenamedAndRemovedFilesInEveryFolder) {
  start();
  write("a.rec", "replay");
  EXPECT_EQ(waitFor(added, "a.rec").size, 6);

  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("new/deeper")));
  write("new/deeper/b.REC", "b");
  write("new/deeper/notes.txt", "not a replay");
  waitFor(added, "new/deeper/b.REC");

  ASSERT_TRUE(
      QFile::rename(dir.filePath(QStringLiteral("a.rec")), dir.filePath(QStringLiteral("c.rec"))));
  waitFor(added, "c.rec");
  waitFor(removed, "a.rec");
  ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("new"))).removeRecursively());
  waitFor(removed, "new/deeper/b.REC");
  EXPECT_FALSE(added.contains(path("new/deeper/notes.txt")));
}

TEST_F(Watcher, ReportsHowTheFolderDiffersFromWhatTheCallerKnew) {
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
  write("same.rec", "same");
  write("sub/grown.rec", "grown");
  write("sub/new.rec", "new");
  FileEntry same, grown;
  ASSERT_TRUE(StatFile(path("same.rec"), same));
  ASSERT_TRUE(StatFile(path("sub/grown.rec"), grown));
  grown.size -= 1;
  const FileEntry gone{path("gone.rec"), 4, same.mtime_ns, 0};
  const FileEntry folder_gone{path("old/x.rec"), 4, same.mtime_ns, 0};
  start({gone, grown, same, folder_gone});
  waitFor(added, "sub/new.rec");
  waitFor(changed, "sub/grown.rec");
  waitFor(removed, "gone.rec");
  waitFor(removed, "old/x.rec");
  EXPECT_FALSE(added.contains(path("same.rec")) || changed.contains(path("same.rec")) ||
               removed.contains(path("same.rec")));
}

TEST_F(Watcher, ReportsAGrowingFileOnlyOnceItHasSettled) {
  start();
  write("growing.rec", "start");
  for (int step = 0; step < 20; ++step) {
    QTest::qWait(40);
    write("growing.rec", "more", QIODevice::Append);
  }
  EXPECT_EQ(waitFor(added, "growing.rec").size, 5 + 20 * 4);
}

TEST_F(Watcher, RechecksAFileFoundIncompleteWhenItChanges) {
  write("cut.rec", "cut");
  FileEntry cut;
  ASSERT_TRUE(StatFile(path("cut.rec"), cut));
  start({cut});
  watcher->recheck(cut);
  write("cut.rec", " short",
        QIODevice::Append);  // a write to a file already there: no folder event
  EXPECT_EQ(waitFor(changed, "cut.rec").size, 9);
}

TEST_F(Watcher, OverTheLimitOfWatchedFoldersScansInsteadAndSaysSoOnce) {
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("one/two")));
  start({}, 1);
  write("one/two/late.rec", "late");
  waitFor(added, "one/two/late.rec");
  EXPECT_TRUE(watcher->isScanning());
  EXPECT_EQ(said.size(), 1);
}

}  // namespace
}  // namespace myzor
