// Names are UTF-16 in the file and UTF-8 in the record; 8-bit texts are
// ISO 8859-1.
#include "tests/replay/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace replay_builder;
using test_support::load;

struct TextCase {
  std::u16string stored;
  std::string expected;
};

class SixteenBitText : public testing::TestWithParam<TextCase> {};

TEST_P(SixteenBitText, PlayerAndGameNamesDecodeAsUtf16) {
  ReplaySpec recipe = SimpleReplay(2, false);
  recipe.players[0].name = GetParam().stored;
  recipe.game_name = GetParam().stored;
  const auto r = load(recipe).replay;
  EXPECT_EQ(r.players[0].name, GetParam().expected);
  EXPECT_EQ(r.game_name, GetParam().expected);
  EXPECT_EQ(r.players[1].name, "Player 2");  // the next block is still found
}

INSTANTIATE_TEST_SUITE_P(
    Names, SixteenBitText,
    testing::Values(TextCase{u"", ""}, TextCase{u"Al", "Al"},
                    TextCase{u"\u0141ukasz", "\xC5\x81ukasz"},        // above U+00FF
                    TextCase{u"Bj\u00F6rn", "Bj\xC3\xB6rn"},           // Latin-1 range
                    TextCase{u"\u706B\u5C71", "\xE7\x81\xAB\xE5\xB1\xB1"},
                    TextCase{u"\U0001F525x", "\xF0\x9F\x94\xA5x"},    // surrogate pair
                    TextCase{std::u16string{u'a', char16_t(0xD800), u'b'}, "a\xEF\xBF\xBD" "b"},
                    TextCase{std::u16string{char16_t(0xDC00)}, "\xEF\xBF\xBD"},
                    TextCase{std::u16string{u'z', char16_t(0xD83D)}, "z\xEF\xBF\xBD"},
                    TextCase{std::u16string{u'a', u'\0', u'b'}, std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<TextCase>& info) {
      return "case" + std::to_string(info.index);
    });

TEST(EightBitText, EveryByteIsOneLatin1Character) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.map_name = std::string("M\0\x7F\x80\xE9\xFF", 6);
  recipe.players[0].race = "\xE9t\xE9";
  const auto r = load(recipe).replay;
  EXPECT_EQ(r.map_name, std::string("M\0\x7F\xC2\x80\xC3\xA9\xC3\xBF", 9));
  EXPECT_EQ(r.players[0].race, "\xC3\xA9t\xC3\xA9");
}

}  // namespace
