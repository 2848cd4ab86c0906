// Inverse weighting and inverse DCT of DV blocks (8-8 and 2-4-8 modes).
//
// A sample of a block is p(x, y) = 1/2 sum a(h) a(v) X(h, v) / (W(h) W(v)) cos cos, where X
// are the dequantised coefficients (the DC counting twice), W the standard's weights and
// a(0) = 1/sqrt(2), a(k) = 1. In the 2-4-8 mode the vertical transform is a 4-point one
// over the sums and one over the differences of the two fields' lines, weighted by
// W(2v). The weights, the factorisation's pre-scales and the dequantisation steps are
// folded into one multiplier per coefficient, which the kernels apply as they load the
// block, so that the transform itself is the plain fast factorisation (dv_kernels.h).
#pragma once

#include <cstdint>

namespace zebdv {

// The standard's weight of frequency k (0-7) of the weighted DCT: 1, then
// cos(4)/(4 cos(7) cos(2)), cos(4)/(2 cos(6)), 1/(2 cos(5)), 7/8, cos(4)/cos(3),
// cos(4)/cos(2), cos(4)/cos(1) (cos(m) standing for cos(m pi / 16)).
double standardWeight(int k);

// How the amplitudes of a block go into the kernels (built once, when the library loads):
// the amplitude of each scan index (0 the DC) goes to its place in the input (8 h + v),
// and the kernel multiplies each place by its weight.
struct IdctTables {
  alignas(64) float weights[2][32][64];  // [mode][row * 2 + class 3][place]
  uint8_t place[2][64];                  // [mode][scan index]
  IdctTables();
};
extern const IdctTables kIdctTables;

// For the mode (0: 8-8, 1: 2-4-8), the step row (quantRow) and whether the block is of
// class 3.
inline const float* idctWeights(int mode, int row, bool class3) {
  return kIdctTables.weights[mode & 1][(row & 15) * 2 + (class3 ? 1 : 0)];
}
inline const uint8_t* idctPlaces(int mode) { return kIdctTables.place[mode & 1]; }

// The reduced sizes reconstruct area means of a block straight from its coefficients:
// each output sample is the mean of the full reconstruction over its area. The tables
// hold, for each mode and scan index, the area means that an amplitude of 1 there gives
// (weights included, not dequantised), so that a block's means are the sum of its
// dequantised amplitudes times their rows of the table.
inline constexpr int kHalfSamples = 16;         // 4 x 4: each the mean of a 2 x 2 area
inline constexpr int kHalfChromaSamples = 32;   // 4 rows x 8: each the mean of a vertical pair
inline constexpr int kQuarterSamples = 4;       // 2 x 2: each the mean of a 4 x 4 quarter
inline constexpr int kQuarterCoefficients = 10; // the quarter sizes read scan indexes 0-9
struct ReducedTables {
  alignas(16) float half[2][64][kHalfSamples];
  alignas(16) float halfChroma[2][64][kHalfChromaSamples];
  alignas(16) float quarter[2][64][kQuarterSamples];
  // The dequantisation step of each scan index: [row * 2 + class 3][scan index].
  float step[32][64];
  ReducedTables();
};
extern const ReducedTables kReducedTables;

inline const float* dequantSteps(int row, bool class3) { return kReducedTables.step[(row & 15) * 2 + (class3 ? 1 : 0)]; }

// Reconstructs one block from dequantised coefficients in scan order: 64 samples, row
// by row, rounded half away from zero and clamped to -128..127.
void idctBlock(int mode, const int16_t* coefficients, int8_t* samples);

// The sample value of a block whose only coefficient is a DC of d: d / 2 rounded half
// away from zero, clamped.
inline int8_t dcOnlySample(int dc) {
  int v = (dc + (dc > 0 ? 1 : 0)) >> 1;
  return int8_t(v < -128 ? -128 : (v > 127 ? 127 : v));
}

}  // namespace zebdv
