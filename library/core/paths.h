// The rules for paths that every part of the library keeps alike: which
// files are replays, and the folder and name of a path. Paths are in the
// file system's own bytes, '/' between folders.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace myzor {

// Whether a name ends in ".rec", ignoring case.
[[nodiscard]] bool HasReplayExtension(QByteArrayView name);
[[nodiscard]] bool HasReplayExtension(QStringView name);
// A replay file's name: ".rec", ignoring case, with a name before it.
[[nodiscard]] bool IsReplayFileName(QByteArrayView name);
[[nodiscard]] bool IsReplayFileName(QStringView name);

// The folder `path` lies in: "/" for a file of the root, "." for a bare name.
[[nodiscard]] QByteArray FolderOf(const QByteArray& path);
// The last part of `path`.
[[nodiscard]] QByteArray NameOf(const QByteArray& path);
// `name` in `folder`, with one '/' between them.
[[nodiscard]] QByteArray JoinPath(const QByteArray& folder, const QByteArray& name);

}  // namespace myzor
