#include "dv_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dv_frame.h"
#include "dv_pixel.h"
#include "dv_idct.h"
#include "dv_kernels.h"
#include "dv_tables.h"
#include "dv_vlc.h"

namespace zebdv {

namespace {

// The segment's code space less 30 end-of-block codes: 5 x (4 x 100 + 2 x 68) - 30 x 4.
constexpr int kBudgetBits = 2560;
constexpr int kAreaHeaderBits = 12;  // DC, DCT mode and class

// The forward transform's rows of weighted cosines, so that the decoder's inverse
// weighting and transform undo them exactly: an AC coefficient of frequencies (h, v) is
// W(h) W(v) a(h) a(v) / 8 times the sum of the samples times their cosines, a(0) being
// 1 / sqrt(2) (the DC is the sum / 32, kept apart).
struct FdctTables {
  float eight[8][8];  // [frequency k][sample n]: W(k) a(k) cos((2n + 1) k pi / 16) / sqrt(8)
  float four[4][4];   // [frequency r][line pair z]: W(2r) a(2r) cos((2z + 1) r pi / 8) / sqrt(8)
  FdctTables() {
    const double pi = 3.14159265358979323846, root8 = std::sqrt(8.0);
    auto a = [](int k) { return k ? 1.0 : 1.0 / std::sqrt(2.0); };
    for (int k = 0; k < 8; ++k)
      for (int n = 0; n < 8; ++n)
        eight[k][n] = float(standardWeight(k) * a(k) * std::cos((2 * n + 1) * k * pi / 16) / root8);
    for (int r = 0; r < 4; ++r)
      for (int z = 0; z < 4; ++z)
        four[r][z] = float(standardWeight(2 * r) * a(2 * r) * std::cos((2 * z + 1) * r * pi / 8) / root8);
  }
};
const FdctTables kFdct;

// A block of a segment: its coefficients in scan order (AC halved in class 3), class and
// mode, and its non-zero AC coefficients (scan index and magnitude) for the quantiser
// search.
struct Block {
  int16_t coefficients[64];
  uint8_t cls;
  uint8_t mode;
  uint8_t nonzero;
  uint8_t index[63];
  uint8_t area[63];  // the quantisation area of each
  uint16_t magnitude[63];
};

// Code lengths by run and amplitude, for pricing.
struct CodeLengths {
  uint8_t length[64][256];
  CodeLengths() {
    const auto& codes = encoderVlcCodes();
    for (int r = 0; r < 64; ++r)
      for (int a = 0; a < 256; ++a) length[r][a] = codes[r][a].length;
  }
};
const CodeLengths kLengths;

// An AC coefficient of magnitude v quantised at a step row: shifted right by its area's
// step (so toward zero) and kept within the codes' reach (255).
inline int quantizedMagnitude(const Block& block, int i, const uint8_t* shifts) {
  const int q = block.magnitude[i] >> shifts[block.area[i]];
  return q > 255 ? 255 : q;
}

// Bits of the block's AC codes at a step row (end of block not counted).
int codeBits(const Block& block, int row) {
  const uint8_t* shifts = kQuantShift[row];
  int bits = 0, last = 0;
  for (int i = 0; i < block.nonzero; ++i) {
    // Without branches: a coefficient quantised to 0 costs nothing (length 0 at amplitude
    // 0) and leaves the run going on.
    const int q = quantizedMagnitude(block, i, shifts);
    const int k = block.index[i];
    bits += kLengths.length[k - last - 1][q];
    last = q ? k : last;
  }
  return bits;
}

inline uint64_t loadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}
inline void storeBigEndian64(uint8_t* p, uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// ORs n bits (at most 57, right-aligned in value) into zeroed bits from bit `pos` on,
// most significant first; the buffer has 8 bytes to spare after its last bit.
inline void orBits(uint8_t* bytes, uint32_t pos, uint64_t value, int n) {
  uint8_t* at = bytes + (pos >> 3);
  storeBigEndian64(at, loadBigEndian64(at) | (value << (64 - n - int(pos & 7))));
}
inline uint64_t readBits(const uint8_t* bytes, uint32_t pos, int n) {
  return (loadBigEndian64(bytes + (pos >> 3)) << (pos & 7)) >> (64 - n);
}
void copyBits(const uint8_t* from, uint32_t fromPos, uint8_t* to, uint32_t toPos, uint32_t n) {
  while (n) {
    const int take = n < 32 ? int(n) : 32;
    orBits(to, toPos, readBits(from, fromPos, take), take);
    fromPos += uint32_t(take);
    toPos += uint32_t(take);
    n -= uint32_t(take);
  }
}

// A block's codes, end of block included, as one bit string.
struct CodeString {
  uint8_t bytes[144];  // at most 63 codes of 16 bits and the end of block, and room to spare
  uint32_t length = 0;
  uint32_t taken = 0;  // bits already placed
  void append(uint32_t bits, int n) {
    orBits(bytes, length, bits, n);
    length += uint32_t(n);
  }
  uint32_t waiting() const { return length - taken; }
};

// The block's codes at a step row, each sign the last bit of its code.
void codeBlock(const Block& block, int row, CodeString* out) {
  const auto& codes = encoderVlcCodes();
  const uint8_t* shifts = kQuantShift[row];
  std::memset(out->bytes, 0, sizeof out->bytes);
  out->length = out->taken = 0;
  int last = 0;
  for (int i = 0; i < block.nonzero; ++i) {
    const int q = quantizedMagnitude(block, i, shifts);
    if (!q) continue;
    const int k = block.index[i];
    const VlcCode& c = codes[k - last - 1][q];
    out->append(c.bits | (block.coefficients[k] < 0 ? 1u : 0u), c.length);
    last = k;
  }
  out->append(kEndOfBlockCode, kEndOfBlockLength);
}

// The samples of the six blocks of a macroblock from the encoder's picture.
void gatherMacroblock(const DvEncoder& e, const MacroblockPlace& mb, int8_t samples[6][64]) {
  auto value = [&](int y, int x, int channel) { return e.planes[channel][720 * size_t(y) + size_t(x)]; };
  for (int b = 0; b < 4; ++b) {
    int x0, y0;
    lumaBlockOrigin(mb, b, &x0, &y0);
    for (int r = 0; r < 8; ++r) std::memcpy(samples[b] + 8 * r, e.planes[0] + 720 * size_t(y0 + r) + size_t(x0), 8);
  }
  for (int b = 4; b < 6; ++b) {
    const int channel = b - 3;  // Cr, then Cb
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 8; ++c) {
        int y, x;
        if (e.system == 625) {
          y = mb.y + 2 * r;  // every second pixel of every second line
          x = mb.x + 2 * c;
        } else if (mb.shape == 0) {
          y = mb.y + r;  // every fourth pixel of a 32-pixel line
          x = mb.x + 4 * c;
        } else {
          y = mb.y + r + (c < 4 ? 0 : 8);  // the right-hand 16 x 16: upper lines, then lower
          x = mb.x + 4 * (c & 3);
        }
        samples[b][8 * r + c] = value(y, x, channel);
      }
    }
  }
}

