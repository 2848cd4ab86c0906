// The layout of a DV frame: DIF sequences and blocks, the DVF frame image, where the
// video blocks lie in each input, and the shuffling of macroblocks over the segments.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zeb_dv32.h"

namespace zebdv {

inline constexpr uint32_t kDifBlockBytes = 80;
inline constexpr uint32_t kBlocksPerSequence = 150;
inline constexpr uint32_t kVideoBlocksPerSequence = 135;
inline constexpr uint32_t kSegmentsPerSequence = 27;
inline constexpr uint32_t kBlocksPerSegment = 5;
inline constexpr uint32_t kMaxSequences = 12;
inline constexpr uint32_t kSequenceBytes = kBlocksPerSequence * kDifBlockBytes;  // 12000
inline constexpr uint32_t kDvfSequenceBytes = (kBlocksPerSequence - 1) * kDifBlockBytes;  // 11920
inline constexpr uint32_t kDvfHeadBytes = 32;

inline constexpr int sequencesOf(int system) { return system == 625 ? 12 : 10; }
inline constexpr int linesOf(int system) { return system == 625 ? 576 : 480; }
inline constexpr uint32_t frameBytes(int sequences) { return uint32_t(sequences) * kSequenceBytes; }
inline constexpr uint32_t dvfBytes(int sequences) { return kDvfHeadBytes + uint32_t(sequences) * kDvfSequenceBytes; }

// Video block k (0-134) of sequence s is DIF block 7 + k + k / 15 of the sequence.
inline constexpr uint32_t videoBlockOffsetInFrame(int s, int k) {
  return kDifBlockBytes * (kBlocksPerSequence * uint32_t(s) + 7 + uint32_t(k) + uint32_t(k) / 15);
}
// A DVF image stores each sequence without its header block, after a 32-byte head.
inline constexpr uint32_t videoBlockOffsetInDvf(int s, int k) {
  return kDvfHeadBytes + kDvfSequenceBytes * uint32_t(s) + kDifBlockBytes * (6 + uint32_t(k) + uint32_t(k) / 15);
}

// The 32-byte head of a DVF image for the system (525 or 625).
void writeDvfHead(int system, uint8_t* destination);

// Where the video blocks lie: [sequence][segment][position in segment].
struct VideoBlocks {
  const uint8_t* block[kMaxSequences][kSegmentsPerSequence][kBlocksPerSegment];
};

// Fill the table from a DVF image or a plain frame. Both return -1 (and fill nothing)
// when the source is shorter than a whole image or frame of the given sequences.
DvcResult locateBlocksInDvf(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table);
DvcResult locateBlocksInFrame(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table);

// ---- Shuffling -----------------------------------------------------------------------

// A macroblock's place in the full-size picture: its top-left pixel and its shape
// (0: 32 x 8 pixels of 525 with four luminance blocks side by side; 1: 16 x 16 pixels,
// luminance blocks 0 and 1 on top of 2 and 3; every 625 macroblock and the right-hand
// column of 525).
struct MacroblockPlace {
  int16_t x;
  int16_t y;
  uint8_t shape;
};

// The macroblock carried at position j (0-4) of segment i (0-26) of sequence s.
MacroblockPlace macroblockPlace(int system, int s, int i, int j);

// Top-left pixel of luminance block b (0-3) of a macroblock, at full size.
inline void lumaBlockOrigin(const MacroblockPlace& mb, int b, int* x, int* y) {
  if (mb.shape == 0) {
    *x = mb.x + 8 * b;
    *y = mb.y;
  } else {
    *x = mb.x + 8 * (b & 1);
    *y = mb.y + 8 * (b >> 1);
  }
}

}  // namespace zebdv
