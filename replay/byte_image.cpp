#include <algorithm>
#include <cstdio>

#include "replay/replay.h"

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

namespace {

// The most a read from a source fetches at once; a player block's head up to
// its picture names usually fits.
constexpr std::int64_t kLongestRead = 512;

}  // namespace

std::span<const std::uint8_t> ByteImage::range(std::int64_t first, std::int64_t count) const {
  if (count <= 0) return {};
  if (first < 0 || first >= size()) throwOutOfRange(first);
  if (count > size() - first) throwOutOfRange(size());
  const std::int64_t offset = first - m_window_first;
  if (offset < 0 || offset + count > static_cast<std::int64_t>(m_window.size())) {
    m_buffer.resize(static_cast<std::size_t>(std::max(count, kLongestRead)));
    const std::span<std::uint8_t> out(m_buffer.data(), static_cast<std::size_t>(count));
    m_source->read(first, out);
    m_fetched += count;
    m_window = out;
    m_window_first = first;
    return m_window;
  }
  return m_window.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}

// Only an image over a source gets here with an index inside the file: it
// fetches a short stretch from the index on, stopping short of the read limit.
std::uint8_t ByteImage::fetch(std::int64_t index) const {
  if (index < 0 || index >= size() || m_source == nullptr) throwOutOfRange(index);
  std::int64_t end =
      index < m_read_limit ? std::min(m_read_limit, index + kLongestRead) : index + kShortRead;
  end = std::min(end, size());
  m_buffer.resize(static_cast<std::size_t>(kLongestRead));
  const std::span<std::uint8_t> out(m_buffer.data(), static_cast<std::size_t>(end - index));
  m_source->read(index, out);
  m_fetched += end - index;
  m_window = out;
  m_window_first = index;
  return out[0];
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
