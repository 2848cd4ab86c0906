#include "dv_writers.h"

#include <cstring>

#include "dv_frame.h"
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

void writeMacroblockPlanes(const int8_t* const samples[6], const PlanarPicture& picture, int x, int y, int shape) {
  const MacroblockPlace mb{int16_t(x), int16_t(y), uint8_t(shape)};
  const size_t width = size_t(picture.width), chromaWidth = size_t(picture.chromaWidth);
  for (int b = 0; b < 4; ++b) {
    int x0, y0;
    lumaBlockOrigin(mb, b, &x0, &y0);
    uint8_t* to = picture.y + size_t(y0) * width + size_t(x0);
    for (int r = 0; r < 8; ++r, to += width) {
      uint64_t row;
      std::memcpy(&row, samples[b] + 8 * r, 8);
      row ^= 0x8080808080808080ull;  // + 128 in each byte
      std::memcpy(to, &row, 8);
    }
  }
  for (int c = 0; c < 2; ++c) {
    const int8_t* from = samples[4 + c];
    int8_t* plane = c == 0 ? picture.cr : picture.cb;
    if (!picture.fourOneOne()) {
      int8_t* to = plane + size_t(y / 2) * chromaWidth + size_t(x / 2);
      for (int r = 0; r < 8; ++r, to += chromaWidth) std::memcpy(to, from + 8 * r, 8);
    } else if (shape == 0) {
      int8_t* to = plane + size_t(y) * chromaWidth + size_t(x / 4);
      for (int r = 0; r < 8; ++r, to += chromaWidth) std::memcpy(to, from + 8 * r, 8);
    } else {
      int8_t* to = plane + size_t(y) * chromaWidth + size_t(x / 4);
      for (int r = 0; r < 8; ++r, to += chromaWidth) {
        std::memcpy(to, from + 8 * r, 4);
        std::memcpy(to + 8 * chromaWidth, from + 8 * r + 4, 4);
      }
    }
  }
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
