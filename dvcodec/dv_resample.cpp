#include "dv_resample.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dv_color.h"
#include "dv_kernels.h"

namespace zebdv {

ResampleCache::~ResampleCache() {
  std::free(taps);
  std::free(offsets);
  std::free(laneTaps);
  std::free(laneGroups);
  std::free(nearest);
}

DvcResult buildResampleTaps(ResampleCache& cache, float ratio, uint32_t count) {
  if (cache.taps && (count != cache.tapCount || count == 0)) {
    std::free(cache.taps);
    cache.taps = nullptr;
    cache.tapRatio = 0.0f;
  }
  if (count == 0) return DVC_OK;
  if (!cache.taps) {
    cache.taps = static_cast<int32_t*>(std::malloc(size_t(count) * 5 * sizeof(int32_t)));
    if (!cache.taps) return DVC_ERR_NO_MEMORY;
    cache.tapCount = count;
  }
  if (cache.tapRatio == ratio) return DVC_OK;
  cache.tapRatio = ratio;
  cache.lanesCurrent = false;
  const float pi = 3.1415927f;
  const float halfPi = 1.5707964f;
  for (uint32_t j = 0; j < count; ++j) {
    const float p = float(j) * ratio;
    const float frac = p - std::trunc(p);
    const float f = ratio > 1.0f ? frac / ratio : frac;
    int32_t* row = cache.taps + 5 * j;
    int32_t sum = 0;
    for (int k = 0; k < 5; ++k) {
      const float x = ratio > 1.0f ? (float(k - 2) / ratio - f) * pi : (float(k - 2) - f) * pi;
      if (x == 0.0f) {
        row[k] = 256;
      } else {
        const float window = 0.54f + 0.46f * std::cos((float(k) - f - 2.0f) * halfPi);
        row[k] = int32_t(window * std::sin(x) / x * 256.0f);
      }
      sum += row[k];
    }
    for (int k = 0; k < 5; ++k) row[k] = sum ? row[k] * 256 / sum : 0;
  }
  return DVC_OK;
}

DvcResult buildTapOffsets(ResampleCache& cache, uint32_t count, int32_t sourceWidth, uint32_t pixelSize,
                          uint32_t step) {
  if (cache.offsets && cache.offsetCount == count && cache.offsetStep == step &&
      cache.offsetSourceWidth == sourceWidth && cache.offsetPixelSize == pixelSize) {
    return DVC_OK;
  }
  std::free(cache.offsets);
  cache.offsets = static_cast<uint32_t*>(std::malloc(size_t(count ? count : 1) * 5 * sizeof(uint32_t)));
  if (!cache.offsets) {
    cache.offsetCount = 0;
    return DVC_ERR_NO_MEMORY;
  }
  cache.lanesCurrent = false;
  cache.nearestCurrent = false;
  cache.offsetCount = count;
  cache.offsetStep = step;
  cache.offsetSourceWidth = sourceWidth;
  cache.offsetPixelSize = pixelSize;
  const int64_t last = int64_t(sourceWidth - 1) * pixelSize;
  for (uint32_t j = 0; j < count; ++j) {
    const int64_t c = (int64_t(j) * step) >> 8;
    for (int k = 0; k < 5; ++k) {
      int64_t off = c * pixelSize + int64_t(k - 2) * pixelSize;
      off = off < 0 ? 0 : (off > last ? last : off);
      cache.offsets[5 * j + k] = uint32_t(off);
    }
  }
  return DVC_OK;
}

namespace {

int32_t minOf(int32_t a, int32_t b) { return a < b ? a : b; }

// The rows a resampler walks: source row i goes to destination row (flip ? rows-1-i : i).
// Where source and destination share one buffer, each source row is read from a copy.
class RowWalk {
 public:
  RowWalk(const PixelDesc& src, const PixelDesc& dst, bool flip)
      : src_(src), dst_(dst), flip_(flip), rows_(minOf(src.height, dst.height)) {}
  ~RowWalk() { std::free(scratch_); }

