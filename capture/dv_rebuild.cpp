#include "capture/dv_rebuild.h"

#include <cstring>

namespace capture {

namespace {

constexpr size_t kSeq4060 = 13440;
constexpr size_t kSeq70 = 11520;

// Video block k (0..134) of a sequence is DIF block 7 + k + k / 15.
constexpr size_t videoPosition(size_t k) { return 7 + k + k / 15; }

void writeIds(uint8_t* seq, int s) {
  const uint8_t b1 = uint8_t(s * 16 + 7);
  auto id = [&](size_t block, uint8_t b0, uint8_t b2) {
    uint8_t* p = seq + block * kDifBlock;
    p[0] = b0;
    p[1] = b1;
    p[2] = b2;
  };
  id(1, 0x3F, 0);
  id(2, 0x3F, 1);
  for (uint8_t i = 0; i < 3; ++i) id(3 + i, 0x5F, i);
  for (uint8_t g = 0; g < 9; ++g) id(6 + 16u * g, 0x7F, g);
  for (uint8_t k = 0; k < 135; ++k) id(videoPosition(k), 0x9F, k);
}

void putBe32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back(char((v >> (8 * i)) & 0xFF));
}
void putLe32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

size_t LayoutSequenceBytes(uint8_t pictureType) {
  switch (pictureType & 0xF0) {
    case 0x40:
    case 0x60: return kSeq4060;
    case 0x70: return kSeq70;
    default: return 0;
  }
}

int MakeDvFrame(const uint8_t* picture, uint32_t& received, uint8_t pictureType,
                const std::array<uint8_t, 5>& pack, uint8_t* frame) {
  const uint8_t layout = pictureType & 0xF0;
  const size_t perSequence = LayoutSequenceBytes(pictureType);
  if (perSequence == 0) return 0;
  const int n = received > (layout == 0x70 ? 120000u : 140000u) ? 12 : 10;
  // Never rebuild from bytes that did not arrive with this picture.
  if (received < n * perSequence) return 0;

  for (int s = 0; s < n; ++s) {
    const uint8_t* src = picture + size_t(s) * perSequence;
    uint8_t* seq = frame + size_t(s) * kDifSequence;
    if (layout == 0x70) {
      std::memset(seq, 0xFF, kDifSequence);  // header and audio blocks
      std::memcpy(seq + 1 * kDifBlock, src + 138 * kDifBlock, 2 * kDifBlock);
      std::memcpy(seq + 3 * kDifBlock, src + 135 * kDifBlock, 3 * kDifBlock);
      for (size_t k = 0; k < 135; ++k) std::memcpy(seq + videoPosition(k) * kDifBlock, src + k * kDifBlock, kDifBlock);
    } else {
      std::memcpy(seq, src, 6 * kDifBlock);
      const bool l40 = layout == 0x40;
      for (size_t g = 0; g < 9; ++g) {
        const uint8_t* gs = src + 480 + 1440 * g;
        uint8_t* gd = seq + (6 + 16 * g) * kDifBlock;
        std::memcpy(gd, gs + (l40 ? 400 : 0), kDifBlock);
        std::memcpy(gd + 1 * kDifBlock, gs + (l40 ? 0 : 80), 5 * kDifBlock);
        std::memcpy(gd + 6 * kDifBlock, gs + (l40 ? 480 : 560), 5 * kDifBlock);
        std::memcpy(gd + 11 * kDifBlock, gs + (l40 ? 960 : 1040), 5 * kDifBlock);
      }
    }
    writeIds(seq, s);
    if (layout == 0x60) {
      for (size_t block : {1u, 2u}) {
        uint8_t* sub = seq + block * kDifBlock;
        std::memcpy(sub + 30, pack.data(), 5);
        if (s < n / 2) {
          std::memcpy(sub + 38, pack.data(), 5);
          std::memcpy(sub + 46, pack.data(), 5);
        }
      }
    }
  }
  if (layout == 0x70) received = uint32_t(n) * kDifSequence;
  return n;
}

std::string DvfHead(int sequences) {
  std::string h = "DVF 1.00";
  h += sequences == 12 ? "SD6" : "SD5";
  h.push_back('\0');
  const uint32_t data = uint32_t(sequences) * kDvfSequenceBytes;
  putBe32(h, uint32_t(kDvfHeadSize) + data);
  putBe32(h, data);
  putBe32(h, uint32_t(kDvfHeadSize));
  h.append(8, char(0xFF));
  return h;
}

std::string YuvHead(uint32_t dataSize, uint32_t width, uint32_t height) {
  std::string h = "YUV0";
  putLe32(h, dataSize);
  putLe32(h, width);
  putLe32(h, height);
  return h;
}

}  // namespace capture
