// Reading the record of one replay file into its row, with the metadata
// read (the few kilobytes the row needs, no pictures).
#pragma once

#include <QByteArray>

#include "library/core/replay_row.h"

namespace myzor {

// Reads one file's record into its row; a file that cannot be read gets its
// error in the row instead.
[[nodiscard]] ReplayRow ReadRow(const QByteArray& root, const FileEntry& file);
// How many times ReadRow has opened a replay file in this process, so that a
// start from the index can be shown to open none.
[[nodiscard]] qint64 ReplayFilesRead();

}  // namespace myzor
