#include "dv_writers.h"

#include "dv_kernels.h"

namespace zebdv {

namespace {

void writeLuma(const int8_t* samples, uint8_t* destination, uint32_t stride) {
  for (int r = 0; r < 8; ++r, destination += stride, samples += 8) {
    for (int c = 0; c < 8; ++c) destination[4 * c] = uint8_t(samples[c] + 128);
  }
}

}  // namespace

void writeMacroblockYcc411(const int8_t* samples, uint8_t* destination, int block, const PixelDesc& picture,
                           int shape) {
  const uint32_t stride = picture.stride;
  if (block < 4) {
    writeLuma(samples, destination, stride);
    return;
  }
  if (shape == 0) {
    for (int r = 0; r < 8; ++r, destination += stride, samples += 8) {
      for (int c = 0; c < 8; ++c) destination[16 * c] = uint8_t(samples[c]);
    }
    return;
  }
  for (int r = 0; r < 8; ++r, samples += 8) {
    uint8_t* upper = destination + size_t(r) * stride;
    uint8_t* lower = destination + size_t(r + 8) * stride;
    for (int c = 0; c < 4; ++c) {
      upper[16 * c] = uint8_t(samples[c]);
      lower[16 * c] = uint8_t(samples[4 + c]);
    }
  }
}

void writeMacroblockYcc420(const int8_t* samples, uint8_t* destination, int block, const PixelDesc& picture,
                           int /*shape*/) {
  const uint32_t stride = picture.stride;
  if (block < 4) {
    writeLuma(samples, destination, stride);
    return;
  }
  for (int r = 0; r < 8; ++r, samples += 8) {
    uint8_t* line0 = destination + size_t(2 * r) * stride;
    uint8_t* line1 = line0 + stride;
    for (int c = 0; c < 8; ++c) {
      const uint8_t v = uint8_t(samples[c]);
      line0[8 * c] = v;
      line0[8 * c + 4] = v;
      line1[8 * c] = v;
      line1[8 * c + 4] = v;
    }
  }
}

DvcResult upsampleChroma411(const PixelDesc& picture) {
  const Kernels& k = kernels();
  for (int32_t r = 0; r < picture.height; ++r) k.upsample411Row(picture.row(r), picture.width);
  return DVC_OK;
}

}  // namespace zebdv
