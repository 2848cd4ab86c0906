// The motion-adaptive de-interlacer and the edge-directed interpolation as the library
// had them before their rows were vectorised, kept word for word (bar the zeroed mask,
// see below) as the reference the library's output must equal byte for byte: stored
// pictures were made with them.
#include "dv_filter_reference.h"

#include <cstdlib>
#include <cstring>

#include "dv_resample.h"

namespace dvref {

using namespace zebdv;

namespace {

bool isYcc(uint32_t tag) { return tag == kTagYCC || tag == kTagYCCa || tag == kTagaYCC; }

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

  // The mean along the direction of least luminance change through pixel x of row `out`
  // (1 <= x <= w - 2): five costs from the six luminance neighbours, the smallest wins,
  // ties going to the earlier. The pair averaged is pixel x + shift above and x - shift
  // below.
  static int32_t edgeShift(int al, int a, int ar, int bl, int b, int br) {
    auto max3 = [](int u, int v, int w) { return u > v ? (u > w ? u : w) : (v > w ? v : w); };
    const int alBr = std::abs(al - br), arBl = std::abs(ar - bl);
    const int c0 = max3(alBr, std::abs(a - br), std::abs(ar - br));
    const int c1 = max3(alBr, std::abs(al - b), std::abs(al - bl));
    const int c2 = std::abs(a - b);
    const int c3 = max3(arBl, std::abs(a - bl), std::abs(al - bl));
    const int c4 = max3(arBl, std::abs(ar - b), std::abs(ar - br));
    const int left = c0 < c1 ? c0 : c1;    // AL and BR
    const int right = c3 < c4 ? c3 : c4;   // AR and BL
    if (left <= c2 && left <= right) return -1;
    return c2 <= right ? 0 : 1;
  }
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

// Motion level of a three-tap difference measure: 2-3 gives 1, 4-7 2, ... 128 and above 7.
uint8_t level(int d) {
  int l = 31 - __builtin_clz(unsigned(d));
  return uint8_t(l > 7 ? 7 : l);
}

int32_t startRow(int field) { return field == 1 ? 2 : 1; }

}  // namespace

DvcResult edgeInterpolate(const PixelDesc& picture, int field) {
  if (!hasThreeChannels(picture) || !isYcc(picture.tag)) return DVC_ERR_BAD_ARGUMENT;
  const int32_t start = startRow(field);
  if (start >= picture.height - 1 || picture.width < 1) return DVC_OK;
  const Channels ch(picture);
  const int32_t w = picture.width;
  forFieldRows(picture.height, start, [&](int32_t row) {
    const uint8_t *above = ch.row(row - 1), *below = ch.row(row + 1);
    uint8_t* out = ch.row(row);
    ch.average(above, out, below, 0, 0, 0);
    for (int32_t x = 1; x < w - 1; ++x) ch.averageAlongEdge(above, out, below, x);
    if (w > 1) ch.average(above, out, below, w - 1, w - 1, w - 1);
  });
  return DVC_OK;
}

void fieldRows(int32_t height, int field, int32_t* first, int32_t* last) {
  *first = field == 1 ? 2 : 1;
  *last = field == 1 ? height - 1 : height - 2;
}

namespace motion {
using zebdv::motion::kMoving;
using zebdv::motion::kRunLinked;
using zebdv::motion::kInterpolate;

void measure(const PixelDesc& picture, int32_t first, uint8_t* mask, int32_t rows, int32_t width) {
  const Channels ch(picture);
  // The three-tap means of each channel of the rows above, at and below the examined row:
  // taps[row 0-2][channel][x].
  const size_t n = size_t(width);
  int32_t* taps = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 9 * n));
  if (!taps) {
    std::memset(mask, 0, size_t(rows) * n);  // no motion found
    return;
  }
  auto tapRow = [&](int32_t row, int32_t* out) {
    const uint8_t* p = ch.row(row);
    const size_t ps = ch.pixelSize;
    int32_t *ty = out, *tr = out + n, *tb = out + 2 * n;
    for (size_t x = 1; x + 1 < n; ++x) {
      const uint8_t *l = p + (x - 1) * ps, *q = p + x * ps, *r = p + (x + 1) * ps;
      ty[x] = (l[ch.o0] + 2 * q[ch.o0] + r[ch.o0]) >> 2;
      tr[x] = (int8_t(l[ch.o1]) + 2 * int8_t(q[ch.o1]) + int8_t(r[ch.o1])) / 4;  // toward zero
      tb[x] = (int8_t(l[ch.o2]) + 2 * int8_t(q[ch.o2]) + int8_t(r[ch.o2])) / 4;
    }
  };
  auto difference = [](int32_t a, int32_t c, int32_t b) {
    const int32_t u = a - c, v = b - c;
    return (u > 0 && v > 0) || (u < 0 && v < 0) ? std::abs(u) + std::abs(v) : 0;
  };
  for (int32_t m = 0; m < rows; ++m) {
    const int32_t row = first + 2 * m;
    for (int k = 0; k < 3; ++k) tapRow(row - 1 + k, taps + 3 * n * size_t(k));
    const int32_t *a = taps, *c = taps + 3 * n, *b = taps + 6 * n;
    uint8_t* out = mask + size_t(m) * n;
    out[0] = 0;
    out[width - 1] = 0;
    for (size_t x = 1; x + 1 < n; ++x) {
      const int dy = difference(a[x], c[x], b[x]);
      if (dy >= 2) {
        out[x] = level(dy);
        continue;
      }
      // Cb's level wins over Cr's when both qualify.
      const int dcr = difference(a[n + x], c[n + x], b[n + x]), dcb = difference(a[2 * n + x], c[2 * n + x], b[2 * n + x]);
      out[x] = dcb >= 2 ? level(dcb) : (dcr >= 2 ? level(dcr) : 0);
    }
  }
  std::free(taps);
}

