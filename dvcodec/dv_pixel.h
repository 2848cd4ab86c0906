// Pictures inside the codec: the pixel descriptor, its format tags, allocation
// helpers and the two colour conversions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zeb_dv32.h"

namespace zebdv {

// Allocation from the C heap. *error (when given) becomes 0, or -101 when memory is short.
void* memAlloc(size_t bytes, int16_t* error = nullptr);
// Frees *p when it is not null and sets it to null.
void memFree(void** p);
template <typename T>
void memFree(T** p) {
  void* v = *p;
  memFree(&v);
  *p = nullptr;
}

// Four-character format tags: the first character in the most significant byte.
constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
         uint32_t(uint8_t(d));
}
inline constexpr uint32_t kTagRGB = fourcc('R', 'G', 'B', ' ');
inline constexpr uint32_t kTagBGR = fourcc('B', 'G', 'R', ' ');
inline constexpr uint32_t kTagRGBa = fourcc('R', 'G', 'B', 'a');
inline constexpr uint32_t kTagBGRa = fourcc('B', 'G', 'R', 'a');
inline constexpr uint32_t kTagaRGB = fourcc('a', 'R', 'G', 'B');
inline constexpr uint32_t kTagaBGR = fourcc('a', 'B', 'G', 'R');
inline constexpr uint32_t kTagYCC = fourcc('Y', 'C', 'C', ' ');
inline constexpr uint32_t kTagYCCa = fourcc('Y', 'C', 'C', 'a');
inline constexpr uint32_t kTagCMY = fourcc('C', 'M', 'Y', ' ');
inline constexpr uint32_t kTagYMC = fourcc('Y', 'M', 'C', ' ');
inline constexpr uint32_t kTagCMYK = fourcc('C', 'M', 'Y', 'K');
inline constexpr uint32_t kTagKYMC = fourcc('K', 'Y', 'M', 'C');
inline constexpr uint32_t kTagYMCK = fourcc('Y', 'M', 'C', 'K');
inline constexpr uint32_t kTagKCMY = fourcc('K', 'C', 'M', 'Y');
inline constexpr uint32_t kTagK = fourcc('K', ' ', ' ', ' ');
inline constexpr uint32_t kTagY = fourcc('Y', ' ', ' ', ' ');
inline constexpr uint32_t kTag422 = fourcc('4', '2', '2', ' ');
inline constexpr uint32_t kTagaYCC = fourcc('a', 'Y', 'C', 'C');
inline constexpr uint32_t kTagBlank = fourcc(' ', ' ', ' ', ' ');

inline constexpr uint8_t kNoChannel = 255;

// One picture: row 0 is the top row. Channels are numbered by role: 0 is R, Y or C;
// 1 is G, Cr or M; 2 is B, Cb or yellow; 3 is alpha or K. offsets[i] is the byte of
// channel i inside a pixel, 255 when the pixel has no such channel.
struct PixelDesc {
  uint8_t* buffer = nullptr;
  uint32_t size = 0;  // bytes available in the buffer
  int32_t height = 0;
  int32_t width = 0;
  uint32_t stride = 0;
  uint32_t pixelSize = 0;
  uint32_t tag = kTagBlank;
  uint8_t offsets[4] = {kNoChannel, kNoChannel, kNoChannel, kNoChannel};
  uint32_t reserved = 0xFFFFFFFFu;
  uint32_t system = 0;  // 525 or 625 for a decoder's internal picture, else 0

  uint8_t* row(int32_t r) const { return buffer + size_t(r) * stride; }
};

void pixelDescReset(PixelDesc* desc);
// Stores the tag (unless it is all ones) and sets the channel offsets from it.
void pixelDescSetTag(uint32_t tag, PixelDesc* desc);
// Each argument that is all ones keeps the field; a stride of 0 becomes pixelSize x
// width, a size of 0 stride x height; the offsets follow the tag.
void pixelDescSetGeometry(uint32_t size, int32_t width, int32_t height, uint32_t pixelSize, uint32_t stride,
                          uint32_t tag, uint32_t system, PixelDesc* desc);
PixelDesc pixelDescCreate(int32_t width, int32_t height, uint32_t pixelSize, uint32_t stride, uint32_t tag,
                          int16_t* error);
PixelDesc pixelDescCreateAligned(int32_t width, int32_t height, uint32_t pixelSize, uint32_t alignment,
                                 uint32_t tag, int16_t* error);
void pixelDescFree(PixelDesc* desc);

// a x b rounded up to a multiple of c (unchanged when c is below 1), in 64 bits.
uint64_t alignUp(uint64_t a, uint64_t b, int64_t c);
// Row length and byte size of a 24-bit bitmap; headerSize is 54 (file and info header).
void getDibSize(uint32_t height, uint32_t width, uint32_t* headerSize, uint64_t* imageSize, uint64_t* stride);

// A full-size picture in planes, top row first: Y unsigned (width a line), Cr and Cb
// signed, one sample for every four pixels of a line (4:1:1, chromaWidth = width / 4,
// chromaHeight = height) or for every 2 x 2 pixels (4:2:0).
struct PlanarPicture {
  uint8_t* y = nullptr;
  int8_t* cr = nullptr;
  int8_t* cb = nullptr;
  int32_t width = 0, height = 0;
  int32_t chromaWidth = 0, chromaHeight = 0;
  bool fourOneOne() const { return chromaHeight == height; }
};

// The planes to 24-bit RGB through the destination's offsets (B, G, R: the kernels' row),
// rounded to nearest as convertPicture does, the colour differences of 4:1:1 stepping
// between the samples of a line as upsampleChroma411 describes, those of 4:2:0 covering
// 2 x 2 pixels. With flip the planes are read bottom row first. The destination receives
// the picture's top-left part when it is smaller.
DvcResult convertPlanes(const PlanarPicture& src, const PixelDesc& dst, bool flip);

// YCbCr ('YCCa' layout: unsigned Y with black at 16, signed Cr and Cb) to RGB through
// the destination's channel offsets, rounded to nearest. With flip the source is read
// bottom row first. Source and destination may share one buffer.
DvcResult convertPicture(const PixelDesc& src, const PixelDesc& dst, bool flip);

// RGB (unsigned, through the source's offsets) to the encoder's signed YCbCr.
DvcResult rgbToYcc(const PixelDesc& src, const PixelDesc& dst, bool flip);

}  // namespace zebdv
