// Finding the replay files under a folder, without reading them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

#include "library/core/paths.h"
#include "library/core/replay_row.h"

namespace myzor {

// A subfolder the scan skipped; the window or the tool says why in its words.
struct ScanProblem {
  enum class Kind {
    unreadable,  // `reason` is the system's own ("Permission denied")
    loop,        // it leads back into a folder already listed
  };
  QByteArray folder;
  Kind kind = Kind::unreadable;
  QString reason;
};
using ScanProblems = QList<ScanProblem>;

struct FolderScan {
  std::vector<FileEntry> files;  // sorted by path
  // Every subfolder that could not be read or that leads back into a folder
  // already scanned (a loop of symbolic links); each is skipped.
  ScanProblems problems;
  bool stopped = false;  // `stop` was set before the scan was complete
};

// Every regular file whose name ends in ".rec" (ignoring case) in `root` and
// the folders below it, symbolic links followed; each folder is entered once.
// `root` is an absolute path in the file system's bytes. Setting `stop` from
// another thread ends the scan early.
[[nodiscard]] FolderScan ScanFolder(const QByteArray& root, const std::atomic_bool* stop = nullptr);

// The same facts for one file; false when it is not a regular file or cannot
// be examined.
[[nodiscard]] bool StatFile(const QByteArray& path, FileEntry& entry);

// `path` relative to `root`, as text with '/' between folders.
[[nodiscard]] QString RelativePath(const QByteArray& root, const QByteArray& path);

}  // namespace myzor
