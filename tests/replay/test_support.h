#pragma once

#include <string>
#include <vector>

#include "replay/replay.h"
#include "tests/support/replay_builder.h"

namespace test_support {

struct Loaded {
  zor_rep_reader::ReplayInfo replay;
  std::vector<std::string> actions;
};

inline Loaded load(const replay_builder::Bytes& bytes, const std::string& name = "test.rec") {
  Loaded loaded;
  loaded.replay = zor_rep_reader::ReadReplayBytes(
      bytes, name, [&loaded](const std::string& line) { loaded.actions.push_back(line); });
  return loaded;
}

inline Loaded load(const replay_builder::ReplaySpec& recipe) {
  return load(replay_builder::BuildReplay(recipe));
}

}  // namespace test_support
