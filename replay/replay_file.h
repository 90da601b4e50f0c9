// A replay file opened for reading, shared by the full read and the metadata read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "replay/reader_error.h"

namespace zor_rep_reader {

// Opens the file and checks it is one the reader takes: a regular file, not
// empty, not larger than kMaxReplayBytes. Throws ReaderError otherwise.
class ReplayFile {
 public:
  explicit ReplayFile(const std::filesystem::path& path);
  ReplayFile(const ReplayFile&) = delete;
  ReplayFile& operator=(const ReplayFile&) = delete;

  [[nodiscard]] int fd() const { return m_fd.fd; }
  [[nodiscard]] std::int64_t size() const { return m_size; }
  [[nodiscard]] const std::string& name() const { return m_name; }
  void close();

  // Throws the file error for a failed read, from errno.
  [[noreturn]] void throwReadError() const;

 private:
  // Closes the file also when the constructor throws.
  struct Descriptor {
    int fd = -1;
    ~Descriptor();
  };
  std::string m_name;
  Descriptor m_fd;
  std::int64_t m_size = 0;
};

// The error for a file of 0 bytes.
[[noreturn]] void ThrowEmptyFile(const std::string& name);

}  // namespace zor_rep_reader
