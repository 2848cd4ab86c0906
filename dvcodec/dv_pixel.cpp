#include "dv_pixel.h"

#include <cstdlib>
#include <cstring>

#include "dv_color.h"
#include "dv_kernels.h"

namespace zebdv {

void* memAlloc(size_t bytes, int16_t* error) {
  void* p = bytes ? std::malloc(bytes) : nullptr;
  if (error) *error = p ? 0 : DVC_ERR_NO_MEMORY;
  return p;
}

void memFree(void** p) {
  if (p && *p) {
    std::free(*p);
    *p = nullptr;
  }
}

void pixelDescReset(PixelDesc* desc) {
  if (desc) *desc = PixelDesc{};
}

void pixelDescSetTag(uint32_t tag, PixelDesc* desc) {
  if (!desc) return;
  if (tag != 0xFFFFFFFFu) desc->tag = tag;
  struct Entry {
    uint32_t tag;
    uint8_t offsets[4];
    bool channel0Only;
  };
  static constexpr Entry kTable[] = {
      {kTagRGB, {0, 1, 2, 255}, false},  {kTagBGR, {2, 1, 0, 255}, false},  {kTagRGBa, {0, 1, 2, 3}, false},
      {kTagBGRa, {2, 1, 0, 3}, false},   {kTagaRGB, {1, 2, 3, 0}, false},   {kTagaBGR, {3, 2, 1, 0}, false},
      {kTagYCC, {0, 1, 2, 255}, false},  {kTagYCCa, {0, 1, 2, 3}, false},   {kTagCMY, {0, 1, 2, 255}, false},
      {kTagYMC, {2, 1, 0, 255}, false},  {kTagCMYK, {0, 1, 2, 3}, false},   {kTagKYMC, {3, 2, 1, 0}, false},
      {kTagYMCK, {2, 1, 0, 3}, false},   {kTagKCMY, {1, 2, 3, 0}, false},   {kTagK, {0, 0, 0, 0}, true},
      {kTagY, {0, 0, 0, 0}, true},       {kTag422, {0, 0, 0, 0}, true},
  };
  for (const Entry& e : kTable) {
    if (e.tag != desc->tag) continue;
    if (e.channel0Only) {
      desc->offsets[0] = 0;  // the other channels keep their offsets
    } else {
      std::memcpy(desc->offsets, e.offsets, 4);
    }
    return;
  }
  // Any other tag is stored but leaves the offsets as they were.
}

void pixelDescSetGeometry(uint32_t size, int32_t width, int32_t height, uint32_t pixelSize, uint32_t stride,
                          uint32_t tag, uint32_t system, PixelDesc* desc) {
  if (!desc) return;
  constexpr uint32_t kKeep = 0xFFFFFFFFu;
  if (uint32_t(width) != kKeep) desc->width = width;
  if (uint32_t(height) != kKeep) desc->height = height;
  if (pixelSize != kKeep) desc->pixelSize = pixelSize;
  if (stride != kKeep) desc->stride = stride;
  if (system != kKeep) desc->system = system;
  if (size != kKeep) desc->size = size;
  if (desc->stride == 0) desc->stride = desc->pixelSize * uint32_t(desc->width);
  if (desc->size == 0) desc->size = desc->stride * uint32_t(desc->height);
  pixelDescSetTag(tag, desc);
}

PixelDesc pixelDescCreate(int32_t width, int32_t height, uint32_t pixelSize, uint32_t stride, uint32_t tag,
                          int16_t* error) {
  PixelDesc d;
  if (width < 1 || height < 1 || pixelSize < 1) {
    if (error) *error = DVC_ERR_BAD_ARGUMENT;
    return d;
  }
  if (stride == 0) stride = pixelSize * uint32_t(width);
  const uint64_t bytes = uint64_t(stride) * uint64_t(height);
  if (bytes > 0xFFFFFFFFu) {
    if (error) *error = DVC_ERR_NO_MEMORY;
    return d;
  }
  d.buffer = static_cast<uint8_t*>(memAlloc(size_t(bytes), error));
  if (d.buffer) pixelDescSetGeometry(uint32_t(bytes), width, height, pixelSize, stride, tag, 0, &d);
  return d;
}

PixelDesc pixelDescCreateAligned(int32_t width, int32_t height, uint32_t pixelSize, uint32_t alignment,
                                 uint32_t tag, int16_t* error) {
  const uint64_t stride = alignUp(uint64_t(width < 0 ? 0 : width), pixelSize, int64_t(alignment));
  if (stride > 0xFFFFFFFFu) {
    if (error) *error = DVC_ERR_NO_MEMORY;
    return PixelDesc{};
  }
  return pixelDescCreate(width, height, pixelSize, uint32_t(stride), tag, error);
}

void pixelDescFree(PixelDesc* desc) {
  if (!desc) return;
  memFree(&desc->buffer);
  pixelDescReset(desc);
}

uint64_t alignUp(uint64_t a, uint64_t b, int64_t c) {
  const uint64_t product = a * b;
  if (c < 1) return product;
  const uint64_t m = uint64_t(c);
  return (product + m - 1) / m * m;
}

void getDibSize(uint32_t height, uint32_t width, uint32_t* headerSize, uint64_t* imageSize, uint64_t* stride) {
  const uint64_t s = alignUp(width, 3, 4);
  if (headerSize) *headerSize = 54;
  if (stride) *stride = s;
  if (imageSize) *imageSize = s * height;
}

namespace {

bool isYccaToBgr24(const PixelDesc& src, const PixelDesc& dst) {
  return src.pixelSize == 4 && src.offsets[0] == 0 && src.offsets[1] == 1 && src.offsets[2] == 2 &&
         dst.pixelSize == 3 && dst.offsets[0] == 2 && dst.offsets[1] == 1 && dst.offsets[2] == 0;
}

// Converts one row of n pixels through the offsets of both descriptors.
void convertRow(const PixelDesc& src, const uint8_t* s, const PixelDesc& dst, uint8_t* d, int32_t n) {
  if (isYccaToBgr24(src, dst)) {
    kernels().yccaToBgr24Row(s, d, n);
    return;
  }
  const uint8_t o0 = src.offsets[0], o1 = src.offsets[1], o2 = src.offsets[2];
  const uint8_t r0 = dst.offsets[0], r1 = dst.offsets[1], r2 = dst.offsets[2];
  for (int32_t x = 0; x < n; ++x, s += src.pixelSize, d += dst.pixelSize) {
    uint8_t r, g, b;
    yccToRgb(s[o0], int8_t(s[o1]), int8_t(s[o2]), kRound22, &r, &g, &b);
    d[r0] = r;
    d[r1] = g;
    d[r2] = b;
  }
}

bool hasChannels(const PixelDesc& p) {
  return p.offsets[0] != kNoChannel && p.offsets[1] != kNoChannel && p.offsets[2] != kNoChannel &&
         p.offsets[0] < p.pixelSize && p.offsets[1] < p.pixelSize && p.offsets[2] < p.pixelSize;
}

}  // namespace

DvcResult convertPicture(const PixelDesc& src, const PixelDesc& dst, bool flip) {
  if (!dst.buffer || !src.buffer || dst.pixelSize < 3) return DVC_ERR_BAD_ARGUMENT;
  if (!hasChannels(src) || !hasChannels(dst)) return DVC_ERR_BAD_ARGUMENT;
  const int32_t rows = src.height < dst.height ? src.height : dst.height;
  const int32_t cols = src.width < dst.width ? src.width : dst.width;
  if (rows < 1 || cols < 1) return DVC_ERR_NO_INPUT;

  if (src.buffer == dst.buffer && flip) {
    // In place and upside down: swap row pairs through a scratch copy of one row.
    uint8_t* scratch = static_cast<uint8_t*>(memAlloc(src.stride));
    if (!scratch) return DVC_ERR_NO_MEMORY;
    for (int32_t k = 0; k < rows / 2; ++k) {
      std::memcpy(scratch, src.row(k), src.stride);
      convertRow(src, src.row(rows - 1 - k), dst, dst.row(k), cols);
      convertRow(src, scratch, dst, dst.row(rows - 1 - k), cols);
    }
    if (rows % 2) convertRow(src, src.row(rows / 2), dst, dst.row(rows / 2), cols);
    memFree(&scratch);
    return DVC_OK;
  }
  for (int32_t r = 0; r < rows; ++r) {
    convertRow(src, src.row(flip ? rows - 1 - r : r), dst, dst.row(r), cols);
  }
  return DVC_OK;
}

DvcResult convertPlanes(const PlanarPicture& src, const PixelDesc& dst, bool flip) {
  if (!dst.buffer || !src.y || dst.pixelSize != 3 || dst.offsets[0] != 2 || dst.offsets[1] != 1 ||
      dst.offsets[2] != 0) {
    return DVC_ERR_BAD_ARGUMENT;
  }
  const int32_t rows = src.height < dst.height ? src.height : dst.height;
  const int32_t cols = src.width < dst.width ? src.width : dst.width;
  if (rows < 1 || cols < 1) return DVC_ERR_NO_INPUT;
  const Kernels& kern = kernels();
  auto dstRow = [&](int32_t row) { return dst.row(flip ? rows - 1 - row : row); };  // of a picture row
  auto lumaRow = [&](int32_t row) { return src.y + size_t(row) * size_t(src.width); };
  if (src.fourOneOne()) {
    for (int32_t row = 0; row < rows; ++row) {
      const size_t chroma = size_t(row) * size_t(src.chromaWidth);
      kern.planesToBgr24Row(lumaRow(row), src.cr + chroma, src.cb + chroma, dstRow(row), cols, src.chromaWidth, 1);
    }
    return DVC_OK;
  }
  // 4:2:0: the two picture rows of each colour-difference row together.
  for (int32_t row = 0; row < rows; row += 2) {
    const size_t chroma = size_t(row / 2) * size_t(src.chromaWidth);
    const bool pair = row + 1 < rows;
    kern.planes420ToBgr24Rows(lumaRow(row), pair ? lumaRow(row + 1) : nullptr, src.cr + chroma, src.cb + chroma,
                              dstRow(row), pair ? dstRow(row + 1) : nullptr, cols);
  }
  return DVC_OK;
}

DvcResult rgbToYcc(const PixelDesc& src, const PixelDesc& dst, bool flip) {
  if (!src.buffer || !dst.buffer) return DVC_ERR_BAD_ARGUMENT;
  if (src.buffer == dst.buffer && flip) return DVC_ERR_UNSUPPORTED;
  if (!hasChannels(src) || !hasChannels(dst)) return DVC_ERR_BAD_ARGUMENT;
  const int32_t rows = src.height < dst.height ? src.height : dst.height;
  const int32_t cols = src.width < dst.width ? src.width : dst.width;
  if (rows < 1 || cols < 1) return DVC_ERR_NO_INPUT;
  // Row by row through the row kernel, in pieces of up to 256 pixels.
  const Kernels& kern = kernels();
  int8_t planes[3][256];
  for (int32_t row = 0; row < rows; ++row) {
    const uint8_t* s = src.row(flip ? rows - 1 - row : row);
    uint8_t* d = dst.row(row);
    for (int32_t x = 0; x < cols; x += 256) {
      const int32_t n = cols - x < 256 ? cols - x : 256;
      kern.rgbToYccRow(s + size_t(x) * src.pixelSize, src.pixelSize, src.offsets, planes[0], planes[1], planes[2], n,
                       1);
      for (int32_t i = 0; i < n; ++i) {
        uint8_t* px = d + size_t(x + i) * dst.pixelSize;
        for (int c = 0; c < 3; ++c) px[dst.offsets[c]] = uint8_t(planes[c][i]);
      }
    }
  }
  return DVC_OK;
}

}  // namespace zebdv
