#include "library/search/folded_row.h"

#include "library/search/fold.h"

namespace myzor {
namespace {

// The cell's text folded, as CellText gives it, with no copy of the texts
// the row holds.
void appendFoldedCell(QByteArray& out, const ReplayRow& row, int column) {
  const auto names = [&](QString RowPlayer::*field) {
    for (qsizetype i = 0; i < row.roster.size(); ++i) {
      if (i > 0) out += ", ";
      AppendFolded(out, row.roster[i].*field);
    }
  };
  switch (column) {
    case ReplayColumns::FileColumn:
      return AppendFolded(out, FileNameOf(row));
    case ReplayColumns::FolderColumn:
      return AppendFolded(out, FolderNameOf(row));
    case ReplayColumns::GameColumn:
      return AppendFolded(out, row.game);
    case ReplayColumns::MapColumn:
      return AppendFolded(out, row.map);
    case ReplayColumns::PlayersColumn:
      return names(&RowPlayer::name);
    case ReplayColumns::TeamsColumn:
      return AppendFolded(out, row.teams());
    case ReplayColumns::RacesColumn:
      return names(&RowPlayer::race);
    case ReplayColumns::VersionColumn:
      return AppendFolded(out, row.version);
    case ReplayColumns::WinConditionsColumn:
      return AppendFolded(out, row.win_conditions);
    default:
      return AppendFolded(out, CellText(row, column));
  }
}

}  // namespace

FoldedRow FoldRow(const ReplayRow& row) {
  FoldedRow folded;
  folded.text.reserve(256);
  for (int column = 0; column < ReplayColumns::ColumnCount; ++column) {
    if (column > 0) folded.text += '\n';
    appendFoldedCell(folded.text, row, column);
    folded.ends[static_cast<std::size_t>(column)] = static_cast<std::uint32_t>(folded.text.size());
  }
  folded.text.squeeze();
  return folded;
}

SearchRow SearchRowOf(const ReplayRow& row, const FoldedRow& folded) {
  return {folded.text, folded.ends, row.file.mtime_ns, row.player_count};
}

bool Matches(const SearchQuery& query, const ReplayRow& row) {
  if (query.terms.empty()) return query.problem.isNone();
  const FoldedRow folded = FoldRow(row);
  return query.matches(SearchRowOf(row, folded));
}

}  // namespace myzor
