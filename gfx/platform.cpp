#include "gfx/platform.h"

#include <QRgb>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace gfx {
namespace {

enum class Kind { Window, ScreenDC, MemoryDC, Bitmap };

// One entry of the handle table. Only the fields of its kind are used.
struct Object {
  Kind kind = Kind::Bitmap;
  // Bitmap: its pixels, the context it is selected into (0 when none) and,
  // for the initial bitmap of a memory context, that context.
  QImage pixels;
  HDC selectedInto = 0;
  HDC initialOf = 0;
  // Memory context: the bitmap selected now and the one it was created with.
  HBITMAP selected = 0;
  HBITMAP initial = 0;
  // Screen context: the window it was borrowed from.
  HWND window = 0;
};

// Bitmaps larger than this are refused, as a display driver would refuse
// them, so that a wild size fails cleanly instead of exhausting memory.
constexpr int kMaxSide = 32767;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;  // 1 GiB of pixels

constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000E);

class HandleTable {
 public:
  HandleTable() {
    Object desktop;
    desktop.kind = Kind::Window;
    m_desktop = add(std::move(desktop));
  }

  std::mutex mutex;

  // The caller holds `mutex`. Handles only ever count up, so a freed handle
  // is never issued again; 0 means the numbers ran out.
  HANDLE add(Object object) {
    if (m_next == 0) {
      return 0;
    }
    const HANDLE handle = m_next++;
    m_objects.emplace(handle, std::move(object));
    return handle;
  }

  Object* find(HANDLE handle, Kind kind) {
    const auto it = m_objects.find(handle);
    return it != m_objects.end() && it->second.kind == kind ? &it->second : nullptr;
  }

  void remove(HANDLE handle) { m_objects.erase(handle); }
  [[nodiscard]] std::size_t size() const { return m_objects.size(); }
  [[nodiscard]] HWND desktop() const { return m_desktop; }

 private:
  // Node-based, so pointers to entries stay valid while others come and go.
  std::unordered_map<HANDLE, Object> m_objects;
  HANDLE m_next = 1;
  HWND m_desktop = 0;
};

HandleTable& table() {
  static HandleTable instance;
  return instance;
}

// The pixels of the bitmap selected into a memory context; the caller holds
// the table's lock.
QImage* surfaceOf(HandleTable& handles, HDC dc) {
  Object* context = handles.find(dc, Kind::MemoryDC);
  if (context == nullptr) {
    return nullptr;
  }
  Object* bitmap = handles.find(context->selected, Kind::Bitmap);
  return bitmap != nullptr ? &bitmap->pixels : nullptr;
}

QRgb toRgb(COLORREF color) {
  return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
              static_cast<int>((color >> 16) & 0xFF));
}

COLORREF toColorRef(QRgb rgb) {
  return static_cast<COLORREF>(qRed(rgb)) | static_cast<COLORREF>(qGreen(rgb)) << 8 |
         static_cast<COLORREF>(qBlue(rgb)) << 16;
}

// The range [first, last) of steps i along one axis of a blit, 0 <= i < extent,
// whose target coordinate (origin + i going forwards, origin - 1 - i going
// backwards) lies inside [0, limit).
std::pair<std::int64_t, std::int64_t> visibleSteps(std::int64_t origin, bool forwards,
                                                   std::int64_t extent, std::int64_t limit) {
  std::int64_t first = 0;
  std::int64_t last = extent;
  if (forwards) {
    first = std::max<std::int64_t>(first, -origin);
    last = std::min(last, limit - origin);
  } else {
    first = std::max(first, origin - limit);
    last = std::min(last, origin);
  }
  return {first, std::max(first, last)};
}