void encodeSegment(const DvEncoder& e, int s, int i, uint8_t* const videoBlocks[5]) {
  Block blocks[5][6];
  for (int m = 0; m < 5; ++m) {
    int8_t samples[6][64];
    gatherMacroblock(e, macroblockPlace(e.system, s, i, m), samples);
    for (int b = 0; b < 6; ++b) {
      Block& k = blocks[m][b];
      int mode = 0;
      forwardDct(samples[b], k.coefficients, &mode);
      k.mode = uint8_t(mode);
      int largest = 0;
      for (int c = 1; c < 64; ++c) largest = std::max(largest, std::abs(int(k.coefficients[c])));
      int cls = largest < 12 ? 0 : (largest < 24 ? 1 : (largest < 36 ? 2 : 3));
      if (b == 4) cls += 1;
      if (b == 5) cls += 2;
      k.cls = uint8_t(cls > 3 ? 3 : cls);
      if (k.cls == 3) {
        // Class 3 quantises one step coarser: every AC coefficient halved, toward zero.
        for (int c = 1; c < 64; ++c) k.coefficients[c] = int16_t(halvedTowardZero(k.coefficients[c]));
      }
      k.nonzero = 0;
      for (int c = 1; c < 64; ++c) {
        if (!k.coefficients[c]) continue;
        k.index[k.nonzero] = uint8_t(c);
        k.area[k.nonzero] = kCoefficientArea[c];
        k.magnitude[k.nonzero++] = uint16_t(std::abs(int(k.coefficients[c])));
      }
    }
  }

  // The bits of every block at each step row, worked out when first asked for.
  int bitsAtRow[5][6][16];
  std::memset(bitsAtRow, 0xFF, sizeof bitsAtRow);
  auto macroblockBits = [&](int m, int qno) {
    int bits = 0;
    for (int b = 0; b < 6; ++b) {
      const int row = quantRow(qno, blocks[m][b].cls);
      int& cached = bitsAtRow[m][b][row];
      if (cached < 0) cached = codeBits(blocks[m][b], row);
      bits += cached;
    }
    return bits;
  };
  // The finest quantiser whose codes fit; then the first macroblocks (at most four)
  // take the next finer one while the segment still fits.
  int qno[5], perMacroblock[5][2];
  int q = 15, total = 0;
  for (;; --q) {
    total = 0;
    for (int m = 0; m < 5; ++m) total += perMacroblock[m][0] = macroblockBits(m, q);
    if (total <= kBudgetBits || q == 0) break;
  }
  for (int m = 0; m < 5; ++m) qno[m] = q;
  if (q < 15 && total <= kBudgetBits) {
    for (int m = 0; m < 4; ++m) {
      perMacroblock[m][1] = macroblockBits(m, q + 1);
      const int with = total - perMacroblock[m][0] + perMacroblock[m][1];
      if (with > kBudgetBits) break;
      total = with;
      qno[m] = q + 1;
    }
  }

  // The codes, and the areas: each block's own area first, then the spare bits of its
  // macroblock's areas, then those of the whole segment, in block order.
  CodeString codes[5][6];
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) codeBlock(blocks[m][b], quantRow(qno[m], blocks[m][b].cls), &codes[m][b]);
  }
  // The video data of each video block (bytes 4-79) is put together in `data` first,
  // with room to spare for the word writes.
  uint8_t data[5][76 + 8] = {};
  uint32_t used[5][6];  // bits of each area filled, from the area's first bit
  auto areaOf = [&](int m, int b) { return data[m] + (kAreaOffset[b] - 4); };
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      const Block& k = blocks[m][b];
      uint8_t* area = areaOf(m, b);
      orBits(area, 0, (uint64_t(uint16_t(k.coefficients[0])) & 0x1FF) << 3 | uint64_t(k.mode) << 2 | k.cls,
             kAreaHeaderBits);
      const uint32_t room = kAreaBits[b] - kAreaHeaderBits;
      CodeString& c = codes[m][b];
      const uint32_t n = c.length < room ? c.length : room;
      copyBits(c.bytes, 0, area, kAreaHeaderBits, n);
      c.taken = n;
      used[m][b] = kAreaHeaderBits + n;
    }
  }
  auto spread = [&](int m0, int m1) {
    int source = m0 * 6;  // the first block (m * 6 + b) with bits waiting
    for (int a = m0 * 6; a < m1 * 6; ++a) {
      const int am = a / 6, ab = a % 6;
      uint8_t* area = areaOf(am, ab);
      while (used[am][ab] < kAreaBits[ab] && source < m1 * 6) {
        CodeString& c = codes[source / 6][source % 6];
        if (!c.waiting()) {
          ++source;
          continue;
        }
        const uint32_t n = std::min(c.waiting(), kAreaBits[ab] - used[am][ab]);
        copyBits(c.bytes, c.taken, area, used[am][ab], n);
        c.taken += n;
        used[am][ab] += n;
      }
    }
  };
  for (int m = 0; m < 5; ++m) spread(m, m + 1);
  spread(0, 5);  // codes still waiting after this are lost (a segment over its space)
  for (int m = 0; m < 5; ++m) {
    uint8_t* vb = videoBlocks[m];
    vb[3] = uint8_t((vb[3] & 0xF0) | qno[m]);
    std::memcpy(vb + 4, data[m], 76);
  }
}

}  // namespace

