#include "gfx/memory_dc.h"
#include "gfx/platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <atomic>
#include <thread>
#include <vector>

namespace gfx {
namespace {

// A memory context holding a fresh bitmap of the given size; frees both.
class Surface {
 public:
  Surface(int width, int height) {
    const HDC screen = GetDC(GetDesktopWindow());
    m_dc = CreateCompatibleDC(screen);
    m_bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(GetDesktopWindow(), screen);
    m_initial = SelectObject(m_dc, m_bitmap);
  }
  ~Surface() {
    SelectObject(m_dc, m_initial);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  [[nodiscard]] HDC dc() const { return m_dc; }
  [[nodiscard]] HBITMAP bitmap() const { return m_bitmap; }

 private:
  HDC m_dc = 0;
  HBITMAP m_bitmap = 0;
  HGDIOBJ m_initial = 0;
};

// A bitmap made against the screen, with the screen context given back.
HBITMAP NewBitmap(int width, int height) {
  const HDC screen = GetDC(0);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(0, screen);
  return bitmap;
}

// A colour that tells row and column apart.
COLORREF Marker(int x, int y) {
  return static_cast<COLORREF>(x + 1) | static_cast<COLORREF>(y + 1) << 8 | 0x400000;
}

TEST(Handles, StaleUnknownAndWrongKindHandlesAreUnknownToGetObject) {
  const HBITMAP stale = NewBitmap(4, 4);
  ASSERT_NE(stale, 0u);
  ASSERT_TRUE(DeleteObject(stale));
  // A new context's first bitmap takes the freed slot; the old handle must
  // still be refused.
  const HDC reused = CreateCompatibleDC(0);
  BITMAP scratch{};
  EXPECT_EQ(GetObjectA(stale, sizeof scratch, &scratch), 0);
  DeleteDC(reused);
  const Surface surface(2, 2);
  for (const HGDIOBJ handle : {HGDIOBJ{0}, stale, HGDIOBJ{0xFFFFFFF0}, surface.dc(),
                               GetDesktopWindow()}) {
    BITMAP info{};
    EXPECT_EQ(GetObjectA(handle, sizeof info, &info), 0) << handle;
  }
}

TEST(Handles, SelectionGuardsDeletionAndDeleteDCFreesTheInitialBitmap) {
  const std::size_t start = LiveHandleCount();
  const HDC dc = CreateCompatibleDC(0);
  const HDC other = CreateCompatibleDC(0);
  const HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
  const HGDIOBJ initial = SelectObject(dc, bitmap);
  EXPECT_NE(initial, 0u);
  EXPECT_NE(initial, bitmap);
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

class PixelOutside : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PixelOutside, ChangesNothingAndAnswersInvalid) {
  const Surface surface(4, 3);
  const auto [x, y] = GetParam();
  EXPECT_EQ(SetPixel(surface.dc(), x, y, 0x123456), CLR_INVALID);
  EXPECT_EQ(GetPixel(surface.dc(), x, y), CLR_INVALID);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(GetPixel(surface.dc(), i % 4, i / 4), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, PixelOutside,
                         testing::Values(std::pair{-1, 0}, std::pair{0, 3},
                                         std::pair{2147483647, 2147483647}));

TEST(Pixels, ColourRoundTripsAndReachesTheImageAsRgb) {
  const Surface surface(2, 2);
  EXPECT_EQ(SetPixel(surface.dc(), 1, 0, 0x00102030), 0x00102030u);
  EXPECT_EQ(GetPixel(surface.dc(), 1, 0), 0x00102030u);
  const OlePicture view(surface.bitmap(), false);
  const QImage image = view.image();
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_EQ(image.pixel(1, 0), qRgb(0x30, 0x20, 0x10));
  EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 0));
}

class Mirror : public testing::TestWithParam<int> {};

// Row y must end up holding what row height-1-y held, also when the copy runs
// within one bitmap.
TEST_P(Mirror, NegativeSourceHeightFlipsInPlace) {
  const int height = GetParam();
  const int width = 3;
  const Surface surface(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      SetPixel(surface.dc(), x, y, Marker(x, y));
    }
  }
  EXPECT_TRUE(StretchBlt(surface.dc(), 0, 0, width, height, surface.dc(), 0, height, width,
                         -height, SRCCOPY));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(GetPixel(surface.dc(), x, y), Marker(x, height - 1 - y)) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Heights, Mirror, testing::Values(1, 2, 3));

TEST(Blit, CopiesOnlyWhatFitsBothBitmaps) {
  const Surface from(4, 4);
  const Surface to(3, 3);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      SetPixel(from.dc(), x, y, Marker(x, y));
    }
  }
  // Destination starts at (1, 1); source from (2, 2), so only a 2 x 2 block
  // of the source exists and only a 2 x 2 block of the destination is free.
  EXPECT_TRUE(BitBlt(to.dc(), 1, 1, 100, 100, from.dc(), 2, 2, SRCCOPY));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const COLORREF expected = (x >= 1 && y >= 1) ? Marker(x + 1, y + 1) : 0;
      EXPECT_EQ(GetPixel(to.dc(), x, y), expected) << x << "," << y;
    }
  }
  EXPECT_TRUE(BitBlt(to.dc(), -2147483647, -2147483647, 2147483647, 2147483647, from.dc(), 0, 0,
                     SRCCOPY));
  EXPECT_FALSE(BitBlt(to.dc(), 0, 0, 1, 1, from.dc(), 0, 0, 0x00EE0086));
  EXPECT_FALSE(BitBlt(to.dc(), 0, 0, 1, 1, 0, 0, 0, SRCCOPY));
}

