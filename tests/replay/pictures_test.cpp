// Player pictures: orientation, colour order, the fast path against the
// pixel-by-pixel one, and truncation inside the pixel areas. (Leaked handles
// are checked by the fuzz inputs, which include cut pictures.)
#include <gtest/gtest.h>

#include <random>

#include "tests/replay/test_support.h"

namespace {

using namespace replay_builder;
using test_support::load;
using zor_rep_reader::ByteImage;
using zor_rep_reader::ErrorKind;
using zor_rep_reader::ReaderError;

// Writes `count` pixel records at `offset` whose blue byte counts the record
// number, so each landed pixel tells where it came from.
void numberRecords(Bytes& bytes, std::int64_t offset, int count) {
  for (int k = 0; k < count; ++k) {
    auto* record = &bytes[static_cast<std::size_t>(offset + 4 * k)];
    record[0] = static_cast<std::uint8_t>(k & 0xFF);         // blue
    record[1] = static_cast<std::uint8_t>((k >> 8) & 0xFF);  // green
    record[2] = 0x30;                                        // red
    record[3] = static_cast<std::uint8_t>(k * 7);            // never read
  }
}

int recordAt(const QImage& image, int x, int y) {
  const QRgb rgb = image.pixel(x, y);
  EXPECT_EQ(qRed(rgb), 0x30);
  return qBlue(rgb) | qGreen(rgb) << 8;
}

TEST(PlayerPictures, RecordsLandBottomRowFirstAndLeftToRight) {
  Layout layout;
  Bytes bytes = BuildReplay(SimpleReplay(1, true), &layout);
  numberRecords(bytes, layout.badge_pixels[0], 64 * 64);
  numberRecords(bytes, layout.banner_pixels[0], 64 * 96);
  const auto r = load(bytes).replay;
  // Every pixel is painted: each record appears exactly where it belongs.
  for (const auto& [picture, height] : {std::pair{r.players.at(0).badge->image(), 64},
                                        std::pair{r.players.at(0).banner->image(), 96}}) {
    ASSERT_EQ(picture.size(), QSize(64, height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(recordAt(picture, x, y), (height - 1 - y) * 64 + x);
  }
}

TEST(PlayerPictures, FastPathGivesExactlyThePixelByPixelPicture) {
  std::mt19937 random(20261206);
  for (auto [width, height] : {std::pair{64, 64}, std::pair{64, 96}, std::pair{5, 3}}) {
    Bytes bytes(static_cast<std::size_t>(7 + 4 * width * height));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const ByteImage image(bytes, "random");
    const auto fast = zor_rep_reader::DecodePicture(image, 7, width, height);
    const auto slow = zor_rep_reader::DecodePicturePerPixel(image, 7, width, height);
    ASSERT_TRUE(fast && slow);
    EXPECT_EQ(fast->image(), slow->image()) << width << "x" << height;
  }
}

struct Cut {
  const char* area;
  int record;            // the record in which the file ends
  int bytes_kept;        // bytes of that record still in the file (0 to 3)
  std::int64_t missing;  // the byte the error names, from the area's start
  const char* part;      // the part of the file the message names
};

class CutInPixels : public testing::TestWithParam<Cut> {};

// The error names the first byte the pixel-by-pixel order would miss: the
// record's next colour byte, or the next record's blue byte when only the
// unread fourth byte is gone; past the last record, what follows the area.
TEST_P(CutInPixels, FailsAtTheFirstByteMissing) {
  const Cut cut = GetParam();
  Layout layout;
  const Bytes whole = BuildReplay(SimpleReplay(2, true), &layout);
  const std::int64_t area =
      std::string(cut.area) == "badge" ? layout.badge_pixels[1] : layout.banner_pixels[1];
  const Bytes part(whole.begin(), whole.begin() + area + 4 * cut.record + cut.bytes_kept);
  try {
    (void)load(part);
    FAIL() << "the load did not fail";
  } catch (const ReaderError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::out_of_range);
    EXPECT_EQ(error.offset(), area + cut.missing);
    EXPECT_NE(error.message().find(std::string(cut.part) + " of player 2"), std::string::npos)
        << error.message();
  }
}

INSTANTIATE_TEST_SUITE_P(PlayerPictures, CutInPixels,
                         testing::Values(Cut{"badge", 0, 0, 0, "badge pixels"},
                                         Cut{"badge", 4095, 3, 4 * 4096 + 36, "banner name"},
                                         Cut{"banner", 0, 1, 1, "banner pixels"},
                                         Cut{"banner", 6142, 3, 4 * 6143, "banner pixels"}));

}  // namespace
