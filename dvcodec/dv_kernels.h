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
  // One 'YCCa' row whose colour-difference samples sit at every fourth pixel: fills the
  // three pixels after each sample by linear steps towards the next sample (the last
  // group repeats its sample). width is a multiple of 8.
  void (*upsample411Row)(uint8_t* row, int32_t width);
};

// The table for this processor (built once).
const Kernels& kernels();
// Both builds, for tests that compare them; avx2 is null where the processor lacks AVX2.
const Kernels& portableKernels();
const Kernels* avx2Kernels();

}  // namespace zebdv