  // False when the scratch row could not be allocated.
  bool prepare() {
    if (src_.buffer != dst_.buffer) return true;
    scratch_ = static_cast<uint8_t*>(std::malloc(src_.stride ? src_.stride : 1));
    return scratch_ != nullptr;
  }
  int32_t rows() const { return rows_; }
  const uint8_t* source(int32_t i) {
    const uint8_t* row = src_.row(i);
    if (!scratch_) return row;
    std::memcpy(scratch_, row, src_.stride);
    return scratch_;
  }
  uint8_t* destination(int32_t i) const { return dst_.row(flip_ ? rows_ - 1 - i : i); }

 private:
  const PixelDesc& src_;
  const PixelDesc& dst_;
  bool flip_;
  int32_t rows_;
  uint8_t* scratch_ = nullptr;
};

// Runs perRow(source row, destination row) over the rows of a resampling.
template <typename PerRow>
DvcResult walkRows(const PixelDesc& src, const PixelDesc& dst, bool flip, PerRow perRow) {
  RowWalk walk(src, dst, flip);
  if (!walk.prepare()) return DVC_ERR_NO_MEMORY;
  for (int32_t i = 0; i < walk.rows(); ++i) perRow(walk.source(i), walk.destination(i));
  return DVC_OK;
}

// Source column of output column j, kept inside the row.
inline int32_t sourceColumn(int32_t j, uint32_t step, int32_t width) {
  const int32_t c = int32_t((int64_t(j) * step) >> 8);
  return c < width ? c : width - 1;
}

// Channels both pictures carry, up to `channels`.
int usableChannels(const PixelDesc& src, const PixelDesc& dst, int channels) {
  int n = int(src.pixelSize < dst.pixelSize ? src.pixelSize : dst.pixelSize);
  return channels < n ? channels : n;
}

bool channelPresent(const PixelDesc& p, int i) { return p.offsets[i] < p.pixelSize; }

// The checks of the channel forms; *n receives the channels to carry.
DvcResult checkChannelForms(const PixelDesc& src, const PixelDesc& dst, int channels, bool flip, int* n) {
  if (!src.buffer || !dst.buffer) return DVC_ERR_NO_INPUT;
  if (dst.height < 1 || dst.width < 1 || src.width < 1) return DVC_ERR_BAD_ARGUMENT;
  *n = usableChannels(src, dst, channels);
  if (*n < 1) return DVC_ERR_BAD_ARGUMENT;
  if (src.buffer == dst.buffer && flip) return DVC_ERR_BAD_ARGUMENT;
  return DVC_OK;
}

// The layouts the 32-bit row kernel takes: 'BGRa' (0) or 'aRGB' (1) into 24-bit B, G, R
// of another buffer; -1 for any other.
int rgb32ToBgr24Layout(const PixelDesc& src, const PixelDesc& dst) {
  if (src.pixelSize != 4 || dst.pixelSize != 3 || src.buffer == dst.buffer) return -1;
  if (dst.offsets[0] != 2 || dst.offsets[1] != 1 || dst.offsets[2] != 0) return -1;
  if (src.offsets[0] == 2 && src.offsets[1] == 1 && src.offsets[2] == 0) return 0;
  if (src.offsets[0] == 1 && src.offsets[1] == 2 && src.offsets[2] == 3) return 1;
  return -1;
}

}  // namespace

DvcResult resampleNearest(const PixelDesc& src, const PixelDesc& dst, int channels, float ratio, bool flip) {
  int n = 0;
  if (DvcResult r = checkChannelForms(src, dst, channels, flip, &n)) return r;
  const uint32_t step = resampleStep(ratio);
  const int layout = n == 3 ? rgb32ToBgr24Layout(src, dst) : -1;
  if (layout >= 0) {
    // Whole groups of 8 columns, the padding repeating the last column.
    const int32_t padded = (dst.width + 7) & ~7;
    int32_t* offsets = static_cast<int32_t*>(std::malloc(size_t(padded) * sizeof(int32_t)));
    if (offsets) {
      for (int32_t j = 0; j < padded; ++j) offsets[j] = 4 * sourceColumn(j < dst.width ? j : dst.width - 1, step, src.width);
      const Kernels& kern = kernels();
      const DvcResult r = walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
        kern.rgb32ToBgr24Row(s, d, dst.width, offsets, layout);
      });
      std::free(offsets);
      return r;
    }
  }
  return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
    for (int32_t j = 0; j < dst.width; ++j, d += dst.pixelSize) {
      const uint8_t* p = s + size_t(sourceColumn(j, step, src.width)) * src.pixelSize;
      for (int c = 0; c < n; ++c) {
        if (channelPresent(src, c) && channelPresent(dst, c)) d[dst.offsets[c]] = p[src.offsets[c]];
      }
    }
  });
}

