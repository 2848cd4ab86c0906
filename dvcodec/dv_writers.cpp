#include "dv_writers.h"

#include "dv_kernels.h"

namespace zebdv {

void writeMacroblockYcc411(const int8_t* const samples[6], uint8_t* const destinations[6],
                           const PixelDesc& picture, int shape) {
  kernels().writeMacroblock411(samples, destinations[0], picture.stride, shape);
}

void writeMacroblockYcc420(const int8_t* const samples[6], uint8_t* const destinations[6],
                           const PixelDesc& picture, int shape) {
  kernels().writeMacroblock420(samples, destinations[0], picture.stride, shape);
}

DvcResult upsampleChroma411(const PixelDesc& picture) {
  // The writers have filled every group but the last one of each 32-pixel macroblock,
  // whose next sample lies in the macroblock to its right (the right-hand column, from
  // pixel 704, is complete).
  const int32_t regularEnd = picture.width > 16 ? picture.width - 16 : 0;
  for (int32_t r = 0; r < picture.height; ++r) {
    uint8_t* row = picture.row(r);
    for (int32_t x = 28; x + 4 < picture.width && x < regularEnd; x += 32) {
      uint8_t* group = row + 4 * size_t(x);
      for (int channel = 1; channel <= 2; ++channel) {
        const int c = int8_t(group[channel]), next = int8_t(group[16 + channel]);
        for (int k = 1; k < 4; ++k) group[4 * k + channel] = uint8_t((4 * c + k * (next - c)) >> 2);
      }
    }
  }
  return DVC_OK;
}

}  // namespace zebdv
