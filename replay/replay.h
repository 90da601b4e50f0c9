// Reads a replay file ("*.rec") into a ReplayInfo record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gfx/platform.h"
#include "replay/reader_error.h"

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
  friend bool operator==(const PlayerInfo&, const PlayerInfo&) = default;
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
  friend bool operator==(const ReplayInfo&, const ReplayInfo&) = default;
};

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

// Files larger than this are refused before anything is read.
inline constexpr std::int64_t kMaxReplayBytes = std::int64_t{256} << 20;

// Where a ByteImage gets the bytes it does not hold: a file read piece by
// piece. Throws ReaderError when the read fails.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills `out` with the bytes from offset `first` on; they all lie inside
  // the file.
  virtual void read(std::int64_t first, std::span<std::uint8_t> out) = 0;
};

// The file as bytes: all of it in memory, or a window onto a ByteSource that
// moves as the parser reads. Every read goes through at(), which checks the
// index and, past the end, throws an out_of_range ReaderError that names the
// file and the part of it being read.
class ByteImage {
 public:
  ByteImage(std::span<const std::uint8_t> bytes, std::string file_name)
      : m_window(bytes),
        m_size(static_cast<std::int64_t>(bytes.size())),
        m_file_name(std::move(file_name)) {}
  // A file of `size` bytes read through `source` only where the parser looks.
  ByteImage(ByteSource& source, std::int64_t size, std::string file_name)
      : m_size(size), m_file_name(std::move(file_name)), m_source(&source) {}

  [[nodiscard]] std::int64_t size() const { return m_size; }
  [[nodiscard]] const std::string& fileName() const { return m_file_name; }
  [[nodiscard]] bool holdsWholeFile() const { return m_source == nullptr; }

  [[nodiscard]] std::uint8_t at(std::int64_t index) const {
    const auto in_window = static_cast<std::uint64_t>(index - m_window_first);
    if (in_window >= m_window.size()) [[unlikely]]
      return fetch(index);
    return m_window[in_window];
  }

  // Checks that [first, first + count) lies inside the image and returns it.
  [[nodiscard]] std::span<const std::uint8_t> range(std::int64_t first, std::int64_t count) const;

  // Name the part of the file being read, for error messages. The player
  // number counts from 1; 0 means outside the player blocks.
  void setSection(const char* section) const { m_section = section; }
  void setPlayer(int player) const { m_player = player; }

  // Bytes from `offset` on may be pixels that a read from a source must not
  // fetch; a read that starts past it fetches only kShortRead bytes.
  void setReadLimit(std::int64_t offset) const { m_read_limit = offset; }
  // Every byte the parser reads outside the pixel areas lies at least this
  // far before the next pixel area.
  static constexpr std::int64_t kShortRead = 56;
  // The bytes fetched from the source so far.
  [[nodiscard]] std::int64_t bytesFetched() const { return m_fetched; }

  [[noreturn]] void throwOutOfRange(std::int64_t index) const;

 private:
  std::uint8_t fetch(std::int64_t index) const;

  mutable std::span<const std::uint8_t> m_window;
  mutable std::int64_t m_window_first = 0;
  std::int64_t m_size;
  std::string m_file_name;
  ByteSource* m_source = nullptr;
  mutable std::int64_t m_read_limit = 0;
  mutable std::int64_t m_fetched = 0;
  mutable std::vector<std::uint8_t> m_buffer;
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
// position, left just past the last byte examined. With `pictures` the
// pictures are not decoded, and their sizes go there, one entry per player.
void ParseReplay(const ByteImage& image, std::int64_t& position, ReplayInfo& replay,
                 const AppendAction& append_action,
                 std::vector<PlayerPictureSizes>* pictures = nullptr);

// Reads one player block starting at `position` and leaves `position` just
// past it. With `pictures` the pixel areas are only checked, not read.
void ParsePlayer(const ByteImage& image, std::int64_t& position, PlayerInfo& player,
                 PlayerPictureSizes* pictures = nullptr);

// Turns the width x height pixel records at `offset` into a picture. The
// records run bottom row first, each one blue, green, red and an unused byte.
[[nodiscard]] PictureRef DecodePicture(const ByteImage& image, std::int64_t offset, int width,
                                       int height);

// What DecodePicture would make, known from the file's size alone: fails
// with the same error where the file ends inside the area, reads no pixel.
[[nodiscard]] PictureSize CheckPicture(const ByteImage& image, std::int64_t offset, int width,
                                       int height);

// The same picture painted one pixel at a time and then mirrored; slower, and
// kept as the reference the fast path is checked and measured against.
[[nodiscard]] PictureRef DecodePicturePerPixel(const ByteImage& image, std::int64_t offset,
                                               int width, int height);

}  // namespace zor_rep_reader
