// The reduced sizes: half, quarter and eighth.
//
// No block is reconstructed whole. The half and quarter sizes decode the codes of each
// block's own area only, and only its first words (half: 7, 7, 7, 7, 3, 3; 625 quarter:
// 4, 4, 4, 4, 2, 2; 525 quarter: 4 words of the luminance blocks and the DC of the
// colour-difference blocks), and sum each code's contribution to the means of the areas
// that the output pixels stand for (see ReducedTables). The eighth size reads the six DC
// words of each macroblock and nothing else. The writers convert to RGB as they write
// (the 625 quarter size keeps 'YCCa'), so the output stage only copies or resamples.
#include <cstring>
#include <type_traits>

#include "dv_color.h"
#include "dv_decoder.h"
#include "dv_idct.h"
#include "dv_kernels.h"

namespace zebdv {

namespace {

typedef float v8sf __attribute__((vector_size(32)));

// What a reduced size decodes of each block, and how it writes a macroblock: the bits of
// each block's area read (12 or fewer: the DC alone); for luminance and colour-
// difference blocks, the area-mean table by DCT mode; the writer kernel.
typedef void (*ReducedWriter)(const float* means, uint8_t* pixels, uint32_t stride, int shape);
struct ReducedLevel {
  uint8_t limitBits[kBlocksPerMacroblock];
  const float* lumaTable[2];
  const float* chromaTable[2];
  ReducedWriter Kernels::*writer;
};

// Decodes the codes of one block's own area up to `limit` bits (12 or fewer: none) and
// stores the block's N means: d / 2 for a DC of d, plus each code's dequantised amplitude
// times its row of the table. Codes that do not lie whole within the limit are left out;
// the end-of-block code ends the block. A run past the last coefficient is an overflow
// (false): the caller then leaves the macroblock's later blocks at their DC. Only the
// first `useful` coefficients add to the means (the quarter sizes' tables are zero beyond).
// The bits of an area of at most 64 bits, from a bit position on, in one word.
struct ShortAreaBits {
  uint64_t word;
  uint32_t rem;
  ShortAreaBits(const uint8_t* area, uint32_t from, uint32_t end)
      : word(vlcdetail::loadBigEndian64(area) << from), rem(end - from) {}
  uint64_t top() const { return word; }
  void skip(uint32_t n) {
    word <<= n;
    rem -= n;
  }
};

template <uint32_t N>
bool decodeArea(const uint8_t* area, uint32_t limit, int dc, const float* table, const float* steps,
                const uint64_t* dual, const uint32_t* full, float* out) {
  // The quarter sizes read at most 64 bits a block.
  using Bits = std::conditional_t<N == kQuarterSamples, ShortAreaBits, vlcdetail::AreaBits>;
  constexpr uint32_t kVectors = N < 8 ? 1 : N / 8;
  constexpr uint32_t useful = N == kQuarterSamples ? kQuarterCoefficients : 64;
  const float d = float(dc) * 0.5f;
  v8sf sum[kVectors];
#pragma GCC unroll 4
  for (v8sf& v : sum) v = v8sf{d, d, d, d, d, d, d, d};
  bool ok = true;
  if (limit > 12) {
    Bits bits(area, 12, limit);
    uint32_t position = 1;
    auto put = [&](uint32_t entry) {  // false when the block ends here
      if (decoderEndOfBlock(entry)) return false;
      const uint32_t at = position + decoderRun(entry);
      if (at >= 64) {
        ok = false;
        return false;
      }
      position = at + 1;
      if (at >= useful) return true;
      const float s = float(decoderAmplitude(entry)) * steps[at];
      const float* row = table + at * N;
      if constexpr (N < 8) {
        sum[0] += v8sf{s, s, s, s, 0, 0, 0, 0} * v8sf{row[0], row[1], row[2], row[3], 0, 0, 0, 0};
      } else {
#pragma GCC unroll 4
        for (uint32_t i = 0; i < kVectors; ++i) {
          v8sf t;
          std::memcpy(&t, row + 8 * i, sizeof t);
          sum[i] += v8sf{s, s, s, s, s, s, s, s} * t;
        }
      }
      return true;
    };
    for (;;) {
      // Up to two codes per lookup (dualVlcTable), the second only when it too lies
      // within the limit.
      const uint64_t top = bits.top();
      const uint64_t both = dual[top >> (64 - kPrimaryVlcBits)];
      const uint32_t first = uint32_t(both), second = uint32_t(both >> 32);
      if (__builtin_expect(first == 0, 0)) {  // a long code, alone
        const uint32_t e = decoderEntry(full[top >> 48]);
        if (decoderLength(e) > bits.rem) break;
        bits.skip(decoderLength(e));
        if (!put(e)) break;
        continue;
      }
      const uint32_t length = decoderLength(second);
      if (length > bits.rem) break;
      const bool two = (second & kDualSecond) && decoderLength(first) <= bits.rem;
      bits.skip(two ? decoderLength(first) : length);
      if (!put(first) || (two && !put(second))) break;
    }
  }
  std::memcpy(out, sum, sizeof(float) * N);
  return ok;
}

template <uint32_t NL, uint32_t NC>
DvcResult decodeReduced(Decoder& d, const ReducedLevel& level) {
  const ReducedWriter write = kernels().*level.writer;
  const uint64_t* dual = dualVlcTable();
  const uint32_t* full = d.vlcTable;
  uint8_t* const base = d.picture.buffer;
  const uint8_t* const* segment = nullptr;
  // Each video block is read from a copy with room after it, for the 16-byte reads.
  alignas(16) uint8_t copy[80 + 16] = {};
  return forEachSegment(
      d, [&](int s, int i) { segment = d.videoBlocks.block[s][i]; },
      [&](int m, const Placement& p) {
        std::memcpy(copy, segment[m], 80);
        const int qno = copy[3] & 15;
        float* out = d.means;
        bool overflowed = false;
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          const uint8_t* area = copy + kAreaOffset[b];
          const uint32_t w = (uint32_t(area[0]) << 8) | area[1];
          const int dc = int16_t(w) >> 7, mode = (w >> 6) & 1, cls = (w >> 4) & 3;
          const float* steps = dequantSteps(quantRow(qno, cls), cls == 3);
          const uint32_t limit = level.limitBits[b];
          const uint32_t bits = overflowed ? 0 : limit;  // after an overflow: the DC alone
          float* means = out + kReducedBlockFloats * b;
          const bool ok = b < 4 ? decodeArea<NL>(area, bits, dc, level.lumaTable[mode], steps, dual, full, means)
                                : decodeArea<NC>(area, bits, dc, level.chromaTable[mode], steps, dual, full, means);
          overflowed = overflowed || !ok;
        }
        write(out, base + p.destination[0], d.picture.stride, p.shape);
      });
}

}  // namespace

