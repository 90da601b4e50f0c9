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
    case ReplayColumns::TagsColumn:
      if (row.notes) AppendFolded(out, row.notes->tags.join(QStringLiteral(", ")));
      return;
    case ReplayColumns::NoteColumn:
      // A word of the note is found on any of its lines.
      if (row.notes) AppendFolded(out, QString(row.notes->note).replace(u'\n', u' '));
      return;
    case ReplayColumns::RatingColumn:
    case ReplayColumns::FavouriteColumn:
    case ReplayColumns::WatchedColumn:
      // Searched by rating: and is:, not by their signs.
      return;
    default:
      return AppendFolded(out, CellText(row, column));
  }
}

}  // namespace

namespace {

void foldColumns(FoldedRow& folded, const ReplayRow& row, int first) {
  for (int column = first; column < ReplayColumns::ColumnCount; ++column) {
    if (column > 0) folded.text += '\n';
    appendFoldedCell(folded.text, row, column);
    folded.ends[static_cast<std::size_t>(column)] = static_cast<std::uint32_t>(folded.text.size());
  }
  folded.text.squeeze();
}

}  // namespace

FoldedRow FoldRow(const ReplayRow& row) {
  FoldedRow folded;
  folded.text.reserve(256);
  foldColumns(folded, row, 0);
  return folded;
}

void RefoldNotes(FoldedRow& folded, const ReplayRow& row) {
  folded.text.truncate(folded.ends[static_cast<std::size_t>(kFirstNotesColumn - 1)]);
  foldColumns(folded, row, kFirstNotesColumn);
}

SearchRow SearchRowOf(const ReplayRow& row, const FoldedRow& folded) {
  SearchRow search{folded.text, folded.ends, row.file.mtime_ns, row.player_count};
  if (row.notes) {
    search.rating = row.notes->rating;
    search.favourite = row.notes->favourite;
    search.watched = row.notes->watched;
  }
  return search;
}

bool Matches(const SearchQuery& query, const ReplayRow& row) {
  if (query.terms.empty()) return query.problem.isNone();
  const FoldedRow folded = FoldRow(row);
  return query.matches(SearchRowOf(row, folded));
}

}  // namespace myzor
