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

#include "dv_color.h"
#include "dv_decoder.h"
#include "dv_idct.h"
#include "dv_kernels.h"

namespace zebdv {

namespace {

typedef float v4sf __attribute__((vector_size(16)));

// Receives the codes of a segment and adds each dequantised amplitude, times its row of
// the area-mean table, to its block's means: NL means a luminance block, NC a
// colour-difference block (each 4, 16 or 32). A block keeps its sums in registers while
// its codes are decoded and stores them when it ends.
template <uint32_t NL, uint32_t NC>
struct AreaMeanSink {
  static constexpr uint32_t kMax = NL > NC ? NL : NC;
  struct Block {
    v4sf sum[kMax / 4];
    float* means;
    const float* table;  // the block's table, by scan index
    const float* steps;  // dequantisation steps by scan index
    bool luma;
    void store(uint32_t k, int32_t amplitude) {
      const float s = float(amplitude) * steps[k];
      if (luma) {
        add<NL>(s, table + k * NL);
      } else {
        add<NC>(s, table + k * NC);
      }
    }
    template <uint32_t N>
    void add(float s, const float* row) {
      const v4sf sv = {s, s, s, s};
#pragma GCC unroll 8
      for (uint32_t i = 0; i < N / 4; ++i) {
        v4sf t;
        std::memcpy(&t, row + 4 * i, sizeof t);
        sum[i] += sv * t;
      }
    }
    void finish() {
      if (luma) {
        std::memcpy(means, sum, sizeof(float) * NL);
      } else {
        std::memcpy(means, sum, sizeof(float) * NC);
      }
    }
  };
  static constexpr bool kCheapZeroStores = false;

  float* means;  // kReducedBlockFloats per block, macroblock by macroblock
  const float* lumaTable[2];  // by DCT mode
  const float* chromaTable[2];

  Block begin(int mb, int b, int qno, int cls, int mode, int dc) {
    const bool luma = b < 4;
    Block block;
    block.means = means + kReducedBlockFloats * (mb * kBlocksPerMacroblock + b);
    block.table = (luma ? lumaTable : chromaTable)[mode & 1];
    block.steps = dequantSteps(quantRow(qno, cls), cls == 3);
    block.luma = luma;
    // A block of its DC alone is d / 2 everywhere (also for the blocks whose codes are
    // not decoded).
    const float d = float(dc) * 0.5f;
#pragma GCC unroll 8
    for (v4sf& v : block.sum) v = v4sf{d, d, d, d};
    block.finish();
    return block;
  }
};

// What a reduced size decodes of each block, and how its means are laid out.
struct ReducedLevel {
  uint8_t limitBits[kBlocksPerMacroblock];
  const float* lumaTable[2];
  const float* chromaTable[2];
};

template <uint32_t NL, uint32_t NC, typename Write>
DvcResult decodeReduced(Decoder& d, const ReducedLevel& level, Write write) {
  using Sink = AreaMeanSink<NL, NC>;
  Sink sink{d.means, {level.lumaTable[0], level.lumaTable[1]}, {level.chromaTable[0], level.chromaTable[1]}};
  VlcSegmentDecoder<Sink> vlc(d.vlcTable, *d.segment, sink);
  uint8_t* const base = d.picture.buffer;
  return forEachSegment(
      d, [&](int s, int i) { vlc.decodeOwnAreas(d.videoBlocks.block[s][i], level.limitBits); },
      [&](int m, const Placement& p) {
        write(d.means + kReducedBlockFloats * kBlocksPerMacroblock * m, base + p.destination[0], d.picture.stride,
              p.shape);
      });
}

const ReducedTables& T = kReducedTables;

}  // namespace

DvcResult decodeSegmentsHalf(Decoder& d) {
  const Kernels& kern = kernels();
  if (d.system == 525) {
    static const ReducedLevel k411 = {{112, 112, 112, 112, 48, 48},
                                      {T.half[0][0], T.half[1][0]},
                                      {T.halfChroma[0][0], T.halfChroma[1][0]}};
    return decodeReduced<kHalfSamples, kHalfChromaSamples>(d, k411, [&](const float* means, uint8_t* px, uint32_t stride, int shape) {
      kern.writeHalf411(means, px, stride, shape);
    });
  }
  static const ReducedLevel k420 = {{112, 112, 112, 112, 48, 48},
                                    {T.half[0][0], T.half[1][0]},
                                    {T.quarter[0][0], T.quarter[1][0]}};
  return decodeReduced<kHalfSamples, kQuarterSamples>(d, k420, [&](const float* means, uint8_t* px, uint32_t stride, int) {
    kern.writeHalf420(means, px, stride);
  });
}

DvcResult decodeSegmentsQuarter(Decoder& d) {
  const Kernels& kern = kernels();
  static const ReducedLevel k420 = {{64, 64, 64, 64, 32, 32},
                                    {T.quarter[0][0], T.quarter[1][0]},
                                    {T.quarter[0][0], T.quarter[1][0]}};
  return decodeReduced<kQuarterSamples, kQuarterSamples>(d, k420, [&](const float* means, uint8_t* px, uint32_t stride, int) {
    kern.writeQuarter625(means, px, stride);
  });
}

DvcResult decodeSegmentsQuarterFast(Decoder& d) {
  // The colour differences come from their DC alone (12 bits: no codes).
  const Kernels& kern = kernels();
  static const ReducedLevel k411 = {{64, 64, 64, 64, 12, 12},
                                    {T.quarter[0][0], T.quarter[1][0]},
                                    {T.quarter[0][0], T.quarter[1][0]}};
  return decodeReduced<kQuarterSamples, kQuarterSamples>(d, k411, [&](const float* means, uint8_t* px, uint32_t stride, int shape) {
    kern.writeQuarter525(means, px, stride, shape);
  });
}

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
