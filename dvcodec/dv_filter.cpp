#include "dv_filter.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "dv_edge.h"
#include "dv_kernels.h"
#include "dv_resample.h"

namespace zebdv {

namespace {

bool isYcc(uint32_t tag) { return tag == kTagYCC || tag == kTagYCCa || tag == kTagaYCC; }

// Pixels in the decoder's layout ('YCCa': four bytes, Y, Cr, Cb first) go through the
// codec's vector kernels; any other layout through the byte-wise loops here.
bool yccaPixels(const PixelDesc& p) {
  return p.pixelSize == 4 && p.offsets[0] == 0 && p.offsets[1] == 1 && p.offsets[2] == 2;
}

bool hasThreeChannels(const PixelDesc& p) {
  return p.buffer && p.pixelSize >= 3 && p.offsets[0] < p.pixelSize && p.offsets[1] < p.pixelSize &&
         p.offsets[2] < p.pixelSize;
}

// Access to the three channels of one picture: Y unsigned, Cr and Cb signed.
struct Channels {
  uint8_t* buffer;
  size_t stride, pixelSize;
  uint8_t o0, o1, o2;
  explicit Channels(const PixelDesc& p)
      : buffer(p.buffer), stride(p.stride), pixelSize(p.pixelSize), o0(p.offsets[0]), o1(p.offsets[1]),
        o2(p.offsets[2]) {}
  uint8_t* row(int32_t r) const { return buffer + size_t(r) * stride; }
  uint8_t* at(int32_t r, int32_t x, int c) const { return row(r) + size_t(x) * pixelSize + (c == 0 ? o0 : c == 1 ? o1 : o2); }
  int y(int32_t r, int32_t x) const { return row(r)[size_t(x) * pixelSize + o0]; }
  int chroma(int32_t r, int32_t x, int c) const { return int8_t(*at(r, x, c)); }

  // Pixel x of row `out` becomes the mean of pixel xa of row `above` and xb of `below`.
  void average(const uint8_t* above, uint8_t* out, const uint8_t* below, int32_t x, int32_t xa, int32_t xb) const {
    const size_t p = size_t(x) * pixelSize, pa = size_t(xa) * pixelSize, pb = size_t(xb) * pixelSize;
    out[p + o0] = uint8_t((above[pa + o0] + below[pb + o0]) >> 1);
    out[p + o1] = uint8_t((int8_t(above[pa + o1]) + int8_t(below[pb + o1])) >> 1);
    out[p + o2] = uint8_t((int8_t(above[pa + o2]) + int8_t(below[pb + o2])) >> 1);
  }
  void average(int32_t r, int32_t x, int32_t xa, int32_t xb) const {
    average(row(r - 1), row(r), row(r + 1), x, xa, xb);
  }

