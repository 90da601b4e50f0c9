// Many reads of whole, cut and corrupted replays in one process: every read
// either gives a complete record or a reader error that names the file and a
// byte outside it, and nothing is left behind: no surface handles, no open
// files.
#include "gfx/platform.h"
#include "tests/replay/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace replay_builder;
using zor_rep_reader::ErrorKind;
using zor_rep_reader::ReaderError;
using zor_rep_reader::ReplayInfo;

// A couple of seconds of reading in a debug build. Sanitizers make every read
// several times slower; fewer rounds keep that run short too.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kScale = 10;
#else
constexpr int kScale = 1;
#endif
constexpr int kMemoryRounds = 150 / kScale;
constexpr int kFileRounds = 60 / kScale;

struct Case {
  std::string name;
  Bytes bytes;
};

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bundled samples and a few built replays, each whole, cut at spread-out
// lengths and with bytes overwritten at random places and at the length and
// count fields the layout hangs on.
std::vector<Case> damagedCorpus() {
  std::vector<Case> bases;
  std::vector<fs::path> samples;
  for (const auto& entry : fs::directory_iterator(MYZOR_SAMPLES))
    if (entry.path().extension() == ".rec") samples.push_back(entry.path());
  std::sort(samples.begin(), samples.end());
  for (const fs::path& path : samples) bases.push_back({path.filename().string(), readFile(path)});
  ReplaySpec old_layout = SimpleReplay(3, true);
  old_layout.old_version = true;
  old_layout.settings = {{"FDIA", 2}, {"TSSR", 1}};
  bases.push_back({"built_old.rec", BuildReplay(old_layout)});
  bases.push_back({"built_plain.rec", BuildReplay(SimpleReplay(5, false))});

  std::mt19937 random(20240601);
  std::vector<Case> cases;
  for (const Case& base : bases) {
    const auto size = static_cast<std::int64_t>(base.bytes.size());
    cases.push_back(base);
    for (std::int64_t k = 1; k < 16; ++k) {
      const std::int64_t length = std::max<std::int64_t>(1, size * k / 16 - 3);
      cases.push_back({"cut_" + std::to_string(length) + "_" + base.name,
                       Bytes(base.bytes.begin(), base.bytes.begin() + length)});
    }
    for (const std::int64_t at : {194, 228, 229, 300, 400}) {
      if (at >= size) continue;
      Case poked{"max_at_" + std::to_string(at) + "_" + base.name, base.bytes};
      poked.bytes[static_cast<std::size_t>(at)] = 0xFF;
      cases.push_back(std::move(poked));
    }
    for (int n = 0; n < 12; ++n) {
      Case flipped{"flip_" + std::to_string(n) + "_" + base.name, base.bytes};
      for (int i = 0; i < 4; ++i)
        flipped.bytes[random() % base.bytes.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
      cases.push_back(std::move(flipped));
    }
  }
  return cases;
}

// Reads one file image and checks what came back; true when it was read.
bool readAndCheck(const Case& c) {
  try {
    const ReplayInfo replay = test_support::load(c.bytes, c.name).replay;
    EXPECT_EQ(replay.players.size(), static_cast<std::size_t>(replay.player_count)) << c.name;
    for (const auto& player : replay.players) {
      if (player.badge) {
        EXPECT_EQ(player.badge->image().size(), QSize(64, 64)) << c.name;
      }
      if (player.banner) {
        EXPECT_EQ(player.banner->image().size(), QSize(64, 96)) << c.name;
      }
    }
    return true;
  } catch (const ReaderError& error) {
    EXPECT_NE(error.message().find(c.name), std::string::npos) << error.message();
    if (error.kind() == ErrorKind::out_of_range) {
      EXPECT_GE(error.offset().value_or(-1), static_cast<std::int64_t>(c.bytes.size()))
          << error.message();
    } else {
      ADD_FAILURE() << "unexpected error kind for an image in memory: " << error.message();
    }
  }
  return false;
}

std::size_t openDescriptors() {
  std::size_t count = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
    ++count;
  return count;
}

TEST(Soak, DamagedReplaysInMemoryLeaveNoHandleBehind) {
  const std::vector<Case> cases = damagedCorpus();
  const std::size_t handles = gfx::LiveHandleCount();
  int read = 0;
  int failed = 0;
  for (int round = 0; round < kMemoryRounds; ++round) {
    for (const Case& c : cases) (readAndCheck(c) ? read : failed) += 1;
    ASSERT_EQ(gfx::LiveHandleCount(), handles) << "after round " << round;
    if (::testing::Test::HasFailure()) return;
  }
  // The corpus must exercise both ways out.
  EXPECT_GE(read, kMemoryRounds * 6);
  EXPECT_GE(failed, kMemoryRounds * 60);
}

TEST(Soak, DamagedReplayFilesLeaveNoHandleOrDescriptorBehind) {
  const fs::path folder = fs::temp_directory_path() / ("myzor_soak_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::vector<fs::path> files;
  const std::vector<Case> cases = damagedCorpus();
  for (std::size_t i = 0; i < cases.size(); i += 3) {
    files.push_back(folder / cases[i].name);
    ASSERT_TRUE(WriteFile(files.back().string(), cases[i].bytes));
  }
  files.push_back(folder / "empty.rec");
  ASSERT_TRUE(WriteFile(files.back().string(), {}));
  files.push_back(folder / "missing.rec");
  files.push_back(folder);  // a folder where a file is expected

  const std::size_t handles = gfx::LiveHandleCount();
  const std::size_t descriptors = openDescriptors();
  for (int round = 0; round < kFileRounds; ++round) {
    for (const fs::path& file : files) {
      try {
        const ReplayInfo replay = zor_rep_reader::ReadReplay(file, {});
        EXPECT_EQ(replay.players.size(), static_cast<std::size_t>(replay.player_count));
      } catch (const ReaderError& error) {
        EXPECT_NE(error.message().find(file.string()), std::string::npos) << error.message();
      }
    }
    ASSERT_EQ(gfx::LiveHandleCount(), handles) << "after round " << round;
    ASSERT_EQ(openDescriptors(), descriptors) << "after round " << round;
  }
  fs::remove_all(folder);
}

}  // namespace
