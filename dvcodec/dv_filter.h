// Picture filters of the full-size picture, in place, before its conversion to RGB:
// line averaging, motion-adaptive de-interlacing keeping either field, and edge-directed
// interpolation. The picture is 'YCC ', 'YCCa' or 'aYCC' (unsigned Y, signed Cr and Cb),
// top row first, so each mode keeps the same picture lines in both systems.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dv_pixel.h"

namespace zebdv {

enum FilterMode : uint32_t {
  kFilterNone = 0,
  kFilterLineAverage = 1,       // odd rows become the mean of their neighbours
  kFilterKeepEvenRows = 2,      // moving parts of the odd rows are interpolated
  kFilterKeepOddRows = 3,       // moving parts of the even rows are interpolated
  kFilterEdgeInterpolate = 4,   // odd rows interpolated along the strongest edge
};

// Working memory of the motion de-interlacer, kept by a decoder from frame to frame so
// that filtering a frame allocates nothing; it grows as needed.
struct FilterScratch {
  uint8_t* bytes = nullptr;  // 64-byte aligned
  size_t size = 0;

  FilterScratch() = default;
  FilterScratch(const FilterScratch&) = delete;
  FilterScratch& operator=(const FilterScratch&) = delete;
  ~FilterScratch();
  // At least `size` bytes, or null when memory is short.
  uint8_t* reserve(size_t size);
};

// Whether filterPicture changes a picture in the mode.
constexpr bool filterChangesPicture(uint32_t mode) {
  return mode >= kFilterLineAverage && mode <= kFilterEdgeInterpolate;
}

// Applies the mode (any other value does nothing); the result is that of the filter.
// Without scratch the de-interlacer allocates its own for the call.
DvcResult filterPicture(const PixelDesc& picture, uint32_t mode, FilterScratch* scratch = nullptr);

// The rows a field's filters replace: first, first + 2, ... up to last.
void fieldRows(int32_t height, int field, int32_t* first, int32_t* last);

// Field 0 replaces rows 1, 3, 5, ..., field 1 rows 2, 4, 6, ...: each becomes the mean of
// its neighbours above and below.
DvcResult lineAverage(const PixelDesc& picture, int field);
// The rows of lineAverage, interpolated along the direction of the strongest edge.
DvcResult edgeInterpolate(const PixelDesc& picture, int field);
// Interpolates the moving parts of the field's rows from the other field's rows; src is
// first copied to dst when they differ.
DvcResult deinterlaceMotion(const PixelDesc& src, const PixelDesc& dst, int field, FilterScratch* scratch = nullptr);

// The motion mask's steps, one byte per pixel of the examined rows (mask row m is picture
// row first + 2 m); the mask has five scratch rows after `rows`. measure gives motion
// levels 0-7 (taps: room for 9 x width values), smooth turns them into kMoving or 0,
// runs marks the pixels to interpolate.
namespace motion {
inline constexpr uint8_t kMoving = 128;  // after smoothing
inline constexpr uint8_t kRunLinked = 2;  // bit 1: a run's start touches motion above or below
inline constexpr uint8_t kInterpolate = 4;  // bit 2: the pixel is to be interpolated
void measure(const PixelDesc& picture, int32_t first, uint8_t* mask, int32_t rows, int32_t width, int16_t* taps);
void smooth(uint8_t* mask, int32_t rows, int32_t width);
void runs(uint8_t* mask, int32_t rows, int32_t width);
}  // namespace motion

}  // namespace zebdv
