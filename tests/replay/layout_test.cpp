// Where the reader finds each field, for both versions of the file layout.
#include <gtest/gtest.h>

#include <functional>

#include "tests/replay/test_support.h"

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

  EXPECT_EQ(r.map_name + "|" + r.game_name + "|" + r.version, "Basalt Steps|Evening Match|1.3");
  EXPECT_EQ(r.header_value, 0x1234);
  EXPECT_EQ(std::vector<float>({r.win_annihilate, r.win_control_area, r.win_take_and_hold,
                                r.win_assassinate, r.win_destroy_hq, r.win_economic_victory,
                                r.win_sudden_death}),
            std::vector<float>({1, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(r.game_speed + r.ai_difficulty + r.resource_rate, 0);
  EXPECT_EQ(r.player_count, 3);
  const std::int16_t teams[] = {2, 1, 256};
  std::vector<PlayerInfo> players;
  for (std::size_t i = 0; i < 3; ++i)
    players.push_back({layout.player_starts[i],
                       layout.player_ends[i],
                       "Player " + std::to_string(i + 1),
                       "race_" + std::to_string(i + 1),
                       teams[i],
                       {},
                       {},
                       {},
                       {}});
  EXPECT_EQ(r.players, players);  // no pictures either
  EXPECT_EQ(loaded.actions, std::vector<std::string>{"7\taction"});
}

// One behaviour, many inputs: a change to a simple replay's bytes and the
// field it must give.
struct FieldCase {
  const char* name;
  std::function<void(ReplaySpec&)> change;
  std::function<std::string(const test_support::Loaded&)> field;
  std::string expected;
};

std::string winFlags(const test_support::Loaded& l) {
  return std::to_string(int(l.replay.win_annihilate)) +
         std::to_string(int(l.replay.win_control_area)) +
         std::to_string(int(l.replay.win_take_and_hold));
}
std::string actionLines(const test_support::Loaded& l) {
  std::string out;
  for (const std::string& line : l.actions) out += line + ";";
  return out;
}
// Any tag but the exact older one means the newer layout: no settings, and
// the game name is found at its newer place.
std::string layoutRead(const test_support::Loaded& l) {
  return l.replay.version + "|" + l.replay.game_name + "|" + std::to_string(l.replay.game_speed);
}
void olderTag(ReplaySpec& r, const char* tag) {
  r.version_tag = tag;
  r.settings = {{"DPSG", 2}};
}

class BytesToField : public testing::TestWithParam<FieldCase> {};

TEST_P(BytesToField, GivesTheField) {
  ReplaySpec recipe = SimpleReplay(1, false);
  GetParam().change(recipe);
  EXPECT_EQ(GetParam().field(load(recipe)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ReplayLayout, BytesToField,
    testing::Values(
        FieldCase{"no_win_keys", [](ReplaySpec& r) { r.win_keys = {}; }, winFlags, "000"},
        FieldCase{"repeated_key",
                  [](ReplaySpec& r) {
                    r.win_keys = {kControlArea, kControlArea};
                  },
                  winFlags, "010"},
        FieldCase{"action_0", [](ReplaySpec& r) { r.action = 0; }, actionLines, "0\taction;"},
        FieldCase{"action_255", [](ReplaySpec& r) { r.action = 255; }, actionLines, "255\taction;"},
        FieldCase{"other_marker",
                  [](ReplaySpec& r) {
                    r.action.reset();
                    r.no_action_marker = 0x61;
                  },
                  actionLines, ""},
        FieldCase{"short_map_length", [](ReplaySpec& r) { r.map_name = ""; },
                  [](const test_support::Loaded& l) {
                    return l.replay.map_name + "|" + l.replay.game_name;
                  },
                  "|Test Game"},
        FieldCase{"older_settings_table",  // the ninth entry counts too
                  [](ReplaySpec& r) {
                    r.old_version = true;
                    r.settings = {{"DPSG", 2}, {"ZZZZ", 9}, {"TRSR", 3}, {"FDIA", 1}, {"COLS", 5},
                                  {"TSSR", 4}, {"MTKL", 6}, {"AEHC", 7}, {"HSSR", 8}};
                  },
                  [](const test_support::Loaded& l) {
                    const auto& r = l.replay;
                    std::string out = r.version + "|" + r.game_name;
                    for (int v :
                         {r.game_speed, r.resource_rate, r.ai_difficulty, r.starting_location,
                          r.starting_resources, r.lock_teams, r.cheats, r.resource_sharing})
                      out += "," + std::to_string(v);
                    return out + "|" + l.replay.players.at(0).name;
                  },
                  "< 1.3|Test Game,2,3,1,5,4,6,7,8|Player 1"},
        FieldCase{"later_setting_wins",
                  [](ReplaySpec& r) {
                    r.old_version = true;
                    r.settings = {{"DPSG", 2}, {"DPSG", 4}, {"dpsg", 9}};
                  },
                  [](const test_support::Loaded& l) { return std::to_string(l.replay.game_speed); },
                  "4"},
        FieldCase{
            "header_FFFF",  // neither byte is signed
            [](ReplaySpec& r) { r.header_high = r.header_low = 0xFF; },
            [](const test_support::Loaded& l) { return std::to_string(l.replay.header_value); },
            "65535"},
        FieldCase{"tag_lower_case", [](ReplaySpec& r) { olderTag(r, "foldmodi"); }, layoutRead,
                  "1.3|Test Game|0"},
        FieldCase{"tag_last_letter", [](ReplaySpec& r) { olderTag(r, "FOLDMODX"); }, layoutRead,
                  "1.3|Test Game|0"},
        FieldCase{"tag_first_letter", [](ReplaySpec& r) { olderTag(r, "XOLDMODI"); }, layoutRead,
                  "1.3|Test Game|0"}),
    [](const testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

// A player block laid out by hand, byte for byte: name length 2, "Al" in
// UTF-16, the team byte at S + 8 + 2N, race length 3 and "abc"; selector 0 at
// 59, so V is 62; K at 82 is 0; the tag sits at 126.
TEST(PlayerBlock, HandMadeBlockWithoutPictures) {
  std::string block("\2\0\0\0A\0l\0\0\0\0\0\1\0\0\0\3\0\0\0abc", 23);
  block.resize(126);
  block += "DATAINFO";
  block.resize(146);
  const Bytes bytes(block.begin(), block.end());
  const ByteImage image(bytes, "block");
  std::int64_t position = 0;
  PlayerInfo p;
  zor_rep_reader::ParsePlayer(image, position, p);
  EXPECT_EQ(p,
            (PlayerInfo{0, 146, "Al", "abc", 2, {}, {}, {}, {}}));  // no pictures, no picture names
  EXPECT_EQ(position, 146);
}

// The same word in lower case, or one letter off, means pictures follow; a
// block with pictures and empty names ends 41172 bytes after its tag.
TEST(PlayerBlock, ATagThatIsNotExactlyDataInfoMeansPicturesFollow) {
  ReplaySpec recipe = SimpleReplay(2, true);
  recipe.players[0].image_tag = "datainfo";
  recipe.players[1].image_tag = "DATAINFX";
  recipe.players[0].badge_name = "crest";
  recipe.players[0].banner_name = "standard of the north";
  recipe.players[1].badge_name.clear();
  recipe.players[1].banner_name.clear();
  Layout layout;
  const auto r = load(BuildReplay(recipe, &layout)).replay;
  EXPECT_EQ(r.players[0].badge_name, "crest");
  EXPECT_EQ(r.players[0].banner_name, "standard of the north");
  EXPECT_EQ(r.players[1].block_end, layout.badge_pixels[1] - 76 + 41172);
}

}  // namespace
