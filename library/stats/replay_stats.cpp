#include "library/stats/replay_stats.h"

#include <QHash>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace myzor {
namespace {

// Names become small numbers once, so that the many counts per game are
// kept by number rather than by text.
class Names {
 public:
  // The rows share one copy of each name, so a name is first looked for by
  // where its text lies, which costs no hashing of the text: a name whose
  // text lies where a kept name's does is that name.
  int id(const QString& name) {
    const Seen& seen = m_seen[slot(name.constData())];
    if (seen.text == name.constData() && seen.size == name.size()) return seen.id;
    int id;
    const auto found = m_ids.constFind(name);
    if (found != m_ids.cend()) {
      id = found.value();
    } else {
      id = static_cast<int>(m_names.size());
      m_ids.insert(name, id);
      m_names.push_back(name);
    }
    const QString& kept = m_names[static_cast<std::size_t>(id)];
    if (kept.constData() == name.constData())
      m_seen[slot(kept.constData())] = {kept.constData(), kept.size(), id};
    return id;
  }
  [[nodiscard]] const QString& name(int id) const { return m_names[static_cast<std::size_t>(id)]; }
  [[nodiscard]] std::size_t size() const { return m_names.size(); }

 private:
  struct Seen {
    const QChar* text = nullptr;
    qsizetype size = -1;
    int id = 0;
  };
  static constexpr std::size_t kSeen = 1024;
  static std::size_t slot(const QChar* text) {
    return (reinterpret_cast<std::uintptr_t>(text) >> 4) % kSeen;
  }
  std::vector<Seen> m_seen = std::vector<Seen>(kSeen);
  QHash<QString, int> m_ids;
  std::vector<QString> m_names;
};

bool byGamesThenName(const NameCount& a, const NameCount& b) {
  if (a.games != b.games) return a.games > b.games;
  return a.name < b.name;
}

std::vector<NameCount> sorted(const std::vector<std::int64_t>& counts, const Names& names) {
  std::vector<NameCount> out;
  for (std::size_t id = 0; id < counts.size(); ++id) {
    if (counts[id] > 0) out.push_back({names.name(static_cast<int>(id)), counts[id]});
  }
  std::sort(out.begin(), out.end(), byGamesThenName);
  return out;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Local calendar days as yyyymmdd, times before 1970 rounded down to their
// second. A day (in UTC) with one offset at its start and its end has it
// throughout; in a day that changes its offset, which zones do at quarter
// hours, each quarter hour's offset is asked of the C library once, and one
// whose end has another offset is asked second by second.
class LocalDays {
 public:
  int of(std::int64_t mtime_ns) {
    const std::int64_t seconds = floorDiv(mtime_ns, 1'000'000'000);
    long utc_offset = offsetOver(m_days, floorDiv(seconds, kDay), kDay);
    if (utc_offset == kUneven)
      utc_offset = offsetOver(m_quarters, floorDiv(seconds, kQuarter), kQuarter);
    if (utc_offset == kUneven) {
      const std::optional<long> exact = offset(seconds);
      if (!exact) return 19700101;
      utc_offset = *exact;
    }
    const std::chrono::year_month_day day{
        std::chrono::sys_days{std::chrono::days{floorDiv(seconds + utc_offset, 86400)}}};
    return static_cast<int>(day.year()) * 10000 +
           static_cast<int>(static_cast<unsigned>(day.month())) * 100 +
           static_cast<int>(static_cast<unsigned>(day.day()));
  }

 private:
  static constexpr std::int64_t kQuarter = 900;
  static constexpr std::int64_t kDay = 86'400;
  static constexpr long kUneven = LONG_MIN;
  // The offset throughout the span `number` of `length` seconds, or kUneven.
  static long offsetOver(std::unordered_map<std::int64_t, long>& spans, std::int64_t number,
                         std::int64_t length) {
    auto [at, added] = spans.try_emplace(number, 0);
    if (added) {
      const std::optional<long> start = offset(number * length);
      const std::optional<long> end = offset(number * length + length - 1);
      at->second = start && start == end ? *start : kUneven;
    }
    return at->second;
  }
  static std::optional<long> offset(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&t, &local) == nullptr) return std::nullopt;
    return local.tm_gmtoff;
  }
  std::unordered_map<std::int64_t, long> m_days;
  std::unordered_map<std::int64_t, long> m_quarters;
};

QString dayText(int day) {
  return QString::asprintf("%04d-%02d-%02d", day / 10000, day / 100 % 100, day % 100);
}

// Counts by a pair of small numbers: in one table where the pairs are few
// enough, else in a hash per first number.
class PairCounts {
 public:
  PairCounts(std::size_t rows, std::size_t columns) : m_columns(columns) {
    if (rows * columns <= kDenseCells)
      m_dense.assign(rows * columns, 0);
    else
      m_sparse.resize(rows);
  }
  void bump(int row, int column) {
    if (m_sparse.empty())
      ++m_dense[static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column)];
    else
      ++m_sparse[static_cast<std::size_t>(row)][column];
  }
  // The counts of one row, by games, most first, then by name.
  [[nodiscard]] std::vector<NameCount> sorted(
      int row, const Names& names,
      std::size_t most = std::numeric_limits<std::size_t>::max()) const {
    // By number first: names are looked at only for ties and the ones kept.
    std::vector<std::pair<std::uint32_t, int>> counted;
    if (m_sparse.empty()) {
      const std::uint32_t* counts = m_dense.data() + static_cast<std::size_t>(row) * m_columns;
      for (std::size_t column = 0; column < m_columns; ++column)
        if (counts[column] > 0) counted.emplace_back(counts[column], static_cast<int>(column));
    } else {
      const QHash<int, std::uint32_t>& counts = m_sparse[static_cast<std::size_t>(row)];
      for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        counted.emplace_back(it.value(), it.key());
    }
    const auto before = [&names](const std::pair<std::uint32_t, int>& a,
                                 const std::pair<std::uint32_t, int>& b) {
      if (a.first != b.first) return a.first > b.first;
      return names.name(a.second) < names.name(b.second);
    };
    const auto kept = counted.begin() + static_cast<std::ptrdiff_t>(std::min(most, counted.size()));
    std::partial_sort(counted.begin(), kept, counted.end(), before);
    std::vector<NameCount> out;
    out.reserve(static_cast<std::size_t>(kept - counted.begin()));
    for (auto it = counted.begin(); it != kept; ++it)
      out.push_back({names.name(it->second), it->first});
    return out;
  }

