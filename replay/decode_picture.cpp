#include <vector>

#include "gfx/memory_dc.h"
#include "replay/replay.h"

namespace zor_rep_reader {
namespace {

// Each pixel record is blue, green, red and a fourth byte that is never read.
// Records are read in file order, so when the file ends inside the area the
// first byte missing is the current record's next colour byte, or, when the
// file ends on an unread fourth byte, the next record's blue byte. Returns
// false when only the very last record's fourth byte is missing, which no
// read needs.
bool checkPixelArea(const ByteImage& image, std::int64_t offset, std::int64_t records) {
  const std::int64_t available = image.size() - offset;
  if (available >= 4 * records) return true;
  if (available <= 0) image.throwOutOfRange(offset);
  const std::int64_t record = available / 4;
  if (available % 4 < 3) image.throwOutOfRange(image.size());
  if (record + 1 < records) image.throwOutOfRange(offset + 4 * (record + 1));
  return false;
}

}  // namespace

PictureRef DecodePicture(const ByteImage& image, std::int64_t offset, int width, int height) {
  const std::int64_t records = std::int64_t{width} * height;
  const bool whole = checkPixelArea(image, offset, records);

  gfx::CMemoryDC surface;
  surface.setHeight(height);
  surface.setWidth(width);
  // The records are a bottom-up image, so they go into the surface in one
  // pass that also turns them top row first.
  if (whole) {
    gfx::SetBottomUpPixels(surface.hDC(), width, height, image.range(offset, 4 * records).data());
  } else {
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(4 * records), 0);
    const auto present = image.range(offset, image.size() - offset);
    std::copy(present.begin(), present.end(), padded.begin());
    gfx::SetBottomUpPixels(surface.hDC(), width, height, padded.data());
  }
  return surface.Picture();
}

PictureSize CheckPicture(const ByteImage& image, std::int64_t offset, int width, int height) {
  checkPixelArea(image, offset, std::int64_t{width} * height);
  return {width, height};
}

PictureRef DecodePicturePerPixel(const ByteImage& image, std::int64_t offset, int width,
                                 int height) {
  gfx::CMemoryDC surface;
  surface.setHeight(height);
  surface.setWidth(width);
  const gfx::HDC dc = surface.hDC();
  std::int64_t at = offset;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column, at += 4) {
      const gfx::COLORREF blue = image.at(at);
      const gfx::COLORREF green = image.at(at + 1);
      const gfx::COLORREF red = image.at(at + 2);
      gfx::SetPixel(dc, column, row, red | green << 8 | blue << 16);
    }
  }
  gfx::StretchBlt(dc, 0, 0, width, height, dc, 0, height, width, -height, gfx::SRCCOPY);
  return surface.Picture();
}

}  // namespace zor_rep_reader