DvcResult resampleFiltered(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, int channels,
                           float ratio, bool flip) {
  int n = 0;
  if (DvcResult r = checkChannelForms(src, dst, channels, flip, &n)) return r;
  if (DvcResult r = buildResampleTaps(cache, ratio, uint32_t(dst.width))) return r;
  const uint32_t step = resampleStep(ratio);
  return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
    for (int32_t j = 0; j < dst.width; ++j, d += dst.pixelSize) {
      const int32_t* tap = cache.taps + 5 * j;
      const int32_t c = int32_t((int64_t(j) * step) >> 8);
      for (int ch = 0; ch < n; ++ch) {
        if (!channelPresent(src, ch) || !channelPresent(dst, ch)) continue;
        int32_t sum = 0;
        for (int k = 0; k < 5; ++k) {
          int32_t col = c + k - 2;
          col = col < 0 ? 0 : (col >= src.width ? src.width - 1 : col);
          sum += tap[k] * s[size_t(col) * src.pixelSize + src.offsets[ch]];
        }
        d[dst.offsets[ch]] = uint8_t(clampByte(sum >> 8));
      }
    }
  });
}

namespace {

DvcResult checkOnePass(const PixelDesc& src, const PixelDesc& dst, bool flip) {
  if (!src.buffer || !dst.buffer) return DVC_ERR_NO_INPUT;
  if (src.buffer == dst.buffer && flip) return DVC_ERR_BAD_ARGUMENT;
  if (dst.height < 1 || dst.width < 1 || src.pixelSize == 0 || src.width < 1) return DVC_ERR_BAD_ARGUMENT;
  for (int c = 0; c < 3; ++c) {
    if (!channelPresent(src, c) || !channelPresent(dst, c)) return DVC_ERR_BAD_ARGUMENT;
  }
  return DVC_OK;
}

// Source 'YCCa' (four bytes) and destination 24-bit B, G, R: the vector kernels apply.
bool kernelLayouts(const PixelDesc& src, const PixelDesc& dst) {
  return src.pixelSize == 4 && src.offsets[0] == 0 && src.offsets[1] == 1 && src.offsets[2] == 2 &&
         dst.pixelSize == 3 && dst.offsets[0] == 2 && dst.offsets[1] == 1 && dst.offsets[2] == 0;
}

inline uint32_t paddedColumns(uint32_t count) { return (count + 7) & ~7u; }

// The tap table by tap, then column, and the source windows of each group of 8
// columns (see ResampleCache and the filtered kernel).
DvcResult buildLaneTables(ResampleCache& cache) {
  if (cache.lanesCurrent) return DVC_OK;
  const uint32_t stride = paddedColumns(cache.tapCount);
  const uint32_t groups = stride / 8;
  if (stride != cache.laneStride || !cache.laneTaps || !cache.laneGroups) {
    std::free(cache.laneTaps);
    std::free(cache.laneGroups);
    cache.laneTaps = static_cast<int32_t*>(std::calloc(size_t(stride) * 5, sizeof(int32_t)));
    cache.laneGroups = static_cast<int32_t*>(std::calloc(size_t(groups) * kResampleGroupInts, sizeof(int32_t)));
    cache.laneStride = stride;
    if (!cache.laneTaps || !cache.laneGroups) {
      cache.laneStride = 0;
      return DVC_ERR_NO_MEMORY;
    }
  }
  const uint32_t count = cache.tapCount;
  const int32_t pixelSize = int32_t(cache.offsetPixelSize);
  const int32_t width = cache.offsetSourceWidth;
  cache.lanesUsable = width >= 16 && pixelSize == 4 && cache.offsetCount == count;
  for (uint32_t g = 0; g < groups && cache.lanesUsable; ++g) {
    int32_t* entry = cache.laneGroups + size_t(g) * kResampleGroupInts;
    int32_t low = width, high = 0;
    for (uint32_t i = 0; i < 8; ++i) {
      const uint32_t j = 8 * g + i < count ? 8 * g + i : count - 1;  // padding repeats the last column
      for (uint32_t k = 0; k < 5; ++k) {
        const int32_t column = int32_t(cache.offsets[5 * j + k]) / pixelSize;
        low = column < low ? column : low;
        high = column > high ? column : high;
      }
    }
    const int32_t base = low < width - 16 ? low : width - 16;
    if (high - base >= 16) {
      cache.lanesUsable = false;  // columns too far apart for one window (a strong reduction)
      break;
    }
    entry[0] = base;
    int16_t* pairTaps = reinterpret_cast<int16_t*>(entry + kResamplePairTaps);
    uint8_t* pairBytes = reinterpret_cast<uint8_t*>(entry + kResamplePairBytes);
    for (uint32_t k = 0; k < 5; ++k) {
      for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t j = 8 * g + i < count ? 8 * g + i : count - 1;
        const int32_t window = int32_t(cache.offsets[5 * j + k]) / pixelSize - base;
        const int32_t tap = 8 * g + i < count ? cache.taps[5 * j + k] : 0;
        entry[8 + 8 * k + i] = window;
        cache.laneTaps[k * stride + 8 * g + i] = tap;
        // Pair k / 2, half k % 2: tap 4 pairs with a tap of 0 on the same pixel.
        const uint32_t at = 16 * (k / 2) + 2 * i + (k % 2);
        pairTaps[at] = int16_t(tap);
        pairBytes[2 * at] = uint8_t(4 * window);
        if (k == 4) {
          pairTaps[at + 1] = 0;
          pairBytes[2 * at + 2] = uint8_t(4 * window);
        }
      }
    }
  }
  cache.lanesCurrent = true;
  return DVC_OK;
}

