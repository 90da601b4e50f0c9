// The aggregates over library rows: counts, formats, teammates, local months.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>

#include "library/core/folder_scan.h"
#include "library/load/replay_loader.h"
#include "library/stats/replay_stats.h"
#include "tests/support/replay_builder.h"

namespace myzor {
void PrintTo(const NameCount& c, std::ostream* out) {
  *out << c.name.toStdString() << ' ' << c.games;
}
}  // namespace myzor

namespace {

using myzor::NameCount;
using namespace replay_builder;

struct Seat {
  std::u16string name;
  std::uint8_t team;
  std::string race;
  bool pictures = false;
};

// Writes one replay of `seats` on `map`, modified at `utc` (ISO 8601).
void writeGame(const QString& path, const std::string& map, const std::vector<Seat>& seats,
               const char* utc) {
  ReplaySpec recipe = SimpleReplay(0, false);
  recipe.map_name = map;
  for (const Seat& seat : seats) {
    PlayerSpec player;
    player.name = seat.name;
    player.team = seat.team;
    player.race = seat.race;
    player.pictures = seat.pictures;
    recipe.players.push_back(player);
  }
  ASSERT_TRUE(WriteFile(path.toStdString(), BuildReplay(recipe)));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate),
                               QFileDevice::FileModificationTime));
}

const myzor::PlayerStats& player(const myzor::ReplayStats& stats, const QString& name) {
  for (const myzor::PlayerStats& p : stats.players) {
    if (p.name == name) return p;
  }
  static const myzor::PlayerStats none;
  ADD_FAILURE() << "no player " << name.toStdString();
  return none;
}

