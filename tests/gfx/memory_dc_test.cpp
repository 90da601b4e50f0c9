#include "gfx/memory_dc.h"

#include <gtest/gtest.h>

#include <climits>

namespace gfx {
namespace {

bool IsLiveBitmap(HBITMAP handle) {
  BITMAP info{};
  return GetObjectA(handle, sizeof info, &info) != 0;
}

HBITMAP NewBitmap(int width, int height) {
  const HDC screen = GetDC(GetDesktopWindow());
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(GetDesktopWindow(), screen);
  return bitmap;
}

COLORREF Marker(int x, int y) {
  return static_cast<COLORREF>(x + 1) | static_cast<COLORREF>(y + 1) << 8 | 0x400000;
}

void ExpectInvalidHandle(const CMemoryDCError& error) {
  EXPECT_EQ(error.number(), -2147221503);
  EXPECT_EQ(error.source(), "CMemoryDC.hBitmap");
  EXPECT_EQ(error.description(), "Invalid handle.");
  EXPECT_STREQ(error.what(), "Invalid handle.");
}

TEST(MemoryDC, StartsWithAOneByOneBitmapOfItsOwn) {
  const CMemoryDC surface;
  EXPECT_EQ(surface.Width(), 1);
  EXPECT_EQ(surface.Height(), 1);
  EXPECT_NE(surface.hDC(), 0u);
  EXPECT_NE(surface.hBitmap(), 0u);
  EXPECT_TRUE(surface.TerminateKillsBitmap());
}

TEST(MemoryDC, EachSizeWriteMakesAFreshBitmapAndDeletesTheOldOne) {
  CMemoryDC surface;
  const HBITMAP initial = surface.hBitmap();
  surface.setWidth(64);
  EXPECT_EQ(surface.Width(), 64);
  EXPECT_EQ(surface.Height(), 1);
  const HBITMAP wide = surface.hBitmap();
  EXPECT_FALSE(IsLiveBitmap(initial));
  surface.setPixelColor(5, 0, 0x00ABCDEF);
  surface.setHeight(96);
  EXPECT_EQ(surface.Width(), 64);
  EXPECT_EQ(surface.Height(), 96);
  EXPECT_FALSE(IsLiveBitmap(wide));
  // The content does not survive a size change.
  EXPECT_EQ(surface.PixelColor(5, 0), 0u);
  const HDC dc = surface.hDC();
  surface.setWidth(10);
  EXPECT_EQ(surface.hDC(), dc);
}

class NonPositiveSize : public testing::TestWithParam<std::int32_t> {};

TEST_P(NonPositiveSize, IsRememberedButCreatesNothing) {
  CMemoryDC surface;
  surface.setWidth(20);
  surface.setHeight(10);
  surface.setPixelColor(2, 3, 0x00112233);
  const HBITMAP bitmap = surface.hBitmap();

  surface.setWidth(GetParam());
  EXPECT_EQ(surface.Width(), 20);
  EXPECT_EQ(surface.Height(), 10);
  EXPECT_EQ(surface.hBitmap(), bitmap);
  EXPECT_EQ(surface.PixelColor(2, 3), 0x00112233u);

  // The stored width still blocks creation on the next height write...
  surface.setHeight(30);
  EXPECT_EQ(surface.hBitmap(), bitmap);
  EXPECT_EQ(surface.Height(), 10);

  // ...until the width is positive again; the requested height is kept.
  surface.setWidth(5);
  EXPECT_NE(surface.hBitmap(), bitmap);
  EXPECT_EQ(surface.Width(), 5);
  EXPECT_EQ(surface.Height(), 30);

  surface.setHeight(GetParam());
  EXPECT_EQ(surface.Height(), 30);
}

INSTANTIATE_TEST_SUITE_P(Values, NonPositiveSize, testing::Values(0, -1, INT32_MIN));

TEST(MemoryDC, AFailedCreationReportsAnEmptySurface) {
  CMemoryDC surface;
  surface.setWidth(40000);
  surface.setHeight(40000);
  EXPECT_EQ(surface.hBitmap(), 0u);
  EXPECT_EQ(surface.Width(), 0);
  EXPECT_EQ(surface.Height(), 0);
  EXPECT_EQ(surface.Picture(), nullptr);
  surface.setWidth(3);
  surface.setHeight(2);
  EXPECT_NE(surface.hBitmap(), 0u);
  EXPECT_EQ(surface.Width(), 3);
}

TEST(MemoryDC, PixelColorTakesXBeforeY) {
  CMemoryDC surface;
  surface.setWidth(10);
  surface.setHeight(10);
  surface.setPixelColor(3, 7, 0x000000FF);
  EXPECT_EQ(GetPixel(surface.hDC(), 3, 7), 0x000000FFu);
  EXPECT_EQ(GetPixel(surface.hDC(), 7, 3), 0u);
  EXPECT_EQ(surface.PixelColor(3, 7), 0x000000FFu);
  EXPECT_EQ(surface.PixelColor(10, 0), CLR_INVALID);
  EXPECT_EQ(surface.PixelColor(-1, 0), CLR_INVALID);
}

TEST(MemoryDC, Bit31NamesASystemColour) {
  CMemoryDC surface;
  surface.setWidth(2);
  surface.setPixelColor(0, 0, 0x80000005u);
  surface.setPixelColor(1, 0, 0x8000000Fu);
  EXPECT_EQ(surface.PixelColor(0, 0), GetSysColor(5));
  EXPECT_EQ(surface.PixelColor(1, 0), GetSysColor(15));
  EXPECT_NE(GetSysColor(5), GetSysColor(15));
}

TEST(MemoryDC, ExternalBitmapGivesTheRealSizeWhilePicturesUseTheRequestedOne) {
  const HBITMAP external = NewBitmap(100, 50);
  {
    CMemoryDC surface;
    const HBITMAP own = surface.hBitmap();
    surface.sethBitmap(external);
    EXPECT_FALSE(IsLiveBitmap(own));
    EXPECT_EQ(surface.hBitmap(), external);
    EXPECT_EQ(surface.Width(), 100);
    EXPECT_EQ(surface.Height(), 50);
    surface.setPixelColor(99, 49, 0x00010203);
    const PictureRef picture = surface.Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width(), 1);
    EXPECT_EQ(picture->height(), 1);
    // A size change goes back to an own bitmap and leaves the external one.
    surface.setWidth(4);
    EXPECT_NE(surface.hBitmap(), external);
    EXPECT_TRUE(IsLiveBitmap(external));
    surface.sethBitmap(external);
  }
  // Still alive and no longer selected anywhere, so its owner can delete it.
  EXPECT_TRUE(IsLiveBitmap(external));
  EXPECT_TRUE(DeleteObject(external));
}

class ExternalSurvives : public testing::TestWithParam<bool> {};

TEST_P(ExternalSurvives, WhateverTerminateKillsBitmapSays) {
  const HBITMAP external = NewBitmap(3, 3);
  {
    CMemoryDC surface;
    surface.sethBitmap(external);
    surface.setTerminateKillsBitmap(GetParam());
  }
  EXPECT_TRUE(DeleteObject(external));
}

INSTANTIATE_TEST_SUITE_P(Flag, ExternalSurvives, testing::Bool());

TEST(MemoryDC, TerminateKillsBitmapFalseHandsTheOwnBitmapOver) {
  HBITMAP kept = 0;
  {
    CMemoryDC surface;
    surface.setWidth(6);
    surface.setHeight(2);
    surface.setPixelColor(5, 1, 0x00445566);
    surface.setTerminateKillsBitmap(false);
    EXPECT_FALSE(surface.TerminateKillsBitmap());
    kept = surface.hBitmap();
  }
  ASSERT_TRUE(IsLiveBitmap(kept));
  CMemoryDC reader;
  reader.sethBitmap(kept);
  EXPECT_EQ(reader.PixelColor(5, 1), 0x00445566u);
  reader.setWidth(1);  // deselects it again
  EXPECT_TRUE(DeleteObject(kept));
}

TEST(MemoryDC, PictureReadsAreIndependentCopies) {
  CMemoryDC surface;
  surface.setWidth(4);
  surface.setHeight(3);
  surface.setPixelColor(1, 2, 0x00FF0000);  // blue
  PictureRef first = surface.Picture();
  const PictureRef second = surface.Picture();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_NE(first->handle(), second->handle());
  EXPECT_NE(first->handle(), surface.hBitmap());

  const HBITMAP firstBitmap = first->handle();
  first.reset();
  EXPECT_FALSE(IsLiveBitmap(firstBitmap));

  surface.setPixelColor(1, 2, 0x000000FF);
  const QImage image = second->image();
  EXPECT_EQ(image.size(), QSize(4, 3));
  EXPECT_EQ(image.pixel(1, 2), qRgb(0, 0, 255));
  EXPECT_EQ(surface.PixelColor(1, 2), 0x000000FFu);
}

TEST(MemoryDC, PictureWriteLoadsACopyAtThePicturesSize) {
  PictureRef source;
  {
    CMemoryDC painter;
    painter.setWidth(32);
    painter.setHeight(16);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 32; ++x) {
        painter.setPixelColor(x, y, Marker(x, y));
      }
    }
    source = painter.Picture();
  }
  ASSERT_NE(source, nullptr);
  const QImage before = source->image();

  CMemoryDC surface;
  surface.setPicture(source);
  EXPECT_EQ(surface.Width(), 32);
  EXPECT_EQ(surface.Height(), 16);
  EXPECT_NE(surface.hBitmap(), source->handle());
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(surface.PixelColor(x, y), Marker(x, y)) << x << "," << y;
    }
  }
  surface.setPixelColor(0, 0, 0);
  EXPECT_EQ(source->image(), before);
  // The surface's bitmap is its own: a picture taken now is 32 x 16 too.
  const PictureRef again = surface.Picture();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->image().size(), QSize(32, 16));
}