namespace {

// Each reduced decoder is built twice from one template: for any processor (variant 0),
// and with everything inlined into a function compiled for AVX2 and BMI2 (variant 1),
// which the decoder takes when the vector kernels in use are not the portable ones. Both do the
// same arithmetic in the same order (no fused multiply-add), so they give the same bytes.
const ReducedTables& T = kReducedTables;

// The half size: 4 x 4 luminance means a block; 4:1:1 colour differences 4 x 8, 4:2:0 one
// pair per luminance block. The quarter size: 2 x 2 luminance means a block, one colour
// pair per luminance block (625) or per macroblock from the DC alone (525).
const ReducedLevel kHalf411 = {{112, 112, 112, 112, 48, 48}, {T.half[0][0], T.half[1][0]},
                               {T.halfChroma[0][0], T.halfChroma[1][0]}, &Kernels::writeHalf411};
const ReducedLevel kHalf420 = {{112, 112, 112, 112, 48, 48}, {T.half[0][0], T.half[1][0]},
                               {T.quarter[0][0], T.quarter[1][0]}, &Kernels::writeHalf420};
const ReducedLevel kQuarter420 = {{64, 64, 64, 64, 32, 32}, {T.quarter[0][0], T.quarter[1][0]},
                                  {T.quarter[0][0], T.quarter[1][0]}, &Kernels::writeQuarter625};
const ReducedLevel kQuarter411 = {{64, 64, 64, 64, 12, 12}, {T.quarter[0][0], T.quarter[1][0]},
                                  {T.quarter[0][0], T.quarter[1][0]}, &Kernels::writeQuarter525};

template <int Variant>
DvcResult half(Decoder& d) {
  return d.system == 525 ? decodeReduced<kHalfSamples, kHalfChromaSamples>(d, kHalf411)
                         : decodeReduced<kHalfSamples, kQuarterSamples>(d, kHalf420);
}

template <int Variant>
DvcResult quarter(Decoder& d) {
  return decodeReduced<kQuarterSamples, kQuarterSamples>(d, d.system == 525 ? kQuarter411 : kQuarter420);
}

#define ZEBDV_AVX2_VARIANT __attribute__((target("avx2,bmi2"), flatten))
ZEBDV_AVX2_VARIANT DvcResult halfAvx2(Decoder& d) { return half<1>(d); }
ZEBDV_AVX2_VARIANT DvcResult quarterAvx2(Decoder& d) { return quarter<1>(d); }

bool useAvx2() {
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  return bmi2 && avx2Kernels() && &kernels() != &portableKernels();
}

}  // namespace

DvcResult decodeSegmentsHalf(Decoder& d) { return useAvx2() ? halfAvx2(d) : half<0>(d); }
DvcResult decodeSegmentsQuarter(Decoder& d) { return useAvx2() ? quarterAvx2(d) : quarter<0>(d); }

DvcResult decodeSegmentsDc(Decoder& d) {
  // Each luminance block is one pixel: its DC halved (rounding down), with the halved
  // DCs of the colour-difference blocks; 'aRGB'. The source is only read.
  uint8_t* const base = d.picture.buffer;
  auto dcOf = [](const uint8_t* vb, int b) {
    const uint8_t* area = vb + kAreaOffset[b];
    return int32_t(int16_t(uint16_t((area[0] << 8) | area[1]))) >> 7;
  };
  const uint8_t* const* segment = nullptr;
  return forEachSegment(
      d, [&](int s, int i) { segment = d.videoBlocks.block[s][i]; },
      [&](int m, const Placement& p) {
        const uint8_t* vb = segment[m];
        const int32_t cr = dcOf(vb, 4) >> 1, cb = dcOf(vb, 5) >> 1;
        for (int b = 0; b < 4; ++b) {
          uint8_t* px = base + p.destination[b];
          px[0] = 0;
          yccToRgb((dcOf(vb, b) >> 1) + 128, cr, cb, kRound22, px + 1, px + 2, px + 3);
        }
      });
}

}  // namespace zebdv
