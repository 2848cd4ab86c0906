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

bool blockInPlanes(const PlanarPicture& picture, int x, int y, int shape, int b, uint8_t** first, ptrdiff_t* step,
                   uint8_t* bias) {
  if (b < 4) {
    int x0, y0;
    lumaBlockOrigin(MacroblockPlace{int16_t(x), int16_t(y), uint8_t(shape)}, b, &x0, &y0);
    *first = picture.y + size_t(y0) * size_t(picture.width) + size_t(x0);
    *step = picture.width;
    *bias = 0x80;
    return true;
  }
  if (picture.fourOneOne() && shape != 0) return false;
  int8_t* plane = b == 4 ? picture.cr : picture.cb;
  const size_t row = picture.fourOneOne() ? size_t(y) : size_t(y / 2);
  const size_t column = picture.fourOneOne() ? size_t(x / 4) : size_t(x / 2);
  *first = reinterpret_cast<uint8_t*>(plane + row * size_t(picture.chromaWidth) + column);
  *step = picture.chromaWidth;
  *bias = 0;
  return true;
}

void writeSplitChromaBlock(const int8_t* samples, const PlanarPicture& picture, int x, int y, int b) {
  const size_t chromaWidth = size_t(picture.chromaWidth);
  int8_t* to = (b == 4 ? picture.cr : picture.cb) + size_t(y) * chromaWidth + size_t(x / 4);
  for (int r = 0; r < 8; ++r, to += chromaWidth) {
    std::memcpy(to, samples + 8 * r, 4);
    std::memcpy(to + 8 * chromaWidth, samples + 8 * r + 4, 4);
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
