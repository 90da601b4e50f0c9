// Matching what the index remembers of a folder with what the folder holds now.
#pragma once

#include "library/replay_row.h"

#include <QByteArray>

#include <vector>

namespace myzor {

struct Reconciliation {
  std::vector<ReplayRow> current;  // rows whose files have not changed: shown as they are
  std::vector<FileEntry> to_read;  // new or changed files
  std::vector<QByteArray> gone;    // paths of rows whose files are no longer there
};

// A file is unchanged when its size, modification time and inode are those of
// its row; such a file is not opened. A row that failed because the file
// could not be opened at all is read again, as that may have been passing.
[[nodiscard]] Reconciliation Reconcile(std::vector<ReplayRow> indexed, const std::vector<FileEntry>& files);

}  // namespace myzor