  // The mean along the edge through pixel x of row `out` (1 <= x <= w - 2; see edgeShift).
  void averageAlongEdge(const uint8_t* above, uint8_t* out, const uint8_t* below, int32_t x) const {
    const size_t p = size_t(x) * pixelSize;
    const int32_t shift = edgeShift(above[p - pixelSize + o0], above[p + o0], above[p + pixelSize + o0],
                                    below[p - pixelSize + o0], below[p + o0], below[p + pixelSize + o0]);
    average(above, out, below, x, x + shift, x - shift);
  }
  void averageAlongEdge(int32_t r, int32_t x) const { averageAlongEdge(row(r - 1), row(r), row(r + 1), x); }
};

// Row `start`, start + 2, ... ((height - start) >> 1 of them), calling fn(row).
template <typename Fn>
void forFieldRows(int32_t height, int32_t start, Fn fn) {
  const int32_t count = (height - start) >> 1;
  for (int32_t k = 0; k < count; ++k) fn(start + 2 * k);
}

int32_t startRow(int field) { return field == 1 ? 2 : 1; }

}  // namespace

void fieldRows(int32_t height, int field, int32_t* first, int32_t* last) {
  *first = field == 1 ? 2 : 1;
  *last = field == 1 ? height - 1 : height - 2;
}

DvcResult lineAverage(const PixelDesc& picture, int field) {
  if (!hasThreeChannels(picture)) return DVC_ERR_BAD_ARGUMENT;
  const int32_t start = startRow(field);
  if (start >= picture.height - 1) return DVC_OK;
  const Channels ch(picture);
  forFieldRows(picture.height, start, [&](int32_t row) {
    const uint8_t *above = ch.row(row - 1), *below = ch.row(row + 1);
    uint8_t* out = ch.row(row);
    for (int32_t x = 0; x < picture.width; ++x) ch.average(above, out, below, x, x, x);
  });
  return DVC_OK;
}

DvcResult edgeInterpolate(const PixelDesc& picture, int field) {
  if (!hasThreeChannels(picture) || !isYcc(picture.tag)) return DVC_ERR_BAD_ARGUMENT;
  const int32_t start = startRow(field);
  if (start >= picture.height - 1 || picture.width < 1) return DVC_OK;
  const Channels ch(picture);
  const int32_t w = picture.width;
  const bool ycca = yccaPixels(picture);
  const Kernels& k = kernels();
  forFieldRows(picture.height, start, [&](int32_t row) {
    const uint8_t *above = ch.row(row - 1), *below = ch.row(row + 1);
    uint8_t* out = ch.row(row);
    ch.average(above, out, below, 0, 0, 0);
    if (ycca) {
      k.motionInterpolateRow(above, out, below, nullptr, w);
    } else {
      for (int32_t x = 1; x < w - 1; ++x) ch.averageAlongEdge(above, out, below, x);
    }
    if (w > 1) ch.average(above, out, below, w - 1, w - 1, w - 1);
  });
  return DVC_OK;
}

namespace motion {

namespace {

// Sixteen lanes of bytes.
typedef uint8_t Bytes __attribute__((vector_size(16)));

Bytes loadBytes(const uint8_t* p) {
  Bytes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The three-tap means of one row at x = 1 .. width - 2 (as Kernels::motionTapsRow) for
// any layout.
void tapRowBytes(const PixelDesc& p, const uint8_t* row, int32_t width, int16_t* taps) {
  const Channels ch(p);
  int16_t *ty = taps, *tr = taps + width, *tb = taps + 2 * size_t(width);
  const size_t ps = p.pixelSize;
  for (int32_t x = 1; x + 1 < width; ++x) {
    const uint8_t *l = row + size_t(x - 1) * ps, *c = l + ps, *r = c + ps;
    ty[x] = int16_t((l[ch.o0] + 2 * c[ch.o0] + r[ch.o0]) >> 2);
    tr[x] = int16_t((int8_t(l[ch.o1]) + 2 * int8_t(c[ch.o1]) + int8_t(r[ch.o1])) / 4);  // toward zero
    tb[x] = int16_t((int8_t(l[ch.o2]) + 2 * int8_t(c[ch.o2]) + int8_t(r[ch.o2])) / 4);
  }
}

// The 15-tap horizontal sums of one row of levels (weights 1 1 1 2 2 3 3 6 3 3 2 2 1 1 1),
// kept to their low eight bits; taps beyond the row's ends count nothing.
void horizontalRow(const uint8_t* in, uint8_t* out, int32_t width) {
  static constexpr int kHorizontal[15] = {1, 1, 1, 2, 2, 3, 3, 6, 3, 3, 2, 2, 1, 1, 1};  // sum 32
  auto edgeSum = [&](int32_t x) {
    int sum = 0;
    for (int32_t t = 0; t < 15; ++t) {
      const int32_t c = x - 7 + t;
      if (c >= 0 && c < width) sum += kHorizontal[t] * in[c];
    }
    return uint8_t(sum);
  };
  int32_t x = 0;
  for (; x < width && x < 7; ++x) out[x] = edgeSum(x);
  // Sixteen sums at a time in eight-bit lanes, whose wrap keeps the low eight bits.
  for (; x + 23 <= width; x += 16) {
    auto at = [&](int32_t t) { return loadBytes(in + x + t); };
    const Bytes ones = at(-7) + at(-6) + at(-5) + at(5) + at(6) + at(7);
    const Bytes twos = at(-4) + at(-3) + at(3) + at(4);
    const Bytes threes = at(-2) + at(-1) + at(1) + at(2);
    const Bytes centre2 = at(0) + at(0);
    const Bytes sum = ones + twos + twos + threes + threes + threes + centre2 + centre2 + centre2;
    std::memcpy(out + x, &sum, sizeof sum);
  }
  for (; x + 7 < width; ++x) {
    const uint8_t* c = in + x;
    out[x] = uint8_t(c[-7] + c[-6] + c[-5] + c[5] + c[6] + c[7] + 2 * (c[-4] + c[-3] + c[3] + c[4]) +
                     3 * (c[-2] + c[-1] + c[1] + c[2]) + 6 * c[0]);
  }
  for (; x < width; ++x) out[x] = edgeSum(x);
}

// The weighted vertical sum (1 2 4 2 1) of five rows of horizontal sums against the
// threshold: kMoving above it, else 0. A row of weight 0 adds nothing.
void verticalRow(const uint8_t* const h[5], const int weight[5], uint8_t* out, int32_t width) {
  const int threshold = int(32 * 10 * 1.8f);  // 575
  const uint8_t *h0 = h[0], *h1 = h[1], *h2 = h[2], *h3 = h[3], *h4 = h[4];
  // The sums (at most 10 x 255) fit 16 bits, which lets the loop take 16-bit lanes.
  const uint16_t w0 = uint16_t(weight[0]), w1 = uint16_t(weight[1]), w2 = uint16_t(weight[2]),
                 w3 = uint16_t(weight[3]), w4 = uint16_t(weight[4]);
  for (int32_t x = 0; x < width; ++x) {
    const uint16_t sum = uint16_t(w0 * h0[x] + w1 * h1[x] + w2 * h2[x] + w3 * h3[x] + w4 * h4[x]);
    out[x] = uint8_t((sum > threshold) << 7);  // kMoving or 0
  }
}

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
constexpr uint64_t kMovingBytes = 0x8080808080808080ull;

// The first x in [from, to) whose byte is moving (or, with moving false, still), else to.
// Eight bytes at a time; the lowest address is the lowest byte of a little-endian word.
int32_t findByte(const uint8_t* row, int32_t from, int32_t to, bool moving) {
  const uint64_t flip = moving ? 0 : kMovingBytes;
  int32_t x = from;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 8 <= to; x += 8) {
      const uint64_t v = (load64(row + x) ^ flip) & kMovingBytes;
      if (v) return x + std::countr_zero(v) / 8;
    }
  }
  for (; x < to; ++x) {
    if (((row[x] & kMoving) != 0) == moving) return x;
  }
  return to;
}

// Whether any byte in [from, to) is moving.
bool anyMoving(const uint8_t* row, int32_t from, int32_t to) {
  uint64_t any = 0;
  int32_t x = from;
  for (; x + 8 <= to; x += 8) any |= load64(row + x);
  for (; x < to; ++x) any |= row[x];
  return (any & kMovingBytes) != 0;
}

void mark(uint8_t* mask, int64_t from, int64_t to) {
  for (int64_t i = from; i < to; ++i) mask[i] |= kInterpolate;
}

// The motion levels of the examined rows first, first + 2, ... one row after another.
// Each picture row's taps are made once: the row below one examined row is the row above
// the next, so the three sets of tap rows rotate.
class LevelRows {
 public:
  LevelRows(const PixelDesc& picture, int32_t first, int32_t width, int16_t* taps)
      : picture_(picture), k_(kernels()), ycca_(yccaPixels(picture)), width_(width), row_(first), above_(taps),
        at_(taps + 3 * size_t(width)), below_(taps + 6 * size_t(width)) {
    tapRow(first - 1, above_);
  }
  void next(uint8_t* out) {
    tapRow(row_, at_);
    tapRow(row_ + 1, below_);
    k_.motionLevelRow(above_, at_, below_, out, width_);
    std::swap(above_, below_);
    row_ += 2;
  }

