// The picture data blocks of the transfer, and the picture they build.
//
//   raw block frame: head (5 bytes, byte 4 = 01) | picture header (14 bytes, stuffed) |
//                    gap (2 bytes) | payload (1920 DV or 2048 other bytes, stuffed) |
//                    tail (10, end code 03 more / 17 last, 2 bytes)
//
// Stuffing sends a data byte 10 as 10 10. The picture header is big-endian:
//   0 block number, 2 (kept), 3 picture size, 7 picture type (0x40 set: DV data; the high
//   nibble 40, 60 or 70 is the DV layout), 8, 9 (kept), 10 width, 12 height.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

inline constexpr size_t kPictureBufferSize = 700000;
inline constexpr uint32_t kDvBlockSize = 1920;
inline constexpr uint32_t kRawBlockSize = 2048;
// The largest legal block frame: header and payload with every byte stuffed.
inline constexpr size_t kLargestBlockFrame = 5 + 2 * 14 + 2 + 2 * kRawBlockSize + 4;
inline constexpr size_t kBlockBufferSize = 8192;
static_assert(kBlockBufferSize >= kLargestBlockFrame);

struct PictureHeader {
  uint16_t block = 0;
  uint8_t header2 = 0;
  uint32_t pictureSize = 0;
  uint8_t pictureType = 0;
  uint8_t header8 = 0;
  uint8_t header9 = 0;
  uint16_t width = 0;
  uint16_t height = 0;

  bool isDv() const { return pictureType & 0x40; }
  uint32_t blockSize() const { return isDv() ? kDvBlockSize : kRawBlockSize; }
};

// Unstuffs src into dst until `want` bytes are stored or src ends. `pending` carries a
// lone 10 across calls. Returns the bytes stored; *used gets the source bytes taken.
size_t Unstuff(const uint8_t* src, size_t n, uint8_t* dst, size_t want, bool& pending, size_t* used = nullptr);

enum class BlockVerdict {
  Ok,
  TooShort,      // fewer than 800 raw bytes
  BadEndCode,    // the end code is neither 03 nor 17
  BadHeader,     // the frame ends inside the picture header
  Mismatch,      // size, type or picture size differ from the first block's
  SkipsAhead,    // a block before this one is missing
  TooLarge,      // the block lies beyond the picture buffer
  BadLength,     // the payload is not one block long
};

// True when raw[0..count) is one whole block frame: a valid tail and a payload of exactly
// one block. The receiver stops reading there instead of waiting for the line to go quiet.
bool WholeBlockFrame(const uint8_t* raw, size_t count);

// The picture being received. Blocks come in order; a block sent again (after a lost
// request) is taken again, a block that skips ahead is refused so that it is asked
// again, and a payload is copied only once it is whole.
class PictureAssembly {
 public:
  PictureAssembly();

  void Reset();
  BlockVerdict ParseBlock(const uint8_t* raw, size_t count);

  // The last block has come and every block before it, and the picture size agrees.
  bool Complete() const;

  const PictureHeader& header() const { return header_; }
  uint8_t endCode() const { return endCode_; }
  uint32_t received() const { return received_; }
  uint32_t blocks() const { return nextBlock_; }
  const std::vector<uint8_t>& picture() const { return picture_; }
  std::vector<uint8_t>& picture() { return picture_; }
  // The payload bytes of the last block parsed, whole or not.
  const uint8_t* payload() const { return scratch_.data(); }
  size_t payloadLength() const { return payloadLength_; }

 private:
  std::vector<uint8_t> picture_;
  std::vector<uint8_t> scratch_;
  size_t payloadLength_ = 0;
  PictureHeader header_;
  PictureHeader first_;
  bool haveFirst_ = false;
  uint8_t endCode_ = 0;
  uint32_t received_ = 0;
  uint32_t nextBlock_ = 0;
  bool lastSeen_ = false;
};

}  // namespace capture
