// Reading a replay's record without its pictures, for listing many files.
#pragma once

#include "replay/replay.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace zor_rep_reader {

// A picture the file carries, known by its size alone; 0 x 0 when there is none.
struct PictureSize {
  int width = 0;
  int height = 0;
  [[nodiscard]] bool present() const { return width > 0 && height > 0; }
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

struct PlayerPictureSizes {
  PictureSize badge;
  PictureSize banner;
  friend bool operator==(const PlayerPictureSizes&, const PlayerPictureSizes&) = default;
};

// The record ReadReplay returns, with `badge` and `banner` left empty, and
// the sizes of the pictures the players carry, one entry per player.
struct ReplayMetadata {
  ReplayInfo replay;
  std::vector<PlayerPictureSizes> pictures;
};

// Reads the same record as ReadReplay and fails with the same error (kind,
// offset and message) for every input, but does not decode the pictures.
[[nodiscard]] ReplayMetadata ReadReplayMetadata(const std::filesystem::path& path,
                                                const AppendAction& append_action);

[[nodiscard]] ReplayMetadata ReadReplayMetadataBytes(std::span<const std::uint8_t> bytes,
                                                     const std::string& file_name,
                                                     const AppendAction& append_action);

}  // namespace zor_rep_reader
