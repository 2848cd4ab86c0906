// The inner loops of the codec, in one table. Three builds of the same source exist: a
// portable one, one for processors with AVX2 and one for AVX-512 (VL, BW and VBMI, some
// kernels in 512-bit registers: see dv_kernels_avx512.cpp); the table is chosen once, by
// what the processor offers. Every build gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zebdv {

// A block as the encoder's quantiser search and coder take it.
struct EncoderBlock {
  alignas(64) int16_t coefficients[64];  // scan order, [0] the DC; AC halved toward zero in class 3
  alignas(64) uint16_t magnitude[64];    // |coefficients[k]| for k >= 1; [0] is 0
  uint64_t nonzero;                      // bit k set where magnitude[k] is not 0
  uint8_t mode;                          // 0: 8-8, 1: 2-4-8
  uint8_t cls;                           // 0-3
};

// The shifts of one set of quantiser steps by scan index (index 0 shifts everything
// away), and the same as multipliers 2^(15 - shift), which shift 16-bit lanes of twice
// the value by multiplying.
struct QuantShifts {
  alignas(64) uint16_t shift[64];
  alignas(64) uint16_t multiplier[64];
};

struct Kernels {
  const char* name;
  // Inverse transforms of one block. The input holds 64 coefficients, the coefficient of
  // vertical frequency v and horizontal frequency h at [8 h + v] (in the 2-4-8 mode v 0-3
  // are the sums and 4-7 the differences of the line pairs), each multiplied by its
  // weight at the same place of `weights` as it is loaded. Writes 8 x 8 samples, rounded
  // half away from zero and clamped to -128..127, row by row, and clears the input for
  // the next block.
  void (*idct88)(float* coefficients, const float* weights, int8_t* samples);
  void (*idct248)(float* coefficients, const float* weights, int8_t* samples);
  // Either (mode 0: 8-8, 1: 2-4-8) into eight rows of eight bytes, each `stride` bytes
  // after the one before, every byte exclusive-ored with `bias` (0x80: stored + 128).
  void (*idctToRows)(float* coefficients, const float* weights, int mode, uint8_t* out, ptrdiff_t stride,
                     uint8_t bias);
  // n pixels of 'YCCa' (4 bytes) to 24-bit B, G, R, rounded to nearest.
  void (*yccaToBgr24Row)(const uint8_t* src, uint8_t* dst, int32_t n);
  // The first n pixels of a line of planes (Y unsigned, Cr and Cb signed, chromaCount
  // samples each) to 24-bit B, G, R as yccaToBgr24Row converts. fourOneOne: a sample c
  // for each group of four pixels, which step towards the next sample c' of the line,
  // (4 c + k (c' - c)) / 4 rounded down, k = 0-3 (the last group repeats its sample);
  // else a sample for each pair of pixels.
  void (*planesToBgr24Row)(const uint8_t* y, const int8_t* cr, const int8_t* cb, uint8_t* dst, int32_t n,
                           int32_t chromaCount, int fourOneOne);
  // The same for the two lines of 4:2:0 planes that share a line of colour-difference
  // samples (y1 and dst1 null: one line), the samples covering pairs of pixels.
  void (*planes420ToBgr24Rows)(const uint8_t* y0, const uint8_t* y1, const int8_t* cr, const int8_t* cb,
                               uint8_t* dst0, uint8_t* dst1, int32_t n);
  // Write the six blocks of a full-size macroblock (8 x 8 samples each, luminance
  // stored + 128) as whole 'YCCa' pixels; `pixels` is its top-left pixel.
  // 4:1:1: each colour-difference sample covers a group of four pixels of one line:
  // the sample, then steps towards the next sample of the line, (4 c + k (c' - c)) / 4
  // rounded down, k = 1, 2, 3. Shape 0 (32 x 8 pixels, luminance blocks side by side):
  // the last group of each line steps towards its own sample, as the next sample lies
  // in the next macroblock (see upsampleChroma411). Shape 1 (the right-hand 16 x 16,
  // luminance blocks 0, 1 above 2, 3): sample columns 0-3 make the upper eight lines,
  // 4-7 the lower eight, and the last group of each line repeats its sample.
  // 4:2:0 (16 x 16): each colour-difference sample covers 2 x 2 pixels.
  void (*writeMacroblock411)(const int8_t* const samples[6], uint8_t* pixels, uint32_t stride, int shape);
  void (*writeMacroblock420)(const int8_t* const samples[6], uint8_t* pixels, uint32_t stride, int shape);
  // One output row of n 24-bit B, G, R pixels resampled from a 'YCCa' row, converted
  // without the rounding term. Nearest neighbour: the source pixel of output column j
  // is at byte offset offsets[j]. Filtered: five taps per column, tap k of column j at
  // taps[k * stride + j]; for each group of 8 columns, `groups` holds
  // kResampleGroupInts values: the first pixel of a 16-pixel source window, then for
  // each tap the window index (0-15) of each column's source pixel. The tables hold
  // whole groups of 8 columns (entries past n are read but not used).
  void (*yccaResampleNearestRow)(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* offsets);
  void (*yccaResampleFilteredRow)(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* taps,
                                  const int32_t* groups, int32_t stride);
  // The reduced sizes: write one macroblock from the area means of its six blocks
  // (block b at means + 32 b, in sample units), each mean floored and clamped to
  // -128..127; `pixels` is the macroblock's top-left pixel. The pixels are 'BGRa',
  // converted as the full size is (luminance = mean + 128), except the 625 quarter
  // size's 'YCCa'.
  // Half, 4:1:1: 4 x 4 luminance means a block, colour differences 4 rows of 8 (each
  // covering two pixels of its line). Shape 0: 16 x 4 pixels, the blocks side by side;
  // shape 1: 8 x 8 pixels, the left half of a colour-difference row for the upper four
  // lines, the right half for the lower four.
  void (*writeHalf411)(const float* means, uint8_t* pixels, uint32_t stride, int shape);
  // Half, 4:2:0: 8 x 8 pixels; one colour-difference pair per luminance block (the
  // means of its quarter of the colour-difference block).
  void (*writeHalf420)(const float* means, uint8_t* pixels, uint32_t stride, int shape);
  // Quarter: 2 x 2 luminance means a block. 525: one colour-difference pair for the
  // macroblock (the first mean of blocks 4 and 5); shape 0 8 x 2 pixels, shape 1 4 x 4.
  // 625: 4 x 4 pixels 'YCCa', a colour-difference pair per luminance block. (The 625
  // writers take the shape for one signature with the others; every 625 macroblock is
  // 16 x 16.)
  void (*writeQuarter525)(const float* means, uint8_t* pixels, uint32_t stride, int shape);
  void (*writeQuarter625)(const float* means, uint8_t* pixels, uint32_t stride, int shape);
  // n pixels of four bytes ('BGRa', or 'aRGB' when argb is set) to 24-bit B, G, R; the
  // source pixel of output column j is at byte offset offsets[j] (or j x 4 without
  // offsets; the table holds whole groups of 8 columns).
  void (*rgb32ToBgr24Row)(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* offsets, int argb);
  // The encoder's forward transform of `count` blocks of 8 x 8 samples (row by row, one
  // block after the other) into blocks[i].coefficients and .mode. The mode is 2-4-8 (1)
  // when the two fields differ more than the block's top and bottom halves (the absolute
  // differences of their sums), else 8-8 (0). The transform takes the rows
  // of weighted cosines `eight` ([frequency][sample]) horizontally, and vertically again
  // `eight` (8-8) or `four` ([frequency][line pair]) over the sums and then the
  // differences of the line pairs (2-4-8); every product is summed in the order of the
  // samples, the whole with single-precision products and sums. Each AC coefficient is
  // rounded to nearest, halves away from zero, and stored at its index in the mode's scan
  // order; coefficients[0] is the DC, the samples' sum / 32 toward zero.
  void (*forwardDct)(const int8_t* samples, int count, const float* eight, const float* four, EncoderBlock* blocks);
  // Classes the block by its largest AC coefficient (below 12, 24, 36: class 0, 1, 2,
  // else 3) plus classOffset, at most 3; in class 3 halves every AC coefficient toward
  // zero; sets the magnitudes and the mask of the non-zero ones.
  void (*classifyBlock)(EncoderBlock* block, int classOffset);
  // The block's AC magnitudes shifted right by the set's shift of each scan index and
  // kept within 255, into q (defined where the block's mask has a bit); returns the mask
  // of those that are not 0.
  uint64_t (*quantise)(const EncoderBlock* block, const QuantShifts* shifts, uint16_t* q);
  // n pixels of RGB (unsigned, channel c at byte offsets[c] of each pixel of pixelSize
  // bytes) to the encoder's signed YCbCr, BT.601 in 22 fractional bits:
  // Y = ((1077047 R + 2114472 G + 410647 B + 2^21) >> 22) - 112,
  // Cr = (1842204 R - 1542615 G - 299588 B) >> 22, Cb = (-621691 R - 1220512 G + 1842204 B) >> 22,
  // each clamped to -128..127. Y of every pixel into y; Cr and Cb of the pixels 0,
  // chromaStep, 2 chromaStep, ... into cr[0], cr[1], ... and cb (none when chromaStep is 0).
  void (*rgbToYccRow)(const uint8_t* src, uint32_t pixelSize, const uint8_t* offsets, int8_t* y, int8_t* cr,
                      int8_t* cb, int32_t n, int32_t chromaStep);
  // The motion de-interlacer's rows (dv_filter.h, namespace motion). The three-tap means
  // of one row of n 'YCCa' pixels at x = 1 .. n - 2, (l + 2 c + r) / 4 with Y rounded
  // down and Cr, Cb toward zero, into taps[x], taps[n + x] and taps[2 n + x].
  void (*motionTapsRow)(const uint8_t* row, int32_t n, int16_t* taps);
  // One mask row of motion levels 0-7 from the tap rows above, at and below the examined
  // row (each as motionTapsRow leaves them); out[0] and out[n - 1] become 0.
  void (*motionLevelRow)(const int16_t* above, const int16_t* at, const int16_t* below, uint8_t* out, int32_t n);
  // The pixels x = 1 .. n - 2 of a replaced row of 'YCCa' pixels whose mark has bit 2
  // (kInterpolate), or all of them without marks, become the mean along the edge of the
  // rows above and below (their fourth byte stays).
  void (*motionInterpolateRow)(const uint8_t* above, uint8_t* out, const uint8_t* below, const uint8_t* marks,
                               int32_t n);
};

// A group's entry: [0] the window's first pixel; [8, 48) the window index of each
// column's pixel, tap by tap; [48, 72) the taps as 16-bit pairs (taps 0 and 1, 2 and 3,
// 4 and 0 of each column, three vectors of 16); [72, 96) byte indexes into the window's
// 64 bytes, three vectors of 32: bytes 4 i and 4 i + 2 address the luminance of column
// i's pixels for the pair's two taps.
inline constexpr int kResampleGroupInts = 96;
inline constexpr int kResamplePairTaps = 48;
inline constexpr int kResamplePairBytes = 72;

// The table in use: the one for this processor unless selectKernels chose another.
const Kernels& kernels();
// Makes the decoder use the given table (null: the one for this processor). For tests
// that compare the builds; not for use while a decode runs.
void selectKernels(const Kernels* k);
// Both builds, for tests that compare them; avx2 is null where the processor lacks AVX2.
const Kernels& portableKernels();
const Kernels* avx2Kernels();
// The AVX-512 build (VL, BW and VBMI), or null where the processor lacks them.
const Kernels* avx512Kernels();
// The best build this processor runs: AVX-512, AVX2 or portable.
const Kernels& fastestKernels();

}  // namespace zebdv