void forwardDct(const int8_t* samples, int16_t* coefficients, int* mode) {
  // 2-4-8 when the two fields differ more than the block's top and bottom halves.
  int sum = 0, rowSum[8];
  for (int y = 0; y < 8; ++y) {
    rowSum[y] = 0;
    for (int x = 0; x < 8; ++x) rowSum[y] += samples[8 * y + x];
    sum += rowSum[y];
  }
  const int halves = std::abs(rowSum[0] + rowSum[1] + rowSum[2] + rowSum[3] - rowSum[4] - rowSum[5] - rowSum[6] - rowSum[7]);
  const int fields = std::abs(rowSum[0] + rowSum[2] + rowSum[4] + rowSum[6] - rowSum[1] - rowSum[3] - rowSum[5] - rowSum[7]);
  *mode = fields > halves ? 1 : 0;
  alignas(32) float x[64];
  kernels().forwardDct(samples, x, *mode, &kFdct.eight[0][0], &kFdct.four[0][0]);
  const uint8_t* scan = *mode ? kScan248 : kScan88;
  coefficients[0] = int16_t(sum / 32);  // toward zero
  for (int k = 1; k < 64; ++k) {
    const float v = x[scan[k]];
    coefficients[k] = int16_t(v + (v < 0 ? -0.5f : 0.5f));  // to nearest, halves away from zero
  }
}

