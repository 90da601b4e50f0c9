#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace zor_rep_reader {

enum class ErrorKind {
  file,          // cannot open or read, or not a regular file
  empty,         // a file of 0 bytes
  too_large,     // larger than the reader accepts
  out_of_range,  // a byte the reader needs lies past the end of the file
};

[[nodiscard]] std::string_view errorKindName(ErrorKind kind);

// The one error type of the reader: what went wrong, where, and a message
// fit to show a user. Holds its own copy of everything it reports.
class ReaderError : public std::exception {
 public:
  ReaderError(ErrorKind kind, std::optional<std::int64_t> offset, std::string message)
      : m_kind(kind), m_offset(offset), m_message(std::move(message)) {}

  [[nodiscard]] ErrorKind kind() const { return m_kind; }
  [[nodiscard]] std::optional<std::int64_t> offset() const { return m_offset; }
  [[nodiscard]] const std::string& message() const { return m_message; }
  [[nodiscard]] const char* what() const noexcept override { return m_message.c_str(); }

 private:
  ErrorKind m_kind;
  std::optional<std::int64_t> m_offset;
  std::string m_message;
};

}  // namespace zor_rep_reader