class LocalZone : public testing::Test {
 protected:
  // Ten hours east of UTC, so that an evening in UTC is the next day here.
  void SetUp() override {
    const char* old = std::getenv("TZ");
    m_old = old ? old : "";
    m_had = old != nullptr;
    ::setenv("TZ", zone(), 1);
    ::tzset();
  }
  [[nodiscard]] virtual const char* zone() const { return "XYZ-10"; }
  void TearDown() override {
    if (m_had)
      ::setenv("TZ", m_old.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  std::string m_old;
  bool m_had = false;
};

TEST_F(LocalZone, AFolderOfKnownGamesGivesItsCounts) {
  QTemporaryDir dir;
  writeGame(dir.filePath("a.rec"), "Ridge", {{u"Ann", 0, "elf", true}, {u"Bob", 1, "orc"}},
            "2026-03-31T20:00:00Z");
  writeGame(dir.filePath("b.rec"), "Ridge", {{u"Ann", 0, "orc"}, {u"Bob", 1, "elf"}},
            "2026-01-15T12:00:00Z");
  ASSERT_TRUE(QDir(dir.path()).mkpath("sub"));
  writeGame(dir.filePath("sub/c.rec"), "Frost",
            {{u"Ann", 0, "elf"}, {u"Cid", 0, "elf"}, {u"Bob", 1, "elf"}, {u"Dee", 1, "elf"}},
            "2026-04-10T01:00:00Z");
  writeGame(dir.filePath("d.rec"), "Ridge", {{u"Ann", 0, "elf", true}}, "2026-05-01T00:00:00Z");
  QFile::resize(dir.filePath("d.rec"), 300);  // cut short: a failed file

  const QByteArray root = QFile::encodeName(dir.path());
  std::vector<myzor::ReplayRow> rows;
  for (const myzor::FileEntry& file : myzor::ScanFolder(root).files)
    rows.push_back(myzor::ReadRow(root, file));
  const myzor::ReplayStats stats = myzor::ComputeStats(rows);

  EXPECT_EQ(stats.games, 3);
  EXPECT_EQ(stats.failed, 1);
  EXPECT_EQ(stats.maps, (std::vector<NameCount>{{"Ridge", 2}, {"Frost", 1}}));
  EXPECT_EQ(stats.races, (std::vector<NameCount>{{"elf", 6}, {"orc", 2}}));
  EXPECT_EQ(stats.formats, (std::vector<NameCount>{{"1v1", 2}, {"2v2", 1}}));
  // a.rec is an evening of March in UTC and the first of April here.
  EXPECT_EQ(stats.months, (std::vector<NameCount>{{"2026-01", 1}, {"2026-04", 2}}));
  ASSERT_EQ(stats.matchups.size(), 1u);
  EXPECT_EQ(stats.matchups[0], (myzor::Matchup{"elf", "orc", 2}));

  ASSERT_EQ(stats.players.size(), 4u);
  EXPECT_EQ(stats.players[0].name, "Ann");  // 3 games, before Bob by name
  const myzor::PlayerStats& ann = player(stats, "Ann");
  EXPECT_EQ(ann.games, 3);
  EXPECT_EQ(ann.first, "2026-01-15");
  EXPECT_EQ(ann.last, "2026-04-10");
  EXPECT_EQ(ann.races, (std::vector<NameCount>{{"elf", 2}, {"orc", 1}}));
  EXPECT_EQ(ann.maps, (std::vector<NameCount>{{"Ridge", 2}, {"Frost", 1}}));
  EXPECT_EQ(ann.teammates, (std::vector<NameCount>{{"Cid", 1}}));
  EXPECT_EQ(ann.opponents, (std::vector<NameCount>{{"Bob", 3}, {"Dee", 1}}));
  // Only a.rec carries Ann's pictures; the failed d.rec does not count.
  EXPECT_TRUE(ann.picture_file.endsWith("/a.rec"));
  EXPECT_EQ(ann.picture_player, 0);
  EXPECT_EQ(player(stats, "Bob").picture_player, -1);
  EXPECT_EQ(player(stats, "Dee").teammates, (std::vector<NameCount>{{"Bob", 1}}));
}

TEST_F(LocalZone, DatesAreLocalDays) {
  const auto ns = [](const char* utc) {
    return QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate).toMSecsSinceEpoch() *
           1'000'000;
  };
  EXPECT_EQ(myzor::LocalDate(ns("2026-12-31T13:59:59Z")), "2026-12-31");
  EXPECT_EQ(myzor::LocalDate(ns("2026-12-31T14:00:00Z")), "2027-01-01");
  EXPECT_EQ(myzor::LocalDate(-1), "1970-01-01");  // a second before the epoch, 10 h east
}

myzor::ReplayRow game(myzor::Roster roster) {
  myzor::ReplayRow row;
  row.roster = std::move(roster);
  return row;
}

// Central Europe: summer time from 01:00 UTC on the last Sunday of March.
class ChangingZone : public LocalZone {
  [[nodiscard]] const char* zone() const override { return "CET-1CEST,M3.5.0,M10.5.0/3"; }
};

// Days are local days also on and around the day the offset changes.
TEST_F(ChangingZone, DaysAroundAChangeOfOffset) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-03-28T22:59:59Z", "2026-03-28"}, {"2026-03-28T23:00:00Z", "2026-03-29"},
      {"2026-03-29T00:59:59Z", "2026-03-29"}, {"2026-03-29T01:00:00Z", "2026-03-29"},
      {"2026-03-29T21:59:59Z", "2026-03-29"}, {"2026-03-29T22:30:00Z", "2026-03-30"},
      {"2026-10-24T22:30:00Z", "2026-10-25"}, {"2026-10-25T22:30:00Z", "2026-10-25"},
  };
  std::vector<myzor::ReplayRow> rows;
  for (const auto& [utc, day] : cases) {
    rows.push_back(game({{QString::fromLatin1(utc), "elf", 1}}));
    rows.back().file.mtime_ns =
        QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate).toMSecsSinceEpoch() *
        1'000'000;
  }
  const myzor::ReplayStats stats = myzor::ComputeStats(rows);
  for (const auto& [utc, day] : cases) EXPECT_EQ(player(stats, utc).first, day) << utc;
}

TEST(Stats, TeammatesAndOpponentsCountGamesNotSeats) {
  // Ann is listed twice in one game; the game counts once for her and her
  // teammates, and a row read from an old index (no roster) adds no players.
  std::vector<myzor::ReplayRow> rows = {
      game({{"Ann", "elf", 1}, {"Ann", "elf", 1}, {"Bob", "orc", 2}, {"Cid", "orc", 1}}),
      game({{"Ann", "elf", 1}, {"Cid", "orc", 2}}),
  };
  rows.push_back(myzor::ReplayRow{});
  rows.back().roster = {{"Zed", "orc"}};
  rows.back().names_only = true;
  const myzor::ReplayStats stats = myzor::ComputeStats(rows);
  EXPECT_EQ(stats.games, 3);
  ASSERT_EQ(stats.players.size(), 3u);
  const myzor::PlayerStats& ann = stats.players[0];
  EXPECT_EQ(ann.games, 2);
  EXPECT_EQ(ann.races, (std::vector<NameCount>{{"elf", 3}}));
  EXPECT_EQ(ann.teammates, (std::vector<NameCount>{{"Cid", 1}}));
  EXPECT_EQ(ann.opponents, (std::vector<NameCount>{{"Bob", 1}, {"Cid", 1}}));
  EXPECT_EQ(stats.players[2].opponents, (std::vector<NameCount>{{"Ann", 1}, {"Cid", 1}}));  // Bob
}

