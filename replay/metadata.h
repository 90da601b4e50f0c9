// Reading a replay's record without its pictures, for listing many files.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "replay/replay.h"

namespace zor_rep_reader {

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

// The sizes of the pictures a full read decoded, one entry per player.
[[nodiscard]] std::vector<PlayerPictureSizes> PictureSizesOf(const ReplayInfo& replay);

[[nodiscard]] ReplayMetadata ReadReplayMetadataBytes(std::span<const std::uint8_t> bytes,
                                                     const std::string& file_name,
                                                     const AppendAction& append_action);

}  // namespace zor_rep_reader
