#include "library/folder_scan.h"
#include "library/folder_watcher.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace myzor {
namespace {

class Watcher : public testing::Test {
 protected:
  // Short intervals keep the suite quick; nothing below depends on them.
  explicit Watcher(int max_folders = 0) : watcher({300, 50, 300, max_folders}) {
    QObject::connect(&watcher, &FolderWatcher::changed, [this](const FolderChanges& changes) {
      for (const FileEntry& entry : changes.added) added.try_emplace(entry.path, entry);
      for (const FileEntry& entry : changes.changed) changed.try_emplace(entry.path, entry);
      for (const QByteArray& path : changes.removed) removed.try_emplace(path, FileEntry{});
    });
  }
  QByteArray path(const char* name) const { return QFile::encodeName(dir.filePath(QString::fromLatin1(name))); }
  void write(const char* name, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(QFile::decodeName(path(name)));
    ASSERT_TRUE(file.open(mode));
    file.write(bytes);
  }
  // The first report of `name` in `list`, waiting for it as long as a slow machine may need.
  FileEntry waitFor(const std::map<QByteArray, FileEntry>& list, const char* name) {
    QSignalSpy spy(&watcher, &FolderWatcher::changed);
    while (!list.contains(path(name)) && spy.wait(10'000)) {
    }
    EXPECT_TRUE(list.contains(path(name))) << name;
    return list.contains(path(name)) ? list.at(path(name)) : FileEntry{};
  }

  QTemporaryDir dir;
  FolderWatcher watcher;
  std::map<QByteArray, FileEntry> added, changed, removed;
};

TEST_F(Watcher, ReportsNewRenamedAndRemovedFilesInEveryFolder) {
  watcher.watch(QFile::encodeName(dir.path()), {});
  write("a.rec", "replay");
  EXPECT_EQ(waitFor(added, "a.rec").size, 6);

  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("new/deeper")));
  write("new/deeper/b.REC", "b");
  write("new/deeper/notes.txt", "not a replay");
  waitFor(added, "new/deeper/b.REC");

  ASSERT_TRUE(QFile::rename(dir.filePath(QStringLiteral("a.rec")), dir.filePath(QStringLiteral("c.rec"))));
  waitFor(added, "c.rec");
  waitFor(removed, "a.rec");
  ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("new"))).removeRecursively());
  waitFor(removed, "new/deeper/b.REC");
  EXPECT_FALSE(added.contains(path("new/deeper/notes.txt")));
}

TEST_F(Watcher, ReportsAGrowingFileOnlyOnceItHasSettled) {
  watcher.watch(QFile::encodeName(dir.path()), {});
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
  watcher.watch(QFile::encodeName(dir.path()), {cut});
  watcher.recheck(cut);
  write("cut.rec", " short", QIODevice::Append);  // a write to a file already there: no folder event
  EXPECT_EQ(waitFor(changed, "cut.rec").size, 9);
}

class WatcherOverTheLimit : public Watcher {
 protected:
  WatcherOverTheLimit() : Watcher(1) {}
};

TEST_F(WatcherOverTheLimit, ScansInsteadAndSaysSoOnce) {
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("one/two")));
  QSignalSpy status(&watcher, &FolderWatcher::statusChanged);
  watcher.watch(QFile::encodeName(dir.path()), {});
  write("one/two/late.rec", "late");
  waitFor(added, "one/two/late.rec");
  EXPECT_TRUE(watcher.isScanning());
  ASSERT_EQ(status.size(), 1);
  EXPECT_TRUE(status.at(0).at(0).toString().contains(QLatin1String("every 0.3 seconds")));
}

}  // namespace
}  // namespace myzor
