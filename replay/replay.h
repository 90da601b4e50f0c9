// Reads a replay file ("*.rec") into a ReplayInfo record.
#pragma once

#include "gfx/platform.h"
#include "replay/reader_error.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zor_rep_reader {

using gfx::PictureRef;

// Receives the one line of text a replay may add to the window's action list.
using AppendAction = std::function<void(const std::string& line)>;

struct PlayerInfo {
  std::int64_t block_start = 0;  // offset of the block's first byte
  std::int64_t block_end = 0;    // offset just past the block
  std::string name;
  std::string race;
  std::int16_t team = 0;  // team byte + 1, so 1 to 256
  PictureRef banner;      // 64 x 96, or none
  std::string banner_name;
  PictureRef badge;  // 64 x 64, or none
  std::string badge_name;
};

struct ReplayInfo {
  std::string game_name;
  std::string map_name;
  std::string version;  // "< 1.3" or "1.3"
  std::int32_t header_value = 0;
  std::int16_t ai_difficulty = 0;
  std::int16_t starting_resources = 0;
  std::int16_t lock_teams = 0;
  std::int16_t cheats = 0;
  std::int16_t starting_location = 0;
  std::int16_t game_speed = 0;
  std::int16_t resource_sharing = 0;
  std::int16_t resource_rate = 0;
  float win_annihilate = 0.0f;
  float win_assassinate = 0.0f;
  float win_control_area = 0.0f;
  float win_destroy_hq = 0.0f;
  float win_economic_victory = 0.0f;
  float win_take_and_hold = 0.0f;
  float win_sudden_death = 0.0f;
  std::int16_t player_count = 0;
  std::vector<PlayerInfo> players;
};

// Files larger than this are refused before anything is read.
inline constexpr std::int64_t kMaxReplayBytes = std::int64_t{256} << 20;

// The whole file as bytes. Every read goes through at(), which checks the
// index and, past the end, throws an out_of_range ReaderError that names the
// file and the part of it being read.
class ByteImage {
 public:
  ByteImage(std::span<const std::uint8_t> bytes, std::string file_name)
      : m_bytes(bytes), m_file_name(std::move(file_name)) {}

  [[nodiscard]] std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
  [[nodiscard]] const std::string& fileName() const { return m_file_name; }

  [[nodiscard]] std::uint8_t at(std::int64_t index) const {
    if (index < 0 || index >= size()) [[unlikely]]
      throwOutOfRange(index);
    return m_bytes[static_cast<std::size_t>(index)];
  }

  // Checks that [first, first + count) lies inside the image and returns it.
  [[nodiscard]] std::span<const std::uint8_t> range(std::int64_t first, std::int64_t count) const;

  // Name the part of the file being read, for error messages. The player
  // number counts from 1; 0 means outside the player blocks.
  void setSection(const char* section) const { m_section = section; }
  void setPlayer(int player) const { m_player = player; }

  [[noreturn]] void throwOutOfRange(std::int64_t index) const;

 private:
  std::span<const std::uint8_t> m_bytes;
  std::string m_file_name;
  mutable const char* m_section = "header";
  mutable int m_player = 0;
};

// Reads the replay at `path`. Returns a complete record or throws ReaderError.
[[nodiscard]] ReplayInfo ReadReplay(const std::filesystem::path& path,
                                    const AppendAction& append_action);

// Parses a replay already in memory; `file_name` is used in error messages.
[[nodiscard]] ReplayInfo ReadReplayBytes(std::span<const std::uint8_t> bytes,
                                         const std::string& file_name,
                                         const AppendAction& append_action);

// Fills a cleared record from the image; `position` is the shared running
// position, left just past the last byte examined.
void ParseReplay(const ByteImage& image, std::int64_t& position, ReplayInfo& replay,
                 const AppendAction& append_action);

// Reads one player block starting at `position` and leaves `position` just
// past it.
void ParsePlayer(const ByteImage& image, std::int64_t& position, PlayerInfo& player);

// Turns the width x height pixel records at `offset` into a picture. The
// records run bottom row first, each one blue, green, red and an unused byte.
[[nodiscard]] PictureRef DecodePicture(const ByteImage& image, std::int64_t offset, int width,
                                       int height);

// The same picture painted one pixel at a time and then mirrored; slower, and
// kept as the reference the fast path is checked and measured against.
[[nodiscard]] PictureRef DecodePicturePerPixel(const ByteImage& image, std::int64_t offset,
                                               int width, int height);

}  // namespace zor_rep_reader
