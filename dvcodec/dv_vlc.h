// Variable-length decoding of one video segment: five video blocks carrying five
// macroblocks of six blocks each.
//
// Each block has a fixed area in its video block (14 bytes for the four luminance
// blocks, 10 for the two colour-difference blocks) that starts with the DC, the DCT
// mode and the class, followed by the AC codes. Codes that do not fit continue in the
// spare bits that the other blocks of the macroblock left after their end-of-block
// code (pass 2), and then in the spare bits of the whole segment (pass 3). The spare
// bits of a pass are read as one stream: the remaining bits of every block that still
// has some, in block order.
//
// The decoder reads the video blocks as they lie and never writes to them.
#pragma once

#include <cstdint>
#include <cstring>

#include "dv_tables.h"
#include "zeb_dv32.h"

namespace zebdv {

inline constexpr int kBlocksPerMacroblock = 6;
inline constexpr int kMacroblocksPerSegment = 5;
inline constexpr uint8_t kAreaOffset[kBlocksPerMacroblock] = {4, 18, 32, 46, 60, 70};
inline constexpr uint8_t kAreaBits[kBlocksPerMacroblock] = {112, 112, 112, 112, 80, 80};

struct BlockState {
  const uint8_t* area;   // the block's own area
  uint16_t areaBits;     // its size in bits
  uint16_t bitPos;       // next unread bit of the own area
  bool ownActive;        // the own area still holds unread bits
  bool needsMore;        // no end-of-block code yet (and no overflow)
  uint8_t count;         // (run, amplitude) pairs so far
  uint8_t position;      // next coefficient (1-64); 64 once the block is full or a run went past it
  uint16_t pendingBits;  // leading bits of a code cut off at the end of the own area
  uint8_t pendingLength;
  uint8_t cls;
  uint8_t mode;  // 0: 8-8, 1: 2-4-8
  int16_t dc;
};

struct SegmentState {
  // A copy of the five video blocks with zero padding, so that every 32-bit read near
  // the end of an area stays inside it.
  alignas(16) uint8_t data[kMacroblocksPerSegment * 80 + 16];
  uint8_t qno[kMacroblocksPerSegment];
  uint32_t mayReceive[kMacroblocksPerSegment];  // may take bits from other macroblocks
  BlockState block[kMacroblocksPerSegment][kBlocksPerMacroblock];
  // The spare-bit stream of the current pass.
  alignas(8) uint8_t spare[kMacroblocksPerSegment * 80 + 16];
};

namespace vlcdetail {

inline uint32_t loadBigEndian32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}

// The 16 bits that start at bit `pos` of `bytes` (most significant bit first).
inline uint32_t peek16(const uint8_t* bytes, uint32_t pos) {
  return (loadBigEndian32(bytes + (pos >> 3)) << (pos & 7)) >> 16;
}

// n bits (at most 16) from bit `pos`, right-aligned.
inline uint32_t readBits(const uint8_t* bytes, uint32_t pos, uint32_t n) {
  return n ? peek16(bytes, pos) >> (16 - n) : 0;
}

// Concatenates bit runs into `spare` and reads them back.
struct SpareStream {
  uint8_t* bytes;
  uint32_t size = 0;  // bits written
  uint32_t pos = 0;   // bits read
  uint64_t acc = 0;   // pending output bits, left-aligned
  uint32_t accBits = 0;

  void append(const uint8_t* src, uint32_t from, uint32_t to) {
    while (from < to) {
      const uint32_t n = to - from < 16 ? to - from : 16;
      const uint32_t v = readBits(src, from, n);
      acc |= uint64_t(v) << (64 - accBits - n);
      accBits += n;
      from += n;
      size += n;
      while (accBits >= 8) {
        bytes[(size - accBits) >> 3] = uint8_t(acc >> 56);
        acc <<= 8;
        accBits -= 8;
      }
    }
  }
  void finish() {
    uint32_t at = (size - accBits) >> 3;
    if (accBits) bytes[at++] = uint8_t(acc >> 56);
    std::memset(bytes + at, 0, 4);  // zeros after the stream for the last reads
    acc = 0;
    accBits = 0;
  }
  uint32_t remaining() const { return size - pos; }
};

}  // namespace vlcdetail