// Writes that must fail with the invalid-handle error and leave the object as
// it was: which bitmap, its size, its pixels.
class InvalidHandleWrite : public testing::TestWithParam<int> {};

TEST_P(InvalidHandleWrite, FailsWithAllThreeFieldsAndChangesNothing) {
  CMemoryDC surface;
  surface.setWidth(5);
  surface.setHeight(4);
  surface.setPixelColor(4, 3, 0x00ABCDEF);
  const HBITMAP bitmap = surface.hBitmap();
  const HBITMAP stale = NewBitmap(2, 2);
  DeleteObject(stale);
  const CMemoryDC other;

  const auto write = [&] {
    switch (GetParam()) {
      case 0: surface.sethBitmap(0); break;
      case 1: surface.sethBitmap(stale); break;
      case 2: surface.sethBitmap(other.hDC()); break;
      case 3: surface.sethBitmap(0xFFFFFF00u); break;
      case 4: surface.setPicture(nullptr); break;
      default: surface.setPicture(std::make_shared<OlePicture>(stale, false)); break;
    }
  };
  try {
    write();
    ADD_FAILURE() << "no error";
  } catch (const CMemoryDCError& error) {
    ExpectInvalidHandle(error);
  }
  EXPECT_EQ(surface.hBitmap(), bitmap);
  EXPECT_EQ(surface.Width(), 5);
  EXPECT_EQ(surface.Height(), 4);
  EXPECT_EQ(surface.PixelColor(4, 3), 0x00ABCDEFu);
  EXPECT_TRUE(IsLiveBitmap(bitmap));
}

