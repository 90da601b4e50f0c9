#include "gfx/memory_dc.h"

#include <utility>

namespace gfx {
namespace {

[[noreturn]] void throwInvalidHandle() {
  throw CMemoryDCError(kInvalidHandleNumber, "CMemoryDC.hBitmap", "Invalid handle.");
}

}  // namespace

CMemoryDCError::CMemoryDCError(std::int32_t number, std::string source, std::string description)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)) {}

CMemoryDC::CMemoryDC() {
  const HWND desktop = GetDesktopWindow();
  const HDC screen = GetDC(desktop);
  m_hDC = CreateCompatibleDC(screen);
  ReleaseDC(desktop, screen);
  m_Width = 1;
  m_Height = 1;
  RecreateBitmap();
  m_TerminateKillsBitmap = true;
}

CMemoryDC::~CMemoryDC() {
  if (m_hBitmap != 0) {
    SelectObject(m_hDC, m_hOldBitmap);
    if (!m_ExternalBitmap && m_TerminateKillsBitmap) {
      DeleteObject(m_hBitmap);
    }
  }
  DeleteDC(m_hDC);
}

void CMemoryDC::sethBitmap(HBITMAP hBmp) {
  BITMAP scratch{};
  if (GetObjectA(hBmp, sizeof scratch, &scratch) == 0) {
    throwInvalidHandle();
  }
  // Our own current bitmap is already in place; attaching it again would
  // delete it before selecting it.
  if (hBmp == m_hBitmap) {
    return;
  }
  AttachBitmap(hBmp);
}

void CMemoryDC::setHeight(std::int32_t NewVal) {
  m_Height = NewVal;
  RecreateBitmap();
}

void CMemoryDC::setWidth(std::int32_t NewVal) {
  m_Width = NewVal;
  RecreateBitmap();
}

void CMemoryDC::setPicture(const PictureRef& NewPict) {
  if (!NewPict) {
    throwInvalidHandle();
  }
  const HBITMAP handle = NewPict->handle();
  const bool shownHere = handle != 0 && handle == m_hBitmap;
  if (shownHere && !m_ExternalBitmap) {
    // Our own bitmap already holds the picture at its size; making a new one
    // would delete the bitmap the picture still refers to.
    m_Width = m_BitmapInfo.bmWidth;
    m_Height = m_BitmapInfo.bmHeight;
    return;
  }
  CMemoryDC source;
  if (shownHere) {
    // An attached bitmap cannot go into a second context while it is
    // selected here, so its pixels are copied out first.
    source.setHeight(Height());
    source.setWidth(Width());
    BitBlt(source.hDC(), 0, 0, Width(), Height(), m_hDC, 0, 0, SRCCOPY);
  } else {
    source.sethBitmap(handle);
  }
  m_Height = source.Height();
  m_Width = source.Width();
  RecreateBitmap();
  BitBlt(m_hDC, 0, 0, m_Width, m_Height, source.hDC(), 0, 0, SRCCOPY);
}

PictureRef CMemoryDC::Picture() const {
  HBITMAP copy = 0;
  {
    CMemoryDC snapshot;
    snapshot.setHeight(m_Height);
    snapshot.setWidth(m_Width);
    snapshot.setTerminateKillsBitmap(false);
    BitBlt(snapshot.hDC(), 0, 0, m_Width, m_Height, m_hDC, 0, 0, SRCCOPY);
    copy = snapshot.hBitmap();
  }
  PICTDESC desc;
  desc.cbSizeofstruct = sizeof(PICTDESC);
  desc.picType = PICTYPE_BITMAP;
  desc.hbitmap = copy;
  desc.hpal = 0;
  desc.reserved = 0;
  PictureRef picture;
  if (OleCreatePictureIndirect(&desc, true, &picture) != S_OK) {
    // Nobody took the copy; free it rather than leave it behind.
    DeleteObject(copy);
    return {};
  }
  return picture;
}

void CMemoryDC::setPixelColor(std::int32_t Row, std::int32_t Col, COLORREF NewColor) {
  SetPixel(m_hDC, Row, Col, ResolveColor(NewColor));
}

COLORREF CMemoryDC::PixelColor(std::int32_t Row, std::int32_t Col) const {
  return GetPixel(m_hDC, Row, Col);
}

COLORREF CMemoryDC::ResolveColor(COLORREF Color) {
  if ((Color & 0x80000000u) != 0) {
    return GetSysColor(static_cast<int>(Color & 0x7FFFFFFFu));
  }
  return Color;
}

void CMemoryDC::RecreateBitmap() {
  if (m_Width <= 0 || m_Height <= 0) {
    return;
  }
  if (m_hBitmap != 0) {
    SelectObject(m_hDC, m_hOldBitmap);
    if (!m_ExternalBitmap) {
      DeleteObject(m_hBitmap);
    }
  }
  const HWND desktop = GetDesktopWindow();
  const HDC screen = GetDC(desktop);
  m_hBitmap = CreateCompatibleBitmap(screen, m_Width, m_Height);
  m_hOldBitmap = SelectObject(m_hDC, m_hBitmap);
  ReleaseDC(desktop, screen);
  ReadBitmapInfo();
  m_ExternalBitmap = false;
}

void CMemoryDC::AttachBitmap(HBITMAP hBmp) {
  SelectObject(m_hDC, m_hOldBitmap);
  if (!m_ExternalBitmap) {
    DeleteObject(m_hBitmap);
  }
  m_hBitmap = hBmp;
  m_hOldBitmap = SelectObject(m_hDC, hBmp);
  ReadBitmapInfo();
  m_ExternalBitmap = true;
}

void CMemoryDC::ReadBitmapInfo() {
  // When there is no bitmap (its creation failed) the reads report an empty
  // surface, not the size of the bitmap that was just deleted.
  if (GetObjectA(m_hBitmap, sizeof m_BitmapInfo, &m_BitmapInfo) == 0) {
    m_BitmapInfo = BITMAP{};
  }
}

}  // namespace gfx
