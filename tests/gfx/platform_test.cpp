#include "gfx/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "gfx/memory_dc.h"

namespace gfx {
namespace {

// A memory context holding a fresh bitmap of the given size.
struct Surface : CMemoryDC {
  Surface(int width, int height) {
    setWidth(width);
    setHeight(height);
  }
};

// A colour that tells row and column apart.
COLORREF Marker(int x, int y) {
  return static_cast<COLORREF>(x + 1) | static_cast<COLORREF>(y + 1) << 8 | 0x400000;
}

TEST(Handles, StaleUnknownAndWrongKindHandlesAreUnknownToGetObject) {
  const HDC dc = CreateCompatibleDC(0);
  const HBITMAP stale = CreateCompatibleBitmap(dc, 4, 4);
  ASSERT_TRUE(DeleteObject(stale));
  // A new context's first bitmap takes the freed slot; the old handle must
  // still be refused.
  const HDC reused = CreateCompatibleDC(0);
  for (const HGDIOBJ handle : {HGDIOBJ{0}, stale, HGDIOBJ{0xFFFFFFF0}, dc, GetDesktopWindow()}) {
    BITMAP info{};
    EXPECT_EQ(GetObjectA(handle, sizeof info, &info), 0) << handle;
  }
  DeleteDC(reused);
  DeleteDC(dc);
}

TEST(Handles, SelectionGuardsDeletionAndDeleteDCFreesTheInitialBitmap) {
  const std::size_t start = LiveHandleCount();
  const HDC dc = CreateCompatibleDC(0);
  const HDC other = CreateCompatibleDC(0);
  const HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
  const HGDIOBJ initial = SelectObject(dc, bitmap);
  EXPECT_NE(initial, 0u);
  // A selected bitmap can neither be deleted nor go into a second context.
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(SelectObject(other, bitmap), 0u);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_TRUE(DeleteDC(other));
  BITMAP info{};
  EXPECT_EQ(GetObjectA(initial, sizeof info, &info), 0);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_EQ(LiveHandleCount(), start);
}

TEST(Blit, CopiesOnlyWhatFitsBothBitmaps) {
  const Surface from(4, 4);
  const Surface to(3, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) SetPixel(from.hDC(), x, y, Marker(x, y));
  // Destination from (1, 1), source from (2, 2): only a 2 x 2 block of the
  // source exists and only a 2 x 2 block of the destination is free.
  EXPECT_TRUE(BitBlt(to.hDC(), 1, 1, 100, 100, from.hDC(), 2, 2, SRCCOPY));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(GetPixel(to.hDC(), x, y), (x >= 1 && y >= 1) ? Marker(x + 1, y + 1) : 0) << x << y;
  EXPECT_TRUE(BitBlt(to.hDC(), -2147483647, -2147483647, 2147483647, 2147483647, from.hDC(), 0, 0,
                     SRCCOPY));
  EXPECT_EQ(GetPixel(to.hDC(), 3, 0), CLR_INVALID);
}

TEST(Pictures, OnlyALiveBitmapMakesAPictureAndItsLastReferenceFreesIt) {
  const Surface surface(2, 2);
  for (PICTDESC desc :
       {PICTDESC{16, 1, surface.hBitmap(), 0, 0}, PICTDESC{20, 3, surface.hBitmap(), 0, 0},
        PICTDESC{20, 1, 0, 0, 0}, PICTDESC{20, 1, surface.hDC(), 0, 0}}) {
    PictureRef picture = std::make_shared<OlePicture>(surface.hBitmap(), false);
    EXPECT_EQ(OleCreatePictureIndirect(&desc, true, &picture), E_INVALIDARG);
    EXPECT_EQ(picture, nullptr);
  }
  PICTDESC desc{20, 1, CreateCompatibleBitmap(surface.hDC(), 5, 4), 0, 0};
  PictureRef picture;
  ASSERT_EQ(OleCreatePictureIndirect(&desc, true, &picture), S_OK);
  EXPECT_EQ(QSize(picture->width(), picture->height()), QSize(5, 4));
  PictureRef shared = picture;
  picture.reset();
  EXPECT_EQ(shared->image().size(), QSize(5, 4));
  shared.reset();
  BITMAP info{};
  EXPECT_EQ(GetObjectA(desc.hbitmap, sizeof info, &info), 0);
}

// Made before any platform call, so it is destroyed after the handle table
// would be if the table were an ordinary static.
PictureRef g_picture_kept_until_exit;

TEST(Pictures, APictureReleasedDuringExitStillFreesItsBitmapCleanly) {
  EXPECT_EXIT(
      {
        CMemoryDC surface;
        surface.setWidth(8);
        g_picture_kept_until_exit = surface.Picture();
        std::exit(g_picture_kept_until_exit ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(Threads, SurfacesMadeOnSeveralThreadsStayApartAndLeaveNothingBehind) {
  const std::size_t start = LiveHandleCount();
  std::atomic<int> mismatches{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([t, &mismatches] {
      for (int round = 0; round < 50; ++round) {
        CMemoryDC surface;
        surface.setHeight(16);
        surface.setWidth(8);
        const auto color = static_cast<COLORREF>(t * 1000 + round);
        SetPixel(surface.hDC(), 7, 0, color);
        StretchBlt(surface.hDC(), 0, 0, 8, 16, surface.hDC(), 0, 16, 8, -16, SRCCOPY);
        const PictureRef picture = surface.Picture();
        if (!picture ||
            picture->image().pixel(7, 15) != qRgb(int(color & 0xFF), int(color >> 8 & 0xFF), 0))
          ++mismatches;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(LiveHandleCount(), start);
}

}  // namespace
}  // namespace gfx