INSTANTIATE_TEST_SUITE_P(Cases, InvalidHandleWrite, testing::Range(0, 6));

// Writing as a picture the bitmap the object shows now, its own or one
// attached through hBitmap, deletes nothing still in use and leaves an own
// bitmap of the picture's size holding its pixels.
class PictureOfTheShownBitmap : public testing::TestWithParam<bool> {};

TEST_P(PictureOfTheShownBitmap, LeavesAnOwnBitmapOfThePicturesSize) {
  const bool attached = GetParam();
  const HBITMAP external = NewBitmap(32, 16);
  CMemoryDC surface;
  if (attached) {
    surface.sethBitmap(external);
  } else {
    surface.setWidth(32);
    surface.setHeight(16);
  }
  surface.setPixelColor(31, 15, 0x00123456);
  const HBITMAP shown = surface.hBitmap();
  surface.setPicture(std::make_shared<OlePicture>(shown, false));
  EXPECT_TRUE(IsLiveBitmap(shown));
  EXPECT_EQ(surface.hBitmap() != shown, attached);
  EXPECT_EQ(surface.PixelColor(31, 15), 0x00123456u);
  const PictureRef snapshot = surface.Picture();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(snapshot->image().size(), QSize(32, 16));
  surface.setWidth(4);  // an own bitmap is deleted when replaced
  EXPECT_EQ(IsLiveBitmap(shown), attached);
  DeleteObject(external);
}

INSTANTIATE_TEST_SUITE_P(MemoryDC, PictureOfTheShownBitmap, testing::Bool());

TEST(MemoryDC, ALifeOfUseLeavesNoHandleBehind) {
  GetDesktopWindow();
  const std::size_t start = LiveHandleCount();
  {
    PictureRef badge;
    PictureRef copy;
    {
      CMemoryDC surface;
      surface.setHeight(96);
      surface.setWidth(64);
      for (int y = 0; y < 96; ++y) {
        SetPixel(surface.hDC(), y % 64, y, Marker(y % 64, y));
      }
      StretchBlt(surface.hDC(), 0, 0, 64, 96, surface.hDC(), 0, 96, 64, -96, SRCCOPY);
      badge = surface.Picture();
      const PictureRef dropped = surface.Picture();
      const HBITMAP external = NewBitmap(8, 8);
      surface.sethBitmap(external);
      surface.setPicture(badge);
      copy = surface.Picture();
      DeleteObject(external);
    }
    ASSERT_NE(badge, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(badge->image(), copy->image());
    EXPECT_GT(LiveHandleCount(), start);
  }
  EXPECT_EQ(LiveHandleCount(), start);
}

}  // namespace
}  // namespace gfx