// The coefficient sink receives the blocks as they are set up and every non-zero
// coefficient by its scan index:
//   void begin(int mb, int b, int qno, int cls, int mode, int dc);
//   void store(int mb, int b, int k, int amplitude);   // k 1..63, amplitude != 0
template <typename Sink>
class VlcSegmentDecoder {
 public:
  VlcSegmentDecoder(const uint32_t* table, SegmentState& st, Sink& sink) : table_(table), st_(st), sink_(sink) {}

  // Decodes the segment whose five video blocks are given. 0, or -300 when a block
  // overflowed or was left incomplete (its coefficients so far are kept).
  DvcResult decode(const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    result_ = DVC_OK;
    prepare(videoBlocks);
    // Pass 1: each block in its own area.
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      st_.mayReceive[m] = 1;
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        BlockState& s = st_.block[m][b];
        if (s.area[0] == 0x80 && s.area[1] == 0x06) st_.mayReceive[m] = 0;
        decodeOwnArea(m, b);
      }
    }
    // Pass 2: within each macroblock.
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      if (!anyNeedsMore(m, m + 1)) continue;
      vlcdetail::SpareStream stream{st_.spare};
      Source sources[kBlocksPerMacroblock];
      int nSources = gather(stream, m, m + 1, sources);
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        if (!st_.block[m][b].needsMore) continue;
        if (!feed(m, b, stream)) break;  // the spare bits ran out
      }
      giveBack(stream, sources, nSources);
    }
    // Pass 3: across the segment, for the macroblocks that may still receive bits.
    if (anyNeedsMore(0, kMacroblocksPerSegment)) {
      vlcdetail::SpareStream stream{st_.spare};
      Source sources[kMacroblocksPerSegment * kBlocksPerMacroblock];
      int nSources = gather(stream, 0, kMacroblocksPerSegment, sources);
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        if (!st_.mayReceive[m]) continue;
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          if (!st_.block[m][b].needsMore) continue;
          if (!feed(m, b, stream)) result_ = DVC_ERR_BAD_ARGUMENT;
        }
      }
      giveBack(stream, sources, nSources);
    }
    return result_;
  }

 private:
  struct Source {
    BlockState* block;
    uint32_t start;  // first bit in the stream
    uint32_t bits;
  };

  void prepare(const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      uint8_t* copy = st_.data + 80 * m;
      std::memcpy(copy, videoBlocks[m], 80);
      st_.qno[m] = copy[3] & 15;
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        BlockState& s = st_.block[m][b];
        s.area = copy + kAreaOffset[b];
        s.areaBits = kAreaBits[b];
        s.bitPos = 12;
        s.ownActive = true;
        s.needsMore = true;
        s.count = 0;
        s.position = 1;
        s.pendingBits = 0;
        s.pendingLength = 0;
        const uint32_t w = (uint32_t(s.area[0]) << 8) | s.area[1];
        s.dc = int16_t(int16_t(w) >> 7);
        s.mode = uint8_t((w >> 6) & 1);
        s.cls = uint8_t((w >> 4) & 3);
        sink_.begin(m, b, st_.qno[m], s.cls, s.mode, s.dc);
      }
    }
    std::memset(st_.data + 80 * kMacroblocksPerSegment, 0, 16);
  }

  bool anyNeedsMore(int m0, int m1) const {
    for (int m = m0; m < m1; ++m)
      for (int b = 0; b < kBlocksPerMacroblock; ++b)
        if (st_.block[m][b].needsMore) return true;
    return false;
  }

  // Stores one decoded pair. False when the block stopped on the pair limit.
  bool put(int m, int b, uint32_t entry) {
    BlockState& s = st_.block[m][b];
    if (vlcEndOfBlock(entry)) {
      s.needsMore = false;
      return true;
    }
    const uint32_t run = vlcRun(entry);
    const int32_t amplitude = vlcAmplitude(entry);
    const uint32_t at = s.position + run;
    if (at < 64) {
      if (amplitude) sink_.store(m, b, int(at), amplitude);
      s.position = uint8_t(at + 1);
    } else {
      s.position = 64;  // the run passed the last coefficient: this and later pairs are dropped
      result_ = DVC_ERR_BAD_ARGUMENT;
    }
    if (++s.count == 64) {
      s.needsMore = false;
      result_ = DVC_ERR_BAD_ARGUMENT;
      for (int k = m; k < kMacroblocksPerSegment; ++k) st_.mayReceive[k] = 0;
      return false;
    }
    return true;
  }

  void decodeOwnArea(int m, int b) {
    BlockState& s = st_.block[m][b];
    const uint8_t* area = s.area;
    const uint32_t end = s.areaBits;
    uint32_t pos = s.bitPos;
    for (;;) {
      const uint32_t e = table_[vlcdetail::peek16(area, pos)];
      const uint32_t len = vlcLength(e);
      if (pos + len > end) {
        // The code is cut by the end of the area: keep its leading bits.
        s.pendingLength = uint8_t(end - pos);
        s.pendingBits = uint16_t(vlcdetail::readBits(area, pos, end - pos));
        pos = end;
        break;
      }
      pos += len;
      if (!put(m, b, e) || !s.needsMore || pos == end) break;
    }
    s.bitPos = uint16_t(pos);
    s.ownActive = pos < end;
  }

  // Appends the unread bits of the blocks of macroblocks m0..m1-1 to the stream.
  int gather(vlcdetail::SpareStream& stream, int m0, int m1, Source* sources) {
    int n = 0;
    for (int m = m0; m < m1; ++m) {
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        BlockState& s = st_.block[m][b];
        if (!s.ownActive) continue;
        sources[n++] = Source{&s, stream.size, uint32_t(s.areaBits - s.bitPos)};
        stream.append(s.area, s.bitPos, s.areaBits);
      }
    }
    stream.finish();
    return n;
  }

  // Marks the bits that the stream handed out as read in their blocks.
  static void giveBack(const vlcdetail::SpareStream& stream, const Source* sources, int n) {
    for (int k = 0; k < n; ++k) {
      const Source& src = sources[k];
      if (stream.pos <= src.start) break;
      const uint32_t used = stream.pos - src.start < src.bits ? stream.pos - src.start : src.bits;
      src.block->bitPos = uint16_t(src.block->bitPos + used);
      src.block->ownActive = src.block->bitPos < src.block->areaBits;
    }
  }

  // Decodes codes of block (m, b) from its pending bits followed by the stream until it
  // ends. False when the stream ran out first (the bits read so far become pending).
  bool feed(int m, int b, vlcdetail::SpareStream& stream) {
    BlockState& s = st_.block[m][b];
    while (s.needsMore) {
      const uint32_t plen = s.pendingLength;
      const uint32_t avail = plen + stream.remaining();
      if (avail == 0) return false;
      uint32_t window = vlcdetail::peek16(stream.bytes, stream.pos) >> plen;
      if (plen) window |= uint32_t(s.pendingBits) << (16 - plen);
      const uint32_t e = table_[window & 0xFFFF];
      const uint32_t len = vlcLength(e);
      if (len > avail) {
        // No whole code in what is left: every remaining bit joins the pending ones.
        const uint32_t rest = stream.remaining();
        s.pendingBits = uint16_t((uint32_t(s.pendingBits) << rest) | vlcdetail::readBits(stream.bytes, stream.pos, rest));
        s.pendingLength = uint8_t(plen + rest);
        stream.pos = stream.size;
        return false;
      }
      stream.pos += len - plen;
      s.pendingBits = 0;
      s.pendingLength = 0;
      put(m, b, e);
    }
    return true;
  }

  const uint32_t* table_;
  SegmentState& st_;
  Sink& sink_;
  DvcResult result_ = DVC_OK;
};

// A sink that keeps the coefficients as 16-bit values in scan order, not dequantised.
struct ScanOrderSink {
  struct Block {
    int qno, cls, mode;
    int16_t coefficients[64];
  };
  Block block[kMacroblocksPerSegment][kBlocksPerMacroblock];

  void begin(int mb, int b, int qno, int cls, int mode, int dc) {
    Block& k = block[mb][b];
    k.qno = qno;
    k.cls = cls;
    k.mode = mode;
    std::memset(k.coefficients, 0, sizeof k.coefficients);
    k.coefficients[0] = int16_t(dc);
  }
  void store(int mb, int b, int k, int amplitude) { block[mb][b].coefficients[k] = int16_t(amplitude); }
};

}  // namespace zebdv
