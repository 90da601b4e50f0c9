// Many reads of whole, cut and damaged replay files, and of paths that are
// no replay at all: each gives a record or a reader error naming the file,
// and nothing is left behind: no surface handles, no open descriptors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "gfx/platform.h"
#include "tests/replay/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace replay_builder;

std::size_t openDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

TEST(Soak, DamagedReplayFilesLeaveNoHandleOrDescriptorBehind) {
  const fs::path folder = fs::temp_directory_path() / ("myzor_soak_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::vector<fs::path> files = {folder / "missing.rec", folder};
  for (const auto& entry : fs::directory_iterator(MYZOR_SAMPLES)) {
    std::ifstream in(entry.path(), std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    for (std::size_t k = 0; k <= 8; ++k) {
      Bytes damaged(bytes.begin(),
                    bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * k / 8));
      if (k % 2 == 1 && damaged.size() > 228) damaged[228 - k] = 0xFF;
      files.push_back(folder / (std::to_string(k) + entry.path().filename().string()));
      ASSERT_TRUE(WriteFile(files.back().string(), damaged));
    }
  }
  const std::size_t handles = gfx::LiveHandleCount();
  const std::size_t descriptors = openDescriptors();
  int read = 0;
  for (int round = 0; round < 5; ++round) {
    for (const fs::path& file : files) {
      try {
        const auto replay = zor_rep_reader::ReadReplay(file, {});
        EXPECT_EQ(replay.players.size(), static_cast<std::size_t>(replay.player_count));
        ++read;
      } catch (const zor_rep_reader::ReaderError& error) {
        EXPECT_NE(error.message().find(file.string()), std::string::npos) << error.message();
      }
    }
    ASSERT_EQ(gfx::LiveHandleCount(), handles) << "after round " << round;
    ASSERT_EQ(openDescriptors(), descriptors) << "after round " << round;
  }
  EXPECT_GE(read, 5 * 4);  // the whole samples at least
  fs::remove_all(folder);
}

}  // namespace
