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

// Code lengths by run and amplitude, for pricing (amplitude 0 has length 0).
struct CodeLengths {
  uint8_t length[64][256];
  CodeLengths() {
    const auto& codes = encoderVlcCodes();
    for (int r = 0; r < 64; ++r)
      for (int a = 0; a < 256; ++a) length[r][a] = codes[r][a].length;
  }
};
const CodeLengths kLengths;

// The step rows in sets of equal shifts: rows 2 k and 2 k + 1 (k < 7) have the same, and
// rows 14 and 15 each their own, so a block's bits depend on the set alone.
constexpr int kShiftSets = 9;
inline int shiftSetOf(int row) { return row < 14 ? row >> 1 : row - 7; }

struct ShiftTables {
  QuantShifts set[kShiftSets];
  ShiftTables() {
    for (int s = 0; s < kShiftSets; ++s) {
      const int row = s < 7 ? 2 * s : s + 7;
      for (int k = 0; k < 64; ++k) {
        const int shift = k ? kQuantShift[row][kCoefficientArea[k]] : 16;  // the DC is not an AC code
        set[s].shift[k] = uint16_t(shift);
        set[s].multiplier[k] = uint16_t(shift < 16 ? 1u << (15 - shift) : 0u);
      }
    }
  }
};
const ShiftTables kShifts;

// Bits of the block's AC codes with a set of shifts (end of block not counted). A
// coefficient quantised to 0 costs nothing and lets the run go on.
int codeBits(const Kernels& kern, const EncoderBlock& block, const QuantShifts& shifts) {
  alignas(64) uint16_t q[64];
  int bits = 0, last = 0;
  for (uint64_t m = kern.quantise(&block, &shifts, q); m; m &= m - 1) {
    const int k = __builtin_ctzll(m);
    bits += kLengths.length[k - last - 1][q[k]];
    last = k;
  }
  return bits;
}

using vlcdetail::storeBigEndian64;

// The bits written to one area (at most 112), gathered most significant first in two
// words.
struct AreaWriter {
  uint64_t hi = 0, lo = 0;
  uint32_t used = 0;
  // Appends n bits (1 to 64), left-aligned in v with zeros after them.
  void append(uint64_t v, uint32_t n) {
    if (used < 64) {
      hi |= v >> used;
      if (used + n > 64) lo |= v << (64 - used);
    } else {
      lo |= v >> (used - 64);
    }
    used += n;
  }
  // Appends n bits of a bit string from bit `from` on (the string has 8 readable bytes
  // after any bit).
  void copy(const uint8_t* bytes, uint32_t from, uint32_t n) {
    while (n) {
      const uint32_t take = n < 56 ? n : 56;
      append(vlcdetail::bitRun(bytes, from, take), take);
      from += take;
      n -= take;
    }
  }
};

// A block's codes, end of block included, as one bit string.
struct CodeString {
  uint8_t bytes[144];  // at most 63 codes of 16 bits and the end of block, and room to spare
  uint32_t length = 0;
  uint32_t taken = 0;  // bits already placed
  uint32_t waiting() const { return length - taken; }
};

// The block's codes with a set of shifts, each sign the last bit of its code.
void codeBlock(const Kernels& kern, const EncoderBlock& block, const QuantShifts& shifts, CodeString* out) {
  const auto& codes = encoderVlcCodes();
  alignas(64) uint16_t q[64];
  // Codes gather in a word, most significant bit first, and go out 32 bits at a time.
  uint64_t word = 0;
  uint32_t inWord = 0, length = 0;
  uint8_t* to = out->bytes;
  auto put = [&](uint32_t bits, uint32_t n) {  // n <= 32
    if (inWord + n > 64) {
      storeBigEndian64(to, word);
      to += 4;
      word <<= 32;
      inWord -= 32;
    }
    word |= uint64_t(bits) << (64 - inWord - n);
    inWord += n;
    length += n;
  };
  int last = 0;
  for (uint64_t m = kern.quantise(&block, &shifts, q); m; m &= m - 1) {
    const int k = __builtin_ctzll(m);
    const VlcCode& c = codes[k - last - 1][q[k]];
    put(c.bits | (block.coefficients[k] < 0 ? 1u : 0u), c.length);
    last = k;
  }
  put(kEndOfBlockCode, kEndOfBlockLength);
  storeBigEndian64(to, word);
  out->length = length;
  out->taken = 0;
}

