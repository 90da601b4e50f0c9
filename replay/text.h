// Turning the file's two kinds of text into UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace zor_rep_reader::text {

inline void appendCodePoint(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// 8-bit texts are ISO 8859-1: byte x is the character U+00xx.
inline void appendLatin1(std::string& out, std::uint8_t byte) { appendCodePoint(out, byte); }

// Collects UTF-16 code units one at a time. Surrogate pairs combine; a
// surrogate without its partner becomes U+FFFD.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(std::string& out) : m_out(out) {}
  ~Utf16Decoder() { finish(); }
  Utf16Decoder(const Utf16Decoder&) = delete;
  Utf16Decoder& operator=(const Utf16Decoder&) = delete;

  void add(char16_t unit) {
    if (unit >= 0xDC00 && unit <= 0xDFFF && m_high != 0) {
      appendCodePoint(m_out, 0x10000 + ((char32_t{m_high} - 0xD800) << 10) + (unit - 0xDC00));
      m_high = 0;
      return;
    }
    finish();
    if (unit >= 0xD800 && unit <= 0xDBFF)
      m_high = unit;
    else if (unit >= 0xDC00 && unit <= 0xDFFF)
      appendCodePoint(m_out, 0xFFFD);
    else
      appendCodePoint(m_out, unit);
  }

  // Flushes a high surrogate left waiting for its partner.
  void finish() {
    if (m_high != 0) appendCodePoint(m_out, 0xFFFD);
    m_high = 0;
  }

 private:
  std::string& m_out;
  char16_t m_high = 0;
};

}  // namespace zor_rep_reader::text
