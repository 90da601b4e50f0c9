#include "replay/replay.h"

#include <cstdio>

namespace zor_rep_reader {

std::string_view errorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::file:
      return "file";
    case ErrorKind::empty:
      return "empty";
    case ErrorKind::too_large:
      return "too_large";
    case ErrorKind::out_of_range:
      return "out_of_range";
  }
  return "file";
}

std::span<const std::uint8_t> ByteImage::range(std::int64_t first, std::int64_t count) const {
  if (count <= 0) return {};
  if (first < 0 || first >= size()) throwOutOfRange(first);
  if (count > size() - first) throwOutOfRange(size());
  return m_bytes.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
}

void ByteImage::throwOutOfRange(std::int64_t index) const {
  std::string where = m_section;
  if (m_player > 0) where += " of player " + std::to_string(m_player);
  char hex[24];
  std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(index));
  throw ReaderError(ErrorKind::out_of_range, index,
                    m_file_name + ": the file is cut short: it has " + std::to_string(size()) +
                        " bytes, but reading the " + where + " needs byte " +
                        std::to_string(index) + " (" + hex + ")");
}

}  // namespace zor_rep_reader
