// Finding replays that are byte for byte the same. Files are narrowed down
// by size and then by their record (game, map, players, ...); only the files
// left with a partner are read in full and hashed (SHA-256).
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

struct DuplicateGroup {
  std::int64_t size = 0;
  QByteArray sha256;             // raw bytes
  std::vector<FileEntry> files;  // sorted by path
};

struct DuplicateSearch {
  std::vector<DuplicateGroup> groups;                    // sorted by their first file
  std::vector<std::pair<QByteArray, QString>> problems;  // a file that could not be read, and why
  int files_hashed = 0;
  std::int64_t bytes_hashed = 0;
};

// The groups among `rows` (their record as the table shows it). `cancel`,
// when set, ends the search early with what was found so far. Hashes on
// several threads.
[[nodiscard]] DuplicateSearch FindDuplicates(const std::vector<ReplayRow>& rows,
                                             const std::atomic<bool>* cancel = nullptr);

// The same for files known only by path and size: the record is read only of
// files whose size another file shares, so a file of a size of its own is
// never opened.
[[nodiscard]] DuplicateSearch FindDuplicateFiles(const std::vector<FileEntry>& files);

}  // namespace myzor
