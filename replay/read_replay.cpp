#include "replay/replay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace zor_rep_reader {
namespace {

[[noreturn]] void throwFileError(const std::string& name, const std::string& what) {
  throw ReaderError(ErrorKind::file, std::nullopt, name + ": " + what);
}

// Closes the descriptor on every way out of ReadReplay.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

ReplayInfo ReadReplayBytes(std::span<const std::uint8_t> bytes, const std::string& file_name,
                           const AppendAction& append_action) {
  if (bytes.empty())
    throw ReaderError(ErrorKind::empty, std::nullopt,
                      file_name + ": the file is empty (0 bytes), so it holds no replay");
  ByteImage image(bytes, file_name);
  ReplayInfo replay;
  std::int64_t position = 0;
  ParseReplay(image, position, replay, append_action);
  return replay;
}

ReplayInfo ReadReplay(const std::filesystem::path& path, const AppendAction& append_action) {
  const std::string name = path.string();
  // O_NONBLOCK keeps a FIFO from stalling the open; it is refused below as
  // not being a regular file.
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) throwFileError(name, std::string("cannot open the file: ") + std::strerror(errno));

  struct stat info {};
  if (::fstat(file.fd, &info) != 0)
    throwFileError(name, std::string("cannot read the file: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) throwFileError(name, "is a folder, not a replay file");
  if (!S_ISREG(info.st_mode)) throwFileError(name, "is not a regular file");

  const std::int64_t size = info.st_size;
  if (size > kMaxReplayBytes)
    throw ReaderError(ErrorKind::too_large, std::nullopt,
                      name + ": the file is " + std::to_string(size) +
                          " bytes long; replays larger than " +
                          std::to_string(kMaxReplayBytes >> 20) + " MiB are refused");
  if (size == 0)
    throw ReaderError(ErrorKind::empty, std::nullopt,
                      name + ": the file is empty (0 bytes), so it holds no replay");

  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
  std::int64_t filled = 0;
  while (filled < size) {
    const ssize_t got = ::read(file.fd, buffer.get() + filled, static_cast<std::size_t>(size - filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      throwFileError(name, std::string("cannot read the file: ") + std::strerror(errno));
    }
    if (got == 0) break;  // the file shrank while we read it: parse what is there
    filled += got;
  }
  ::close(file.fd);
  file.fd = -1;

  return ReadReplayBytes({buffer.get(), static_cast<std::size_t>(filled)}, name, append_action);
}

}  // namespace zor_rep_reader
