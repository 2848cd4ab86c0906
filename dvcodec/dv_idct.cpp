#include "dv_idct.h"

#include <cmath>

#include "dv_kernels.h"
#include "dv_tables.h"

namespace zebdv {

namespace {

constexpr double kPi = 3.14159265358979323846;

double cs(int m) { return std::cos(m * kPi / 16.0); }

// The standard's weights of the eight frequencies.
struct Weights {
  double w[8];
  Weights()
      : w{1.0, cs(4) / (4.0 * cs(7) * cs(2)), cs(4) / (2.0 * cs(6)), 1.0 / (2.0 * cs(5)), 7.0 / 8.0, cs(4) / cs(3),
          cs(4) / cs(2), cs(4) / cs(1)} {}
};

// Sample (y, x) of the block reconstructed from an amplitude of 1 at matrix position
// `pos` (8 x row + column) of the mode's coefficient matrix, the DC counted twice.
double unitSample(int mode, int pos, int y, int x) {
  static const Weights kW;
  const double a0 = 1.0 / std::sqrt(2.0);
  const int row = pos >> 3, h = pos & 7;
  const double ah = h ? 1.0 : a0, horizontal = std::cos(kPi * h * (2 * x + 1) / 16.0);
  const double dc = pos == 0 ? 2.0 : 1.0;
  if (mode == 0) {
    const double av = row ? 1.0 : a0;
    return dc * ah * av / (kW.w[h] * kW.w[row]) * horizontal * std::cos(kPi * row * (2 * y + 1) / 16.0) / 2;
  }
  // Rows 0-3 are the sums of the line pairs, 4-7 their differences (subtracted on odd lines).
  const int v = row & 3, z = y / 2;
  const double av = v ? 1.0 : a0, sign = (row >= 4 && (y & 1)) ? -1.0 : 1.0;
  return dc * sign * ah * av / (kW.w[h] * kW.w[2 * v]) * horizontal * std::cos(kPi * v * (2 * z + 1) / 8.0) / 2;
}

// The mean of the unit reconstruction over rows y0.. and columns x0.. of the given size.
float areaMean(int mode, int pos, int y0, int x0, int rows, int cols) {
  double sum = 0;
  for (int y = y0; y < y0 + rows; ++y)
    for (int x = x0; x < x0 + cols; ++x) sum += unitSample(mode, pos, y, x);
  const double mean = sum / (rows * cols);
  return std::fabs(mean) < 1e-9 ? 0.0f : float(mean);  // exact zeros where terms cancel
}

}  // namespace

double standardWeight(int k) {
  static const Weights kW;
  return kW.w[k & 7];
}

IdctTables::IdctTables() {
  static const Weights kW;
  const double* w = kW.w;
  // Pre-scales of the fast factorisation.
  auto prescale = [&](int k) { return k == 0 ? 1.0 : cs(k) * std::sqrt(2.0); };
  for (int mode = 0; mode < 2; ++mode) {
    const uint8_t* scan = mode == 0 ? kScan88 : kScan248;
    for (int k = 0; k < 64; ++k) {
      const int row = scan[k] >> 3, h = scan[k] & 7;
      const int v = mode == 0 ? row : 2 * (row & 3);  // the 4-point transform uses frequencies 0, 2, 4, 6
      const double weight = prescale(h) * prescale(v) / (4.0 * w[h] * w[v]);
      for (int r = 0; r < 32; ++r) {
        const int quantRowIndex = r >> 1;
        const int shift = kQuantShift[quantRowIndex][kCoefficientArea[k]] + (r & 1);
        // The DC is not quantised and counts twice: d becomes d / 2 at gain 1.
        weights[mode][r][8 * h + row] = k == 0 ? 0.5f : float(weight * double(1 << shift));
      }
      place[mode][k] = uint8_t(8 * h + row);
    }
  }
}

const IdctTables kIdctTables;

ReducedTables::ReducedTables() {
  for (int mode = 0; mode < 2; ++mode) {
    const uint8_t* scan = mode == 0 ? kScan88 : kScan248;
    for (int k = 0; k < 64; ++k) {
      const int pos = scan[k];
      for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c) half[mode][k][4 * i + c] = areaMean(mode, pos, 2 * i, 2 * c, 2, 2);
      for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 8; ++c) halfChroma[mode][k][8 * i + c] = areaMean(mode, pos, 2 * i, c, 2, 1);
      for (int q = 0; q < 4; ++q) {
        quarter[mode][k][q] = k < kQuarterCoefficients ? areaMean(mode, pos, 4 * (q >> 1), 4 * (q & 1), 4, 4) : 0.0f;
      }
    }
  }
  for (int r = 0; r < 32; ++r) {
    for (int k = 0; k < 64; ++k) step[r][k] = k ? float(1 << (kQuantShift[r >> 1][kCoefficientArea[k]] + (r & 1))) : 1.0f;
  }
}

const ReducedTables kReducedTables;

void idctBlock(int mode, const int16_t* coefficients, int8_t* samples) {
  // Dequantised input: apply the weights only (row 15 of a class below 3 shifts nothing).
  const uint8_t* place = idctPlaces(mode);
  alignas(32) float input[64];
  for (int k = 0; k < 64; ++k) input[place[k]] = float(coefficients[k]);
  const Kernels& kern = kernels();
  (mode ? kern.idct248 : kern.idct88)(input, idctWeights(mode, 15, false), samples);
}

}  // namespace zebdv
