// Where the reader finds each field, for both versions of the file layout.
#include "tests/replay/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace replay_builder;
using test_support::load;
using zor_rep_reader::ByteImage;
using zor_rep_reader::PlayerInfo;

TEST(ReplayLayout, ReadsEveryFieldOfANewerFile) {
  ReplaySpec recipe = SimpleReplay(3, false);
  recipe.map_name = "Basalt Steps";
  recipe.game_name = u"Evening Match";
  recipe.header_high = 0x12;
  recipe.header_low = 0x34;
  recipe.win_keys = {kTakeAndHold, 0x01020304u, kAnnihilate};
  recipe.players[1].team = 0;
  recipe.players[2].team = 255;
  recipe.filler = 0xEE;  // bytes the reader must step over without reading
  Layout layout;
  const auto loaded = load(BuildReplay(recipe, &layout));
  const auto& r = loaded.replay;

  EXPECT_EQ(r.map_name, "Basalt Steps");
  EXPECT_EQ(r.game_name, "Evening Match");
  EXPECT_EQ(r.version, "1.3");
  EXPECT_EQ(r.header_value, 0x1234);
  EXPECT_EQ(r.win_annihilate, 1.0f);
  EXPECT_EQ(r.win_control_area, 0.0f);
  EXPECT_EQ(r.win_take_and_hold, 1.0f);
  EXPECT_EQ(r.win_assassinate + r.win_destroy_hq + r.win_economic_victory + r.win_sudden_death,
            0.0f);
  EXPECT_EQ(r.game_speed + r.ai_difficulty + r.resource_rate, 0);

  ASSERT_EQ(r.player_count, 3);
  ASSERT_EQ(r.players.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(r.players[i].block_start, layout.player_starts[i]);
    EXPECT_EQ(r.players[i].block_end, layout.player_ends[i]);
    EXPECT_EQ(r.players[i].race, "race_" + std::to_string(i + 1));
    EXPECT_FALSE(r.players[i].badge);
    EXPECT_FALSE(r.players[i].banner);
  }
  EXPECT_EQ(r.players[0].name, "Player 1");
  EXPECT_EQ(r.players[1].team, 1);
  EXPECT_EQ(r.players[2].team, 256);
  EXPECT_EQ(loaded.actions, std::vector<std::string>{"7\taction"});
}

TEST(ReplayLayout, OlderFilesCarryASettingsTable) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.old_version = true;
  recipe.settings = {{"DPSG", 2}, {"ZZZZ", 9}, {"TRSR", 3}, {"FDIA", 1}, {"COLS", 5},
                   {"TSSR", 4}, {"MTKL", 6}, {"AEHC", 7}, {"HSSR", 8}};
  recipe.game_name = u"Old Times";
  const auto r = load(recipe).replay;
  EXPECT_EQ(r.version, "< 1.3");
  EXPECT_EQ(r.game_speed, 2);
  EXPECT_EQ(r.resource_rate, 3);
  EXPECT_EQ(r.ai_difficulty, 1);
  EXPECT_EQ(r.starting_location, 5);
  EXPECT_EQ(r.starting_resources, 4);
  EXPECT_EQ(r.lock_teams, 6);
  EXPECT_EQ(r.cheats, 7);
  EXPECT_EQ(r.resource_sharing, 8);  // the ninth entry counts too
  EXPECT_EQ(r.game_name, "Old Times");
  EXPECT_EQ(r.players.at(0).name, "Player 1");
}

TEST(ReplayLayout, LaterSettingEntryOverwritesAnEarlierOne) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.old_version = true;
  recipe.settings = {{"DPSG", 2}, {"DPSG", 4}, {"dpsg", 9}};
  EXPECT_EQ(load(recipe).replay.game_speed, 4);
}

// Any tag but the exact older one means the newer layout: no settings, and
// the game name is found at its newer place.
class VersionTag : public testing::TestWithParam<const char*> {};

TEST_P(VersionTag, OnlyTheExactTagMeansAnOlderFile) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.version_tag = GetParam();
  recipe.game_name = u"Tagged";
  const auto r = load(recipe).replay;
  EXPECT_EQ(r.version, "1.3");
  EXPECT_EQ(r.game_name, "Tagged");
  EXPECT_EQ(r.game_speed, 0);
}

INSTANTIATE_TEST_SUITE_P(ReplayLayout, VersionTag,
                         testing::Values("foldmodi", "FOLDMODX", "XOLDMODI", "00000000"));

TEST(ReplayLayout, ShortMapLengthGivesAnEmptyMapName) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.map_name = "";
  const auto r = load(recipe).replay;
  EXPECT_EQ(r.map_name, "");
  EXPECT_EQ(r.game_name, "Test Game");
}

TEST(ReplayLayout, HeaderValueCoversTheWholeUnsignedRange) {
  ReplaySpec recipe = SimpleReplay(1, false);
  for (auto [high, low, expected] : {std::tuple{0x7F, 0xFF, 32767}, std::tuple{0x80, 0x00, 32768},
                                     std::tuple{0xFF, 0xFF, 65535}}) {
    recipe.header_high = static_cast<std::uint8_t>(high);
    recipe.header_low = static_cast<std::uint8_t>(low);
    EXPECT_EQ(load(recipe).replay.header_value, expected);
  }
}

TEST(ReplayLayout, WinConditionKeys) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.win_keys = {};
  auto r = load(recipe).replay;
  EXPECT_EQ(r.win_annihilate + r.win_control_area + r.win_take_and_hold, 0.0f);
  EXPECT_EQ(r.players.at(0).race, "race_1");

  recipe.win_keys = {kControlArea, kControlArea};
  r = load(recipe).replay;
  EXPECT_EQ(r.win_control_area, 1.0f);
  EXPECT_EQ(r.win_annihilate, 0.0f);
}

