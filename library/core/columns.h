// The columns a replay's row is shown, searched and exported in, and the
// text of each cell.
#pragma once

#include <QString>
#include <QStringView>

#include "library/core/replay_row.h"

namespace myzor {

// Held in a struct so that a table model can take the names in as its own
// (LibraryModel::MapColumn).
struct ReplayColumns {
  enum Column {
    FileColumn,
    FolderColumn,
    ModifiedColumn,
    SizeColumn,
    GameColumn,
    MapColumn,
    PlayersColumn,
    TeamsColumn,
    RacesColumn,
    VersionColumn,
    WinConditionsColumn,
    StatusColumn,
    // What the user knows of the replay.
    TagsColumn,
    RatingColumn,
    FavouriteColumn,
    WatchedColumn,
    NoteColumn,
    ColumnCount
  };
};

// The cell's text as the table shows it; empty for a column out of range.
[[nodiscard]] QString CellText(const ReplayRow& row, int column);

// The columns of the user's own data come after those read from the file.
inline constexpr int kFirstNotesColumn = ReplayColumns::TagsColumn;

// The rating as stars, "★★★☆☆"; empty for none.
[[nodiscard]] QString StarsText(int rating);

// The file's name, and the folders above it below the library's folder
// (empty for a file of the folder itself).
[[nodiscard]] QStringView FileNameOf(const ReplayRow& row);
[[nodiscard]] QStringView FolderNameOf(const ReplayRow& row);

}  // namespace myzor
