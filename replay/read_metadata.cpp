#include "replay/metadata.h"

namespace zor_rep_reader {
namespace {

ReplayMetadata withoutPictures(ReplayInfo replay) {
  ReplayMetadata out;
  out.pictures.reserve(replay.players.size());
  for (PlayerInfo& player : replay.players) {
    PlayerPictureSizes sizes;
    if (player.badge) sizes.badge = {player.badge->width(), player.badge->height()};
    if (player.banner) sizes.banner = {player.banner->width(), player.banner->height()};
    out.pictures.push_back(sizes);
    player.badge.reset();
    player.banner.reset();
  }
  out.replay = std::move(replay);
  return out;
}

}  // namespace

// For now the whole file is read and the pictures dropped again.
ReplayMetadata ReadReplayMetadata(const std::filesystem::path& path,
                                  const AppendAction& append_action) {
  return withoutPictures(ReadReplay(path, append_action));
}

ReplayMetadata ReadReplayMetadataBytes(std::span<const std::uint8_t> bytes,
                                       const std::string& file_name,
                                       const AppendAction& append_action) {
  return withoutPictures(ReadReplayBytes(bytes, file_name, append_action));
}

}  // namespace zor_rep_reader