TEST(ReplayLayout, NoPlayersGivesAnEmptyList) {
  ReplaySpec recipe = SimpleReplay(0, false);
  const auto loaded = load(recipe);
  EXPECT_EQ(loaded.replay.player_count, 0);
  EXPECT_TRUE(loaded.replay.players.empty());
  EXPECT_EQ(loaded.actions.size(), 1u);
}

TEST(ReplayLayout, ActionMarker) {
  ReplaySpec recipe = SimpleReplay(1, false);
  recipe.action = 0;
  EXPECT_EQ(load(recipe).actions, std::vector<std::string>{"0\taction"});
  recipe.action = 255;
  EXPECT_EQ(load(recipe).actions, std::vector<std::string>{"255\taction"});
  recipe.action.reset();
  recipe.no_action_marker = 0x61;
  EXPECT_TRUE(load(recipe).actions.empty());
}

TEST(ReplayLayout, LoadingTwiceGivesEqualRecords) {
  const Bytes bytes = BuildReplay(SimpleReplay(2, false));
  const auto a = load(bytes).replay;
  const auto b = load(bytes).replay;
  EXPECT_EQ(a.game_name, b.game_name);
  ASSERT_EQ(a.players.size(), b.players.size());
  for (std::size_t i = 0; i < a.players.size(); ++i) {
    EXPECT_EQ(a.players[i].name, b.players[i].name);
    EXPECT_EQ(a.players[i].block_end, b.players[i].block_end);
  }
}

// A player block laid out by hand, byte for byte.
Bytes handMadeBlock() {
  Bytes b(146, 0);
  b[0] = 2;  // name length
  b[4] = 0x41;
  b[6] = 0x6C;
  b[12] = 1;  // team byte at S + 8 + 2N
  b[16] = 3;  // race length
  b[20] = 'a';
  b[21] = 'b';
  b[22] = 'c';
  // selector at 59 is 0, so V is 62; K at 82 is 0; the tag sits at 126
  const char* tag = "DATAINFO";
  std::copy(tag, tag + 8, b.begin() + 126);
  return b;
}

PlayerInfo parseBlock(const Bytes& bytes, std::int64_t& position) {
  const ByteImage image(bytes, "block");
  PlayerInfo player;
  zor_rep_reader::ParsePlayer(image, position, player);
  return player;
}

TEST(PlayerBlock, HandMadeBlockWithoutPictures) {
  std::int64_t position = 0;
  const PlayerInfo p = parseBlock(handMadeBlock(), position);
  EXPECT_EQ(p.name, "Al");
  EXPECT_EQ(p.team, 2);
  EXPECT_EQ(p.race, "abc");
  EXPECT_EQ(p.block_start, 0);
  EXPECT_EQ(p.block_end, 146);
  EXPECT_EQ(position, 146);
  EXPECT_FALSE(p.badge);
  EXPECT_TRUE(p.badge_name.empty());
}

TEST(PlayerBlock, OnlyTheFirstByteOfACountIsRead) {
  Bytes b = handMadeBlock();
  // A race length of 300 (2C 01 00 00) is read as 44: the block grows by 41.
  b[16] = 0x2C;
  b[17] = 0x01;
  b.insert(b.begin() + 23, 41, 'x');
  std::int64_t position = 0;
  const PlayerInfo p = parseBlock(b, position);
  EXPECT_EQ(p.race.size(), 44u);
  EXPECT_EQ(p.block_end, 146 + 41);
}

// The selector decides whether three counted fields follow; any non-zero
// value behaves the same.
class Selector : public testing::TestWithParam<int> {};

TEST_P(Selector, NonZeroSelectorsSkipThreeCountedFields) {
  PlayerSpec player;
  player.name = u"Sel";
  player.selector = static_cast<std::uint8_t>(GetParam());
  player.field1 = "one";
  player.field3 = "three!";
  player.middle_text = u"middle";
  ReplaySpec recipe;
  recipe.players = {player, player};
  Layout layout;
  const auto r = load(BuildReplay(recipe, &layout)).replay;
  ASSERT_EQ(r.players.size(), 2u);
  EXPECT_EQ(r.players[1].block_start, layout.player_starts[1]);
  EXPECT_EQ(r.players[1].block_end, layout.player_ends[1]);
  EXPECT_EQ(r.players[1].name, "Sel");
}

INSTANTIATE_TEST_SUITE_P(PlayerBlock, Selector, testing::Values(0, 1, 200, 255));

TEST(PlayerBlock, ATagThatIsNotExactlyDataInfoMeansPicturesFollow) {
  ReplaySpec recipe = SimpleReplay(2, true);
  recipe.players[0].image_tag = "datainfo";
  recipe.players[1].image_tag = "DATAINFX";
  recipe.players[0].badge_name = "crest";
  recipe.players[0].banner_name = "standard of the north";
  Layout layout;
  const auto r = load(BuildReplay(recipe, &layout)).replay;
  EXPECT_EQ(r.players[0].badge_name, "crest");
  EXPECT_EQ(r.players[0].banner_name, "standard of the north");
  EXPECT_EQ(r.players[1].block_end, layout.player_ends[1]);
}

TEST(PlayerBlock, PictureBlockWithEmptyNamesEndsAtItsFixedLength) {
  ReplaySpec recipe = SimpleReplay(1, true);
  recipe.players[0].badge_name.clear();
  recipe.players[0].banner_name.clear();
  Layout layout;
  const auto r = load(BuildReplay(recipe, &layout)).replay;
  const std::int64_t tag_at = layout.badge_pixels[0] - 76;
  EXPECT_EQ(r.players[0].block_end, tag_at + 41172);
}

}  // namespace