 private:
  // 16 MiB of counts.
  static constexpr std::size_t kDenseCells = std::size_t{1} << 22;
  std::size_t m_columns;
  std::vector<std::uint32_t> m_dense;
  std::vector<QHash<int, std::uint32_t>> m_sparse;
};

// The team sizes of a game, largest first, one per byte, as a key under
// which its format is kept once made; 0 for a game too large for one.
std::uint64_t teamSizesKey(const Roster& roster) {
  constexpr qsizetype kMost = 8;
  if (roster.size() > kMost) return 0;
  std::array<int, kMost> teams{};
  std::array<std::uint8_t, kMost> sizes{};
  std::size_t count = 0;
  for (const RowPlayer& player : roster) {
    std::size_t at = 0;
    while (at < count && teams[at] != player.team) ++at;
    if (at == count) teams[count++] = player.team;
    ++sizes[at];
  }
  std::sort(sizes.begin(), sizes.end(), std::greater<>());  // the unused zeros last
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < count; ++i) key = key << 8 | sizes[i];
  return key;
}

}  // namespace

QString GameFormat(const Roster& roster) {
  if (roster.empty()) return {};
  std::map<int, int> teams;
  for (const RowPlayer& player : roster) ++teams[player.team];
  if (roster.size() >= 3 && static_cast<qsizetype>(teams.size()) == roster.size())
    return QStringLiteral("ffa");
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

QString LocalDate(std::int64_t mtime_ns) { return dayText(LocalDays().of(mtime_ns)); }

StatsRow StatsRowOf(const ReplayRow& row, const QHash<QString, QString>& persons) {
  StatsRow stats{row.file.path, row.map, row.knownRoster(), row.file.mtime_ns, row.ok};
  if (persons.isEmpty()) return stats;
  for (qsizetype i = 0; i < stats.roster.size(); ++i) {
    const auto person = persons.constFind(stats.roster[i].name);
    // The roster is copied only for a game that has a name to change.
    if (person != persons.cend() && *person != stats.roster[i].name) stats.roster[i].name = *person;
  }
  return stats;
}

ReplayStats ComputeStats(const std::vector<ReplayRow>& rows) {
  std::vector<StatsRow> light;
  light.reserve(rows.size());
  for (const ReplayRow& row : rows) light.push_back(StatsRowOf(row));
  return ComputeStats(light);
}

namespace {

void bump(std::vector<std::int64_t>& counts, int id, std::int64_t by = 1) {
  if (static_cast<std::size_t>(id) >= counts.size())
    counts.resize(static_cast<std::size_t>(id) + 1);
  counts[static_cast<std::size_t>(id)] += by;
}

// Every game and seat of a share of the rows as numbers, so that the counts
// per player are kept in tables of the right size. Shares are made on
// several threads, each with numbers of its own, then renumbered as one.
struct Game {
  const StatsRow* row;
  int day;
  int map;
  std::size_t first_seat;
  std::size_t seats;
};
struct Seat {
  int player;
  int race;
  int team;
  bool pictures;
};

struct Share {
  Share(const StatsRow* from, const StatsRow* to) : begin(from), end(to) {}
  const StatsRow* begin;
  const StatsRow* end;
  std::int64_t games = 0;
  std::int64_t failed = 0;
  Names players, maps, races, formats;
  std::vector<std::int64_t> map_games, race_games, format_games;
  std::map<int, std::int64_t> month_games;  // yyyymm
  std::map<std::pair<int, int>, std::int64_t> matchups;
  std::vector<Game> rostered;  // games with their players
  std::vector<Seat> seats;

  void count() {
    LocalDays days;
    std::unordered_map<std::uint64_t, int> format_ids;
    rostered.reserve(static_cast<std::size_t>(end - begin));
    for (const StatsRow* row = begin; row != end; ++row) {
      if (!row->ok) {
        ++failed;
        continue;
      }
      ++games;
      const Game game{row, days.of(row->mtime_ns), maps.id(row->map), seats.size(),
                      static_cast<std::size_t>(row->roster.size())};
      ++month_games[game.day / 100];
      bump(map_games, game.map);
      const Roster& roster = row->roster;
      if (roster.empty()) continue;
      rostered.push_back(game);
      const std::uint64_t key = teamSizesKey(roster);
      auto [format, added] = format_ids.try_emplace(key, 0);
      if (added || key == 0) format->second = formats.id(GameFormat(roster));
      bump(format_games, format->second);
      for (const RowPlayer& player : roster) {
        seats.push_back({players.id(player.name), races.id(player.race), player.team,
                         player.carriesPictures()});
        bump(race_games, seats.back().race);
      }
      if (roster.size() == 2 && roster[0].team != roster[1].team) {
        const int a = seats[game.first_seat].race;
        const int b = seats[game.first_seat + 1].race;
        ++matchups[roster[0].race <= roster[1].race ? std::pair(a, b) : std::pair(b, a)];
      }
    }
  }
};

// The numbers of `share` in `all`, in the share's order.
std::vector<int> renumber(const Names& share, Names& all) {
  std::vector<int> to(share.size());
  for (std::size_t id = 0; id < share.size(); ++id)
    to[id] = all.id(share.name(static_cast<int>(id)));
  return to;
}

void addCounts(std::vector<std::int64_t>& all, const std::vector<std::int64_t>& share,
               const std::vector<int>& to) {
  for (std::size_t id = 0; id < share.size(); ++id)
    if (share[id] > 0) bump(all, to[id], share[id]);
}

}  // namespace

ReplayStats ComputeStats(const std::vector<StatsRow>& rows) {
  ReplayStats stats;
  ::tzset();
  // Shares large enough to be worth a thread.
  constexpr std::size_t kShareRows = 16384;
  const std::size_t threads = static_cast<std::size_t>(std::max(1, QThread::idealThreadCount()));
  const std::size_t count = std::clamp<std::size_t>(rows.size() / kShareRows, 1, threads);
  std::vector<Share> shares;
  shares.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    shares.emplace_back(rows.data() + rows.size() * i / count,
                        rows.data() + rows.size() * (i + 1) / count);
  if (count == 1)
    shares.front().count();
  else
    QtConcurrent::blockingMap(shares, [](Share& share) { share.count(); });

  Names players, maps, races, formats;
  std::vector<std::int64_t> map_games, race_games, format_games;
  std::map<int, std::int64_t> month_games;
  std::map<std::pair<int, int>, std::int64_t> matchups;
  std::vector<Game> games;
  std::vector<Seat> seats;
  for (Share& share : shares) {
    stats.games += share.games;
    stats.failed += share.failed;
    const std::vector<int> to_player = renumber(share.players, players);
    const std::vector<int> to_map = renumber(share.maps, maps);
    const std::vector<int> to_race = renumber(share.races, races);
    const std::vector<int> to_format = renumber(share.formats, formats);
    addCounts(map_games, share.map_games, to_map);
    addCounts(race_games, share.race_games, to_race);
    addCounts(format_games, share.format_games, to_format);
    for (const auto& [month, n] : share.month_games) month_games[month] += n;
    for (const auto& [pair, n] : share.matchups) {
      const int a = to_race[static_cast<std::size_t>(pair.first)];
      const int b = to_race[static_cast<std::size_t>(pair.second)];
      matchups[{a, b}] += n;
    }
    const std::size_t seat_base = seats.size();
    for (Seat seat : share.seats) {
      seat.player = to_player[static_cast<std::size_t>(seat.player)];
      seat.race = to_race[static_cast<std::size_t>(seat.race)];
      seats.push_back(seat);
    }
    for (Game game : share.rostered) {
      game.map = to_map[static_cast<std::size_t>(game.map)];
      game.first_seat += seat_base;
      games.push_back(game);
    }
    share = Share{nullptr, nullptr};
  }

  const std::size_t people = players.size();
  std::vector<std::int64_t> played(people, 0);
  std::vector<int> first(people, INT_MAX);
  std::vector<int> last(people, INT_MIN);
  std::vector<const Game*> picture_game(people, nullptr);
  std::vector<int> picture_seat(people, -1);
  PairCounts player_races(people, races.size());
  PairCounts player_maps(people, maps.size());
  PairCounts teammates(people, people);
  PairCounts opponents(people, people);
  for (const Game& game : games) {
    const Seat* seat = seats.data() + game.first_seat;
    const auto n = static_cast<std::ptrdiff_t>(game.seats);
    for (std::ptrdiff_t i = 0; i < n; ++i) player_races.bump(seat[i].player, seat[i].race);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
      const int id = seat[i].player;
      // A name listed twice in one game still played that game once.
      bool again = false;
      for (std::ptrdiff_t k = 0; k < i && !again; ++k) again = seat[k].player == id;
      if (again) continue;
      const auto at = static_cast<std::size_t>(id);
      ++played[at];
      first[at] = std::min(first[at], game.day);
      last[at] = std::max(last[at], game.day);
      player_maps.bump(id, game.map);
      if (seat[i].pictures &&
          (picture_game[at] == nullptr || game.row->mtime_ns >= picture_game[at]->row->mtime_ns)) {
        picture_game[at] = &game;
        picture_seat[at] = static_cast<int>(i);
      }
      for (std::ptrdiff_t j = 0; j < n; ++j) {
        if (seat[j].player == id) continue;
        const bool mate = seat[j].team == seat[i].team;
        bool counted = false;
        for (std::ptrdiff_t k = 0; k < j && !counted; ++k)
          counted = seat[k].player == seat[j].player && (seat[k].team == seat[i].team) == mate;
        if (!counted) (mate ? teammates : opponents).bump(id, seat[j].player);
      }
    }
  }

  stats.players.reserve(people);
  for (std::size_t id = 0; id < people; ++id) {
    PlayerStats player;
    const int number = static_cast<int>(id);
    player.name = players.name(number);
    player.games = played[id];
    player.first = dayText(first[id]);
    player.last = dayText(last[id]);
    player.races = player_races.sorted(number, races);
    player.maps = player_maps.sorted(number, maps, PlayerStats::kMostListed);
    player.teammates = teammates.sorted(number, players, PlayerStats::kMostListed);
    player.opponents = opponents.sorted(number, players, PlayerStats::kMostListed);
    if (picture_game[id] != nullptr) {
      player.picture_file = picture_game[id]->row->path;
      player.picture_player = picture_seat[id];
    }
    stats.players.push_back(std::move(player));
  }
  std::sort(stats.players.begin(), stats.players.end(),
            [](const PlayerStats& a, const PlayerStats& b) {
              if (a.games != b.games) return a.games > b.games;
              return a.name < b.name;
            });
  stats.maps = sorted(map_games, maps);
  stats.races = sorted(race_games, races);
  stats.formats = sorted(format_games, formats);
  for (const auto& [month, games] : month_games)
    stats.months.push_back({QString::asprintf("%04d-%02d", month / 100, month % 100), games});
  for (const auto& [pair, games] : matchups)
    stats.matchups.push_back({races.name(pair.first), races.name(pair.second), games});
  std::stable_sort(stats.matchups.begin(), stats.matchups.end(),
                   [](const Matchup& a, const Matchup& b) {
                     if (a.games != b.games) return a.games > b.games;
                     return std::tie(a.race_a, a.race_b) < std::tie(b.race_a, b.race_b);
                   });
  return stats;
}

}  // namespace myzor
