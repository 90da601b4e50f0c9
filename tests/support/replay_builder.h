// Writes replay files byte for byte in the layout the reader expects, so that
// tests, fuzz seeds and the bundled samples can make any replay they need.
#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace replay_builder {

using Bytes = std::vector<std::uint8_t>;

struct PlayerSpec {
  std::u16string name;                 // written as UTF-16LE units after a 4-byte count
  std::uint8_t team = 0;               // the stored byte; the reader reports team + 1
  std::string race;                    // 8-bit text (ISO 8859-1 bytes)
  std::uint8_t selector = 0;           // B; when > 0 the three counted fields follow
  std::string field1, field2, field3;  // the counted fields after a non-zero selector
  std::u16string middle_text;          // the K-character text in the middle of the block
  bool pictures = false;               // false: the block ends with the "DATAINFO" tag
  std::string image_tag = "PICTURES";  // tag written when pictures is true (not "DATAINFO")
  std::string badge_name;
  std::string banner_name;
  // Pictures as seen, top row first; they are written bottom row first as
  // blue, green, red, 0xFF records. Empty images give black pictures.
  QImage badge;   // 64 x 64
  QImage banner;  // 64 x 96
};

struct ReplaySpec {
  std::string map_name;          // 8-bit text
  bool old_version = false;      // true: "FOLDMODI" tag and a settings table
  std::string version_tag;       // written instead of "FOLDMODI"/"00000000" when not empty
  std::uint8_t header_high = 0;  // byte 198
  std::uint8_t header_low = 0;   // byte 199
  // Up to nine settings entries: 4-character code (file order) and value.
  std::vector<std::pair<std::string, std::uint8_t>> settings;
  std::u16string game_name;                  // written as UTF-16LE units after a 4-byte length
  std::vector<std::uint32_t> win_keys;       // each written as 4 bytes, lowest byte first
  std::optional<std::uint8_t> player_count;  // byte 194; defaults to players.size()
  std::vector<PlayerSpec> players;
  std::optional<std::uint8_t> action;  // the action value after the 0x60 marker
  std::uint8_t no_action_marker = 0;   // the marker byte written when there is no action
  std::uint8_t filler = 0;             // the value of every byte the reader steps over
};

// Win-condition keys as the game stores them (bytes in file order).
inline constexpr std::uint32_t kAnnihilate = 130u | 144u << 8 | 153u << 16 | 246u << 24;
inline constexpr std::uint32_t kControlArea = 202u | 94u << 8 | 208u << 16 | 43u << 24;
inline constexpr std::uint32_t kTakeAndHold = 150u | 67u << 8 | 197u << 16 | 116u << 24;

// Where things landed in the last build, for tests that cut or poke files.
struct Layout {
  std::int64_t first_player = 0;
  std::vector<std::int64_t> player_starts;
  std::vector<std::int64_t> player_ends;
  std::vector<std::int64_t> badge_pixels;   // -1 for a player without pictures
  std::vector<std::int64_t> banner_pixels;  // -1 for a player without pictures
  std::int64_t action_marker = 0;
};

Bytes BuildReplay(const ReplaySpec& recipe, Layout* layout = nullptr);

// A small valid replay with `players` players, used where the content does
// not matter much.
ReplaySpec SimpleReplay(int players, bool pictures);

bool WriteFile(const std::string& path, const Bytes& bytes);

// Replay file names that are hard to carry through text: a byte that is not
// UTF-8, quotes, a backslash, a newline and letters beyond Latin-1.
std::vector<std::string> AwkwardFileNames();

}  // namespace replay_builder
