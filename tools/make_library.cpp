// make_library: writes a folder of made-up but realistic replays for the
// benchmarks: 2 to 8 players with pictures, and after the action line filler
// standing in for the game's commands, to 100 KB to 2 MB a file (about 300 KB
// on average). Every file differs from the others.
//
//   make_library FOLDER COUNT
#include "tests/support/replay_builder.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

using namespace replay_builder;

const char* const kRaces[] = {"race_ashen", "race_tolvane", "race_kestral", "race_umber"};
const char* const kMaps[] = {"Ashfall Ridge", "Glacier Pass", "Cinder Fields", "Salt Marsh"};

std::u16string toUtf16(const std::string& text) { return {text.begin(), text.end()}; }

ReplaySpec randomReplay(std::mt19937& random, int index) {
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  ReplaySpec recipe;
  recipe.map_name = kMaps[pick(0, 3)];
  recipe.old_version = pick(0, 3) == 0;
  if (recipe.old_version) recipe.settings = {{"DPSG", 2}, {"FDIA", 1}, {"TSSR", 3}};
  recipe.game_name = toUtf16("Game " + std::to_string(index));
  recipe.win_keys = {kAnnihilate, kTakeAndHold};
  recipe.action = static_cast<std::uint8_t>(pick(0, 255));
  const int players = pick(2, 8);
  for (int n = 0; n < players; ++n) {
    PlayerSpec player;
    player.name = toUtf16("Player " + std::to_string(pick(1, 99999)));
    player.team = static_cast<std::uint8_t>(n % 2);
    player.race = kRaces[pick(0, 3)];
    player.selector = static_cast<std::uint8_t>(pick(0, 1));
    player.pictures = true;
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

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 || std::atoi(argv[2]) <= 0) {
    std::fprintf(stderr, "usage: make_library FOLDER COUNT\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const int count = std::atoi(argv[2]);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make_library: cannot create %s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }

  std::mt19937 random(20261206);
  // 100 KB plus an exponential tail with a mean of 200 KB, at most 2 MB.
  std::exponential_distribution<double> tail(1.0 / 200e3);
  Bytes filler(2'000'000);
  for (auto& byte : filler) byte = static_cast<std::uint8_t>(random());
  for (int i = 0; i < count; ++i) {
    Bytes bytes = BuildReplay(randomReplay(random, i));
    const auto size = static_cast<std::size_t>(std::min(100e3 + tail(random), 2e6));
    if (bytes.size() < size) {
      const std::size_t from = random() % (filler.size() - (size - bytes.size()) + 1);
      bytes.insert(bytes.end(), filler.begin() + static_cast<std::ptrdiff_t>(from),
                   filler.begin() + static_cast<std::ptrdiff_t>(from + size - bytes.size()));
    }
    const std::string name = "replay_" + std::to_string(i) + ".rec";
    if (!WriteFile((folder / name).string(), bytes)) {
      std::fprintf(stderr, "make_library: cannot write %s\n", (folder / name).c_str());
      return 1;
    }
    if ((i + 1) % 1000 == 0 || i + 1 == count) std::fprintf(stderr, "\r%d of %d", i + 1, count);
  }
  std::fprintf(stderr, "\n");
  return 0;
}
