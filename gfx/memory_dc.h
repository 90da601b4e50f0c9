// An off-screen drawing surface: a memory device context with one bitmap
// selected into it. Callers size it, paint into it (pixel by pixel or with any
// drawing call on hDC()) and take independent picture snapshots of it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "gfx/platform.h"

namespace gfx {

// The one error CMemoryDC raises itself: a handle that is not a live bitmap.
class CMemoryDCError : public std::exception {
 public:
  CMemoryDCError(std::int32_t number, std::string source, std::string description);

  [[nodiscard]] const char* what() const noexcept override { return m_description.c_str(); }
  [[nodiscard]] std::int32_t number() const noexcept { return m_number; }
  [[nodiscard]] const std::string& source() const noexcept { return m_source; }
  [[nodiscard]] const std::string& description() const noexcept { return m_description; }

 private:
  std::int32_t m_number;
  std::string m_source;
  std::string m_description;
};

// 0x80040001 as a signed 32-bit number.
inline constexpr std::int32_t kInvalidHandleNumber = static_cast<std::int32_t>(0x80040001);

class CMemoryDC {
 public:
  // Creates the context with a 1 x 1 bitmap of its own.
  CMemoryDC();
  // Deselects the bitmap; deletes it only when the object made it and
  // TerminateKillsBitmap() is true. Deletes the context.
  ~CMemoryDC();
  CMemoryDC(const CMemoryDC&) = delete;
  CMemoryDC& operator=(const CMemoryDC&) = delete;

  // Adopts a bitmap the caller owns; it is never deleted by this object.
  // Throws CMemoryDCError for anything that is not a live bitmap.
  void sethBitmap(HBITMAP hBmp);
  [[nodiscard]] HBITMAP hBitmap() const { return m_hBitmap; }

  // Size writes set the requested size and make a new, black bitmap of it
  // (the old content is dropped); a size of 0 or less is only remembered.
  // Size reads give the real size of the current bitmap.
  void setHeight(std::int32_t NewVal);
  [[nodiscard]] std::int32_t Height() const { return m_BitmapInfo.bmHeight; }

  // Loads a copy of the picture's bitmap into a new surface of its size.
  // Throws CMemoryDCError for an empty picture or one without a live bitmap;
  // the object is then unchanged.
  void setPicture(const PictureRef& NewPict);
  // A new picture holding its own copy of the requested-size rectangle; an
  // empty reference when the picture cannot be made.
  [[nodiscard]] PictureRef Picture() const;

  // Row is x (from the left), Col is y (from the top). A colour with bit 31
  // set names a system colour by its index in the low bits.
  void setPixelColor(std::int32_t Row, std::int32_t Col, COLORREF NewColor);
  [[nodiscard]] COLORREF PixelColor(std::int32_t Row, std::int32_t Col) const;

  void setTerminateKillsBitmap(bool NewVal) { m_TerminateKillsBitmap = NewVal; }
  [[nodiscard]] bool TerminateKillsBitmap() const { return m_TerminateKillsBitmap; }

  void setWidth(std::int32_t NewVal);
  [[nodiscard]] std::int32_t Width() const { return m_BitmapInfo.bmWidth; }

  [[nodiscard]] HDC hDC() const { return m_hDC; }
  [[nodiscard]] std::int32_t bmType() const { return m_BitmapInfo.bmType; }
  [[nodiscard]] std::int32_t WidthBytes() const { return m_BitmapInfo.bmWidthBytes; }
  [[nodiscard]] std::int16_t Planes() const {
    return static_cast<std::int16_t>(m_BitmapInfo.bmPlanes);
  }
  [[nodiscard]] std::int16_t BitsPerPixel() const {
    return static_cast<std::int16_t>(m_BitmapInfo.bmBitsPixel);
  }
  [[nodiscard]] std::uint32_t Bits() const { return m_BitmapInfo.bmBits; }

 private:
  static COLORREF ResolveColor(COLORREF Color);
  void RecreateBitmap();
  void AttachBitmap(HBITMAP hBmp);
  void ReadBitmapInfo();

  BITMAP m_BitmapInfo{};
  HDC m_hDC = 0;
  HBITMAP m_hBitmap = 0;
  bool m_ExternalBitmap = false;
  HBITMAP m_hOldBitmap = 0;
  std::int32_t m_Width = 0;
  std::int32_t m_Height = 0;
  bool m_TerminateKillsBitmap = true;
};

}  // namespace gfx
