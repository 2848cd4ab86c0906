// The inner loops of the decoder, in one table. Two builds of the same source exist:
// a portable one and one for processors with AVX2; the table is chosen once, by what
// the processor offers.
#pragma once

#include <cstdint>

namespace zebdv {

struct Kernels {
  const char* name;
  // Inverse transforms of one block. The input holds 64 weighted coefficients, the
  // coefficient of vertical frequency v and horizontal frequency h at [8 h + v] (in the
  // 2-4-8 mode v 0-3 are the sums and 4-7 the differences of the line pairs). Writes
  // 8 x 8 samples, rounded half away from zero and clamped to -128..127, row by row,
  // and clears the input for the next block.
  void (*idct88)(float* coefficients, int8_t* samples);
  void (*idct248)(float* coefficients, int8_t* samples);
  // n pixels of 'YCCa' (4 bytes) to 24-bit B, G, R, rounded to nearest.
  void (*yccaToBgr24Row)(const uint8_t* src, uint8_t* dst, int32_t n);
  // Writes 8 x 8 colour-difference samples of a 4:1:1 macroblock into channel 1 (Cr)
  // or 2 (Cb) of its 'YCCa' pixels (`pixels` is the top-left one). Each sample covers a
  // group of four pixels of one line: the sample, then steps towards the next sample
  // of the line, (4 c + k (c' - c)) / 4 rounded down, k = 1, 2, 3. Shape 0 (32 x 8
  // pixels): the last group of each line steps towards its own sample, as the next
  // sample lies in the next macroblock (see upsampleChroma411). Shape 1 (the right-
  // hand 16 x 16): sample columns 0-3 make the upper eight lines, 4-7 the lower eight,
  // and the last group of each line repeats its sample.
  void (*writeChroma411)(const int8_t* samples, uint8_t* pixels, uint32_t stride, int channel, int shape);
  // Writes 8 x 8 luminance samples (+ 128) into the Y bytes of 'YCCa' pixels, the
  // block's top-left pixel at `destination`, rows `stride` bytes apart.
  void (*writeLuma)(const int8_t* samples, uint8_t* destination, uint32_t stride);
  // Writes 8 x 8 colour-difference samples into channel 1 (Cr) or 2 (Cb) of 16 x 16
  // 'YCCa' pixels, each sample covering 2 x 2 pixels; `pixels` is the top-left pixel.
  void (*writeChroma420)(const int8_t* samples, uint8_t* pixels, uint32_t stride, int channel);
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
};

inline constexpr int kResampleGroupInts = 8 + 5 * 8;

// The table in use: the one for this processor unless selectKernels chose another.
const Kernels& kernels();
// Makes the decoder use the given table (null: the one for this processor). For tests
// that compare the builds; not for use while a decode runs.
void selectKernels(const Kernels* k);
// Both builds, for tests that compare them; avx2 is null where the processor lacks AVX2.
const Kernels& portableKernels();
const Kernels* avx2Kernels();

}  // namespace zebdv
