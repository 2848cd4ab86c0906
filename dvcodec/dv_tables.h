// The coding tables of consumer DV video (IEC 61834): the AC variable-length code,
// its lookup tables, the two scan orders and the quantisation steps.
#pragma once

#include <cstdint>

#include "zeb_dv32.h"

namespace zebdv {

// ---- The AC code -------------------------------------------------------------------

// A lookup entry: bits 0-4 the code length with its sign bit (0 in the fast table for
// codes longer than 8 bits), bits 5-15 the run of zero coefficients, bit 16 end of
// block, bits 17-31 the signed amplitude.
constexpr uint32_t vlcEntry(uint32_t length, uint32_t run, bool endOfBlock, int32_t amplitude) {
  return (length & 31u) | ((run & 0x7FFu) << 5) | (endOfBlock ? 1u << 16 : 0u) | (uint32_t(amplitude) << 17);
}
constexpr uint32_t vlcLength(uint32_t e) { return e & 31u; }
constexpr uint32_t vlcRun(uint32_t e) { return (e >> 5) & 0x7FFu; }
constexpr bool vlcEndOfBlock(uint32_t e) { return (e >> 16) & 1u; }
constexpr int32_t vlcAmplitude(uint32_t e) { return int32_t(e) >> 17; }

inline constexpr uint32_t kEndOfBlockCode = 0x6;  // 0110
inline constexpr int kEndOfBlockLength = 4;

// True when the low `length` bits of `value` are one whole code; its entry goes to *entry.
bool vlcMatchCode(uint32_t value, int length, uint32_t* entry);

// Fills a table of 65536 entries: for every 16-bit value the entry of the code it begins
// with. 0, or -300 if some value began with no code.
DvcResult vlcTableBuild(uint32_t* table);

// The shared table, built once per process (at load, or by the first decoder that opens
// if memory was short then). Null when it cannot be built.
const uint32_t* sharedVlcTable();

// The decoder's own form of an entry, made for its inner loop: bits 0-5 the length (so
// that a shift by the whole entry shifts by the length), bits 6-12 the run (127 for the
// end of block, so that the run passes the block's last coefficient), bit 13 end of
// block, bits 16-31 the signed amplitude.
constexpr uint32_t kDecoderEndOfBlockRun = 127;
constexpr uint32_t kDecoderLengthMask = 63;
constexpr uint32_t decoderEntry(uint32_t e) {
  return vlcEndOfBlock(e) ? (vlcLength(e) | (kDecoderEndOfBlockRun << 6) | (1u << 13))
                          : (vlcLength(e) | (vlcRun(e) << 6) | (uint32_t(vlcAmplitude(e)) << 16));
}
constexpr uint32_t decoderLength(uint32_t d) { return d & kDecoderLengthMask; }
constexpr uint32_t decoderRun(uint32_t d) { return (d >> 6) & 127u; }
constexpr bool decoderEndOfBlock(uint32_t d) { return (d >> 13) & 1u; }
constexpr int32_t decoderAmplitude(uint32_t d) { return int32_t(d) >> 16; }

// The first stage of the decoder's lookup, in the decoder's form: 2^11 entries for the
// leading 11 bits of a window, holding the codes of at most 11 bits (nearly all codes
// in practice); the longer ones have length 0 and are looked up in the shared table.
inline constexpr int kPrimaryVlcBits = 11;
const uint32_t* primaryVlcTable();

// The same index giving up to two codes in one step, in the decoder's form. The low half
// is the first code, its length field holding the length of every code the entry takes
// (0 when the first code is longer than 11 bits). The high half is the code that follows
// it when that code too lies within the 11 bits (and the first is not the end of block),
// with kDualSecond set; else it is empty (run and amplitude 0). Its length field holds
// the first code's length.
inline constexpr uint32_t kDualSecond = 1u << 14;
const uint64_t* dualVlcTable();

// The full-size decoder's form of the same lookups, made for the common cases of its
// inner loop: from the same index, 64 bits of
//   bits 0-5    the length of every code the entry takes (0: the first code is longer than
//               11 bits, and nothing else is set but the place below),
//   bits 6-7    the number of codes it takes before any end of block (0-2),
//   bits 8-15   the first code's run (0 where the end of block comes first),
//   bits 16-31  the first code's amplitude as the upper half of its float (exact for the
//               amplitudes of short codes; 0 where the end of block comes first),
//   bits 32-39  the place of the second code from the block's next coefficient: the first
//               code's run + 1 + the second's (without a second code the first's run + 1,
//               where its amplitude 0 changes nothing); kPairEndOfBlock where an end of
//               block is taken (first or second), kPairLongCode for a long code,
//   bits 40-47  how far the block's next coefficient moves (up to the end of block),
//   bits 48-63  the second code's amplitude as the upper half of its float (0 without one,
//               and where it is the end of block).
const uint64_t* pairVlcTable();
inline constexpr uint32_t kPairLongCode = 64;
inline constexpr uint32_t kPairEndOfBlock = 128;
constexpr uint32_t pairLength(uint64_t p) { return uint32_t(p) & 63u; }
constexpr uint32_t pairCodes(uint64_t p) { return (uint32_t(p) >> 6) & 3u; }
constexpr uint32_t pairFirstRun(uint64_t p) { return (uint32_t(p) >> 8) & 255u; }
constexpr uint32_t pairSecondPlace(uint64_t p) { return uint32_t(p >> 32) & 255u; }
constexpr uint32_t pairAdvance(uint64_t p) { return uint32_t(p >> 40) & 255u; }
constexpr bool pairEndsBlock(uint64_t p) { return pairSecondPlace(p) >= kPairEndOfBlock; }
// The amplitudes as float bits.
constexpr uint32_t pairFirstAmplitude(uint64_t p) { return uint32_t(p) & 0xFFFF0000u; }
constexpr uint32_t pairSecondAmplitude(uint64_t p) { return uint32_t(p >> 32) & 0xFFFF0000u; }

// 256 entries for the 8-bit values (the value followed by eight zero bits); codes longer
// than 8 bits have length 0. Built at load with the shared table.
const uint32_t* fastVlcTable();

// The encoder's codes: for a run of zero coefficients (0-63) followed by an amplitude
// of 1-255, the shortest way to code it, its sign bit (the last bit) 0; a pair the table
// lacks is coded as the run less one with no amplitude, then the amplitude alone.
struct VlcCode {
  uint32_t bits;   // right-aligned
  uint8_t length;  // 3 to 29
};
// [run][amplitude]; amplitude 0 is unused. Built once, when the library loads.
const VlcCode (&encoderVlcCodes())[64][256];

// ---- Scan orders -------------------------------------------------------------------

// For scan index k, the position 8 x row + column in the 8 x 8 coefficient matrix.
// In the 2-4-8 order rows 0-3 are the sums and rows 4-7 the differences of line pairs.
extern const uint8_t kScan88[64];
extern const uint8_t kScan248[64];

// ---- Quantisation ------------------------------------------------------------------

// Offset of the step row by class 0-3.
extern const uint8_t kClassOffset[4];
// Left shifts by step row (0-15) and area (0-3); class 3 adds 1 to each.
extern const uint8_t kQuantShift[16][4];
// Area of each scan index (the DC, index 0, is never shifted).
extern const uint8_t kCoefficientArea[64];

// The step row of a block: QNO plus its class's offset, at most 15.
inline int quantRow(int qno, int cls) {
  const int row = qno + kClassOffset[cls & 3];
  return row > 15 ? 15 : row;
}

// Dequantises coefficients 1..last (scan order, in place) of a block with the given
// QNO and class, as 16-bit values.
void dequantize(int qno, int cls, int16_t* coefficients, int last = 63);

}  // namespace zebdv