// The samples of the six blocks of a macroblock from the encoder's picture.
void gatherMacroblock(const DvEncoder& e, const MacroblockPlace& mb, int8_t samples[6][64]) {
  for (int b = 0; b < 4; ++b) {
    int x0, y0;
    lumaBlockOrigin(mb, b, &x0, &y0);
    for (int r = 0; r < 8; ++r) std::memcpy(samples[b] + 8 * r, e.planes[0] + 720 * size_t(y0 + r) + size_t(x0), 8);
  }
  const int cw = e.chromaWidth;
  for (int b = 4; b < 6; ++b) {
    const int8_t* plane = e.planes[b - 3];  // Cr, then Cb
    for (int r = 0; r < 8; ++r) {
      int8_t* to = samples[b] + 8 * r;
      if (e.system == 625) {
        std::memcpy(to, plane + size_t(mb.y / 2 + r) * cw + mb.x / 2, 8);
      } else if (mb.shape == 0) {
        std::memcpy(to, plane + size_t(mb.y + r) * cw + mb.x / 4, 8);
      } else {
        // The right-hand 16 x 16: the upper lines' four samples, then the lower lines'.
        std::memcpy(to, plane + size_t(mb.y + r) * cw + mb.x / 4, 4);
        std::memcpy(to + 4, plane + size_t(mb.y + r + 8) * cw + mb.x / 4, 4);
      }
    }
  }
}

void encodeSegment(const DvEncoder& e, int s, int i, uint8_t* const videoBlocks[5]) {
  const Kernels& kern = kernels();
  EncoderBlock blocks[5][6];
  alignas(64) int8_t samples[5][6][64];
  for (int m = 0; m < 5; ++m) gatherMacroblock(e, macroblockPlace(e.system, s, i, m), samples[m]);
  kern.forwardDct(&samples[0][0][0], 30, &kFdct.eight[0][0], &kFdct.four[0][0], &blocks[0][0]);
  for (int m = 0; m < 5; ++m) {
    // Class 3 quantises one step coarser: every AC coefficient halved, toward zero.
    for (int b = 0; b < 6; ++b) kern.classifyBlock(&blocks[m][b], b < 4 ? 0 : b - 3);
  }

  // The bits of every block with each set of shifts, worked out when first asked for.
  int bitsInSet[5][6][kShiftSets];
  std::memset(bitsInSet, 0xFF, sizeof bitsInSet);
  auto blockBits = [&](int m, int b, int qno) {
    const EncoderBlock& k = blocks[m][b];
    const int set = shiftSetOf(quantRow(qno, k.cls));
    int& cached = bitsInSet[m][b][set];
    if (cached < 0) cached = codeBits(kern, k, kShifts.set[set]);
    return cached;
  };
  auto macroblockBits = [&](int m, int qno) {
    int bits = 0;
    for (int b = 0; b < 6; ++b) bits += blockBits(m, b, qno);
    return bits;
  };
  // The finest quantiser whose codes fit (a quantiser is given up as soon as the blocks
  // so far are over); then the first macroblocks (at most four) take the next finer one
  // while the segment still fits.
  int qno[5], perMacroblock[5];
  int q = 15, total = 0;
  for (;; --q) {
    total = 0;
    for (int m = 0; m < 5 && total <= kBudgetBits; ++m) {
      perMacroblock[m] = 0;
      for (int b = 0; b < 6 && total <= kBudgetBits; ++b) {
        const int bits = blockBits(m, b, q);
        perMacroblock[m] += bits;
        total += bits;
      }
    }
    if (total <= kBudgetBits || q == 0) break;
  }
  for (int m = 0; m < 5; ++m) qno[m] = q;
  if (q < 15 && total <= kBudgetBits) {
    for (int m = 0; m < 4; ++m) {
      const int with = total - perMacroblock[m] + macroblockBits(m, q + 1);
      if (with > kBudgetBits) break;
      total = with;
      qno[m] = q + 1;
    }
  }

  // The codes, and the areas: each block's own area first, then the spare bits of its
  // macroblock's areas, then those of the whole segment, in block order.
  CodeString codes[5][6];
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      codeBlock(kern, blocks[m][b], kShifts.set[shiftSetOf(quantRow(qno[m], blocks[m][b].cls))], &codes[m][b]);
    }
  }
  // Each area's bits gather in two words: its head, its own codes as far as they fit,
  // then the bits of other blocks' codes that still wait.
  AreaWriter areas[5][6];
  bool waiting = false;
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      const EncoderBlock& k = blocks[m][b];
      AreaWriter& area = areas[m][b];
      const uint64_t head = (uint64_t(uint16_t(k.coefficients[0])) & 0x1FF) << 3 | uint64_t(k.mode) << 2 | k.cls;
      area.append(head << (64 - kAreaHeaderBits), kAreaHeaderBits);
      CodeString& c = codes[m][b];
      const uint32_t room = kAreaBits[b] - kAreaHeaderBits;
      const uint32_t n = c.length < room ? c.length : room;
      area.copy(c.bytes, 0, n);
      c.taken = n;
      waiting = waiting || c.waiting();
    }
  }
  auto spread = [&](int m0, int m1) {
    int source = m0 * 6;  // the first block (m * 6 + b) with bits waiting
    for (int a = m0 * 6; a < m1 * 6 && source < m1 * 6; ++a) {
      const int ab = a % 6;
      AreaWriter& area = areas[a / 6][ab];
      while (area.used < kAreaBits[ab] && source < m1 * 6) {
        CodeString& c = codes[source / 6][source % 6];
        if (!c.waiting()) {
          ++source;
          continue;
        }
        const uint32_t n = std::min(c.waiting(), kAreaBits[ab] - area.used);
        area.copy(c.bytes, c.taken, n);
        c.taken += n;
      }
    }
  };
  if (waiting) {
    for (int m = 0; m < 5; ++m) spread(m, m + 1);
    spread(0, 5);  // codes still waiting after this are lost (a segment over its space)
  }
  // The video data of each video block (bytes 4-79): each area's two words written in
  // turn, the bytes a write puts past its area rewritten by the next area's.
  uint8_t data[5][76 + 8];
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      uint8_t* at = data[m] + (kAreaOffset[b] - 4);
      storeBigEndian64(at, areas[m][b].hi);
      storeBigEndian64(at + 8, areas[m][b].lo);
    }
  }
  for (int m = 0; m < 5; ++m) {
    uint8_t* vb = videoBlocks[m];
    vb[3] = uint8_t((vb[3] & 0xF0) | qno[m]);
    std::memcpy(vb + 4, data[m], 76);
  }
}

}  // namespace