// Copies a source rectangle onto a destination rectangle, scaling with the
// nearest pixel. A negative extent runs that axis backwards from its origin
// (columns x - 1 down to x + width), which is how mirroring is asked for.
// Pixels that fall outside either bitmap are left alone.
bool blit(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int swidth,
          int sheight, std::uint32_t rop) {
  if (rop != SRCCOPY) {
    return false;
  }
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  QImage* target = surfaceOf(handles, dest);
  const QImage* origin = surfaceOf(handles, source);
  if (target == nullptr || origin == nullptr) {
    return false;
  }
  const std::int64_t w = std::abs(std::int64_t{width});
  const std::int64_t h = std::abs(std::int64_t{height});
  const std::int64_t sw = std::abs(std::int64_t{swidth});
  const std::int64_t sh = std::abs(std::int64_t{sheight});
  if (w == 0 || h == 0 || sw == 0 || sh == 0) {
    return true;
  }
  // A shallow copy of the source: when source and target are one bitmap, the
  // first write below detaches the target, so every read sees the pixels as
  // they were before the copy began.
  const QImage from = *origin;
  const auto [rowFirst, rowLast] = visibleSteps(y, height > 0, h, target->height());
  const auto [colFirst, colLast] = visibleSteps(x, width > 0, w, target->width());
  if (w == sw && h == sh && width > 0 && swidth > 0) {
    // Same size, left to right: whole row pieces at a time (a plain copy or a
    // top-to-bottom mirror).
    const std::int64_t first = std::max(colFirst, std::int64_t{0} - sx);
    const std::int64_t last = std::min(colLast, std::int64_t{from.width()} - sx);
    if (first >= last) {
      return true;
    }
    for (std::int64_t i = rowFirst; i < rowLast; ++i) {
      const std::int64_t fromRow = sheight > 0 ? sy + i : sy - 1 - i;
      if (fromRow < 0 || fromRow >= from.height()) {
        continue;
      }
      const std::int64_t toRow = height > 0 ? y + i : y - 1 - i;
      const auto* in = reinterpret_cast<const QRgb*>(from.constScanLine(static_cast<int>(fromRow)));
      auto* out = reinterpret_cast<QRgb*>(target->scanLine(static_cast<int>(toRow)));
      std::memcpy(out + x + first, in + sx + first,
                  static_cast<std::size_t>(last - first) * sizeof(QRgb));
    }
    return true;
  }
  for (std::int64_t i = rowFirst; i < rowLast; ++i) {
    const std::int64_t j = (2 * i + 1) * sh / (2 * h);
    const std::int64_t fromRow = sheight > 0 ? sy + j : sy - 1 - j;
    if (fromRow < 0 || fromRow >= from.height()) {
      continue;
    }
    const std::int64_t toRow = height > 0 ? y + i : y - 1 - i;
    const auto* in = reinterpret_cast<const QRgb*>(from.constScanLine(static_cast<int>(fromRow)));
    auto* out = reinterpret_cast<QRgb*>(target->scanLine(static_cast<int>(toRow)));
    for (std::int64_t k = colFirst; k < colLast; ++k) {
      const std::int64_t m = (2 * k + 1) * sw / (2 * w);
      const std::int64_t fromCol = swidth > 0 ? sx + m : sx - 1 - m;
      if (fromCol < 0 || fromCol >= from.width()) {
        continue;
      }
      const std::int64_t toCol = width > 0 ? x + k : x - 1 - k;
      out[toCol] = in[fromCol];
    }
  }
  return true;
}

// The classic "Windows Standard" scheme of Windows 95/98/NT 4, as 0x00BBGGRR,
// by system colour index:
//   0 COLOR_SCROLLBAR           192 192 192    16 COLOR_BTNSHADOW           128 128 128
//   1 COLOR_BACKGROUND            0 128 128    17 COLOR_GRAYTEXT            128 128 128
//   2 COLOR_ACTIVECAPTION         0   0 128    18 COLOR_BTNTEXT               0   0   0
//   3 COLOR_INACTIVECAPTION     128 128 128    19 COLOR_INACTIVECAPTIONTEXT 192 192 192
//   4 COLOR_MENU                192 192 192    20 COLOR_BTNHIGHLIGHT        255 255 255
//   5 COLOR_WINDOW              255 255 255    21 COLOR_3DDKSHADOW            0   0   0
//   6 COLOR_WINDOWFRAME           0   0   0    22 COLOR_3DLIGHT             192 192 192
//   7 COLOR_MENUTEXT              0   0   0    23 COLOR_INFOTEXT              0   0   0
//   8 COLOR_WINDOWTEXT            0   0   0    24 COLOR_INFOBK              255 255 225
//   9 COLOR_CAPTIONTEXT         255 255 255    25 (alternate button face)   180 180 180
//  10 COLOR_ACTIVEBORDER        192 192 192    26 COLOR_HOTLIGHT              0   0 255
//  11 COLOR_INACTIVEBORDER      192 192 192    27 COLOR_GRADIENTACTIVECAPTION   16 132 208
//  12 COLOR_APPWORKSPACE        128 128 128    28 COLOR_GRADIENTINACTIVECAPTION 181 181 181
//  13 COLOR_HIGHLIGHT             0   0 128    29 COLOR_MENUHILIGHT           0   0 128
//  14 COLOR_HIGHLIGHTTEXT       255 255 255    30 COLOR_MENUBAR             192 192 192
//  15 COLOR_BTNFACE             192 192 192
// (red green blue). The entries from 25 on came with Windows 98/2000; they
// take that era's defaults matching this scheme.
constexpr std::array<COLORREF, 31> kSystemColors = {
    0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
    0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xC0C0C0, 0x000000,
    0xE1FFFF, 0xB4B4B4, 0xFF0000, 0xD08410, 0xB5B5B5, 0x800000, 0xC0C0C0,
};

}  // namespace