void smooth(uint8_t* mask, int32_t rows, int32_t width) {
  static constexpr int kHorizontal[15] = {1, 1, 1, 2, 2, 3, 3, 6, 3, 3, 2, 2, 1, 1, 1};  // sum 32
  static constexpr int kVertical[5] = {1, 2, 4, 2, 1};                                  // sum 10
  const int threshold = int(32 * 10 * 1.8f);                                            // 575
  // Horizontal sums (at most 32 x 7) go five rows down, bottom row first, so that one
  // buffer serves: row j's sums land where no row still to be read lies. Taps beyond
  // the row's ends are left out.
  for (int32_t j = rows - 1; j >= 0; --j) {
    const uint8_t* in = mask + size_t(j) * width;
    uint8_t* out = mask + size_t(j + 5) * width;
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
    for (; x + 7 < width; ++x) {
      int sum = 0;
      for (int32_t t = 0; t < 15; ++t) sum += kHorizontal[t] * in[x - 7 + t];
      out[x] = uint8_t(sum);
    }
    for (; x < width; ++x) out[x] = edgeSum(x);
  }
  // Vertical sums of the horizontal ones of rows j - 2 .. j + 2 (stored at j + 3 .. j + 7),
  // the rows outside the examined ones left out.
  for (int32_t j = 0; j < rows; ++j) {
    uint8_t* out = mask + size_t(j) * width;
    const uint8_t* h[5];
    int weight[5];
    for (int t = 0; t < 5; ++t) {
      // A row outside the examined ones counts nothing (its place may lie past the mask:
      // read row j's sums instead).
      const int32_t source = j - 2 + t;
      const bool inside = source >= 0 && source < rows;
      h[t] = mask + size_t(inside ? j + 3 + t : j + 5) * width;
      weight[t] = inside ? kVertical[t] : 0;
    }
    for (int32_t x = 0; x < width; ++x) {
      const int sum = weight[0] * h[0][x] + weight[1] * h[1][x] + weight[2] * h[2][x] + weight[3] * h[3][x] +
                      weight[4] * h[4][x];
      out[x] = sum > threshold ? kMoving : 0;
    }
  }
}