void forwardDct(const int8_t* samples, int16_t* coefficients, int* mode) {
  EncoderBlock block;
  kernels().forwardDct(samples, 1, &kFdct.eight[0][0], &kFdct.four[0][0], &block);
  std::memcpy(coefficients, block.coefficients, sizeof block.coefficients);
  *mode = block.mode;
}

DvEncoder* openEncoder(uint8_t flags) {
  DvEncoder* e = new (std::nothrow) DvEncoder;
  if (!e) return nullptr;
  e->system = (flags & DVC_SYSTEM_625) ? 625 : 525;
  e->sequences = sequencesOf(e->system);
  e->lines = linesOf(e->system);
  // Chroma is sampled at every fourth pixel of a 525 line, every second pixel of every
  // second 625 line.
  e->chromaWidth = e->system == 625 ? 360 : 180;
  e->chromaLines = e->system == 625 ? e->lines / 2 : e->lines;
  const size_t luma = 720 * size_t(e->lines), chroma = size_t(e->chromaWidth) * size_t(e->chromaLines);
  int8_t* samples = static_cast<int8_t*>(std::malloc(luma + 2 * chroma));
  if (!samples) {
    delete e;
    return nullptr;
  }
  e->planes[0] = samples;
  e->planes[1] = samples + luma;
  e->planes[2] = samples + luma + chroma;
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
  const int chromaStep = 720 / e->chromaWidth, chromaEvery = e->lines / e->chromaLines;
  for (int y = 0; y < e->lines; ++y) {
    const size_t chroma = size_t(e->chromaWidth) * size_t(y / chromaEvery);
    kern.rgbToYccRow(source + size_t(y) * format->stride, bytesPerPixel, format->layout == 1 ? kBgr : kArgb,
                     e->planes[0] + 720 * size_t(y), e->planes[1] + chroma, e->planes[2] + chroma, 720,
                     y % chromaEvery ? 0 : chromaStep);
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