DvEncoder* openEncoder(uint8_t flags) {
  DvEncoder* e = new (std::nothrow) DvEncoder;
  if (!e) return nullptr;
  e->system = (flags & DVC_SYSTEM_625) ? 625 : 525;
  e->sequences = sequencesOf(e->system);
  e->lines = linesOf(e->system);
  int8_t* samples = static_cast<int8_t*>(std::malloc(3 * 720 * size_t(e->lines)));
  if (!samples) {
    delete e;
    return nullptr;
  }
  for (int c = 0; c < 3; ++c) e->planes[c] = samples + 720 * size_t(e->lines) * size_t(c);
  return e;
}

void closeEncoder(DvEncoder* encoder) {
  if (!encoder) return;
  std::free(encoder->planes[0]);
  delete encoder;
}

DvcResult encode(DvEncoder* e, uint8_t* destination, const uint8_t* source, const DvcDibFormat* format) {
  if (!format) return DVC_ERR_BAD_ARGUMENT;
  if (format->width != 720) return DVC_ERR_UNSUPPORTED;
  if (!e || !destination || !source) return DVC_ERR_BAD_ARGUMENT;
  const uint32_t bytesPerPixel = format->bitCount / 8;
  if ((format->bitCount != 24 && format->bitCount != 32) || (format->bitCount == 24 && format->layout != 1) ||
      format->height < uint32_t(e->lines) || format->stride < 720 * bytesPerPixel) {
    return DVC_ERR_BAD_ARGUMENT;
  }
  // The input, read only: 'BGR ' (layout 1) or 'aRGB' pixels, top row first.
  static constexpr uint8_t kBgr[3] = {2, 1, 0}, kArgb[3] = {1, 2, 3};  // R, G, B
  const Kernels& kern = kernels();
  for (int y = 0; y < e->lines; ++y) {
    const size_t at = 720 * size_t(y);
    kern.rgbToYccRow(source + size_t(y) * format->stride, bytesPerPixel, format->layout == 1 ? kBgr : kArgb,
                     e->planes[0] + at, e->planes[1] + at, e->planes[2] + at, 720);
  }

  for (int s = 0; s < e->sequences; ++s) {
    for (int i = 0; i < int(kSegmentsPerSequence); ++i) {
      uint8_t* blocks[5];
      for (int j = 0; j < 5; ++j) blocks[j] = destination + videoBlockOffsetInDvf(s, 5 * i + j);
      encodeSegment(*e, s, i, blocks);
    }
  }
  writeDvfHead(e->system, destination);
  return DVC_OK;
}

}  // namespace zebdv
