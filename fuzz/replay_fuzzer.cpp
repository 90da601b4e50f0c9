// Feeds arbitrary bytes to the in-memory reader, pictures included. Every
// input must give a complete record or a reader error that points at or past
// the end of the input, and must leave no handle behind.
#include <cstdio>
#include <cstdlib>

#include "replay/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zor_rep_reader;
  const std::size_t handles_before = gfx::LiveHandleCount();
  const std::int64_t length = static_cast<std::int64_t>(size);
  try {
    int actions = 0;
    const ReplayInfo replay =
        ReadReplayBytes({data, size}, "fuzz.rec", [&actions](const std::string&) { ++actions; });
    if (replay.players.size() != static_cast<std::size_t>(replay.player_count)) std::abort();
    if (actions > 1) std::abort();
    std::int64_t previous_end = 0;
    for (const PlayerInfo& player : replay.players) {
      if (player.block_start < previous_end || player.block_end <= player.block_start) std::abort();
      if ((player.badge == nullptr) != (player.banner == nullptr)) std::abort();
      previous_end = player.block_end;
    }
  } catch (const ReaderError& error) {
    switch (error.kind()) {
      case ErrorKind::empty:
        if (size != 0) std::abort();
        break;
      case ErrorKind::out_of_range:
        if (!error.offset() || *error.offset() < length) std::abort();
        break;
      default:
        std::fprintf(stderr, "unexpected error kind: %s\n", error.message().c_str());
        std::abort();
    }
  }
  if (gfx::LiveHandleCount() != handles_before) std::abort();
  return 0;
}
