#include <array>
#include <cstring>

#include "replay/replay.h"
#include "replay/text.h"

namespace zor_rep_reader {
namespace {

struct SettingCode {
  std::array<char, 4> code;
  std::int16_t ReplayInfo::*field;
};

// Codes in the order their characters stand in the file.
constexpr std::array<SettingCode, 8> kSettings{{
    {{'F', 'D', 'I', 'A'}, &ReplayInfo::ai_difficulty},
    {{'T', 'S', 'S', 'R'}, &ReplayInfo::starting_resources},
    {{'M', 'T', 'K', 'L'}, &ReplayInfo::lock_teams},
    {{'A', 'E', 'H', 'C'}, &ReplayInfo::cheats},
    {{'C', 'O', 'L', 'S'}, &ReplayInfo::starting_location},
    {{'D', 'P', 'S', 'G'}, &ReplayInfo::game_speed},
    {{'H', 'S', 'S', 'R'}, &ReplayInfo::resource_sharing},
    {{'T', 'R', 'S', 'R'}, &ReplayInfo::resource_rate},
}};

struct WinKey {
  std::array<std::uint8_t, 4> bytes;
  float ReplayInfo::*flag;
};

constexpr std::array<WinKey, 3> kWinKeys{{
    {{130, 144, 153, 246}, &ReplayInfo::win_annihilate},
    {{202, 94, 208, 43}, &ReplayInfo::win_control_area},
    {{150, 67, 197, 116}, &ReplayInfo::win_take_and_hold},
}};

constexpr std::array<char, 8> kOldVersionTag{'F', 'O', 'L', 'D', 'M', 'O', 'D', 'I'};

// Reads `N` consecutive bytes in file order; every one of them is read even
// when an earlier byte already settles a comparison.
template <std::size_t N>
std::array<std::uint8_t, N> readBytes(const ByteImage& image, std::int64_t first) {
  std::array<std::uint8_t, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = image.at(first + static_cast<std::int64_t>(i));
  return out;
}

}  // namespace

void ParseReplay(const ByteImage& image, std::int64_t& position, ReplayInfo& replay,
                 const AppendAction& append_action, std::vector<PlayerPictureSizes>* pictures) {
  image.setPlayer(0);
  image.setSection("header");
  // The first player block starts at 401 or later (the shortest map name,
  // game name and key list), and its pixels 195 bytes after that at least.
  image.setReadLimit(401 + 195);
  replay.player_count = image.at(194);
  replay.players.assign(static_cast<std::size_t>(replay.player_count), PlayerInfo{});
  replay.header_value = image.at(198) * 256 + image.at(199);

  position = 228;
  const std::int64_t map_length = image.at(position);
  position += 4;

  image.setSection("map name");
  for (std::int64_t i = position + 18; i <= map_length + position - 1; ++i)
    text::appendWindows1252(replay.map_name, image.at(i));

  image.setSection("version tag");
  const auto tag = readBytes<8>(image, map_length + position + 21);
  const bool old_version = std::memcmp(tag.data(), kOldVersionTag.data(), tag.size()) == 0;
  replay.version = old_version ? "< 1.3" : "1.3";

  if (!old_version) {
    position += map_length + 3 + 114;
  } else {
    image.setSection("settings");
    position += map_length + 128;
    for (std::int64_t k = position; k <= position + 56; k += 7) {
      const auto code = readBytes<4>(image, k);
      for (const SettingCode& setting : kSettings) {
        if (std::memcmp(code.data(), setting.code.data(), code.size()) == 0) {
          replay.*setting.field = image.at(k + 4);
          break;
        }
      }
    }
    position += 56 + 6;
  }

  // The name is N UTF-16LE units right after a 4-byte length.
  image.setSection("game name");
  const std::int64_t name_length = image.at(position);
  {
    text::Utf16Decoder decoder(replay.game_name);
    for (std::int64_t i = 0; i < name_length; ++i) {
      const std::int64_t unit_at = position + 4 + 2 * i;
      const std::uint8_t low = image.at(unit_at);
      decoder.add(static_cast<char16_t>(low | image.at(unit_at + 1) << 8));
    }
  }
  position += 3 + 2 * name_length + 5;

  image.setSection("win conditions");
  const std::int64_t key_count = image.at(position);
  position += 4;
  for (std::int64_t k = position; k <= position + 4 * key_count - 1; k += 4) {
    const auto key = readBytes<4>(image, k);
    for (const WinKey& win : kWinKeys)
      if (key == win.bytes) replay.*win.flag = 1.0f;
  }
  position += 4 * key_count + 40;

  if (pictures) pictures->assign(replay.players.size(), {});
  for (std::size_t n = 0; n < replay.players.size(); ++n) {
    image.setPlayer(static_cast<int>(n + 1));
    ParsePlayer(image, position, replay.players[n], pictures ? &(*pictures)[n] : nullptr);
  }
  image.setPlayer(0);

  image.setSection("action marker");
  position += 6;
  if (image.at(position) == 0x60) {
    image.setSection("action value");
    const std::uint8_t value = image.at(position + 1);
    if (append_action) append_action(std::to_string(value) + "\taction");
  }
}

}  // namespace zor_rep_reader
