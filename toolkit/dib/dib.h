// Inside the toolkit's file and effect libraries: packed bitmaps in global memory as the
// libraries read and make them.
//
// The libraries make 24-bit bitmaps, bottom-up, rows padded to 4 bytes, with the
// 40-byte header and no palette. They take 24-bit bitmaps and 8-bit bitmaps with a
// palette (the JPEG module's grey pictures) as input, bottom-up or top-down.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/com/qm6com.h"

namespace qm6dib {

// The largest bitmap the libraries make or accept: the header's 32-bit size field
// must hold its pixel bytes.
inline constexpr uint64_t kMaxPixelBytes = 0x7FFFFFFF - 1024 - 40;
// Widths and heights above this are refused as well.
inline constexpr int32_t kMaxSide = 65535;

inline uint32_t rowBytes(uint32_t bits, uint32_t width) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(bits) * width + 31) / 32) * 4);
}

// True when a 24-bit bitmap of that size can be made.
bool sizeAllowed(int64_t width, int64_t height);

// A new 24-bit bitmap, every pixel black; 0 when the size is refused or memory is short.
QmHandle create24(int32_t width, int32_t height);

class Locked;

// A new 24-bit copy of a locked bitmap (of any kind Locked takes); 0 when memory is short.
QmHandle copy24(const Locked& source);

// ---- Exif orientation ----------------------------------------------------------------
// Cameras store a picture as the sensor read it and say in the Exif orientation (and a
// TIFF file in its own tag of the same values) how it is to be shown: 1 as stored, 2
// mirrored left to right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored about
// the diagonal from the top left, 6 turned a quarter clockwise, 7 mirrored about the
// diagonal from the top right, 8 turned a quarter counter-clockwise. A missing tag and
// any other value count as 1.
uint16_t knownOrientation(uint32_t value);
// Whether the upright picture's width is the stored picture's height.
inline bool sidesSwapped(uint16_t orientation) { return orientation >= 5 && orientation <= 8; }

// Takes a stored picture (24-bit or 8-bit with its palette) and gives it upright: the
// picture itself for orientation 1 (or a bitmap Locked does not take), else a new one of
// the same kind (its resolution's sides swapped with its own) and the one given is
// freed. 0 when memory is short.
QmHandle turnUpright(QmHandle picture, uint16_t orientation);

// A bitmap locked for reading or writing. Rows are addressed top-down: row(0) is the
// top row of the picture, whatever the order in memory.
class Locked {
 public:
  explicit Locked(QmHandle handle);
  ~Locked();
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

  // A well-formed 24-bit or 8-bit bitmap whose pixels lie within its block.
  bool ok() const { return ok_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  uint32_t bits() const { return bits_; }
  uint32_t stride() const { return stride_; }
  const QmBitmapInfoHeader& header() const { return *header_; }
  // The palette of an 8-bit bitmap (4 bytes an entry), and how many entries it holds.
  const uint8_t* palette() const { return palette_; }
  uint32_t paletteEntries() const { return paletteEntries_; }

  uint8_t* row(int32_t y) const {
    return pixels_ + static_cast<size_t>(bottomUp_ ? height_ - 1 - y : y) * stride_;
  }
  // The top row, and the step in bytes from one row to the one below it.
  uint8_t* top() const { return row(0); }
  ptrdiff_t step() const { return bottomUp_ ? -static_cast<ptrdiff_t>(stride_) : static_cast<ptrdiff_t>(stride_); }

  // Row y as blue, green, red triples (width x 3 bytes): the row itself for a 24-bit
  // bitmap, otherwise converted into `scratch`.
  const uint8_t* bgrRow(int32_t y, uint8_t* scratch) const;
  // Pixel (x, y) as blue, green, red: in the bitmap for a 24-bit one, else in `scratch`.
  const uint8_t* bgrPixel(int32_t x, int32_t y, uint8_t* scratch) const {
    const uint8_t* r = row(y);
    if (bits_ == 24) return r + 3 * static_cast<size_t>(x);
    paletteColour(r[x], scratch);
    return scratch;
  }

 private:
  void paletteColour(uint32_t index, uint8_t* out) const;

  QmHandle handle_;
  bool ok_ = false;
  const QmBitmapInfoHeader* header_ = nullptr;
  const uint8_t* palette_ = nullptr;
  uint32_t paletteEntries_ = 0;
  uint8_t* pixels_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint32_t bits_ = 0;
  uint32_t stride_ = 0;
  bool bottomUp_ = true;
};

}  // namespace qm6dib