 private:
  void tapRow(int32_t row, int16_t* out) const {
    if (ycca_) k_.motionTapsRow(picture_.row(row), width_, out);
    else tapRowBytes(picture_, picture_.row(row), width_, out);
  }
  const PixelDesc& picture_;
  const Kernels& k_;
  const bool ycca_;
  const int32_t width_;
  int32_t row_;
  int16_t *above_, *at_, *below_;
};

// Row j of the smoothing's vertical sums: the horizontal sums of rows j - 2 .. j + 2
// (stored at j + 3 .. j + 7), the rows outside the examined ones left out.
void verticalSums(uint8_t* mask, int32_t j, int32_t rows, int32_t width) {
  const uint8_t* h[5];
  int weight[5];
  for (int t = 0; t < 5; ++t) {
    static constexpr int kVertical[5] = {1, 2, 4, 2, 1};  // sum 10
    // A row outside the examined ones counts nothing (its place may lie past the mask:
    // read row j's sums instead).
    const int32_t source = j - 2 + t;
    const bool inside = source >= 0 && source < rows;
    h[t] = mask + size_t(inside ? j + 3 + t : j + 5) * width;
    weight[t] = inside ? kVertical[t] : 0;
  }
  verticalRow(h, weight, mask + size_t(j) * width, width);
}

// The mask is one byte sequence; a run is remembered by its start (none: -1) and may go
// on past the end of a row (covering the two last bytes of the row, which are not
// examined). A run is linked once one of its moving bytes has motion directly above or
// below. Each row's moving bytes lose kMoving as the row is passed, so motion above
// counts only for the first examined row (2), whose row above is never passed; below the
// last row lies the first scratch row of the smoothing, whose sums stand for the motion
// a few rows up. The runs are found eight bytes at a time. Passes row q (from 2 on, in
// order), with the start of the run going on from the row before.
void runsRow(uint8_t* mask, int32_t q, int32_t width, int64_t& start) {
  const int64_t none = -1;
  const int32_t examined = width - 2;
  const int64_t base = int64_t(q) * width;
  uint8_t* row = mask + base;
  const uint8_t *above = row - width, *below = row + width;
  int32_t x = 0;
  while (x < examined) {
    if (start == none) {
      x = findByte(row, x, examined, true);
      if (x == examined) break;
      start = base + x;
    }
    const int32_t end = findByte(row, x, examined, false);  // the run's moving bytes are x .. end - 1
    if (anyMoving(below, x, end) || (q == 2 && anyMoving(above, x, end))) mask[start] |= kRunLinked;
    if (end == examined) break;
    const int64_t pos = base + end;
    if ((mask[start] & kRunLinked) && start + 1 < pos) mark(mask, start, pos);
    start = none;
    x = end + 1;
  }
  if (start != none) {
    const int64_t end = base + width - 2;
    if ((mask[start] & kRunLinked) && start + 1 < end) {
      mark(mask, start, end);
      start = end;
    }
  }
  for (int32_t i = 0; i < examined; ++i) row[i] &= uint8_t(~kMoving);
}

}  // namespace

void measure(const PixelDesc& picture, int32_t first, uint8_t* mask, int32_t rows, int32_t width, int16_t* taps) {
  LevelRows levels(picture, first, width, taps);
  for (int32_t m = 0; m < rows; ++m) levels.next(mask + size_t(m) * width);
}

void smooth(uint8_t* mask, int32_t rows, int32_t width) {
  // Horizontal sums (at most 32 x 7) go five rows down, bottom row first, so that one
  // buffer serves: row j's sums land where no row still to be read lies.
  for (int32_t j = rows - 1; j >= 0; --j) horizontalRow(mask + size_t(j) * width, mask + size_t(j + 5) * width, width);
  for (int32_t j = 0; j < rows; ++j) verticalSums(mask, j, rows, width);
}

void runs(uint8_t* mask, int32_t rows, int32_t width) {
  int64_t start = -1;
  for (int32_t q = 2; q < rows; ++q) runsRow(mask, q, width, start);
}

}  // namespace motion