void runs(uint8_t* mask, int32_t rows, int32_t width) {
  // The mask is one byte sequence; a run is remembered by its start and may go on past
  // the end of a row (covering the two last bytes of the row, which are not examined).
  const int64_t none = -1;
  int64_t start = none;
  auto mark = [mask](int64_t from, int64_t to) {
    for (int64_t i = from; i < to; ++i) mask[i] |= kInterpolate;
  };
  for (int32_t q = 2; q < rows; ++q) {
    for (int32_t x = 0; x + 2 < width; ++x) {
      const int64_t pos = int64_t(q) * width + x;
      const uint8_t v = mask[pos];
      mask[pos] = uint8_t(v & ~kMoving);
      const bool moving = (v & kMoving) != 0;
      if (start == none) {
        if (!moving) continue;
        start = pos;
      }
      if (moving) {
        // Motion directly above (as the byte is now) or below links the run. Below the
        // last row lies the first scratch row of the smoothing, whose sums stand for the
        // motion a few rows up.
        const bool above = (mask[pos - width] & kMoving) != 0;
        const bool below = (mask[pos + width] & kMoving) != 0;
        if (above || below) mask[start] |= kRunLinked;
      } else {
        if ((mask[start] & kRunLinked) && start + 1 < pos) mark(start, pos);
        start = none;
      }
    }
    if (start != none) {
      const int64_t end = int64_t(q) * width + width - 2;
      if ((mask[start] & kRunLinked) && start + 1 < end) {
        mark(start, end);
        start = end;
      }
    }
  }
}

}  // namespace motion

DvcResult deinterlaceMotion(const PixelDesc& src, const PixelDesc& dst, int field) {
  if (!hasThreeChannels(src) || !hasThreeChannels(dst)) return DVC_ERR_BAD_ARGUMENT;
  if (src.width != dst.width || src.height != dst.height || src.stride != dst.stride ||
      src.pixelSize != dst.pixelSize) {
    return DVC_ERR_BAD_ARGUMENT;
  }
  const int32_t w = dst.width, h = dst.height;
  if (w < 1 || h < 2) return DVC_OK;
  // The mask: one byte a pixel for every other row, and five rows for the smoothing.
  int16_t error = 0;
  PixelDesc mask = pixelDescCreateAligned(w, h / 2 + 5, 1, 0, kTagK, &error);
  if (!mask.buffer) return error ? error : DvcResult(DVC_ERR_NO_MEMORY);
  // The one change: the mask starts zeroed. With three or four examined rows the runs
  // read a scratch row that no step writes (the row below the last), which the library
  // now takes as no motion; this copy came from the heap unset.
  std::memset(mask.buffer, 0, mask.size);
  if (src.buffer != dst.buffer) (void)copyPicture(src, dst);
  DvcResult result = DVC_OK;
  if (!isYcc(dst.tag)) {
    result = DVC_ERR_NO_INPUT;
  } else {
    int32_t first, last;
    fieldRows(h, field, &first, &last);
    int32_t rows = last >= first ? (last - first) / 2 + 1 : 0;
    if (rows > h / 2) rows = h / 2;
    while (rows > 0 && first + 2 * rows > h) --rows;  // every examined row has a row below
    if (rows > 0 && w >= 3) {
      motion::measure(dst, first, mask.buffer, rows, w);
      motion::smooth(mask.buffer, rows, w);
      motion::runs(mask.buffer, rows, w);
    } else {
      std::memset(mask.buffer, 0, mask.size);
    }
    // The edge row of the kept field is copied, then the marked pixels are interpolated.
    const Channels ch(dst);
    const int32_t from = field == 1 ? 1 : h - 2, to = field == 1 ? 0 : h - 1;
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) *ch.at(to, x, c) = *ch.at(from, x, c);
    int32_t m = 0;
    forFieldRows(h, first, [&](int32_t row) {
      const uint8_t* marks = m < rows ? mask.buffer + size_t(m) * w : nullptr;
      ++m;
      const uint8_t *above = ch.row(row - 1), *below = ch.row(row + 1);
      uint8_t* out = ch.row(row);
      ch.average(above, out, below, 0, 0, 0);
      for (int32_t x = 1; marks && x < w - 1; ++x) {
        if (marks[x] & motion::kInterpolate) ch.averageAlongEdge(above, out, below, x);
      }
      if (w > 1) ch.average(above, out, below, w - 1, w - 1, w - 1);
    });
  }
  pixelDescFree(&mask);
  return result;
}

}  // namespace dvref
