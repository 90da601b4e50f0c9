// Names are UTF-16 in the file and UTF-8 in the record; 8-bit texts are
// Windows-1252.
#include <gtest/gtest.h>

#include <QStringDecoder>

#include "tests/replay/test_support.h"

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
    testing::Values(TextCase{u"", ""}, TextCase{u"\u0141ukasz", "\xC5\x81ukasz"},
                    TextCase{u"\U0001F525x", "\xF0\x9F\x94\xA5x"},  // surrogate pair
                    TextCase{std::u16string{u'a', char16_t(0xD800), u'b'},
                             "a\xEF\xBF\xBD"
                             "b"},
                    TextCase{std::u16string{char16_t(0xDC00)}, "\xEF\xBF\xBD"},
                    TextCase{std::u16string{u'z', char16_t(0xD83D)}, "z\xEF\xBF\xBD"},
                    TextCase{std::u16string{u'a', u'\0', u'b'}, std::string("a\0b", 3)}));

// Every byte value once, in the map name and the races, against Qt's own
// Windows-1252 decoder.
TEST(EightBitText, EveryByteIsOneWindows1252Character) {
  std::string all(256, '\0');
  for (int b = 0; b < 256; ++b) all[static_cast<std::size_t>(b)] = static_cast<char>(b);
  ReplaySpec recipe = SimpleReplay(2, false);
  recipe.map_name = all.substr(0, 128);
  recipe.players[0].race = all.substr(128, 64);
  recipe.players[1].race = all.substr(192);
  const auto r = load(recipe).replay;
  QStringDecoder windows1252("windows-1252");
  ASSERT_TRUE(windows1252.isValid());
  EXPECT_EQ(QString::fromStdString(r.map_name + r.players[0].race + r.players[1].race),
            windows1252.decode(QByteArray::fromStdString(all)));
}

}  // namespace
