// The metadata read against the full read, on files: the samples whole, and
// one sample with pictures cut at every length.
#include "replay/metadata.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

std::string MetadataDifference(std::span<const std::uint8_t> bytes, const std::string& path);

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MetadataRead, EqualsTheFullReadOnEverySampleAndEveryCutOfOne) {
  int samples = 0;
  for (const auto& entry : fs::directory_iterator(MYZOR_SAMPLES)) {
    ++samples;
    const auto bytes = fileBytes(entry.path());
    EXPECT_EQ(MetadataDifference(bytes, entry.path().string()), "") << entry.path();
  }
  EXPECT_GE(samples, 4);

  // Cut from the end, so that the same file serves every length.
  const auto whole = fileBytes(fs::path(MYZOR_SAMPLES) / "ashfall_duel.rec");
  const fs::path cut = fs::temp_directory_path() / ("metadata_cut_" + std::to_string(::getpid()));
  {
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()),
               static_cast<std::streamsize>(whole.size()));
  }
  for (std::size_t length = whole.size(); length > 0; --length) {
    fs::resize_file(cut, length);
    const std::string difference = MetadataDifference({whole.data(), length}, cut.string());
    if (!difference.empty()) {
      ADD_FAILURE() << "cut to " << length << " bytes: " << difference;
      break;
    }
  }
  fs::remove(cut);
}

}  // namespace
