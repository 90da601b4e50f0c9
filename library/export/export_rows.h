// Writing the rows of the library to a file for other programs.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

// The table's columns as CSV (RFC 4180, UTF-8, a header line first). A cell
// that a spreadsheet would take for a formula (=, +, -, @) starts with a '.
[[nodiscard]] QByteArray RowsToCsv(const std::vector<ReplayRow>& rows);

// One JSON object per line: for each row's file, read again without its
// pictures' pixels, the object myzor-info --json writes for it.
[[nodiscard]] QByteArray RowsToJsonLines(const std::vector<ReplayRow>& rows);

// Writes `contents` to `path` whole or not at all (QSaveFile); refuses to
// write over a replay file. Returns the reason on failure, else empty.
[[nodiscard]] QString WriteExport(const QString& path, const QByteArray& contents);

}  // namespace myzor
