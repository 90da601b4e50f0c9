#include "library/stats/replay_stats.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <ctime>
#include <map>
#include <tuple>
#include <utility>

namespace myzor {
namespace {

// Names become small numbers once, so that the many counts per game are
// kept by number rather than by text.
class Names {
 public:
  int id(const QString& name) {
    const auto found = m_ids.constFind(name);
    if (found != m_ids.cend()) return found.value();
    const int id = static_cast<int>(m_names.size());
    m_ids.insert(name, id);
    m_names.push_back(name);
    return id;
  }
  [[nodiscard]] const QString& name(int id) const { return m_names[static_cast<std::size_t>(id)]; }
  [[nodiscard]] std::size_t size() const { return m_names.size(); }

 private:
  QHash<QString, int> m_ids;
  std::vector<QString> m_names;
};

using Counts = QHash<int, std::int64_t>;

bool byGamesThenName(const NameCount& a, const NameCount& b) {
  if (a.games != b.games) return a.games > b.games;
  return a.name < b.name;
}

std::vector<NameCount> sorted(const Counts& counts, const Names& names) {
  std::vector<NameCount> out;
  out.reserve(static_cast<std::size_t>(counts.size()));
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) out.push_back({names.name(it.key()), it.value()});
  std::sort(out.begin(), out.end(), byGamesThenName);
  return out;
}

std::vector<NameCount> sorted(const std::vector<std::int64_t>& counts, const Names& names) {
  std::vector<NameCount> out;
  for (std::size_t id = 0; id < counts.size(); ++id) {
    if (counts[id] > 0) out.push_back({names.name(static_cast<int>(id)), counts[id]});
  }
  std::sort(out.begin(), out.end(), byGamesThenName);
  return out;
}

// Local calendar day as yyyymmdd. Times before 1970 round down to their second.
int localDay(std::int64_t mtime_ns) {
  std::int64_t seconds = mtime_ns / 1'000'000'000;
  if (mtime_ns % 1'000'000'000 < 0) --seconds;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) return 19700101;
  return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

QString dayText(int day) {
  return QString::asprintf("%04d-%02d-%02d", day / 10000, day / 100 % 100, day % 100);
}

struct PlayerAcc {
  std::int64_t games = 0;
  int first = INT_MAX;
  int last = INT_MIN;
  Counts races, maps, teammates, opponents;
  std::int64_t picture_mtime = 0;
  const ReplayRow* picture_row = nullptr;
  int picture_player = -1;
};

}  // namespace

QString GameFormat(const std::vector<RowPlayer>& roster) {
  if (roster.empty()) return {};
  std::map<int, int> teams;
  for (const RowPlayer& player : roster) ++teams[player.team];
  if (roster.size() >= 3 && teams.size() == roster.size()) return QStringLiteral("ffa");
  std::vector<int> sizes;
  for (const auto& [team, size] : teams) sizes.push_back(size);
  std::sort(sizes.begin(), sizes.end(), std::greater<>());
  QString format;
  for (const int size : sizes) {
    if (!format.isEmpty()) format += QLatin1Char('v');
    format += QString::number(size);
  }
  return format;
}

QString LocalDate(std::int64_t mtime_ns) { return dayText(localDay(mtime_ns)); }

ReplayStats ComputeStats(const std::vector<ReplayRow>& rows) {
  ReplayStats stats;
  ::tzset();
  Names players, maps, races, formats;
  std::vector<PlayerAcc> accs;
  std::vector<std::int64_t> map_games, race_games, format_games;
  std::map<int, std::int64_t> month_games;  // yyyymm
  std::map<std::pair<int, int>, std::int64_t> matchups;
  const auto bump = [](std::vector<std::int64_t>& counts, int id) {
    if (static_cast<std::size_t>(id) >= counts.size()) counts.resize(static_cast<std::size_t>(id) + 1);
    ++counts[static_cast<std::size_t>(id)];
  };

  std::vector<int> ids;
  for (const ReplayRow& row : rows) {
    if (!row.ok) {
      ++stats.failed;
      continue;
    }
    ++stats.games;
    const int day = localDay(row.file.mtime_ns);
    ++month_games[day / 100];
    const int map = maps.id(row.map);
    bump(map_games, map);
    const std::vector<RowPlayer>& roster = row.roster;
    if (roster.empty()) continue;
    bump(format_games, formats.id(GameFormat(roster)));
    if (roster.size() == 2 && roster[0].team != roster[1].team) {
      const int a = races.id(roster[0].race);
      const int b = races.id(roster[1].race);
      ++matchups[roster[0].race <= roster[1].race ? std::pair(a, b) : std::pair(b, a)];
    }

    ids.clear();
    for (const RowPlayer& player : roster) {
      const int id = players.id(player.name);
      ids.push_back(id);
      if (static_cast<std::size_t>(id) >= accs.size()) accs.resize(static_cast<std::size_t>(id) + 1);
      const int race = races.id(player.race);
      bump(race_games, race);
      ++accs[static_cast<std::size_t>(id)].races[race];
    }
    for (std::size_t i = 0; i < roster.size(); ++i) {
      // A name listed twice in one game still played that game once.
      if (std::find(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(i), ids[i]) !=
          ids.begin() + static_cast<std::ptrdiff_t>(i))
        continue;
      PlayerAcc& acc = accs[static_cast<std::size_t>(ids[i])];
      ++acc.games;
      acc.first = std::min(acc.first, day);
      acc.last = std::max(acc.last, day);
      ++acc.maps[map];
      if (roster[i].carriesPictures() && (!acc.picture_row || row.file.mtime_ns >= acc.picture_mtime)) {
        acc.picture_mtime = row.file.mtime_ns;
        acc.picture_row = &row;
        acc.picture_player = static_cast<int>(i);
      }
      for (std::size_t j = 0; j < roster.size(); ++j) {
        if (ids[j] == ids[i]) continue;
        const bool mate = roster[j].team == roster[i].team;
        bool counted = false;
        for (std::size_t k = 0; k < j && !counted; ++k)
          counted = ids[k] == ids[j] && (roster[k].team == roster[i].team) == mate;
        if (!counted) ++(mate ? acc.teammates : acc.opponents)[ids[j]];
      }
    }
  }

  stats.players.reserve(accs.size());
  for (std::size_t id = 0; id < accs.size(); ++id) {
    const PlayerAcc& acc = accs[id];
    PlayerStats player;
    player.name = players.name(static_cast<int>(id));
    player.games = acc.games;
    player.first = dayText(acc.first);
    player.last = dayText(acc.last);
    player.races = sorted(acc.races, races);
    player.maps = sorted(acc.maps, maps);
    player.teammates = sorted(acc.teammates, players);
    player.opponents = sorted(acc.opponents, players);
    if (acc.picture_row) {
      player.picture_file = acc.picture_row->file.path;
      player.picture_player = acc.picture_player;
    }
    stats.players.push_back(std::move(player));
  }
  std::sort(stats.players.begin(), stats.players.end(), [](const PlayerStats& a, const PlayerStats& b) {
    if (a.games != b.games) return a.games > b.games;
    return a.name < b.name;
  });
  stats.maps = sorted(map_games, maps);
  stats.races = sorted(race_games, races);
  stats.formats = sorted(format_games, formats);
  for (const auto& [month, games] : month_games)
    stats.months.push_back({QString::asprintf("%04d-%02d", month / 100, month % 100), games});
  for (const auto& [pair, games] : matchups) stats.matchups.push_back({races.name(pair.first), races.name(pair.second), games});
  std::stable_sort(stats.matchups.begin(), stats.matchups.end(),
                   [](const Matchup& a, const Matchup& b) {
                     if (a.games != b.games) return a.games > b.games;
                     return std::tie(a.race_a, a.race_b) < std::tie(b.race_a, b.race_b);
                   });
  return stats;
}

}  // namespace myzor
