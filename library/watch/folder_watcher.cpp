#include "library/watch/folder_watcher.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileSystemWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "library/core/folder_scan.h"
#include "library/core/worker_priority.h"

namespace myzor {
namespace {

using FolderId = std::pair<dev_t, ino_t>;

// The replay files (when `files`) and subfolders directly in `folder`.
FolderWatcher::Listing listFolder(const QByteArray& folder, bool files = true) {
  using Listing = FolderWatcher::Listing;
  Listing out;
  DIR* dir = ::opendir(folder.constData());
  if (dir == nullptr) {
    out.state = errno == ENOENT || errno == ENOTDIR ? Listing::gone : Listing::unreadable;
    return out;
  }
  while (const dirent* item = ::readdir(dir)) {
    const char* name = item->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    const QByteArray path = folder + '/' + name;
    if (files && IsReplayFileName(QByteArrayView(name))) {
      FileEntry entry;
      if (StatFile(path, entry)) {
        out.files.push_back(std::move(entry));
        continue;
      }
    }
    struct stat info {};
    if (item->d_type != DT_REG && ::fstatat(::dirfd(dir), name, &info, 0) == 0 &&
        S_ISDIR(info.st_mode))
      out.folders.emplace_back(path, FolderId{info.st_dev, info.st_ino});
  }
  ::closedir(dir);
  return out;
}

// Keys of `map` that lie below `folder`.
template <typename Map>
std::vector<QByteArray> pathsBelow(const Map& map, const QByteArray& folder) {
  const QByteArray prefix = folder + '/';
  std::vector<QByteArray> paths;
  for (auto it = map.lower_bound(prefix); it != map.end() && it->first.startsWith(prefix); ++it)
    paths.push_back(it->first);
  return paths;
}

}  // namespace

struct FolderWatcher::Listed {
  int generation = 0;
  std::vector<std::pair<QByteArray, Listing>> folders;
};

struct FolderWatcher::Stats {
  int generation = 0;
  // Each path asked of, with what it is now; nothing where it is gone.
  std::vector<std::pair<QByteArray, std::optional<FileEntry>>> files;
};

FolderWatcher::FolderWatcher(Timing timing, QObject* parent) : QObject(parent), m_timing(timing) {
  m_collect_timer.setSingleShot(true);
  m_collect_timer.setInterval(m_timing.collect_ms);
  m_settle_timer.setInterval(std::max(10, m_timing.settle_ms / 4));
  m_rescan_timer.setInterval(m_timing.rescan_ms);
  connect(&m_collect_timer, &QTimer::timeout, this, &FolderWatcher::collect);
  connect(&m_settle_timer, &QTimer::timeout, this, &FolderWatcher::settle);
  connect(&m_rescan_timer, &QTimer::timeout, this, &FolderWatcher::rescan);
  connect(&m_rescan, &QFutureWatcherBase::finished, this, &FolderWatcher::rescanned);
  connect(&m_tree, &QFutureWatcherBase::finished, this, &FolderWatcher::treeFound);
  connect(&m_first_look, &QFutureWatcherBase::finished, this, &FolderWatcher::firstLookDone);
  connect(&m_listing, &QFutureWatcherBase::finished, this, &FolderWatcher::listed);
  connect(&m_stats, &QFutureWatcherBase::finished, this, &FolderWatcher::settled);
  m_clock.start();
}

FolderWatcher::~FolderWatcher() = default;

void FolderWatcher::watch(const QByteArray& root, std::vector<FileEntry> known) {
  stop();
  m_root = root.size() > 1 && root.endsWith('/') ? root.chopped(1) : root;
  // Known by path once the first look is done.
  m_first_known = std::move(known);
  m_watcher = new QFileSystemWatcher(this);
  connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
          &FolderWatcher::onDirectoryChanged);
  // First the folders, each watched before its files are listed, so that
  // nothing made in between is missed.
  m_looking = true;
  m_tree.setFuture(QtConcurrent::run([root = m_root, generation = m_generation] {
    LowerThreadPriority();
    FolderTree tree{generation, {}};
    std::set<FolderId> seen;  // a folder reached twice (a loop of links) is listed once
    std::vector<QByteArray> next{root};
    while (!next.empty()) {
      const QByteArray folder = next.back();
      next.pop_back();
      struct stat info {};
      if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
      const FolderId id{info.st_dev, info.st_ino};
      if (!seen.insert(id).second) continue;
      tree.folders.emplace_back(folder, id);
      for (auto& below : listFolder(folder, false).folders) next.push_back(std::move(below.first));
    }
    return tree;
  }));
}