// The nearest kernel's source offsets: tap 2 of the offset table, padded.
DvcResult buildNearestOffsets(ResampleCache& cache, uint32_t count, int32_t sourceWidth, uint32_t pixelSize,
                              uint32_t step) {
  if (DvcResult r = buildTapOffsets(cache, count, sourceWidth, pixelSize, step)) return r;
  if (cache.nearestCurrent) return DVC_OK;
  std::free(cache.nearest);
  cache.nearest = static_cast<int32_t*>(std::calloc(paddedColumns(count), sizeof(int32_t)));
  if (!cache.nearest) return DVC_ERR_NO_MEMORY;
  for (uint32_t j = 0; j < count; ++j) cache.nearest[j] = int32_t(cache.offsets[5 * j + 2]);
  cache.nearestCurrent = true;
  return DVC_OK;
}

inline void storeRgb(const PixelDesc& dst, uint8_t* d, int32_t y, int32_t cr, int32_t cb) {
  uint8_t r, g, b;
  yccToRgb(y, cr, cb, 0, &r, &g, &b);
  d[dst.offsets[0]] = r;
  d[dst.offsets[1]] = g;
  d[dst.offsets[2]] = b;
}

}  // namespace

DvcResult convertResampleNearest(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, float ratio,
                                 bool flip) {
  if (DvcResult r = checkOnePass(src, dst, flip)) return r;
  const uint32_t step = resampleStep(ratio);
  if (kernelLayouts(src, dst) &&
      buildNearestOffsets(cache, uint32_t(dst.width), src.width, src.pixelSize, step) == DVC_OK) {
    const Kernels& kern = kernels();
    return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
      kern.yccaResampleNearestRow(s, d, dst.width, cache.nearest);
    });
  }
  return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
    for (int32_t j = 0; j < dst.width; ++j, d += dst.pixelSize) {
      const uint8_t* p = s + size_t(sourceColumn(j, step, src.width)) * src.pixelSize;
      storeRgb(dst, d, p[src.offsets[0]], int8_t(p[src.offsets[1]]), int8_t(p[src.offsets[2]]));
    }
  });
}