OlePicture::OlePicture(HBITMAP bitmap, bool owns) : m_handle(bitmap), m_owns(owns) {}

OlePicture::~OlePicture() {
  if (m_owns) {
    DeleteObject(m_handle);
  }
}

int OlePicture::width() const {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* bitmap = handles.find(m_handle, Kind::Bitmap);
  return bitmap != nullptr ? bitmap->pixels.width() : 0;
}

int OlePicture::height() const {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* bitmap = handles.find(m_handle, Kind::Bitmap);
  return bitmap != nullptr ? bitmap->pixels.height() : 0;
}

QImage OlePicture::image() const {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* bitmap = handles.find(m_handle, Kind::Bitmap);
  // A deep copy, so the caller's image never shares a buffer that another
  // thread may be writing into under the lock.
  return bitmap != nullptr ? bitmap->pixels.copy() : QImage();
}

HWND GetDesktopWindow() {
  return table().desktop();
}

HDC GetDC(HWND window) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  // There is no screen here; the desktop window (or none, which means the
  // screen as well) lends a context that only serves as a template.
  if (window != 0 && handles.find(window, Kind::Window) == nullptr) {
    return 0;
  }
  Object screen;
  screen.kind = Kind::ScreenDC;
  screen.window = window;
  return handles.add(std::move(screen));
}

int ReleaseDC(HWND window, HDC dc) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* screen = handles.find(dc, Kind::ScreenDC);
  if (screen == nullptr || screen->window != window) {
    return 0;
  }
  handles.remove(dc);
  return 1;
}

HDC CreateCompatibleDC(HDC dc) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  if (dc != 0 && handles.find(dc, Kind::ScreenDC) == nullptr &&
      handles.find(dc, Kind::MemoryDC) == nullptr) {
    return 0;
  }
  // Every memory context starts with a 1 x 1 bitmap of its own, which
  // SelectObject hands back when another bitmap goes in.
  Object initial;
  initial.kind = Kind::Bitmap;
  initial.pixels = QImage(1, 1, QImage::Format_RGB32);
  initial.pixels.fill(Qt::black);
  const HBITMAP initialHandle = handles.add(std::move(initial));
  if (initialHandle == 0) {
    return 0;
  }
  Object context;
  context.kind = Kind::MemoryDC;
  context.selected = initialHandle;
  context.initial = initialHandle;
  const HDC handle = handles.add(std::move(context));
  if (handle == 0) {
    handles.remove(initialHandle);
    return 0;
  }
  Object* bitmap = handles.find(initialHandle, Kind::Bitmap);
  bitmap->selectedInto = handle;
  bitmap->initialOf = handle;
  return handle;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      std::int64_t{width} * height > kMaxPixels) {
    return 0;
  }
  {
    HandleTable& handles = table();
    const std::lock_guard lock(handles.mutex);
    if (handles.find(dc, Kind::ScreenDC) == nullptr &&
        handles.find(dc, Kind::MemoryDC) == nullptr) {
      return 0;
    }
  }
  // Allocate and clear outside the lock: it is the slow part.
  Object bitmap;
  bitmap.kind = Kind::Bitmap;
  bitmap.pixels = QImage(width, height, QImage::Format_RGB32);
  if (bitmap.pixels.isNull()) {
    return 0;
  }
  bitmap.pixels.fill(Qt::black);
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  return handles.add(std::move(bitmap));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  Object* context = handles.find(dc, Kind::MemoryDC);
  Object* bitmap = handles.find(object, Kind::Bitmap);
  if (context == nullptr || bitmap == nullptr) {
    return 0;
  }
  // A bitmap can be selected into one context at a time.
  if (bitmap->selectedInto != 0 && bitmap->selectedInto != dc) {
    return 0;
  }
  const HBITMAP previous = context->selected;
  if (Object* old = handles.find(previous, Kind::Bitmap); old != nullptr) {
    old->selectedInto = 0;
  }
  context->selected = object;
  bitmap->selectedInto = dc;
  return previous;
}

bool DeleteObject(HGDIOBJ object) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* bitmap = handles.find(object, Kind::Bitmap);
  // A bitmap still selected somewhere, or the initial bitmap of a live
  // context, cannot go; contexts and windows have their own calls.
  if (bitmap == nullptr || bitmap->selectedInto != 0 || bitmap->initialOf != 0) {
    return false;
  }
  handles.remove(object);
  return true;
}

