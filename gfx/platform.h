// A small stand-in for the handful of Windows GDI, USER and OLE picture calls
// that CMemoryDC is written against. Handles are non-zero 32-bit numbers from
// one process-wide table; bitmaps are 32-bit-per-pixel surfaces.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace gfx {

using HANDLE = std::uint32_t;
using HWND = HANDLE;
using HDC = HANDLE;
using HBITMAP = HANDLE;
using HGDIOBJ = HANDLE;
using HPALETTE = HANDLE;
using COLORREF = std::uint32_t;  // 0x00BBGGRR
using HRESULT = std::int32_t;

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr std::uint32_t PICTYPE_BITMAP = 1;

// The 24-byte record GetObjectA fills for a bitmap.
struct BITMAP {
  std::int32_t bmType = 0;
  std::int32_t bmWidth = 0;
  std::int32_t bmHeight = 0;
  std::int32_t bmWidthBytes = 0;
  std::uint16_t bmPlanes = 0;
  std::uint16_t bmBitsPixel = 0;
  std::uint32_t bmBits = 0;
};
static_assert(sizeof(BITMAP) == 24);

// The 20-byte description OleCreatePictureIndirect takes.
struct PICTDESC {
  std::uint32_t cbSizeofstruct = sizeof(PICTDESC);
  std::uint32_t picType = 0;
  HBITMAP hbitmap = 0;
  HPALETTE hpal = 0;
  std::uint32_t reserved = 0;
};
static_assert(sizeof(PICTDESC) == 20);

// A picture object: wraps one bitmap handle and, when it owns it, deletes the
// bitmap when the last reference goes.
class OlePicture {
 public:
  OlePicture(HBITMAP bitmap, bool owns);
  ~OlePicture();
  OlePicture(const OlePicture&) = delete;
  OlePicture& operator=(const OlePicture&) = delete;

  // The bitmap handle, as the platform picture's Handle property gives it.
  [[nodiscard]] HBITMAP handle() const { return m_handle; }
  [[nodiscard]] int width() const;
  [[nodiscard]] int height() const;
  // A copy of the pixels, top row first; null when the bitmap is gone.
  [[nodiscard]] QImage image() const;

 private:
  HBITMAP m_handle;
  bool m_owns;
};

using PictureRef = std::shared_ptr<OlePicture>;

HWND GetDesktopWindow();
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
bool DeleteObject(HGDIOBJ object);
bool DeleteDC(HDC dc);
int GetObjectA(HGDIOBJ object, int size, void* out);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC dc, int x, int y);
bool BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
            std::uint32_t rop);
// Only same-size copies, optionally mirrored top to bottom (a negative source
// height); any other shape is refused.
bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
                int swidth, int sheight, std::uint32_t rop);
COLORREF GetSysColor(int index);
HRESULT OleCreatePictureIndirect(const PICTDESC* desc, bool owns, PictureRef* picture);

// Writes rows of 4-byte pixel records (blue, green, red, unused) into the
// bitmap selected into `dc`, bottom row first, as a bottom-up device
// independent bitmap is laid out. `records` holds width * height records.
// Returns the number of rows written (0 when `dc` holds no bitmap of that size).
int SetBottomUpPixels(HDC dc, int width, int height, const std::uint8_t* records);

// How many handles (contexts, bitmaps, the desktop window) are live now.
[[nodiscard]] std::size_t LiveHandleCount();

}  // namespace gfx
