// Following a replay folder: which files appear, change or go while it is open.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "library/core/folder_scan.h"
#include "library/core/replay_row.h"

class QFileSystemWatcher;

namespace myzor {

struct FolderChanges {
  std::vector<FileEntry> added;
  std::vector<FileEntry> changed;
  std::vector<QByteArray> removed;  // a rename is a removal and an addition
  [[nodiscard]] bool empty() const { return added.empty() && changed.empty() && removed.empty(); }
};

// Lives in the GUI thread (its timers and the file system watcher need that
// thread's event loop). Watches the folder and every folder below it, adding
// new subfolders as they appear. A new or changed file is reported once its
// size and time have stayed the same for `settle_ms`, so a file still being
// written is reported when it is complete. When the system will not watch
// another folder, the whole folder is scanned (on a worker thread) every
// `rescan_ms` instead, and `polling` says so once.
class FolderWatcher : public QObject {
  Q_OBJECT

 public:
  struct Timing {
    int settle_ms = 1000;
    int collect_ms = 200;  // events are gathered this long before the folders are listed
    int rescan_ms = 3000;
    int max_folders =
        0;  // folders watched at most before scanning instead; 0: as many as the system allows
  };

  explicit FolderWatcher(Timing timing, QObject* parent = nullptr);
  explicit FolderWatcher(QObject* parent = nullptr) : FolderWatcher(Timing{}, parent) {}
  ~FolderWatcher() override;

  // Follows `root` (absolute, file-system bytes) from now on. `known` are the
  // files the caller lists already; any difference from them is reported.
  // The folders are listed on worker threads; changes made meanwhile are
  // reported all the same.
  void watch(const QByteArray& root, std::vector<FileEntry> known);
  void stop();

  // The caller read `entry` and found it incomplete (cut short or empty): it
  // is reported as changed once it has changed and settled, even where the
  // system tells nothing of writes to a file already there.
  void recheck(const FileEntry& entry);

  [[nodiscard]] bool isScanning() const { return m_scanning; }

  // What one folder holds directly: replay files and subfolders.
  struct Listing {
    enum State { listed, gone, unreadable } state = listed;
    std::vector<FileEntry> files;
    std::vector<std::pair<QByteArray, std::pair<dev_t, ino_t>>> folders;
  };

 signals:
  void changed(const myzor::FolderChanges& changes);
  // The folder is checked every `interval_ms` instead of followed.
  void polling(int interval_ms);

 private:
  using FolderId = std::pair<dev_t, ino_t>;
  // What the first look at the folders found, made on a worker thread:
  // the folders below the root, then how their files differ from the ones
  // the caller knows.
  struct FolderTree {
    int generation = 0;
    std::vector<std::pair<QByteArray, FolderId>> folders;  // the root first
  };
  struct FirstLook {
    int generation = 0;
    std::vector<FileEntry> differing;  // new, or changed from what was known
    std::vector<QByteArray> missing;   // known, but not there
    std::vector<QByteArray> gone;      // folders watched that were gone by then
    std::vector<std::pair<QByteArray, FolderId>> subfolders;  // folders that appeared meanwhile
    std::map<QByteArray, FileEntry> known;  // by path, made here rather than on the window's thread
  };
  struct Pending {
    FileEntry entry;
    qint64 since_ms;
  };
  struct Listed;
  struct Stats;

  void onDirectoryChanged(const QString& name);
  void collect();
  void listed();
  void settle();
  void settled();
  void rescan();
  void rescanned();
  void treeFound();
  void firstLookDone();
  void addFolderTree(const QByteArray& folder, FolderId id);
  bool addWatch(const QByteArray& folder, FolderId id);
  void syncFolder(const QByteArray& folder, const Listing& listing);
  void dropFolder(const QByteArray& folder);
  void note(const FileEntry& entry);
  void forget(const QByteArray& path);
  void startScanning();
  void report();

  Timing m_timing;
  QByteArray m_root;
  QFileSystemWatcher* m_watcher = nullptr;
  std::map<QByteArray, FolderId> m_folders;
  std::set<FolderId> m_folder_ids;  // a folder reached twice (a loop of links) is watched once
  QHash<QString, QByteArray> m_folder_by_name;
  std::map<QByteArray, FileEntry> m_known;
  std::map<QByteArray, Pending> m_pending;
  std::map<QByteArray, FileEntry> m_suspects;
  QSet<QString> m_dirty;
  QTimer m_collect_timer;
  QTimer m_settle_timer;
  QTimer m_rescan_timer;
  QElapsedTimer m_clock;
  FolderChanges m_changes;
  bool m_scanning = false;
  // The scan runs on a worker thread; one of an earlier `watch` is dropped.
  QFutureWatcher<std::pair<int, FolderScan>> m_rescan;
  QFutureWatcher<FolderTree> m_tree;
  QFutureWatcher<std::shared_ptr<FirstLook>> m_first_look;
  std::vector<FileEntry> m_first_known;  // what the caller knew, until the first look is done
  bool m_looking = false;
  // Folders watched since they were listed last, to be listed.
  std::vector<QByteArray> m_unlisted;
  // Folders and files looked at on a worker: one round at a time.
  QFutureWatcher<std::shared_ptr<Listed>> m_listing;
  QFutureWatcher<std::shared_ptr<Stats>> m_stats;
  int m_generation = 0;
};

}  // namespace myzor

Q_DECLARE_METATYPE(myzor::FolderChanges)
