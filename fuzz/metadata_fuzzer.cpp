// Feeds the same bytes to the full read and to the metadata read of a file
// holding them; any difference in the record, the picture sizes, the action
// line or the error (kind, offset, message) is a failure.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "replay/metadata.h"

namespace {

using namespace zor_rep_reader;

struct Outcome {
  std::optional<ReplayMetadata> read;
  std::vector<std::string> actions;
  std::string error;  // kind, offset and message; empty when the read succeeded
};

std::string describe(const ReaderError& error) {
  return std::to_string(static_cast<int>(error.kind())) + " at " +
         (error.offset() ? std::to_string(*error.offset()) : "-") + ": " + error.message();
}

}  // namespace

// Empty when both reads agree on `bytes`, which the file at `path` holds;
// otherwise what differs.
std::string MetadataDifference(std::span<const std::uint8_t> bytes, const std::string& path) {
  Outcome full, meta;
  try {
    ReplayInfo replay = ReadReplayBytes(
        bytes, path, [&full](const std::string& line) { full.actions.push_back(line); });
    std::vector<PlayerPictureSizes> pictures = PictureSizesOf(replay);
    for (PlayerInfo& player : replay.players) {
      player.badge.reset();
      player.banner.reset();
    }
    full.read = ReplayMetadata{std::move(replay), std::move(pictures)};
  } catch (const ReaderError& error) {
    full.error = describe(error);
  }
  try {
    meta.read = ReadReplayMetadata(
        path, [&meta](const std::string& line) { meta.actions.push_back(line); });
  } catch (const ReaderError& error) {
    meta.error = describe(error);
  }
  if (full.error != meta.error)
    return "errors differ: '" + full.error + "' and '" + meta.error + "'";
  if (full.read.has_value() != meta.read.has_value()) return "only one read succeeded";
  if (full.read && full.read->replay != meta.read->replay) return "records differ";
  if (full.read && full.read->pictures != meta.read->pictures) return "picture sizes differ";
  if (full.actions != meta.actions) return "action lines differ";
  return {};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A file in memory, so that the metadata read goes through its file reads.
  static const int fd = ::memfd_create("fuzz.rec", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  const std::string difference = MetadataDifference({data, size}, path);
  if (!difference.empty()) {
    std::fprintf(stderr, "%s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
