#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <span>
#include <vector>

#include "replay/metadata.h"
#include "replay/replay_file.h"

namespace zor_rep_reader {
namespace {

// A file without pictures is a few kilobytes: read whole, one system call
// instead of one per stretch the parser asks for.
constexpr std::int64_t kWholeFileBytes = 32 * 1024;

// Reads exactly the stretches the parser asks for, with one pread each.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const ReplayFile& file) : m_file(file) {}

  void read(std::int64_t first, std::span<std::uint8_t> out) override { readExactly(first, out); }

  void readExactly(std::int64_t first, std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
      const ssize_t got = ::pread(m_file.fd(), out.data() + filled, out.size() - filled,
                                  static_cast<off_t>(first + static_cast<std::int64_t>(filled)));
      if (got < 0) {
        if (errno == EINTR) continue;
        m_file.throwReadError();
      }
      if (got == 0) {
        // The file shrank after its size was taken.
        errno = EIO;
        m_file.throwReadError();
      }
      filled += static_cast<std::size_t>(got);
    }
  }

  const ReplayFile& m_file;
};

ReplayMetadata parse(const ByteImage& image, const AppendAction& append_action) {
  ReplayMetadata out;
  std::int64_t position = 0;
  ParseReplay(image, position, out.replay, append_action, &out.pictures);
  return out;
}

}  // namespace

ReplayMetadata ReadReplayMetadata(const std::filesystem::path& path,
                                  const AppendAction& append_action) {
  ReplayFile file(path);
  FileSource source(file);
  if (file.size() <= kWholeFileBytes) {
    // Read at once and parsed where it lies.
    const auto whole =
        std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(file.size()));
    const std::span<std::uint8_t> bytes(whole.get(), static_cast<std::size_t>(file.size()));
    source.readExactly(0, bytes);
    return parse(ByteImage(bytes, file.name()), append_action);
  }
  // The parser reads a few hundred bytes here and there of a large file;
  // read-ahead would fetch the pixels between them from disk.
  ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_RANDOM);
  return parse(ByteImage(source, file.size(), file.name()), append_action);
}

std::vector<PlayerPictureSizes> PictureSizesOf(const ReplayInfo& replay) {
  std::vector<PlayerPictureSizes> out;
  out.reserve(replay.players.size());
  for (const PlayerInfo& player : replay.players) {
    PlayerPictureSizes& sizes = out.emplace_back();
    if (player.badge) sizes.badge = {player.badge->width(), player.badge->height()};
    if (player.banner) sizes.banner = {player.banner->width(), player.banner->height()};
  }
  return out;
}

ReplayMetadata ReadReplayMetadataBytes(std::span<const std::uint8_t> bytes,
                                       const std::string& file_name,
                                       const AppendAction& append_action) {
  if (bytes.empty()) ThrowEmptyFile(file_name);
  return parse(ByteImage(bytes, file_name), append_action);
}

}  // namespace zor_rep_reader
