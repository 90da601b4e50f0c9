#include "library/core/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace myzor {
namespace {

FileEntry entryFrom(const QByteArray& path, const struct stat& info) {
  FileEntry entry;
  entry.path = path;
  entry.size = static_cast<std::int64_t>(info.st_size);
  entry.mtime_ns = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                   static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  entry.inode = static_cast<std::uint64_t>(info.st_ino);
  return entry;
}

QByteArray joined(const QByteArray& folder, const char* name) {
  QByteArray path = folder;
  if (!path.endsWith('/')) path.append('/');
  path.append(name);
  return path;
}

class Scanner {
 public:
  Scanner(const std::atomic_bool* stop, FolderScan& out) : m_stop(stop), m_out(out) {}

  void scan(const QByteArray& folder) {
    if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) {
      m_out.stopped = true;
      return;
    }
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) {
      m_out.problems.append(
          {folder, ScanProblem::Kind::unreadable, QString::fromLocal8Bit(std::strerror(errno))});
      return;
    }
    struct stat own {};
    if (::fstat(::dirfd(dir), &own) != 0 || !m_visited.insert({own.st_dev, own.st_ino}).second) {
      m_out.problems.append({folder, ScanProblem::Kind::loop, {}});
      ::closedir(dir);
      return;
    }
    std::vector<QByteArray> subfolders;
    while (const dirent* item = ::readdir(dir)) {
      const char* name = item->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      const bool maybe_folder =
          item->d_type == DT_DIR || item->d_type == DT_LNK || item->d_type == DT_UNKNOWN;
      const bool maybe_replay = IsReplayFileName(QByteArrayView(name));
      if (!maybe_folder && !maybe_replay) continue;
      struct stat info {};
      // Follows symbolic links; a broken one is simply not listed.
      if (::fstatat(::dirfd(dir), name, &info, 0) != 0) continue;
      if (S_ISDIR(info.st_mode))
        subfolders.push_back(joined(folder, name));
      else if (S_ISREG(info.st_mode) && maybe_replay)
        m_out.files.push_back(entryFrom(joined(folder, name), info));
    }
    ::closedir(dir);
    std::sort(subfolders.begin(), subfolders.end());
    for (const QByteArray& subfolder : subfolders) scan(subfolder);
  }

 private:
  const std::atomic_bool* m_stop;
  FolderScan& m_out;
  std::set<std::pair<dev_t, ino_t>> m_visited;
};

}  // namespace

FolderScan ScanFolder(const QByteArray& root, const std::atomic_bool* stop) {
  FolderScan out;
  Scanner(stop, out).scan(root);
  std::sort(out.files.begin(), out.files.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
  return out;
}

bool StatFile(const QByteArray& path, FileEntry& entry) {
  struct stat info {};
  if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  entry = entryFrom(path, info);
  return true;
}

QString RelativePath(const QByteArray& root, const QByteArray& path) {
  QByteArray prefix = root;
  if (!prefix.endsWith('/')) prefix.append('/');
  return DisplayName(path.startsWith(prefix) ? path.mid(prefix.size()) : path);
}

}  // namespace myzor
