// Who played whom, where and with what: the aggregates over a set of library
// rows that the Players and Statistics views and myzor-stats show.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

// A name (player, map, race, format, month) and the games it counts.
struct NameCount {
  QString name;
  std::int64_t games = 0;
  friend bool operator==(const NameCount&, const NameCount&) = default;
};

struct PlayerStats {
  // Of maps, teammates and opponents only the most frequent are kept.
  static constexpr std::size_t kMostListed = 5;

  QString name;
  std::int64_t games = 0;
  QString first;  // "YYYY-MM-DD" in local time
  QString last;
  // Each list sorted by games, most first, then by name.
  std::vector<NameCount> races;  // all
  std::vector<NameCount> maps;
  std::vector<NameCount> teammates;  // games shared on one team
  std::vector<NameCount> opponents;  // games on another team
  // The latest game in which this player's block carries pictures: its file
  // and the player's place in the roster (-1 when there is none).
  QByteArray picture_file;
  int picture_player = -1;
};

// 1v1 games by the pair of races, `race_a` not after `race_b`.
struct Matchup {
  QString race_a;
  QString race_b;
  std::int64_t games = 0;
  friend bool operator==(const Matchup&, const Matchup&) = default;
};

struct ReplayStats {
  std::int64_t games = 0;            // rows that could be read
  std::int64_t failed = 0;           // rows that could not
  std::vector<PlayerStats> players;  // by games, most first, then by name
  std::vector<NameCount> maps;
  std::vector<NameCount> races;    // one per player in a game
  std::vector<NameCount> formats;  // "1v1", "2v2", "ffa", …
  std::vector<NameCount> months;   // "YYYY-MM", in order of month
  std::vector<Matchup> matchups;   // by games, then by races
};

// "ffa" for three or more players each on a team of their own; otherwise the
// team sizes, largest first, joined by "v" ("1v1", "3v2", "2v1v1"); "1" for
// a game of one player and "" for none.
[[nodiscard]] QString GameFormat(const Roster& roster);

// The day of a file time (nanoseconds since the epoch) in local time,
// "YYYY-MM-DD".
[[nodiscard]] QString LocalDate(std::int64_t mtime_ns);

// What the aggregates read of a row; cheap to copy, so that a view can hand
// a snapshot of 100,000 rows to a worker without holding up its window.
struct StatsRow {
  QByteArray path;
  QString map;
  Roster roster;
  std::int64_t mtime_ns = 0;
  bool ok = true;
};
// With `persons` (name to person), each name that is one of a person's is
// counted as the person: a game of two of their names counts once.
[[nodiscard]] StatsRow StatsRowOf(const ReplayRow& row,
                                  const QHash<QString, QString>& persons = {});

// Rows lacking their roster count as games but add no players.
[[nodiscard]] ReplayStats ComputeStats(const std::vector<StatsRow>& rows);
[[nodiscard]] ReplayStats ComputeStats(const std::vector<ReplayRow>& rows);

}  // namespace myzor