DvcResult convertResampleFiltered(ResampleCache& cache, const PixelDesc& src, const PixelDesc& dst, float ratio,
                                  bool flip) {
  if (DvcResult r = checkOnePass(src, dst, flip)) return r;
  const uint32_t step = resampleStep(ratio);
  if (DvcResult r = buildResampleTaps(cache, ratio, uint32_t(dst.width))) return r;
  if (DvcResult r = buildTapOffsets(cache, uint32_t(dst.width), src.width, src.pixelSize, step)) return r;
  if (kernelLayouts(src, dst) && buildLaneTables(cache) == DVC_OK && cache.lanesUsable) {
    const Kernels& kern = kernels();
    return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
      kern.yccaResampleFilteredRow(s, d, dst.width, cache.laneTaps, cache.laneGroups, int32_t(cache.laneStride));
    });
  }
  const uint8_t oy = src.offsets[0], ocr = src.offsets[1], ocb = src.offsets[2];
  return walkRows(src, dst, flip, [&](const uint8_t* s, uint8_t* d) {
    for (int32_t j = 0; j < dst.width; ++j, d += dst.pixelSize) {
      const int32_t* tap = cache.taps + 5 * j;
      const uint32_t* off = cache.offsets + 5 * j;
      int32_t sy = 0, sr = 0, sb = 0;
      for (int k = 0; k < 5; ++k) {
        const uint8_t* p = s + off[k];
        sy += tap[k] * p[oy];
        sr += tap[k] * (int8_t(p[ocr]) + 128);
        sb += tap[k] * (int8_t(p[ocb]) + 128);
      }
      storeRgb(dst, d, clampByte(sy >> 8), clampByte(sr >> 8) - 128, clampByte(sb >> 8) - 128);
    }
  });
}

DvcResult copyChannels(const PixelDesc& src, const PixelDesc& dst, bool flip) {
  if (!src.buffer || !dst.buffer) return DVC_ERR_NO_INPUT;
  if (src.buffer == dst.buffer && src.width == dst.width && src.height == dst.height && src.stride == dst.stride &&
      src.tag == dst.tag) {
    return DVC_OK;
  }
  const int32_t rows = minOf(src.height, dst.height), cols = minOf(src.width, dst.width);
  const int channels = int(src.pixelSize < dst.pixelSize ? src.pixelSize : dst.pixelSize);
  if (rows < 1 || cols < 1 || channels < 1) return DVC_ERR_BAD_ARGUMENT;
  const int layout = rgb32ToBgr24Layout(src, dst);
  if (layout >= 0) {
    const Kernels& kern = kernels();
    for (int32_t r = 0; r < rows; ++r) kern.rgb32ToBgr24Row(src.row(flip ? rows - 1 - r : r), dst.row(r), cols, nullptr, layout);
    return DVC_OK;
  }
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* s = src.row(flip ? rows - 1 - r : r);
    uint8_t* d = dst.row(r);
    for (int32_t x = 0; x < cols; ++x, s += src.pixelSize, d += dst.pixelSize) {
      for (int c = 0; c < channels && c < 4; ++c) {
        if (channelPresent(src, c) && channelPresent(dst, c)) d[dst.offsets[c]] = s[src.offsets[c]];
      }
    }
  }
  return DVC_OK;
}

DvcResult copyPicture(const PixelDesc& src, const PixelDesc& dst) {
  if (src.tag != dst.tag) return copyChannels(src, dst, false);
  if (!src.buffer || !dst.buffer) return DVC_ERR_NO_INPUT;
  if (src.buffer == dst.buffer && src.width == dst.width && src.height == dst.height && src.stride == dst.stride) {
    return DVC_OK;
  }
  const int32_t rows = minOf(src.height, dst.height), cols = minOf(src.width, dst.width);
  const uint32_t bytes = src.pixelSize < dst.pixelSize ? src.pixelSize : dst.pixelSize;
  if (rows < 1 || cols < 1 || bytes < 1) return DVC_ERR_BAD_ARGUMENT;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* s = src.row(r);
    uint8_t* d = dst.row(r);
    if (src.pixelSize == bytes && dst.pixelSize == bytes) {
      std::memmove(d, s, size_t(cols) * bytes);
      continue;
    }
    for (int32_t x = 0; x < cols; ++x, s += src.pixelSize, d += dst.pixelSize) std::memmove(d, s, bytes);
  }
  return DVC_OK;
}

}  // namespace zebdv
