// Damaged and unreadable files: the error kind, the offset and the message.
#include <gtest/gtest.h>

#include <set>

#include "tests/replay/test_support.h"

namespace {

using namespace replay_builder;
using zor_rep_reader::ErrorKind;
using zor_rep_reader::ReaderError;

// Every byte the reader is meant to read in a replay without pictures, worked
// out from the layout independently of the reader.
std::set<std::int64_t> bytesRead(const ReplaySpec& recipe, const Layout& layout) {
  std::set<std::int64_t> read{194, 198, 199, 228};
  auto span = [&read](std::int64_t first, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) read.insert(first + i);
  };
  const std::int64_t L = static_cast<std::int64_t>(recipe.map_name.size()) + 18;
  span(250, L - 18);
  span(253 + L, 8);
  std::int64_t P = 349 + L;
  if (recipe.old_version) {
    const std::int64_t table = 360 + L;
    for (int i = 0; i < 9; ++i) {
      span(table + 7 * i, 4);
      if (static_cast<std::size_t>(i) < recipe.settings.size()) read.insert(table + 7 * i + 4);
    }
    P = 422 + L;
  }
  const auto N = static_cast<std::int64_t>(recipe.game_name.size());
  read.insert(P);
  span(P + 4, 2 * N);
  const std::int64_t Q = P + 8 + 2 * N;
  const auto M = static_cast<std::int64_t>(recipe.win_keys.size());
  read.insert(Q);
  span(Q + 4, 4 * M);
  for (std::size_t n = 0; n < recipe.players.size(); ++n) {
    const PlayerSpec& p = recipe.players[n];
    const std::int64_t S = layout.player_starts[n];
    const auto name = static_cast<std::int64_t>(p.name.size());
    const auto race = static_cast<std::int64_t>(p.race.size());
    read.insert(S);
    span(S + 4, 2 * name);
    read.insert(S + 8 + 2 * name);
    read.insert(S + 12 + 2 * name);
    span(S + 16 + 2 * name, race);
    const std::int64_t T = S + 52 + 2 * name + race;
    read.insert(T);
    std::int64_t V = T + 3;
    if (p.selector > 0) {
      std::int64_t at = T + 8;
      for (const std::string* field : {&p.field1, &p.field2, &p.field3}) {
        read.insert(at);
        at += 4 + static_cast<std::int64_t>(field->size());
      }
      V = at;
    }
    read.insert(V + 20);
    const std::int64_t G = V + 64 + 2 * static_cast<std::int64_t>(p.middle_text.size());
    span(G, 8);
  }
  read.insert(layout.action_marker);
  if (recipe.action) read.insert(layout.action_marker + 1);
  return read;
}

TEST(TruncatedFile, EveryCutFailsAtTheFirstMissingByteTheReaderNeeds) {
  for (bool old_version : {false, true}) {
    ReplaySpec recipe = SimpleReplay(2, false);
    recipe.old_version = old_version;
    recipe.settings = {{"DPSG", 1}, {"TRSR", 2}};
    recipe.win_keys = {kAnnihilate, kControlArea};
    recipe.players[1].selector = 3;
    recipe.players[1].field2 = "xy";
    recipe.players[1].middle_text = u"mid";
    Layout layout;
    const Bytes whole = BuildReplay(recipe, &layout);
    const std::set<std::int64_t> read = bytesRead(recipe, layout);
    ASSERT_EQ(*read.rbegin(), static_cast<std::int64_t>(whole.size()) - 1);

    // A failed load adds no action line, not even when only the action value
    // is missing; its message names the file, its size, the byte and the part.
    for (std::size_t cut = 1; cut < whole.size(); ++cut) {
      const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      std::vector<std::string> actions;
      try {
        (void)zor_rep_reader::ReadReplayBytes(part, "cut.rec",
                                              [&](const std::string& l) { actions.push_back(l); });
        FAIL() << "cut at " << cut << " was read";
      } catch (const ReaderError& error) {
        const std::int64_t expected = *read.lower_bound(static_cast<std::int64_t>(cut));
        ASSERT_EQ(error.kind(), ErrorKind::out_of_range) << "cut at " << cut;
        ASSERT_EQ(error.offset(), expected) << "cut at " << cut << ", old version " << old_version;
        const std::string& m = error.message();
        ASSERT_EQ(
            m.find("cut.rec: the file is cut short: it has " + std::to_string(cut) + " bytes"), 0u)
            << m;
        ASSERT_NE(m.find("byte " + std::to_string(expected)), std::string::npos) << m;
        const bool in_second_block =
            expected >= layout.player_starts[1] && expected < layout.player_ends[1];
        ASSERT_EQ(m.find("player 2") != std::string::npos, in_second_block) << m;
      }
      ASSERT_TRUE(actions.empty()) << "cut at " << cut;
    }
  }
}

}  // namespace
