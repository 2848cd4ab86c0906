// Turning a stored picture upright as its Exif orientation says.
//
// Each row of the upright picture is a line of the stored one: a row read forwards or
// backwards (orientations 1 to 4) or a column read downwards or upwards (5 to 8). The
// rows are made a band at a time, so that a turned column is read a few pixels of one
// stored row at a time rather than one pixel per row of a large picture.
#include <algorithm>
#include <cstring>

#include "toolkit/dib/dib.h"

namespace qm6dib {

namespace {

// Where row y of the upright picture begins in the stored one (x, y of the stored
// picture, top row 0), and the step to the next pixel of that row (dx, dy).
struct Line {
  int32_t x, y, dx, dy;
};

Line uprightRow(uint16_t orientation, int32_t y, int32_t w, int32_t h) {
  switch (orientation) {
    case 2: return {w - 1, y, -1, 0};
    case 3: return {w - 1, h - 1 - y, -1, 0};
    case 4: return {0, h - 1 - y, 1, 0};
    case 5: return {y, 0, 0, 1};
    case 6: return {y, h - 1, 0, -1};
    case 7: return {w - 1 - y, h - 1, 0, -1};
    case 8: return {w - 1 - y, 0, 0, 1};
    default: return {0, y, 1, 0};
  }
}

template <size_t Bytes>
void copyRows(const Locked& from, const Locked& to, uint16_t orientation) {
  constexpr int32_t kBand = 16;
  const size_t dataBytes = Bytes * static_cast<size_t>(to.width());
  for (int32_t y0 = 0; y0 < to.height(); y0 += kBand) {
    const int32_t n = std::min(kBand, to.height() - y0);
    const uint8_t* source[kBand];
    uint8_t* target[kBand];
    ptrdiff_t step = 0;
    for (int32_t k = 0; k < n; ++k) {
      const Line l = uprightRow(orientation, y0 + k, from.width(), from.height());
      source[k] = from.row(l.y) + Bytes * static_cast<size_t>(l.x);
      step = l.dx * static_cast<ptrdiff_t>(Bytes) + l.dy * from.step();
      target[k] = to.row(y0 + k);
      std::memset(target[k] + dataBytes, 0, to.stride() - dataBytes);
    }
    for (int32_t x = 0; x < to.width(); ++x) {
      const ptrdiff_t at = x * step;
      for (int32_t k = 0; k < n; ++k) std::memcpy(target[k] + Bytes * static_cast<size_t>(x), source[k] + at, Bytes);
    }
  }
}

}  // namespace

uint16_t knownOrientation(uint32_t value) { return value >= 1 && value <= 8 ? static_cast<uint16_t>(value) : 1; }

QmHandle turnUpright(QmHandle picture, uint16_t orientation) {
  orientation = knownOrientation(orientation);
  if (!picture || orientation == 1) return picture;
  QmHandle turned = 0;
  {
    const Locked from(picture);
    if (!from.ok()) return picture;
    const bool swapped = sidesSwapped(orientation);
    const int32_t w = swapped ? from.height() : from.width();
    const int32_t h = swapped ? from.width() : from.height();
    const uint64_t paletteBytes = from.bits() == 8 ? 4ull * from.paletteEntries() : 0;
    const uint64_t pixelBytes = uint64_t{rowBytes(from.bits(), static_cast<uint32_t>(w))} * static_cast<uint64_t>(h);
    const uint64_t headerBytes = sizeof(QmBitmapInfoHeader) + paletteBytes;
    if (pixelBytes <= kMaxPixelBytes) turned = QmGlobalAllocUncleared(headerBytes + pixelBytes);
    if (auto* base = turned ? static_cast<uint8_t*>(QmGlobalLock(turned)) : nullptr) {
      QmBitmapInfoHeader header = from.header();
      header.biWidth = w;
      header.biHeight = h;  // bottom-up
      header.biSizeImage = static_cast<uint32_t>(pixelBytes);
      if (swapped) std::swap(header.biXPelsPerMeter, header.biYPelsPerMeter);
      std::memcpy(base, &header, sizeof header);
      if (paletteBytes) std::memcpy(base + sizeof header, from.palette(), paletteBytes);
      QmGlobalUnlock(turned);
      const Locked to(turned);
      if (from.bits() == 24) {
        copyRows<3>(from, to, orientation);
      } else {
        copyRows<1>(from, to, orientation);
      }
    } else if (turned) {
      QmGlobalFree(turned);
      turned = 0;
    }
  }
  QmGlobalFree(picture);
  return turned;
}

}  // namespace qm6dib
