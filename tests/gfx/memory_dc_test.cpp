#include "gfx/memory_dc.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace gfx {
namespace {

bool IsLiveBitmap(HBITMAP handle) {
  BITMAP info{};
  return GetObjectA(handle, sizeof info, &info) != 0;
}

QSize SizeOf(const CMemoryDC& surface) { return {surface.Width(), surface.Height()}; }

HBITMAP NewBitmap(int width, int height) {
  const HDC screen = GetDC(GetDesktopWindow());
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(GetDesktopWindow(), screen);
  return bitmap;
}

TEST(MemoryDC, SizeWritesMakeAFreshBitmapAndDeleteTheOldOne) {
  CMemoryDC surface;
  EXPECT_EQ(surface.Width() * surface.Height(), 1);
  EXPECT_TRUE(surface.TerminateKillsBitmap());
  const HBITMAP initial = surface.hBitmap();
  const HDC dc = surface.hDC();
  surface.setWidth(64);
  EXPECT_EQ(SizeOf(surface), QSize(64, 1));
  EXPECT_FALSE(IsLiveBitmap(initial));
  const HBITMAP wide = surface.hBitmap();
  surface.setPixelColor(5, 0, 0x00ABCDEF);
  surface.setHeight(96);
  EXPECT_EQ(surface.Height(), 96);
  EXPECT_FALSE(IsLiveBitmap(wide));
  EXPECT_EQ(surface.PixelColor(5, 0), 0u);  // the content does not survive
  EXPECT_EQ(surface.hDC(), dc);
  surface.setWidth(40000);  // larger than a bitmap may be: creation fails
  EXPECT_EQ(surface.hBitmap(), 0u);
  EXPECT_EQ(surface.Width(), 0);
  EXPECT_EQ(surface.Picture(), nullptr);
}

class NonPositiveSize : public testing::TestWithParam<std::int32_t> {};

TEST_P(NonPositiveSize, IsRememberedButCreatesNothing) {
  CMemoryDC surface;
  surface.setWidth(20);
  surface.setHeight(10);
  surface.setPixelColor(2, 3, 0x00112233);
  const HBITMAP bitmap = surface.hBitmap();
  surface.setWidth(GetParam());
  EXPECT_EQ(surface.PixelColor(2, 3), 0x00112233u);
  // The stored width still blocks the next height write...
  surface.setHeight(30);
  EXPECT_EQ(surface.hBitmap(), bitmap);
  EXPECT_EQ(SizeOf(surface), QSize(20, 10));
  // ...until the width is positive again; the requested height is kept.
  surface.setWidth(5);
  EXPECT_NE(surface.hBitmap(), bitmap);
  EXPECT_EQ(SizeOf(surface), QSize(5, 30));
  surface.setHeight(GetParam());
  EXPECT_EQ(surface.Height(), 30);
}

INSTANTIATE_TEST_SUITE_P(Values, NonPositiveSize, testing::Values(0, -1, INT32_MIN));

TEST(MemoryDC, PixelColorTakesXBeforeYAndBit31NamesASystemColour) {
  CMemoryDC surface;
  surface.setWidth(10);
  surface.setHeight(10);
  surface.setPixelColor(3, 7, 0x000000FF);
  EXPECT_EQ(GetPixel(surface.hDC(), 3, 7), 0x000000FFu);
  EXPECT_EQ(surface.PixelColor(7, 3), 0u);
  EXPECT_EQ(surface.PixelColor(10, 0), CLR_INVALID);
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
    EXPECT_EQ(SizeOf(surface), QSize(100, 50));
    const PictureRef picture = surface.Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->image().size(), QSize(1, 1));
    // A size change goes back to an own bitmap and leaves the external one.
    surface.setWidth(4);
    EXPECT_NE(surface.hBitmap(), external);
    EXPECT_TRUE(IsLiveBitmap(external));
    surface.sethBitmap(external);
  }
  EXPECT_TRUE(DeleteObject(external));  // alive, and selected nowhere
}

TEST(MemoryDC, TerminateKillsBitmapFalseHandsTheOwnBitmapOver) {
  HBITMAP kept = 0;
  {
    CMemoryDC surface;
    surface.setWidth(6);
    surface.setPixelColor(5, 0, 0x00445566);
    surface.setTerminateKillsBitmap(false);
    kept = surface.hBitmap();
  }
  CMemoryDC reader;
  reader.sethBitmap(kept);
  EXPECT_EQ(reader.PixelColor(5, 0), 0x00445566u);
  reader.setWidth(1);  // deselects it again
  EXPECT_TRUE(DeleteObject(kept));
}

TEST(MemoryDC, PictureReadsAreIndependentCopiesAndAWriteLoadsOne) {
  const std::size_t handles = LiveHandleCount();
  {
    CMemoryDC surface;
    surface.setWidth(32);
    surface.setHeight(16);
    surface.setPixelColor(31, 15, 0x00FF0000);
    PictureRef first = surface.Picture();
    const PictureRef second = surface.Picture();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->handle(), second->handle());
    EXPECT_NE(first->handle(), surface.hBitmap());
    const HBITMAP released = first->handle();
    first.reset();
    EXPECT_FALSE(IsLiveBitmap(released));
    surface.setPixelColor(31, 15, 0x000000FF);
    EXPECT_EQ(second->image().pixel(31, 15), qRgb(0, 0, 255));

    CMemoryDC loaded;
    loaded.setPicture(second);
    EXPECT_EQ(SizeOf(loaded), QSize(32, 16));
    EXPECT_EQ(loaded.PixelColor(31, 15), 0x00FF0000u);
    loaded.setPixelColor(31, 15, 0);
    EXPECT_EQ(second->image().pixel(31, 15), qRgb(0, 0, 255));
    EXPECT_EQ(loaded.Picture()->image().size(), QSize(32, 16));
  }
  EXPECT_EQ(LiveHandleCount(), handles);
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
  try {
    if (GetParam() < 3)
      surface.sethBitmap(std::array<HGDIOBJ, 3>{0, stale, other.hDC()}[GetParam()]);
    else
      surface.setPicture(GetParam() == 3 ? nullptr : std::make_shared<OlePicture>(stale, false));
    ADD_FAILURE() << "no error";
  } catch (const CMemoryDCError& error) {
    EXPECT_EQ(error.number(), -2147221503);
    EXPECT_EQ(error.source(), "CMemoryDC.hBitmap");
    EXPECT_EQ(error.description(), "Invalid handle.");
  }
  EXPECT_EQ(surface.hBitmap(), bitmap);
  EXPECT_EQ(SizeOf(surface), QSize(5, 4));
  EXPECT_EQ(surface.PixelColor(4, 3), 0x00ABCDEFu);
}

INSTANTIATE_TEST_SUITE_P(Cases, InvalidHandleWrite, testing::Range(0, 5));

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
  EXPECT_EQ(surface.Picture()->image().size(), QSize(32, 16));
  surface.setWidth(4);  // an own bitmap is deleted when replaced
  EXPECT_EQ(IsLiveBitmap(shown), attached);
  DeleteObject(external);
}

INSTANTIATE_TEST_SUITE_P(MemoryDC, PictureOfTheShownBitmap, testing::Bool());

}  // namespace
}  // namespace gfx
