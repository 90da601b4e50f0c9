// Matching what the index remembers of a folder with what the folder holds now.
#pragma once

#include <QByteArray>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

// What the check of a folder needs of a remembered row.
struct KnownFile {
  FileEntry file;
  // Read again even when unchanged: the file could not be opened at all,
  // which may have been passing, or the row lacks the players' teams.
  bool read_again = false;
  [[nodiscard]] static KnownFile of(const ReplayRow& row);
};

struct Reconciliation {
  std::vector<FileEntry> to_read;  // new or changed files; the others keep their rows
  std::vector<QByteArray> gone;    // paths of rows whose files are no longer there
};

// A file is unchanged when its size, modification time and inode are those of
// its row; such a file is not opened unless its row is to be read again.
[[nodiscard]] Reconciliation Reconcile(const std::vector<KnownFile>& indexed,
                                       const std::vector<FileEntry>& files);

}  // namespace myzor