TEST(Pictures, ARecordWithoutALiveBitmapGivesNoPicture) {
  const Surface surface(2, 2);
  const HBITMAP stale = NewBitmap(1, 1);
  DeleteObject(stale);
  PICTDESC wrongSize;
  wrongSize.cbSizeofstruct = 16;
  wrongSize.picType = PICTYPE_BITMAP;
  wrongSize.hbitmap = surface.bitmap();
  PICTDESC wrongType;
  wrongType.picType = 3;
  wrongType.hbitmap = surface.bitmap();
  for (PICTDESC desc : {wrongSize, wrongType, PICTDESC{20, 1, 0, 0, 0}, PICTDESC{20, 1, stale, 0, 0},
                        PICTDESC{20, 1, surface.dc(), 0, 0}}) {
    PictureRef picture = std::make_shared<OlePicture>(surface.bitmap(), false);
    EXPECT_EQ(OleCreatePictureIndirect(&desc, true, &picture), E_INVALIDARG);
    EXPECT_EQ(picture, nullptr);
  }
}

TEST(Pictures, AnOwningPictureFreesItsBitmapWithTheLastReference) {
  const std::size_t start = LiveHandleCount();
  PICTDESC desc;
  desc.picType = PICTYPE_BITMAP;
  desc.hbitmap = NewBitmap(5, 4);
  PictureRef picture;
  ASSERT_EQ(OleCreatePictureIndirect(&desc, true, &picture), S_OK);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->handle(), desc.hbitmap);
  EXPECT_EQ(picture->width(), 5);
  EXPECT_EQ(picture->height(), 4);
  PictureRef shared = picture;
  picture.reset();
  EXPECT_EQ(shared->image().size(), QSize(5, 4));
  shared.reset();
  BITMAP info{};
  EXPECT_EQ(GetObjectA(desc.hbitmap, sizeof info, &info), 0);
  EXPECT_EQ(LiveHandleCount(), start);
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
        const COLORREF color = static_cast<COLORREF>(t * 1000 + round);
        for (int y = 0; y < 16; ++y) {
          for (int x = 0; x < 8; ++x) {
            SetPixel(surface.hDC(), x, y, color);
          }
        }
        StretchBlt(surface.hDC(), 0, 0, 8, 16, surface.hDC(), 0, 16, 8, -16, SRCCOPY);
        const PictureRef picture = surface.Picture();
        if (!picture || picture->image().pixel(7, 15) != qRgb(
                                                              static_cast<int>(color & 0xFF),
                                                              static_cast<int>(color >> 8 & 0xFF),
                                                              0)) {
          ++mismatches;
        }
      }
    });
  }
  for (auto& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(LiveHandleCount(), start);
}

}  // namespace
}  // namespace gfx
