// One replay file of the library, as the table shows it and the index keeps it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "replay/metadata.h"
#include "replay/reader_error.h"

namespace myzor {

// What the file system says of a replay file: enough to tell whether it has
// changed since it was read.
struct FileEntry {
  QByteArray path;  // absolute, in the file system's own bytes (not always UTF-8)
  std::int64_t size = 0;
  std::int64_t mtime_ns = 0;  // modification time, nanoseconds since the epoch
  std::uint64_t inode = 0;
  friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

// One player of a replay as the file lists it.
struct RowPlayer {
  QString name;
  QString race;
  int team = 0;
  // Where the player's block lies in the file.
  std::int64_t block_start = 0;
  std::int64_t block_end = 0;
  friend bool operator==(const RowPlayer&, const RowPlayer&) = default;

  // A block without pictures ends 20 bytes after its image tag and stays far
  // below this length; one with pictures holds both pixel areas past it.
  static constexpr std::int64_t kPictureBlockBytes = 41172;
  [[nodiscard]] bool carriesPictures() const {
    return block_end - block_start >= kPictureBlockBytes;
  }
};

// Shared when a row is copied, so that handing many rows to a worker is cheap.
using Roster = QList<RowPlayer>;

// What the user knows of a replay: kept by the user's own store, not read
// from the file.
struct ReplayNotes {
  QStringList tags;  // in the order given, each once
  int rating = 0;    // 0 (none) to 5
  bool favourite = false;
  bool watched = false;
  QString note;  // plain text, lines with '\n' between
  [[nodiscard]] bool isEmpty() const {
    return tags.isEmpty() && rating == 0 && !favourite && !watched && note.isEmpty();
  }
  friend bool operator==(const ReplayNotes&, const ReplayNotes&) = default;
};

struct ReplayRow {
  FileEntry file;
  QString relative_path;  // to the library's folder, '/' between folders
  QString game;
  QString map;
  QString version;
  QString win_conditions;  // "Annihilate, Take and Hold"; empty for none
  int player_count = 0;
  // The players in file order.
  Roster roster;
  // The roster holds names and races only: it was kept by an index too old
  // to hold teams and blocks, and the file is read again to fill it (see
  // `lacksRoster`).
  bool names_only = false;
  // The teams as that index kept them, while the roster holds names only.
  QString names_only_teams;

  // What the user knows of it; none for most replays. Shared, never changed
  // in place.
  std::shared_ptr<const ReplayNotes> notes;

  // A file that cannot be read keeps its row, with the reader's error.
  bool ok = true;
  // False for a file found but not read yet (its read was stopped): such a
  // row says "not read" and is never kept in the index.
  bool read = true;
  QString error_kind;  // "file", "empty", "too_large", "out_of_range"
  std::optional<std::int64_t> error_offset;
  QString error_message;

  // "ok", or the reader's message.
  [[nodiscard]] QString status() const { return ok ? QStringLiteral("ok") : error_message; }
  [[nodiscard]] bool lacksRoster() const { return ok && names_only && !roster.empty(); }
  // The players' names (races) in file order, `separator` between.
  [[nodiscard]] QString players(QStringView separator = u", ") const;
  [[nodiscard]] QString races(QStringView separator = u", ") const;
  // The players grouped by team: "A & B vs C & D" (see `TeamsText`).
  [[nodiscard]] QString teams() const;
  // The roster as the stats count it: none while only the names are known.
  [[nodiscard]] Roster knownRoster() const { return names_only ? Roster() : roster; }
};

// A file name (or path) in the file system's bytes as text; bytes that are
// not UTF-8 become U+FFFD.
[[nodiscard]] QString DisplayName(const QByteArray& native);

// Players grouped by team, teams in ascending order, names in file order
// within a team: "Ashen Vel vs Mira Tolvane", "A & B vs C & D".
[[nodiscard]] QString TeamsText(const Roster& roster);

// The seven win-condition flags in record order, each with its caption in
// the window.
struct WinConditionFlag {
  float flag;
  const char* caption;
};
[[nodiscard]] std::array<WinConditionFlag, 7> WinConditionFlags(
    const zor_rep_reader::ReplayInfo& replay);

// The win conditions the replay sets, by their captions in the window.
[[nodiscard]] QString WinConditionsText(const zor_rep_reader::ReplayInfo& replay);

[[nodiscard]] ReplayRow MakeRow(const FileEntry& file, const QString& relative_path,
                                const zor_rep_reader::ReplayInfo& replay);
// The row of a file found and not read yet.
[[nodiscard]] ReplayRow MakeUnreadRow(const FileEntry& file, const QString& relative_path);

// Makes the texts many rows have alike (maps, versions, win conditions,
// player names, races) share one copy with the rows seen before, on any
// thread. MakeRow and the index's rows do so already. A library of 100,000 replays of a few hundred
// players keeps each name once instead of once per game.
void ShareCommonText(ReplayRow& row);
void ShareCommonText(RowPlayer& player);
void ShareCommonText(QString& text);
[[nodiscard]] ReplayRow MakeErrorRow(const FileEntry& file, const QString& relative_path,
                                     const zor_rep_reader::ReaderError& error);

}  // namespace myzor
