#include "capture/sptp_block.h"

#include <algorithm>
#include <cstring>

namespace capture {

size_t Unstuff(const uint8_t* src, size_t n, uint8_t* dst, size_t want, bool& pending, size_t* used) {
  size_t out = 0;
  size_t i = 0;
  while (i < n && out < want) {
    uint8_t b = src[i++];
    if (b != 0x10) {
      dst[out++] = b;
    } else if (!pending) {
      pending = true;
    } else {
      dst[out++] = b;
      pending = false;
    }
  }
  if (used) *used = i;
  return out;
}

PictureAssembly::PictureAssembly() : picture_(kPictureBufferSize), scratch_(kRawBlockSize + 1) {}

void PictureAssembly::Reset() {
  // A new picture never shows bytes of the one before.
  std::fill(picture_.begin(), picture_.end(), 0);
  header_ = first_ = {};
  haveFirst_ = false;
  endCode_ = 0;
  received_ = 0;
  nextBlock_ = 0;
  lastSeen_ = false;
  payloadLength_ = 0;
}

namespace {

uint32_t be(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// The framing of a raw block: the end code, the picture header and where the payload lies.
struct Frame {
  BlockVerdict verdict = BlockVerdict::Ok;
  PictureHeader header;
  uint8_t end = 0;
  size_t payloadAt = 0;
  size_t payloadEnd = 0;  // the tail begins here
};

Frame readFrame(const uint8_t* raw, size_t count) {
  Frame f;
  if (count < 800) return f.verdict = BlockVerdict::TooShort, f;
  f.end = raw[count - 3];
  if (f.end != 0x03 && f.end != 0x17) return f.verdict = BlockVerdict::BadEndCode, f;
  f.payloadEnd = count - 4;
  uint8_t h[14];
  bool pending = false;
  size_t used = 0;
  if (Unstuff(raw + 5, f.payloadEnd - 5, h, sizeof h, pending, &used) != sizeof h)
    return f.verdict = BlockVerdict::BadHeader, f;
  f.payloadAt = 5 + used + 2;
  if (f.payloadAt > f.payloadEnd) return f.verdict = BlockVerdict::BadHeader, f;
  PictureHeader& hd = f.header;
  hd.block = uint16_t(be(h, 2));
  hd.header2 = h[2];
  hd.pictureSize = be(h + 3, 4);
  hd.pictureType = h[7];
  hd.header8 = h[8];
  hd.header9 = h[9];
  hd.width = uint16_t(be(h + 10, 2));
  hd.height = uint16_t(be(h + 12, 2));
  return f;
}

// Unstuffs the payload into dst: the bytes stored. With room for one byte more than a block,
// a payload longer than a block shows as block + 1.
size_t payloadOf(const uint8_t* raw, const Frame& f, uint8_t* dst, size_t room) {
  bool pending = false;
  return Unstuff(raw + f.payloadAt, f.payloadEnd - f.payloadAt, dst, room, pending);
}

}  // namespace

bool WholeBlockFrame(const uint8_t* raw, size_t count) {
  if (count < 4 || raw[count - 4] != 0x10) return false;
  Frame f = readFrame(raw, count);
  if (f.verdict != BlockVerdict::Ok) return false;
  uint8_t payload[kRawBlockSize + 1];
  return payloadOf(raw, f, payload, sizeof payload) == f.header.blockSize();
}

BlockVerdict PictureAssembly::ParseBlock(const uint8_t* raw, size_t count) {
  payloadLength_ = 0;
  const Frame f = readFrame(raw, count);
  if (f.verdict != BlockVerdict::Ok) return f.verdict;
  const PictureHeader& hd = f.header;
  const uint8_t end = f.end;
  header_ = hd;

  if (haveFirst_ && (hd.pictureSize != first_.pictureSize || hd.pictureType != first_.pictureType ||
                     hd.width != first_.width || hd.height != first_.height))
    return BlockVerdict::Mismatch;
  if (hd.block > nextBlock_) return BlockVerdict::SkipsAhead;
  const uint32_t b = hd.blockSize();
  if ((uint64_t(hd.block) + 1) * b > picture_.size()) return BlockVerdict::TooLarge;

  payloadLength_ = payloadOf(raw, f, scratch_.data(), scratch_.size());
  if (payloadLength_ != b) return BlockVerdict::BadLength;

  std::memcpy(picture_.data() + size_t(hd.block) * b, scratch_.data(), b);
  if (!haveFirst_) {
    first_ = hd;
    haveFirst_ = true;
  }
  if (hd.block == nextBlock_) {
    ++nextBlock_;
    received_ = nextBlock_ * b;
    lastSeen_ = end == 0x17;
  }
  endCode_ = end;
  return BlockVerdict::Ok;
}

bool PictureAssembly::Complete() const {
  if (!haveFirst_ || !lastSeen_) return false;
  const uint32_t size = first_.pictureSize;
  if (size == 0 || size > picture_.size()) return false;
  if (first_.isDv()) return received_ == size;
  // The last block is the one that holds the picture's last byte.
  return received_ >= size && received_ - first_.blockSize() < size;
}

}  // namespace capture