bool DeleteDC(HDC dc) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* context = handles.find(dc, Kind::MemoryDC);
  if (context == nullptr) {
    return false;
  }
  if (Object* current = handles.find(context->selected, Kind::Bitmap); current != nullptr) {
    current->selectedInto = 0;
  }
  if (Object* initial = handles.find(context->initial, Kind::Bitmap); initial != nullptr) {
    if (initial->selectedInto == 0) {
      handles.remove(context->initial);
    } else {
      // Someone selected it elsewhere: it becomes an ordinary bitmap of theirs.
      initial->initialOf = 0;
    }
  }
  handles.remove(dc);
  return true;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const Object* bitmap = handles.find(object, Kind::Bitmap);
  if (bitmap == nullptr) {
    return 0;
  }
  constexpr int kSize = static_cast<int>(sizeof(BITMAP));
  if (out == nullptr) {
    return kSize;
  }
  if (size < kSize) {
    return 0;
  }
  BITMAP info;
  info.bmType = 0;
  info.bmWidth = bitmap->pixels.width();
  info.bmHeight = bitmap->pixels.height();
  info.bmWidthBytes = 4 * info.bmWidth;
  info.bmPlanes = 1;
  info.bmBitsPixel = 32;
  info.bmBits = 0;
  std::memcpy(out, &info, sizeof info);
  return kSize;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  QImage* surface = surfaceOf(handles, dc);
  if (surface == nullptr || x < 0 || y < 0 || x >= surface->width() || y >= surface->height()) {
    return CLR_INVALID;
  }
  reinterpret_cast<QRgb*>(surface->scanLine(y))[x] = toRgb(color);
  return color & 0x00FFFFFF;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  const QImage* surface = surfaceOf(handles, dc);
  if (surface == nullptr || x < 0 || y < 0 || x >= surface->width() || y >= surface->height()) {
    return CLR_INVALID;
  }
  return toColorRef(reinterpret_cast<const QRgb*>(surface->constScanLine(y))[x]);
}

bool BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
            std::uint32_t rop) {
  // A plain copy runs forwards on both axes; negative sizes copy nothing.
  if (width <= 0 || height <= 0) {
    width = 0;
    height = 0;
  }
  return blit(dest, x, y, width, height, source, sx, sy, width, height, rop);
}

bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
                int swidth, int sheight, std::uint32_t rop) {
  return blit(dest, x, y, width, height, source, sx, sy, swidth, sheight, rop);
}

COLORREF GetSysColor(int index) {
  if (index < 0 || index >= static_cast<int>(kSystemColors.size())) {
    return 0;
  }
  return kSystemColors[static_cast<std::size_t>(index)];
}

HRESULT OleCreatePictureIndirect(const PICTDESC* desc, bool owns, PictureRef* picture) {
  if (picture == nullptr) {
    return E_INVALIDARG;
  }
  picture->reset();
  if (desc == nullptr || desc->cbSizeofstruct != sizeof(PICTDESC) ||
      desc->picType != PICTYPE_BITMAP) {
    return E_INVALIDARG;
  }
  {
    HandleTable& handles = table();
    const std::lock_guard lock(handles.mutex);
    if (handles.find(desc->hbitmap, Kind::Bitmap) == nullptr) {
      return E_INVALIDARG;
    }
  }
  try {
    *picture = std::make_shared<OlePicture>(desc->hbitmap, owns);
  } catch (const std::bad_alloc&) {
    // No picture took the handle, so it stays the caller's.
    return kOutOfMemory;
  }
  return S_OK;
}

int SetBottomUpPixels(HDC dc, int width, int height, const std::uint8_t* records) {
  if (records == nullptr || width <= 0 || height <= 0) {
    return 0;
  }
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  QImage* surface = surfaceOf(handles, dc);
  if (surface == nullptr || surface->width() != width || surface->height() != height) {
    return 0;
  }
  // A record's bytes blue, green, red, unused read as a little-endian 32-bit
  // word are already 0x??RRGGBB; only the top byte needs setting.
  const auto stride = static_cast<std::size_t>(width) * 4;
  std::uint8_t* bits = surface->bits();
  const auto bytesPerLine = static_cast<std::size_t>(surface->bytesPerLine());
  for (int r = 0; r < height; ++r) {
    const std::uint8_t* record = records + static_cast<std::size_t>(r) * stride;
    auto* line = reinterpret_cast<std::uint32_t*>(
        bits + static_cast<std::size_t>(height - 1 - r) * bytesPerLine);
    for (int c = 0; c < width; ++c, record += 4) {
      std::uint32_t word;
      std::memcpy(&word, record, 4);
      line[c] = qFromLittleEndian(word) | 0xFF000000u;
    }
  }
  return height;
}

std::size_t LiveHandleCount() {
  HandleTable& handles = table();
  const std::lock_guard lock(handles.mutex);
  return handles.size();
}

}  // namespace gfx
