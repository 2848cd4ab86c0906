#include "dv_idct.h"

#include <cmath>

#include "dv_kernels.h"
#include "dv_tables.h"

namespace zebdv {

IdctTables::IdctTables() {
  const double pi = 3.14159265358979323846;
  auto cs = [pi](int m) { return std::cos(m * pi / 16.0); };
  // The standard's weights of the eight frequencies.
  const double w[8] = {1.0,
                       cs(4) / (4.0 * cs(7) * cs(2)),
                       cs(4) / (2.0 * cs(6)),
                       1.0 / (2.0 * cs(5)),
                       7.0 / 8.0,
                       cs(4) / cs(3),
                       cs(4) / cs(2),
                       cs(4) / cs(1)};
  // Pre-scales of the fast factorisation.
  auto prescale = [&](int k) { return k == 0 ? 1.0 : cs(k) * std::sqrt(2.0); };
  for (int mode = 0; mode < 2; ++mode) {
    const uint8_t* scan = mode == 0 ? kScan88 : kScan248;
    for (int k = 0; k < 64; ++k) {
      const int row = scan[k] >> 3, h = scan[k] & 7;
      const int v = mode == 0 ? row : 2 * (row & 3);  // the 4-point transform uses frequencies 0, 2, 4, 6
      const double weight = prescale(h) * prescale(v) / (4.0 * w[h] * w[v]);
      position[mode][k] = uint8_t(8 * h + row);
      for (int r = 0; r < 32; ++r) {
        const int quantRowIndex = r >> 1;
        const int shift = kQuantShift[quantRowIndex][kCoefficientArea[k]] + (r & 1);
        // The DC is not quantised and counts twice: d becomes d / 2 at gain 1.
        multiplier[mode][r][k] = k == 0 ? 0.5f : float(weight * double(1 << shift));
      }
    }
  }
}

const IdctTables kIdctTables;

void idctBlock(int mode, const int16_t* coefficients, int8_t* samples) {
  // Dequantised input: apply the weights only (row 15 of a class below 3 shifts nothing).
  const float* m = idctMultipliers(mode, 15, false);
  const uint8_t* pos = idctInputPosition(mode);
  alignas(32) float input[64] = {};
  for (int k = 0; k < 64; ++k) input[pos[k]] = float(coefficients[k]) * m[k];
  const Kernels& kern = kernels();
  (mode ? kern.idct248 : kern.idct88)(input, samples);
}

}  // namespace zebdv
