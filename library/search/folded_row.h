// A replay's row as the search looks at it: every cell folded once, when
// the row is made, so that searching it again costs no folding.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

#include "library/core/columns.h"
#include "library/core/replay_row.h"
#include "library/search/query.h"

namespace myzor {

struct FoldedRow {
  // Every cell's folded text in UTF-8, '\n' between: a word searched in any
  // column is looked for once per row, a word of one column in its part.
  QByteArray text;
  // Where each column's text ends in `text`, in bytes.
  std::array<std::uint32_t, ReplayColumns::ColumnCount> ends{};
};

// Safe on any thread.
[[nodiscard]] FoldedRow FoldRow(const ReplayRow& row);

// Folds the columns of the user's data again, after `row.notes` changed;
// the file's columns stay as they were folded.
void RefoldNotes(FoldedRow& folded, const ReplayRow& row);

// What the search tests of `row`, whose cells `folded` holds; both must
// outlive the answer.
[[nodiscard]] SearchRow SearchRowOf(const ReplayRow& row, const FoldedRow& folded);

// Whether `query` lists `row`: the rows of a folder filtered without any
// table (the tools' --search).
[[nodiscard]] bool Matches(const SearchQuery& query, const ReplayRow& row);

}  // namespace myzor