void FolderWatcher::treeFound() {
  const FolderTree tree = m_tree.result();
  if (tree.generation != m_generation || m_scanning || m_watcher == nullptr) return;
  for (const auto& [folder, id] : tree.folders)
    if (!addWatch(folder, id)) return;
  std::vector<QByteArray> folders;
  for (const auto& [folder, id] : m_folders) folders.push_back(folder);
  m_first_look.setFuture(
      QtConcurrent::run([folders = std::move(folders), known = std::exchange(m_first_known, {}),
                         generation = m_generation]() mutable {
        LowerThreadPriority();
        // Shared, not copied, on its way to the window's thread.
        auto made = std::make_shared<FirstLook>();
        FirstLook& look = *made;
        look.generation = generation;
        std::sort(known.begin(), known.end(),
                  [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
        for (const FileEntry& entry : known)
          look.known.emplace_hint(look.known.end(), entry.path, entry);
        const auto find = [&known](const QByteArray& path) {
          const auto at =
              std::lower_bound(known.begin(), known.end(), path,
                               [](const FileEntry& a, const QByteArray& b) { return a.path < b; });
          return at != known.end() && at->path == path ? at : known.end();
        };
        std::vector<bool> seen(known.size(), false);
        const std::set<QByteArray> watched(folders.begin(), folders.end());
        std::set<QByteArray> listed;
        for (const QByteArray& folder : folders) {
          const Listing listing = listFolder(folder, true);
          if (listing.state == Listing::gone) look.gone.push_back(folder);
          if (listing.state != Listing::listed) continue;
          listed.insert(folder);
          for (const FileEntry& entry : listing.files) {
            const auto at = find(entry.path);
            if (at != known.end()) seen[static_cast<std::size_t>(at - known.begin())] = true;
            if (at == known.end() || !(*at == entry)) look.differing.push_back(entry);
          }
          for (const auto& below : listing.folders)
            if (!watched.contains(below.first)) look.subfolders.push_back(below);
        }
        // Known files that were not listed: gone, or in folders no longer
        // there; those of a folder that could not be read are left alone.
        for (std::size_t i = 0; i < known.size(); ++i) {
          const QByteArray folder = FolderOf(known[i].path);
          if (!seen[i] && (listed.contains(folder) || !watched.contains(folder)))
            look.missing.push_back(known[i].path);
        }
        return made;
      }));
}

void FolderWatcher::firstLookDone() {
  FirstLook look = std::move(*m_first_look.result());
  if (look.generation != m_generation || m_scanning) return;
  m_looking = false;
  // What was learnt of single files meanwhile holds over the first look.
  m_known.merge(look.known);
  for (const FileEntry& entry : look.differing) note(entry);
  for (const QByteArray& path : look.missing)
    if (!m_pending.contains(path)) forget(path);
  for (const QByteArray& folder : look.gone) dropFolder(folder);
  for (const auto& [folder, id] : look.subfolders) addFolderTree(folder, id);
  report();
  // Folders that changed while they were first listed are listed again.
  if (!m_dirty.isEmpty() || !m_unlisted.empty()) m_collect_timer.start();
}

void FolderWatcher::stop() {
  delete m_watcher;
  m_watcher = nullptr;
  m_collect_timer.stop();
  m_settle_timer.stop();
  m_rescan_timer.stop();
  m_folders.clear();
  m_folder_ids.clear();
  m_folder_by_name.clear();
  m_known.clear();
  m_pending.clear();
  m_suspects.clear();
  m_dirty.clear();
  m_changes = {};
  m_scanning = false;
  m_looking = false;
  m_first_known.clear();
  m_unlisted.clear();
  ++m_generation;
}

void FolderWatcher::recheck(const FileEntry& entry) {
  m_suspects[entry.path] = entry;
  m_settle_timer.start();
}

void FolderWatcher::onDirectoryChanged(const QString& name) {
  m_dirty.insert(name);
  if (!m_collect_timer.isActive()) m_collect_timer.start();
}

// The folders are listed on a worker; what changed is applied here once
// they are. Events meanwhile wait for the next round.
void FolderWatcher::collect() {
  if (m_looking || m_listing.isRunning()) return;  // listed again when that is done
  if (m_scanning) {
    m_dirty.clear();
    return;
  }
  std::vector<QByteArray> folders = std::exchange(m_unlisted, {});
  for (const QString& name : std::exchange(m_dirty, {})) {
    const QByteArray folder = m_folder_by_name.value(name);
    if (m_folders.contains(folder)) folders.push_back(folder);
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  if (folders.empty()) return;
  m_listing.setFuture(QtConcurrent::run([folders = std::move(folders), generation = m_generation] {
    LowerThreadPriority();
    auto made = std::make_shared<Listed>();
    made->generation = generation;
    for (const QByteArray& folder : folders) made->folders.emplace_back(folder, listFolder(folder));
    return made;
  }));
}

void FolderWatcher::listed() {
  const std::shared_ptr<Listed> listed = m_listing.result();
  // A listing for a folder watched before is dropped, but what waited for
  // it is listed all the same.
  if (listed->generation == m_generation && !m_scanning) {
    for (const auto& [folder, listing] : listed->folders)
      if (m_folders.contains(folder)) syncFolder(folder, listing);
    report();
  }
  if (!m_dirty.isEmpty() || !m_unlisted.empty()) m_collect_timer.start();
}

void FolderWatcher::addFolderTree(const QByteArray& folder, FolderId id) {
  if (m_scanning || m_folder_ids.contains(id)) return;
  // Listed after the watch is in place, so nothing made in between is missed.
  if (addWatch(folder, id)) {
    m_unlisted.push_back(folder);
    if (!m_collect_timer.isActive()) m_collect_timer.start();
  }
}

bool FolderWatcher::addWatch(const QByteArray& folder, FolderId id) {
  if (m_folder_ids.contains(id)) return true;
  const QString name = QFile::decodeName(folder);
  const bool full = m_timing.max_folders > 0 && std::ssize(m_folders) >= m_timing.max_folders;
  if (full || !m_watcher->addPath(name)) {
    startScanning();
    return false;
  }
  m_folders.emplace(folder, id);
  m_folder_ids.insert(id);
  m_folder_by_name.insert(name, folder);
  return true;
}

void FolderWatcher::syncFolder(const QByteArray& folder, const Listing& listing) {
  if (listing.state == Listing::unreadable) return;
  if (listing.state == Listing::gone) {
    dropFolder(folder);
    return;
  }
  std::set<QByteArray> present;
  for (const FileEntry& entry : listing.files) {
    present.insert(entry.path);
    note(entry);
  }
  std::vector<QByteArray> stale;
  for (const QByteArray& path : pathsBelow(m_known, folder))
    if (FolderOf(path) == folder && !present.contains(path)) stale.push_back(path);
  for (const QByteArray& path : pathsBelow(m_pending, folder))
    if (FolderOf(path) == folder && !present.contains(path)) stale.push_back(path);
  for (const QByteArray& path : stale) forget(path);

  std::set<QByteArray> subfolders;
  for (const auto& [path, id] : listing.folders) subfolders.insert(path);
  std::vector<QByteArray> removed;
  for (const QByteArray& path : pathsBelow(m_folders, folder))
    if (FolderOf(path) == folder && !subfolders.contains(path)) removed.push_back(path);
  for (const QByteArray& path : removed) dropFolder(path);
  for (const auto& [path, id] : listing.folders)
    if (!m_folders.contains(path)) addFolderTree(path, id);
}

void FolderWatcher::dropFolder(const QByteArray& folder) {
  std::vector<QByteArray> folders = pathsBelow(m_folders, folder);
  folders.push_back(folder);
  for (const QByteArray& path : folders) {
    const auto it = m_folders.find(path);
    if (it == m_folders.end()) continue;
    m_folder_ids.erase(it->second);
    m_folders.erase(it);
    const QString name = QFile::decodeName(path);
    m_folder_by_name.remove(name);
    if (m_watcher != nullptr) m_watcher->removePath(name);
  }
  for (const QByteArray& path : pathsBelow(m_known, folder)) forget(path);
  for (const QByteArray& path : pathsBelow(m_pending, folder)) forget(path);
}

void FolderWatcher::note(const FileEntry& entry) {
  const auto known = m_known.find(entry.path);
  if (known != m_known.end() && known->second == entry) {
    m_pending.erase(entry.path);
    return;
  }
  const auto pending = m_pending.find(entry.path);
  if (pending == m_pending.end() || !(pending->second.entry == entry))
    m_pending[entry.path] = Pending{entry, m_clock.elapsed()};
  if (!m_settle_timer.isActive()) m_settle_timer.start();
}

void FolderWatcher::forget(const QByteArray& path) {
  m_pending.erase(path);
  m_suspects.erase(path);
  if (m_known.erase(path) > 0) m_changes.removed.push_back(path);
}

// The files waited for are looked at on a worker; what they are now is
// applied here. A tick while they are looked at passes.
void FolderWatcher::settle() {
  if (m_stats.isRunning()) return;
  if (m_pending.empty() && m_suspects.empty()) {
    m_settle_timer.stop();
    return;
  }
  std::vector<QByteArray> paths;
  paths.reserve(m_pending.size() + m_suspects.size());
  for (const auto& [path, pending] : m_pending) paths.push_back(path);
  for (const auto& [path, entry] : m_suspects) paths.push_back(path);
  m_stats.setFuture(QtConcurrent::run([paths = std::move(paths), generation = m_generation] {
    LowerThreadPriority();
    auto made = std::make_shared<Stats>();
    made->generation = generation;
    made->files.reserve(paths.size());
    for (const QByteArray& path : paths) {
      FileEntry entry;
      made->files.emplace_back(path, StatFile(path, entry) ? std::optional(entry) : std::nullopt);
    }
    return made;
  }));
}

void FolderWatcher::settled() {
  const std::shared_ptr<Stats> stats = m_stats.result();
  if (stats->generation != m_generation) return;
  const qint64 now = m_clock.elapsed();
  std::vector<QByteArray> gone;
  for (const auto& [path, now_entry] : stats->files) {
    // Files noted or forgotten meanwhile are looked at on the next tick.
    if (const auto suspect = m_suspects.find(path); suspect != m_suspects.end()) {
      if (now_entry && *now_entry == suspect->second) continue;
      // Changed, or gone (which the folder's own event reports).
      if (now_entry) m_pending[path] = Pending{*now_entry, now};
      m_suspects.erase(suspect);
      continue;
    }
    const auto it = m_pending.find(path);
    if (it == m_pending.end()) continue;
    if (!now_entry) {
      gone.push_back(path);
    } else if (!(*now_entry == it->second.entry)) {
      it->second = Pending{*now_entry, now};
    } else if (now - it->second.since_ms >= m_timing.settle_ms) {
      auto& list = m_known.contains(path) ? m_changes.changed : m_changes.added;
      list.push_back(*now_entry);
      m_known[path] = *now_entry;
      m_pending.erase(it);
    }
  }
  for (const QByteArray& path : gone) forget(path);
  if (m_pending.empty() && m_suspects.empty()) m_settle_timer.stop();
  report();
}

void FolderWatcher::startScanning() {
  if (m_scanning) return;
  m_scanning = true;
  m_looking = false;
  m_first_known.clear();
  if (m_watcher != nullptr) m_watcher->deleteLater();
  m_watcher = nullptr;
  m_folders.clear();
  m_folder_ids.clear();
  m_folder_by_name.clear();
  m_dirty.clear();
  m_rescan_timer.start();
  QTimer::singleShot(0, this, &FolderWatcher::rescan);
  emit polling(m_timing.rescan_ms);
}

void FolderWatcher::rescan() {
  if (!m_scanning || m_rescan.isRunning()) return;
  m_rescan.setFuture(QtConcurrent::run([root = m_root, generation = m_generation] {
    LowerThreadPriority();
    return std::pair(generation, ScanFolder(root));
  }));
}

void FolderWatcher::rescanned() {
  const auto& [generation, scan] = m_rescan.future().result();
  if (!m_scanning || generation != m_generation) return;
  std::set<QByteArray> present;
  for (const FileEntry& entry : scan.files) {
    present.insert(entry.path);
    note(entry);
  }
  std::vector<QByteArray> stale;
  for (const auto& [path, entry] : m_known)
    if (!present.contains(path)) stale.push_back(path);
  for (const auto& [path, pending] : m_pending)
    if (!present.contains(path)) stale.push_back(path);
  for (const QByteArray& path : stale) forget(path);
  report();
}

void FolderWatcher::report() {
  if (!m_changes.empty()) emit changed(std::exchange(m_changes, {}));
}

}  // namespace myzor
