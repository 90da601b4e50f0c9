#include <cstring>

#include "replay/replay.h"
#include "replay/text.h"

namespace zor_rep_reader {
namespace {

constexpr int kBadgeWidth = 64;
constexpr int kBadgeHeight = 64;
constexpr int kBannerWidth = 64;
constexpr int kBannerHeight = 96;
constexpr std::int64_t kBadgeBytes = 4 * kBadgeWidth * kBadgeHeight;
constexpr std::int64_t kBannerBytes = 4 * kBannerWidth * kBannerHeight;

// The badge pixels lie at least this far into a block: the head is 52 bytes
// and more, then 3 or more to the middle, 64 or more to the tag, and 76 or
// more from the tag to the pixels.
constexpr std::int64_t kShortestHead = 52 + 3 + 64 + 76;

void append8BitRange(const ByteImage& image, std::int64_t first, std::int64_t count,
                     std::string& out) {
  for (std::int64_t i = 0; i < count; ++i) text::appendWindows1252(out, image.at(first + i));
}

}  // namespace

void ParsePlayer(const ByteImage& image, std::int64_t& position, PlayerInfo& player,
                 PlayerPictureSizes* pictures) {
  const std::int64_t start = position;
  player.block_start = start;
  image.setReadLimit(start + kShortestHead);

  // Only the first byte of each 4-byte count field is read.
  image.setSection("name");
  const std::int64_t name_length = image.at(start);
  {
    text::Utf16Decoder decoder(player.name);
    for (std::int64_t k = 0; k < name_length; ++k) {
      const std::uint8_t low = image.at(start + 4 + 2 * k);
      decoder.add(static_cast<char16_t>(low | image.at(start + 5 + 2 * k) << 8));
    }
  }
  position = start + 8 + 2 * name_length;

  image.setSection("team");
  player.team = static_cast<std::int16_t>(image.at(position) + 1);
  position += 4;

  image.setSection("race");
  const std::int64_t race_length = image.at(position);
  append8BitRange(image, position + 4, race_length, player.race);
  position += 4 + race_length + 36;

  image.setSection("player block");
  const std::uint8_t selector = image.at(position);
  if (selector > 0) {
    position += 8;
    for (int field = 0; field < 3; ++field) position += 4 + image.at(position);
  } else {
    position += 3;
  }
  position += 20;
  const std::int64_t middle_length = image.at(position);
  position += 4 + 2 * middle_length + 40;

  image.setSection("picture tag");
  const std::int64_t tag_at = position;
  char tag[8];
  for (int i = 0; i < 8; ++i) tag[i] = static_cast<char>(image.at(tag_at + i));
  if (std::memcmp(tag, "DATAINFO", 8) == 0) {
    position = tag_at + 20;
    player.block_end = position;
    return;
  }

  image.setSection("badge name");
  const std::int64_t badge_name_length = image.at(tag_at + 16);
  append8BitRange(image, tag_at + 20, badge_name_length, player.badge_name);
  const std::int64_t badge_at = tag_at + 76 + badge_name_length;
  image.setSection("badge pixels");
  if (pictures)
    pictures->badge = CheckPicture(image, badge_at, kBadgeWidth, kBadgeHeight);
  else
    player.badge = DecodePicture(image, badge_at, kBadgeWidth, kBadgeHeight);

  const std::int64_t after_badge = badge_at + kBadgeBytes;
  image.setSection("banner name");
  const std::int64_t banner_name_length = image.at(after_badge + 36);
  append8BitRange(image, after_badge + 39, banner_name_length, player.banner_name);
  const std::int64_t banner_at = after_badge + 96 + banner_name_length;
  image.setSection("banner pixels");
  if (pictures)
    pictures->banner = CheckPicture(image, banner_at, kBannerWidth, kBannerHeight);
  else
    player.banner = DecodePicture(image, banner_at, kBannerWidth, kBannerHeight);

  position = banner_at + kBannerBytes + 40;
  player.block_end = position;
}

}  // namespace zor_rep_reader
