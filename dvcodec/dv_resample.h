// Horizontal resampling of decoded pictures to the square-pixel (4:3) or 16:9 width.
// Rows map one to one; only the width changes.
//
// The ratio r is the source width over the destination width; its step, trunc(r x 256),
// gives the source column c(j) = (j x step) >> 8 of output column j. The filtered form
// weighs the columns c(j) - 2 .. c(j) + 2 with five taps of a Hamming-windowed sinc that
// sum to 256, the columns beyond the row's ends taking the end columns.
//
// With flip the source is read from its last row up while the destination is written
// from row 0 (the bottom-up rows of a bitmap).
#pragma once

#include <cstdint>

#include "dv_pixel.h"

namespace zebdv {

// The tap tables, kept across calls and rebuilt when the ratio or the column count
// changes. Each decoder owns one, so decoders may resample at the same time.
struct ResampleCache {
  int32_t* taps = nullptr;  // count x 5
  uint32_t tapCount = 0;
  float tapRatio = 0.0f;
  uint32_t* offsets = nullptr;  // count x 5 byte offsets into a source row
  uint32_t offsetCount = 0;
  uint32_t offsetStep = 0;
  int32_t offsetSourceWidth = 0;
  uint32_t offsetPixelSize = 0;
  // The same two tables by tap and then column, padded to whole groups of 8 columns,
  // for the vector kernels; rebuilt whenever one of the tables above changes.
  int32_t* laneTaps = nullptr;
  int32_t* laneGroups = nullptr;  // per group of 8 columns: its 16-pixel source window
  uint32_t laneStride = 0;
  bool lanesCurrent = false;
  bool lanesUsable = false;  // every group's pixels fit a window of the source row
  // Byte offsets of the nearest source pixel of each column (padded likewise), taken
  // from the offset table.
  int32_t* nearest = nullptr;
  bool nearestCurrent = false;

  ResampleCache() = default;
  ResampleCache(const ResampleCache&) = delete;
  ResampleCache& operator=(const ResampleCache&) = delete;
  ~ResampleCache();
};

inline uint32_t resampleStep(float ratio) { return uint32_t(int32_t(ratio * 256.0f)); }

// Makes or reuses the tap table for `count` output columns. A count of 0 frees it.
DvcResult buildResampleTaps(ResampleCache& cache, float ratio, uint32_t count);
DvcResult buildTapOffsets(ResampleCache& cache, uint32_t count, int32_t sourceWidth, uint32_t pixelSize,
                          uint32_t step);

// RGB forms: carry up to `channels` channels through both pictures' offsets.
DvcResult resampleNearest(const PixelDesc& src, const PixelDesc& dst, int channels, float ratio, bool flip);
DvcResult resampleFiltered(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, int channels,
                           float ratio, bool flip);

// One-pass forms: read a 'YCCa' picture and write RGB, converting without rounding.
DvcResult convertResampleNearest(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, float ratio,
                                 bool flip);
DvcResult convertResampleFiltered(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, float ratio,
                                  bool flip);

// Copy at the source size, without flip (through the channels when the tags differ).
DvcResult copyPicture(const PixelDesc& src, const PixelDesc& dst);
// Copy channel by channel through both offset tables.
DvcResult copyChannels(const PixelDesc& src, const PixelDesc& dst, bool flip);

}  // namespace zebdv