TEST(Stats, ManyRowsCountAsTheirPartsDo) {
  // Enough rows to be counted in shares on several threads; the second half
  // in the other order, so that each share meets the names in another order.
  const std::vector<myzor::ReplayRow> few = {
      game({{"Ann", "elf", 1}, {"Bob", "orc", 2}}),
      game({{"Eve", "orc", 1}, {"Dan", "elf", 1}, {"Bob", "gnome", 2}, {"Cid", "orc", 2}}),
      game({{"Cid", "gnome", 1}, {"Ann", "elf", 2}, {"Fay", "orc", 3}}),
      game({{"Fay", "orc", 1}, {"Eve", "gnome", 2}}),
  };
  constexpr int kTimes = 5000;
  std::vector<myzor::ReplayRow> many;
  for (int i = 0; i < kTimes; ++i) many.insert(many.end(), few.begin(), few.end());
  for (int i = 0; i < kTimes; ++i) many.insert(many.end(), few.rbegin(), few.rend());
  many[1].map = "Frost";
  many.back().map = "Frost";

  const myzor::ReplayStats part = myzor::ComputeStats(few);
  const myzor::ReplayStats all = myzor::ComputeStats(many);
  const auto times = [](std::vector<NameCount> counts, std::int64_t by) {
    for (NameCount& c : counts) c.games *= by;
    return counts;
  };
  EXPECT_EQ(all.games, part.games * 2 * kTimes);
  EXPECT_EQ(all.maps, (std::vector<NameCount>{{"", 2 * kTimes * 4 - 2}, {"Frost", 2}}));
  EXPECT_EQ(all.races, times(part.races, 2 * kTimes));
  EXPECT_EQ(all.formats, times(part.formats, 2 * kTimes));
  ASSERT_EQ(all.matchups.size(), part.matchups.size());
  for (std::size_t i = 0; i < part.matchups.size(); ++i)
    EXPECT_EQ(all.matchups[i], (myzor::Matchup{part.matchups[i].race_a, part.matchups[i].race_b,
                                               part.matchups[i].games * 2 * kTimes}));
  ASSERT_EQ(all.players.size(), part.players.size());
  for (std::size_t i = 0; i < part.players.size(); ++i) {
    const myzor::PlayerStats& a = all.players[i];
    const myzor::PlayerStats& p = part.players[i];
    EXPECT_EQ(a.name, p.name);
    EXPECT_EQ(a.games, p.games * 2 * kTimes);
    EXPECT_EQ(a.races, times(p.races, 2 * kTimes));
    EXPECT_EQ(a.teammates, times(p.teammates, 2 * kTimes));
    EXPECT_EQ(a.opponents, times(p.opponents, 2 * kTimes));
  }
  EXPECT_EQ(player(all, "Ann").maps, (std::vector<NameCount>{{"", 4 * kTimes - 1}, {"Frost", 1}}));
}

struct FormatCase {
  std::vector<int> teams;
  const char* format;
};
void PrintTo(const FormatCase& c, std::ostream* out) { *out << '"' << c.format << '"'; }

class Formats : public testing::TestWithParam<FormatCase> {};

TEST_P(Formats, TeamSizesLargestFirst) {
  myzor::Roster roster;
  for (const int team : GetParam().teams)
    roster.push_back({QStringLiteral("p%1").arg(roster.size()), "elf", team});
  EXPECT_EQ(myzor::GameFormat(roster), QString::fromLatin1(GetParam().format));
}

INSTANTIATE_TEST_SUITE_P(
    EveryShape, Formats,
    testing::Values(FormatCase{{}, ""}, FormatCase{{3}, "1"}, FormatCase{{1, 2}, "1v1"},
                    FormatCase{{2, 1, 1, 2}, "2v2"}, FormatCase{{1, 2, 1, 2, 1}, "3v2"},
                    FormatCase{{1, 1, 1, 1, 2, 2, 2, 2}, "4v4"}, FormatCase{{3, 1, 2, 3}, "2v1v1"},
                    FormatCase{{5, 2, 9}, "ffa"}, FormatCase{{1, 2, 3, 4, 5, 6, 7, 8}, "ffa"},
                    FormatCase{{4, 4}, "2"}, FormatCase{{1, 1, 2}, "2v1"}));

}  // namespace
