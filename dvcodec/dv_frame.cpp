#include "dv_frame.h"

#include <cstring>

namespace zebdv {

namespace {

void putBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

template <typename OffsetFn>
void fillTable(const uint8_t* source, int sequences, VideoBlocks* table, OffsetFn offset) {
  for (int s = 0; s < sequences; ++s) {
    for (int i = 0; i < int(kSegmentsPerSequence); ++i) {
      for (int j = 0; j < int(kBlocksPerSegment); ++j) {
        table->block[s][i][j] = source + offset(s, int(kBlocksPerSegment) * i + j);
      }
    }
  }
}

}  // namespace

void writeDvfHead(int system, uint8_t* destination) {
  const int n = sequencesOf(system);
  std::memcpy(destination, "DVF 1.00", 8);
  std::memcpy(destination + 8, system == 625 ? "SD6" : "SD5", 3);
  destination[11] = 0;
  putBigEndian32(destination + 12, dvfBytes(n));
  putBigEndian32(destination + 16, dvfBytes(n) - kDvfHeadBytes);
  putBigEndian32(destination + 20, kDvfHeadBytes);
  std::memset(destination + 24, 0xFF, 8);
}

DvcResult locateBlocksInDvf(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table) {
  if (length < dvfBytes(sequences)) return DVC_ERR_NO_INPUT;
  fillTable(source, sequences, table, videoBlockOffsetInDvf);
  return DVC_OK;
}

DvcResult locateBlocksInFrame(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table) {
  if (length < frameBytes(sequences)) return DVC_ERR_NO_INPUT;
  fillTable(source, sequences, table, videoBlockOffsetInFrame);
  return DVC_OK;
}

MacroblockPlace macroblockPlace(int system, int s, int i, int j) {
  // Position j of a segment carries macroblock i of the superblock in these rows (as an
  // offset from the sequence) and columns.
  static constexpr int kRowOffset[5] = {2, 6, 8, 0, 4};
  static constexpr int kColumn[5] = {2, 1, 3, 0, 4};
  const int n = sequencesOf(system);
  const int g = (s + kRowOffset[j]) % n;
  const int c = kColumn[j];
  const int m = i;

  if (system == 625) {
    // 16 x 16 macroblocks, 36 rows of 45; a superblock is 3 rows by 9 columns, walked
    // down and up column by column.
    const int col = 9 * c + m / 3;
    const int r = (m / 3) % 2 == 0 ? m % 3 : 2 - m % 3;
    return MacroblockPlace{int16_t(16 * col), int16_t(16 * (3 * g + r)), 1};
  }
  // 525: 32 x 8 macroblocks, 60 rows of 22, plus a right-hand column of 30 macroblocks
  // of 16 x 16. A superblock row covers 6 macroblock rows. Superblocks 0 and 1 share
  // columns 0-8, 2 and 3 columns 9-17, and 4 has columns 18-21 and three right-hand
  // macroblocks; within each stretch the macroblocks snake down and up by column.
  int first = 0, t = m;
  switch (c) {
    case 0: first = 0; t = m; break;
    case 1: first = 0; t = 27 + m; break;
    case 2: first = 9; t = m; break;
    case 3: first = 9; t = 27 + m; break;
    default: first = 18; t = m; break;
  }
  if (c == 4 && t >= 24) {
    const int k = 3 * g + (t - 24);
    return MacroblockPlace{704, int16_t(16 * k), 1};
  }
  const int col = first + t / 6;
  const int r = (t / 6) % 2 == 0 ? t % 6 : 5 - t % 6;
  return MacroblockPlace{int16_t(32 * col), int16_t(8 * (6 * g + r)), 0};
}

}  // namespace zebdv
