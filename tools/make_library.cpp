// make_library: writes a folder of made-up but realistic replays for the
// benchmarks: 2 to 8 players with pictures, and after the action line filler
// standing in for the game's commands, to 100 KB to 2 MB a file (about 300 KB
// on average). Every file differs from the others.
//
//   make_library [--archive] FOLDER COUNT
//
// --archive makes a community's archive instead: about 10 KB a file
// (100,000 replays in about 1 GB) in month subfolders over two years, each
// dated in its month; players out of a pool of 400 named as players name
// themselves (accents, Polish, Nordic and Cyrillic letters, CJK and Hangul,
// clan tags), a few of them in most games, most in a handful; 1v1 to 4v4
// and free-for-all games, 3.8 players a game on average, on eight maps; and
// pictures in a few percent of the files only.
#include <QImage>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/replay_builder.h"

namespace {

using namespace replay_builder;

const char* const kRaces[] = {"race_ashen", "race_tolvane", "race_kestral", "race_umber"};
const char* const kMaps[] = {"Ashfall Ridge", "Glacier Pass", "Cinder Fields", "Salt Marsh",
                             "Frost Pass",    "Dune Sea",     "Old Quarry",    "Twin Rivers"};

std::u16string toUtf16(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}

constexpr int kArchivePlayers = 400;
constexpr int kArchiveMonths = 24;
// Pictures in one file out of this many.
constexpr int kArchivePicturesEvery = 60;

// What players call themselves: the first list is plain ASCII, the others
// are what 45% of a community's names hold.
const std::vector<std::vector<const char*>> kNames = {
    {"Kael",   "Mira",        "Zoe",        "Foo",    "Rook",     "Vex",    "Nyx",         "Orion",
     "Blaze",  "Sable",       "Tarn",       "Jinx",   "Kai",      "Kaiser", "Lynx",        "Drake",
     "Echo",   "Frost",       "Grim",       "Hex",    "Ivy",      "Jett",   "Loki",        "Moss",
     "Nova",   "Onyx",        "Pike",       "Quill",  "Raven",    "Shade",  "Talon",       "Wren",
     "Zephyr", "DarkTemplar", "n00bslayer", "MrBean", "coldfire", "Ace",    "TheRealDeal", "Pixel"},
    {"José", "Zoë", "Renée", "Müller", "Çağrı", "François", "Hélène", "Jürgen", "Ñandú", "Günther",
     "Anaïs", "Ferenc Bíró"},
    {"Łukasz", "Paweł", "Wojciech", "Żaneta", "Małgorzata", "Grzegorz", "Michał", "Jędrek",
     "Ślązak", "Kuba Źdźbło"},
    {"Øystein", "Åsa", "Bjørn", "Sigurður", "Þórir", "Ægir", "Søren", "Ørjan", "Märta", "Jökull"},
    {"Дмитрий", "Алексей", "Ольга", "Сергей", "Наташа", "Иван", "Жора", "Юлия", "Ёжик", "Влад"},
    {"王磊", "李娜", "佐藤", "鈴木", "張偉", "山田", "小龍", "김민수", "박지훈", "이서연"},
};
const char* const kClanTags[] = {"[ZR]",  "[GG]", "<NoX>", "{ΩΩ}",
                                 "[ŁKS]", "[北]", "=KoN=", "[Ruß]"};

// The pool's names, all different, the same every run.
std::vector<std::string> archiveNames(std::mt19937& random) {
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<std::string> names;
  while (static_cast<int>(names.size()) < kArchivePlayers) {
    // 60% plain ASCII, the rest spread over the other scripts.
    const int kind = pick(1, 100) <= 60 ? 0 : pick(1, static_cast<int>(kNames.size()) - 1);
    std::string name = kNames[kind][pick(0, static_cast<int>(kNames[kind].size()) - 1)];
    switch (pick(0, 5)) {
      case 0:
        name += std::to_string(pick(1, 99));
        break;
      case 1:
        name += "_" + std::to_string(pick(2, 9));
        break;
      case 2:
        if (kind == 0) name = "xX" + name + "Xx";
        break;
      default:
        break;
    }
    if (pick(1, 100) <= 12) name = kClanTags[pick(0, 7)] + name;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

struct Archive {
  // A few players are in most games, most in a handful: weights fall as 1/rank.
  std::discrete_distribution<int> player;
  std::vector<std::string> names;
  explicit Archive(std::mt19937& random) : names(archiveNames(random)) {
    std::vector<double> weights;
    for (int rank = 1; rank <= kArchivePlayers; ++rank) weights.push_back(1.0 / rank);
    player = std::discrete_distribution<int>(weights.begin(), weights.end());
  }
};

// A game's players and whether it is a free-for-all: 1v1 most often, then
// 2v2, free-for-alls of 3 to 6, 3v3 and 4v4 (3.8 players a game on average).
std::pair<int, bool> archiveFormat(std::mt19937& random) {
  const int roll = std::uniform_int_distribution<int>(1, 100)(random);
  if (roll <= 40) return {2, false};
  if (roll <= 65) return {4, false};
  if (roll <= 83) return {std::uniform_int_distribution<int>(3, 6)(random), true};
  if (roll <= 93) return {6, false};
  return {8, false};
}

ReplaySpec randomReplay(std::mt19937& random, int index, Archive* archive = nullptr) {
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  ReplaySpec recipe;
  recipe.map_name = kMaps[archive != nullptr ? pick(0, 7) : pick(0, 3)];
  recipe.old_version = pick(0, 3) == 0;
  if (recipe.old_version) recipe.settings = {{"DPSG", 2}, {"FDIA", 1}, {"TSSR", 3}};
  recipe.game_name = toUtf16("Game " + std::to_string(index));
  recipe.win_keys = {kAnnihilate, kTakeAndHold};
  recipe.action = static_cast<std::uint8_t>(pick(0, 255));
  const auto [players, free_for_all] =
      archive != nullptr ? archiveFormat(random) : std::pair{pick(2, 8), false};
  const bool pictures = archive == nullptr || pick(1, kArchivePicturesEvery) == 1;
  std::vector<int> taken;
  for (int n = 0; n < players; ++n) {
    PlayerSpec player;
    if (archive != nullptr) {
      int who = archive->player(random);
      while (std::find(taken.begin(), taken.end(), who) != taken.end())
        who = pick(0, kArchivePlayers - 1);
      taken.push_back(who);
      player.name = toUtf16(archive->names[static_cast<std::size_t>(who)]);
    } else {
      player.name = toUtf16("Player " + std::to_string(pick(1, 99999)));
    }
    // Free-for-all: a team each; otherwise the first half against the second.
    player.team = static_cast<std::uint8_t>(free_for_all         ? n
                                            : archive != nullptr ? (2 * n) / players
                                                                 : n % 2);
    player.race = kRaces[pick(0, 3)];
    player.selector = static_cast<std::uint8_t>(pick(0, 1));
    player.pictures = pictures;
    if (!pictures) {
      recipe.players.push_back(std::move(player));
      continue;
    }
    player.badge_name = "badge" + std::to_string(n);
    player.banner_name = "banner" + std::to_string(n);
    player.badge = QImage(64, 64, QImage::Format_RGB32);
    player.badge.fill(static_cast<uint>(random()));
    player.banner = QImage(64, 96, QImage::Format_RGB32);
    player.banner.fill(static_cast<uint>(random()));
    recipe.players.push_back(std::move(player));
  }
  return recipe;
}

constexpr const char* kUsage =
    "usage: make_library [--archive] FOLDER COUNT\n"
    "Writes COUNT made-up replays into FOLDER for the benchmarks.\n"
    "  --archive  a community's archive: about 10 KB a file in month\n"
    "             subfolders, 400 players with names in many scripts, 1v1 to\n"
    "             4v4 and free-for-all, few pictures\n"
    "             (default: 100 KB to 2 MB a file, all in FOLDER)\n";

bool makeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    std::fprintf(stderr, "make_library: cannot create %s: %s\n", folder.c_str(),
                 ec.message().c_str());
  return !ec;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<const char*> args(argv + 1, argv + argc);
  if (!args.empty() && (std::strcmp(args[0], "--help") == 0 || std::strcmp(args[0], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool archive_mode = !args.empty() && std::strcmp(args[0], "--archive") == 0;
  if (archive_mode) args.erase(args.begin());
  if (args.size() != 2 || std::atoi(args[1]) <= 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::filesystem::path folder = args[0];
  const int count = std::atoi(args[1]);
  if (!makeFolder(folder)) return 1;
  std::mt19937 random(20261206);
  std::mt19937 naming(20261210);
  Archive archive(naming);
  const auto first_month =
      std::chrono::sys_days(std::chrono::year(2024) / std::chrono::January / 1);

  // 100 KB plus an exponential tail with a mean of 200 KB, at most 2 MB.
  std::exponential_distribution<double> tail(1.0 / 200e3);
  // Archive files: 1.5 KB of commands and a tail with a mean of 3 KB.
  std::exponential_distribution<double> short_tail(1.0 / 3e3);
  Bytes filler(2'000'000);
  for (auto& byte : filler) byte = static_cast<std::uint8_t>(random());
  for (int i = 0; i < count; ++i) {
    Bytes bytes = BuildReplay(randomReplay(random, i, archive_mode ? &archive : nullptr));
    const auto size =
        archive_mode
            ? bytes.size() + static_cast<std::size_t>(std::min(1.5e3 + short_tail(random), 1e6))
            : static_cast<std::size_t>(std::min(100e3 + tail(random), 2e6));
    if (bytes.size() < size) {
      const std::size_t from = random() % (filler.size() - (size - bytes.size()) + 1);
      bytes.insert(bytes.end(), filler.begin() + static_cast<std::ptrdiff_t>(from),
                   filler.begin() + static_cast<std::ptrdiff_t>(from + size - bytes.size()));
    }
    std::filesystem::path file = folder / ("replay_" + std::to_string(i) + ".rec");
    std::chrono::sys_days day{};
    if (archive_mode) {
      // Months fill in order, as a player's archive grows.
      const int month = static_cast<int>(static_cast<long long>(i) * kArchiveMonths / count);
      const std::chrono::year_month_day start{first_month};
      const std::chrono::year_month ym =
          std::chrono::year_month(start.year(), start.month()) + std::chrono::months(month);
      char name[16];
      std::snprintf(name, sizeof name, "%04d-%02u", static_cast<int>(ym.year()),
                    static_cast<unsigned>(ym.month()));
      file = folder / name / file.filename();
      day = std::chrono::sys_days(ym / std::chrono::day(static_cast<unsigned>(1 + i % 28)));
      if (i == 0 ||
          month != static_cast<int>(static_cast<long long>(i - 1) * kArchiveMonths / count))
        if (!makeFolder(file.parent_path())) return 1;
    }
    if (!WriteFile(file.string(), bytes)) {
      std::fprintf(stderr, "make_library: cannot write %s\n", file.c_str());
      return 1;
    }
    if (archive_mode) {
      std::error_code ec;
      std::filesystem::last_write_time(
          file,
          std::chrono::file_clock::from_sys(std::chrono::sys_seconds(day) + std::chrono::hours(20)),
          ec);
    }
    if ((i + 1) % 1000 == 0 || i + 1 == count) std::fprintf(stderr, "\r%d of %d", i + 1, count);
  }
  std::fprintf(stderr, "\n");
  return 0;
}
