// Where the window finds a map's picture: pics/ beside the program first,
// then the user's and the system's data folders, so an installed program
// finds the shipped pictures and a user can add their own without root.
#pragma once

#include <QString>
#include <QStringList>

// The map name comes from the replay file, so it may only ever name a file
// inside a picture folder: no separators, no drive colon, no control
// characters (a NUL would cut the path short).
[[nodiscard]] bool isPlainFileNamePart(const QString& name);

// The picture folders in lookup order: pics/ beside the program, then
// myzor/pics/ in each data folder, the user's before the system's.
[[nodiscard]] QStringList mapPictureFolders(const QString& program_folder);

// The picture of `map_name` in the first of `folders` that has one: the
// file named map_name + ".gif", or else one whose name differs from it only
// in case. Empty when no folder has one or the name is not a plain file
// name part.
[[nodiscard]] QString findMapPicture(const QStringList& folders, const QString& map_name);
