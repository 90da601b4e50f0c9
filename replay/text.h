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

// 8-bit texts are Windows-1252, the code page of the Windows systems that
// write these files. Bytes 0x80 to 0x9F are its own letters and signs; the
// five it leaves undefined stay C1 controls, as Windows maps them. Every
// other byte x is U+00xx, as in ISO 8859-1.
inline void appendWindows1252(std::string& out, std::uint8_t byte) {
  static constexpr char16_t k80to9F[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  appendCodePoint(out, byte >= 0x80 && byte <= 0x9F ? k80to9F[byte - 0x80] : char32_t{byte});
}

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