namespace {

// Byte offsets of the motion de-interlacer's working memory inside one block: the mask
// (one byte a pixel for every examined row, and five rows for the smoothing), one row of
// levels and the measure's tap rows.
struct MotionScratchLayout {
  size_t mask = 0, levels = 0, taps = 0, total = 0;
  MotionScratchLayout(int32_t width, int32_t rows) {
    auto rounded = [](size_t bytes) { return (bytes + 63) / 64 * 64; };
    levels = rounded(size_t(width) * size_t(rows + 5));
    taps = levels + rounded(size_t(width));
    total = taps + rounded(sizeof(int16_t) * 9 * size_t(width));
  }
};

}  // namespace

FilterScratch::~FilterScratch() { std::free(bytes); }

uint8_t* FilterScratch::reserve(size_t wanted) {
  if (size < wanted) {
    std::free(bytes);
    bytes = static_cast<uint8_t*>(std::aligned_alloc(64, (wanted + 63) / 64 * 64));
    size = bytes ? wanted : 0;
  }
  return bytes;
}

DvcResult deinterlaceMotion(const PixelDesc& src, const PixelDesc& dst, int field, FilterScratch* scratch) {
  if (!hasThreeChannels(src) || !hasThreeChannels(dst)) return DVC_ERR_BAD_ARGUMENT;
  if (src.width != dst.width || src.height != dst.height || src.stride != dst.stride ||
      src.pixelSize != dst.pixelSize) {
    return DVC_ERR_BAD_ARGUMENT;
  }
  const int32_t w = dst.width, h = dst.height;
  if (w < 1 || h < 2) return DVC_OK;
  if (src.buffer != dst.buffer) (void)copyPicture(src, dst);
  if (!isYcc(dst.tag)) return DVC_ERR_NO_INPUT;

  int32_t first, last;
  fieldRows(h, field, &first, &last);
  int32_t rows = last >= first ? (last - first) / 2 + 1 : 0;
  if (rows > h / 2) rows = h / 2;
  while (rows > 0 && first + 2 * rows > h) --rows;  // every examined row has a row below
  const bool examine = rows > 0 && w >= 3;

  // Replaces row first + 2 q: its end pixels become the mean of the rows above and below,
  // the pixels between that mask row q marks the mean along the edge.
  const Channels ch(dst);
  const bool ycca = yccaPixels(dst);
  const Kernels& k = kernels();
  uint8_t* mask = nullptr;
  auto replace = [&](int32_t q) {
    const int32_t row = first + 2 * q;
    const uint8_t* marks = mask && q < rows ? mask + size_t(q) * w : nullptr;
    const uint8_t *above = ch.row(row - 1), *below = ch.row(row + 1);
    uint8_t* out = ch.row(row);
    ch.average(above, out, below, 0, 0, 0);
    if (marks && ycca) {
      k.motionInterpolateRow(above, out, below, marks, w);
    } else {
      for (int32_t x = 1; marks && x < w - 1; ++x) {
        if (marks[x] & motion::kInterpolate) ch.averageAlongEdge(above, out, below, x);
      }
    }
    if (w > 1) ch.average(above, out, below, w - 1, w - 1, w - 1);
  };
  const int32_t count = (h - first) >> 1;  // the rows replaced (first + 2 count <= h)
  int32_t replaced = 0;

  FilterScratch own;
  FilterScratch& s = scratch ? *scratch : own;
  if (examine) {
    const MotionScratchLayout layout(w, rows);
    if (!s.reserve(layout.total)) return DVC_ERR_NO_MEMORY;
    mask = s.bytes + layout.mask;
    uint8_t* levelRow = s.bytes + layout.levels;
    // With fewer than five examined rows the row below the last (which the runs read)
    // receives no sums: it holds no motion.
    if (rows < 5) std::memset(mask + size_t(rows) * w, 0, size_t(5 - rows) * w);
    // The steps of motion::measure, smooth and runs, row by row a few rows apart so that
    // the picture's rows are still in the cache when they are replaced: mask row m's
    // levels and horizontal sums (at m + 5), row m - 2's vertical sums, the runs through
    // row m - 3 (which reads row m - 2), and every row whose marks the runs can no longer
    // reach: those before the start of a run going on, or before the next row.
    motion::LevelRows levels(dst, first, w, reinterpret_cast<int16_t*>(s.bytes + layout.taps));
    int64_t start = -1;
    for (int32_t m = 0; m < rows; ++m) {
      levels.next(levelRow);
      motion::horizontalRow(levelRow, mask + size_t(m + 5) * w, w);
      if (m >= 2) motion::verticalSums(mask, m - 2, rows, w);
      if (m - 3 >= 2) {
        motion::runsRow(mask, m - 3, w, start);
        const int64_t settled = start >= 0 ? start : int64_t(m - 2) * w;
        while (int64_t(replaced + 1) * w <= settled) replace(replaced++);
      }
    }
    for (int32_t j = std::max(0, rows - 2); j < rows; ++j) motion::verticalSums(mask, j, rows, w);
    for (int32_t q = std::max(2, rows - 3); q < rows; ++q) motion::runsRow(mask, q, w, start);
  }
  // The edge row of the kept field is copied (after the last measure, which may read it,
  // and before the row beside it is replaced), then the rows left are replaced.
  const int32_t from = field == 1 ? 1 : h - 2, to = field == 1 ? 0 : h - 1;
  for (int32_t x = 0; x < w; ++x)
    for (int c = 0; c < 3; ++c) *ch.at(to, x, c) = *ch.at(from, x, c);
  while (replaced < count) replace(replaced++);
  return DVC_OK;
}

DvcResult filterPicture(const PixelDesc& picture, uint32_t mode, FilterScratch* scratch) {
  switch (mode) {
    case kFilterLineAverage: return lineAverage(picture, 0);
    case kFilterKeepEvenRows: return deinterlaceMotion(picture, picture, 0, scratch);
    case kFilterKeepOddRows: return deinterlaceMotion(picture, picture, 1, scratch);
    case kFilterEdgeInterpolate: return edgeInterpolate(picture, 0);
    default: return DVC_OK;
  }
}

}  // namespace zebdv
