#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "replay/replay.h"
#include "replay/replay_file.h"

namespace zor_rep_reader {
namespace {

[[noreturn]] void throwFileError(const std::string& name, const std::string& what) {
  throw ReaderError(ErrorKind::file, std::nullopt, name + ": " + what);
}

}  // namespace

void ThrowEmptyFile(const std::string& name) {
  throw ReaderError(ErrorKind::empty, std::nullopt,
                    name + ": the file is empty (0 bytes), so it holds no replay");
}

ReplayFile::ReplayFile(const std::filesystem::path& path) : m_name(path.string()) {
  // O_NONBLOCK keeps a FIFO from stalling the open; it is refused below as
  // not being a regular file.
  m_fd.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (m_fd.fd < 0)
    throwFileError(m_name, std::string("cannot open the file: ") + std::strerror(errno));

  struct stat info {};
  if (::fstat(m_fd.fd, &info) != 0) throwReadError();
  if (S_ISDIR(info.st_mode)) throwFileError(m_name, "is a folder, not a replay file");
  if (!S_ISREG(info.st_mode)) throwFileError(m_name, "is not a regular file");

  m_size = info.st_size;
  if (m_size > kMaxReplayBytes)
    throw ReaderError(ErrorKind::too_large, std::nullopt,
                      m_name + ": the file is " + std::to_string(m_size) +
                          " bytes long; replays larger than " +
                          std::to_string(kMaxReplayBytes >> 20) + " MiB are refused");
  if (m_size == 0) ThrowEmptyFile(m_name);
}

ReplayFile::Descriptor::~Descriptor() {
  if (fd >= 0) ::close(fd);
}

void ReplayFile::close() {
  if (m_fd.fd >= 0) ::close(m_fd.fd);
  m_fd.fd = -1;
}

void ReplayFile::throwReadError() const {
  throwFileError(m_name, std::string("cannot read the file: ") + std::strerror(errno));
}

ReplayInfo ReadReplayBytes(std::span<const std::uint8_t> bytes, const std::string& file_name,
                           const AppendAction& append_action) {
  if (bytes.empty()) ThrowEmptyFile(file_name);
  ByteImage image(bytes, file_name);
  ReplayInfo replay;
  std::int64_t position = 0;
  ParseReplay(image, position, replay, append_action);
  return replay;
}

ReplayInfo ReadReplay(const std::filesystem::path& path, const AppendAction& append_action) {
  ReplayFile file(path);
  const std::int64_t size = file.size();
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
  std::int64_t filled = 0;
  while (filled < size) {
    const ssize_t got =
        ::read(file.fd(), buffer.get() + filled, static_cast<std::size_t>(size - filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      file.throwReadError();
    }
    if (got == 0) break;  // the file shrank while we read it: parse what is there
    filled += got;
  }
  file.close();

  return ReadReplayBytes({buffer.get(), static_cast<std::size_t>(filled)}, file.name(),
                         append_action);
}

}  // namespace zor_rep_reader
