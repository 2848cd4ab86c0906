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

#include <bit>
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
  uint32_t mayReceive[kMacroblocksPerSegment];  // may take bits from other macroblocks
  BlockState block[kMacroblocksPerSegment][kBlocksPerMacroblock];
  // The spare-bit stream of the current pass.
  alignas(8) uint8_t spare[kMacroblocksPerSegment * 80 + 40];
};

namespace vlcdetail {

inline uint64_t loadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

inline void storeBigEndian64(uint8_t* p, uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// n bits (1 to 56) of a bit string from bit `from` on, left-aligned with zeros after them
// (the string has 8 readable bytes after any bit).
inline uint64_t bitRun(const uint8_t* bytes, uint32_t from, uint32_t n) {
  return (loadBigEndian64(bytes + (from >> 3)) << (from & 7)) & (~uint64_t(0) << (64 - n));
}

// n as it is, hidden from the compiler's merging of equal expressions: a shift by
// opaque(n) & 63 is one instruction on n itself (the processor takes the low six bits of
// the count), where n & 63 kept for other uses would put an extra instruction before it.
inline uint32_t opaque(uint32_t n) {
  asm("" : "+r"(n));
  return n;
}

// The bits of one area, from a bit position on, left-aligned in two words. Bits after
// the area are read but never decide anything: a code that passes the end is cut.
struct AreaBits {
  uint64_t hi, lo;
  uint32_t rem;  // bits left in the area
  AreaBits(const uint8_t* area, uint32_t from, uint32_t end)
      : hi(loadBigEndian64(area)), lo(loadBigEndian64(area + 8)), rem(end - from) {
    if (from) {
      hi = (hi << from) | (lo >> (64 - from));
      lo <<= from;
    }
  }
  uint64_t top() const { return hi; }
  void skip(uint32_t n) {  // 0 < n < 64
    hi = (hi << n) | (lo >> (64 - n));
    lo <<= n;
    rem -= n;
  }
  // skip(decoderLength(entry)) for a length above 0, the shifts taking the entry's low six
  // bits as they are. Gives the lookup index of the bits that follow: their leading bits
  // come from hi shifted alone (the bits taken in from lo go below them), so that the next
  // lookup waits for one shift after the entry's load and nothing more.
  uint64_t skipBy(uint32_t entry) {
    const uint32_t n = opaque(entry);
    const uint64_t shifted = hi << (n & 63);
    hi = shifted | (lo >> ((0u - n) & 63));
    lo <<= n & 63;
    rem -= decoderLength(entry);
    return shifted >> (64 - kPrimaryVlcBits);
  }
  void unread(uint32_t n) { rem += n; }  // only the count matters afterwards
};

// Bits of a byte array from a bit position on; the array has 24 readable bytes after
// its last bit. The next 128 bits are kept in two words, which take in new bits from
// memory as they move on, so that the next lookup does not wait for a load.
struct StreamBits {
  const uint8_t* bytes;
  uint32_t pos, rem;
  uint64_t hi, lo;
  // The count bits from bit `from` on, after the `pendingLength` bits of `pending` (right-
  // aligned, fewer than 16), which are read first as though they stood before them.
  StreamBits(const uint8_t* b, uint32_t from, uint32_t count, uint32_t pending, uint32_t pendingLength)
      : bytes(b), pos(from), rem(count), hi(word(from)), lo(word(from + 64)) {
    if (pendingLength) {
      lo = (hi << (64 - pendingLength)) | (lo >> pendingLength);
      hi = (uint64_t(pending) << (64 - pendingLength)) | (hi >> pendingLength);
      pos -= pendingLength;  // (may wrap round: only pos + 128 and later are read)
      rem += pendingLength;
    }
  }
  // The 57 or more bits from bit q on, left-aligned.
  uint64_t at(uint32_t q) const { return loadBigEndian64(bytes + (q >> 3)) << (q & 7); }
  // The 64 bits from bit q on.
  uint64_t word(uint32_t q) const { return at(q) | (q & 7 ? uint64_t(bytes[(q >> 3) + 8]) >> (8 - (q & 7)) : 0); }
  uint64_t top() const { return hi; }
  void skip(uint32_t n) {  // 0 < n < 58
    hi = (hi << n) | (lo >> (64 - n));
    lo = (lo << n) | (at(pos + 128) >> (64 - n));
    pos += n;
    rem -= n;
  }
  uint64_t skipBy(uint32_t entry) {  // as AreaBits::skipBy
    const uint32_t n = opaque(entry);
    const uint64_t shifted = hi << (n & 63);
    hi = shifted | (lo >> ((0u - n) & 63));
    lo = (lo << (n & 63)) | (at(pos + 128) >> ((0u - n) & 63));
    pos += decoderLength(entry);
    rem -= decoderLength(entry);
    return shifted >> (64 - kPrimaryVlcBits);
  }
  void unread(uint32_t n) {  // only the count and position matter afterwards
    pos -= n;
    rem += n;
  }
};

// Concatenates bit runs into `spare` and reads them back.
struct SpareStream {
  uint8_t* bytes;
  uint32_t size = 0;  // bits written
  uint32_t pos = 0;   // bits read
  uint64_t acc = 0;   // bits not yet stored, left-aligned (size % 64 of them)

  // Appends bits [from, to) of src (which has 8 readable bytes after any bit), up to 56
  // at a time; whole words are stored as they fill.
  void append(const uint8_t* src, uint32_t from, uint32_t to) {
    while (from < to) {
      const uint32_t n = to - from < 56 ? to - from : 56;
      const uint64_t v = bitRun(src, from, n);
      const uint32_t used = size & 63;
      acc |= v >> used;
      if (used + n >= 64) {
        storeBigEndian64(bytes + ((size >> 3) & ~7u), acc);
        acc = used ? v << (64 - used) : 0;
      }
      from += n;
      size += n;
    }
  }
  void finish() {
    // The last part word, then zeros for the reads after the stream.
    uint8_t* at = bytes + ((size >> 3) & ~7u);
    storeBigEndian64(at, acc);
    std::memset(at + 8, 0, 24);
    acc = 0;
  }
};

}  // namespace vlcdetail

// The coefficient sink hands out, as each block is set up, a small handle through
// which the block's non-zero coefficients are stored by scan index:
//   Sink::Block begin(int mb, int b, int qno, int cls, int mode, int dc);
//   void Sink::Block::store(size_t k, float amplitude);   // k 1..63, a whole number
// (an amplitude of 0 may be stored too: the block starts all zero).
template <typename Sink>
class VlcSegmentDecoder {
 public:
  // bmi2: decode with the build of the passes for processors with BMI2 (shifts by a
  // register without flags); only where the processor has them.
  VlcSegmentDecoder(const uint32_t* table, SegmentState& st, Sink& sink, bool bmi2 = false)
      : table_(table), dual_(dualVlcTable()), pair_(pairVlcTable()), st_(st), sink_(sink), bmi2_(bmi2) {}

  // Decodes the segment whose five video blocks are given. 0, or -300 when a block
  // overflowed or was left incomplete (its coefficients so far are kept).
  DvcResult decode(const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    result_ = DVC_OK;
    if (bmi2_) {
      firstPassBmi2(videoBlocks);
      if (waiting_) sparePassesBmi2();
    } else {
      firstPass(videoBlocks);
      if (waiting_) sparePasses();
    }
    return result_;
  }

 private:
  struct Source {
    int slot;        // 6 m + b
    uint32_t start;  // first bit in the stream
    uint32_t bits;
  };

  // Each part in a function of its own, so that its inner loop keeps its state in
  // registers, built twice: for any processor and for BMI2.
  __attribute__((noinline, flatten)) void firstPass(const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    decodeOwnAreas(videoBlocks);
  }
  __attribute__((noinline, flatten, target("bmi2"))) void firstPassBmi2(
      const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    decodeOwnAreas(videoBlocks);
  }
  __attribute__((noinline, flatten)) void sparePasses() { decodeSpareBits(); }
  __attribute__((noinline, flatten, target("bmi2"))) void sparePassesBmi2() { decodeSpareBits(); }

  // Pass 1: each block in its own area, set up as its turn comes. Bit 6 m + b of waiting_
  // is set while block b of macroblock m needs more, of spare_ while it has unread bits
  // of its own area.
  void decodeOwnAreas(const uint8_t* const videoBlocks[kMacroblocksPerSegment]) {
    std::memset(st_.data + 80 * kMacroblocksPerSegment, 0, 16);
    uint32_t waiting = 0, spare = 0;
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      uint8_t* copy = st_.data + 80 * m;
      std::memcpy(copy, videoBlocks[m], 80);
      const int qno = copy[3] & 15;
      st_.mayReceive[m] = 1;
      for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        BlockState& s = st_.block[m][b];
        const uint8_t* area = copy + kAreaOffset[b];
        const uint32_t w = (uint32_t(area[0]) << 8) | area[1];
        if (w == 0x8006) st_.mayReceive[m] = 0;
        s.area = area;
        s.areaBits = kAreaBits[b];
        s.dc = int16_t(int16_t(w) >> 7);
        s.mode = uint8_t((w >> 6) & 1);
        s.cls = uint8_t((w >> 4) & 3);
        typename Sink::Block block = blocks_[m][b] = sink_.begin(m, b, qno, s.cls, s.mode, s.dc);
        uint32_t position = 1, count = 0;
        vlcdetail::AreaBits bits(area, 12, kAreaBits[b]);
        const bool ended = decodeCodes(m, block, bits, position, count);
        // A code cut by the end of the area: its leading bits are kept.
        s.pendingLength = uint8_t(ended ? 0 : bits.rem);
        s.pendingBits = uint16_t(!ended && bits.rem ? uint32_t(bits.top() >> (64 - bits.rem)) : 0);
        s.bitPos = uint16_t(ended ? kAreaBits[b] - bits.rem : kAreaBits[b]);
        s.needsMore = !ended;
        s.ownActive = ended && bits.rem > 0;
        s.position = uint8_t(position);
        s.count = uint8_t(count);
        const uint32_t bit = 1u << (kBlocksPerMacroblock * m + b);
        waiting |= ended ? 0 : bit;
        spare |= s.ownActive ? bit : 0;
      }
    }
    waiting_ = waiting;
    spare_ = spare;
  }

  void decodeSpareBits() {
    // Pass 2: within each macroblock. (Without spare bits, the passes change nothing.)
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      const uint32_t waiting = (waiting_ >> (6 * m)) & 63u, spare = (spare_ >> (6 * m)) & 63u;
      if (!waiting || !spare) continue;
      vlcdetail::SpareStream stream{st_.spare};
      Source sources[kBlocksPerMacroblock];
      const int nSources = gather(stream, spare << (6 * m), sources);
      for (uint32_t w = waiting; w; w &= w - 1) {
        if (!feed(m, __builtin_ctz(w), stream)) break;  // the spare bits ran out
      }
      giveBack(stream, sources, nSources);
    }
    // Pass 3: across the segment, for the macroblocks that may still receive bits.
    if (!waiting_) return;
    vlcdetail::SpareStream stream{st_.spare};
    Source sources[kMacroblocksPerSegment * kBlocksPerMacroblock];
    const bool spare = spare_ != 0;
    const int nSources = spare ? gather(stream, spare_, sources) : 0;
    // Whether a macroblock may receive is looked at as its turn comes (a block's pair
    // limit stops the later macroblocks, not the rest of its own).
    int current = -1;
    bool receives = false;
    for (uint32_t w = waiting_; w; w &= w - 1) {
      const int k = __builtin_ctz(w), m = k / kBlocksPerMacroblock;
      if (m != current) {
        current = m;
        receives = st_.mayReceive[m] != 0;
      }
      if (!receives) continue;
      // A stream that ran out changes no block (pending bits never hold a whole code, and
      // more of them make none): the block is left incomplete.
      if (!spare || stream.pos == stream.size || !feed(m, k - kBlocksPerMacroblock * m, stream)) {
        result_ = DVC_ERR_BAD_ARGUMENT;
      }
    }
    giveBack(stream, sources, nSources);
  }

  BlockState& slotState(int slot) { return st_.block[slot / kBlocksPerMacroblock][slot % kBlocksPerMacroblock]; }

  // A pair whose run reaches past the last coefficient (or an end of block): the
  // coefficient is dropped and the block may stop. False when the block stopped.
  bool putPastEnd(int m, uint32_t entry, uint32_t& position, uint32_t& count) {
    if (decoderEndOfBlock(entry)) return false;
    position = 64;  // this and later pairs are dropped
    result_ = DVC_ERR_BAD_ARGUMENT;
    if (++count == 64) {
      // The pair limit (only reachable once the coefficients are used up).
      for (int k = m; k < kMacroblocksPerSegment; ++k) st_.mayReceive[k] = 0;
      return false;
    }
    return true;
  }

  // Stores one decoded code of block (m, b). False when the block stopped (end of
  // block, or the pair limit).
  bool put(int m, typename Sink::Block& block, uint32_t entry, uint32_t& position, uint32_t& count) {
    const uint32_t at = position + decoderRun(entry);
    if (__builtin_expect(at >= 64, 0)) return putPastEnd(m, entry, position, count);
    // Each stored pair moves at least one coefficient on, so fewer than 63 came before.
    block.store(at, float(decoderAmplitude(entry)));
    position = at + 1;
    ++count;
    return true;
  }

  // The codes of one lookup (top: the bits from the next one on; both: its entry in the
  // dual table): 0 when the block goes on, 1 when it ended, 2 when the next code does not
  // lie whole within the bits (they are left unread).
  template <typename Bits>
  int step(int m, typename Sink::Block& block, Bits& bits, uint32_t& position, uint32_t& count, uint64_t top,
           uint64_t both) {
    const uint32_t first = uint32_t(both), second = uint32_t(both >> 32);
    const uint32_t advance = decoderLength(first);
    if (advance - 1u >= bits.rem) {
      // A long code, or codes that pass the end of the bits: the first code alone.
      const uint32_t e =
          advance ? (first & ~kDecoderLengthMask) | decoderLength(second) : decoderEntry(table_[top >> 48]);
      if (decoderLength(e) > bits.rem) return 2;
      bits.skip(decoderLength(e));
      return put(m, block, e, position, count) ? 0 : 1;
    }
    bits.skip(advance);
    if (!put(m, block, first, position, count)) {
      bits.unread(advance - decoderLength(second));  // the block stopped before the second code
      return 1;
    }
    const uint32_t at = position + decoderRun(second);
    if (at >= 64) return (second & kDualSecond) && !putPastEnd(m, second, position, count) ? 1 : 0;
    // Without a second code this stores 0 at the next coefficient, which is still 0.
    block.store(at, float(decoderAmplitude(second)));
    const uint32_t taken = (second & kDualSecond) ? 1u : 0u;
    position = at + taken;
    count += taken;
    return 0;
  }

  // Decodes codes from `bits` into block (m, b) until the block ends (true) or the next
  // code does not lie whole within the bits (false; those bits are left unread).
  template <typename Bits>
  bool decodeCodes(int m, typename Sink::Block& block, Bits& bits, uint32_t& position, uint32_t& count) {
    uint64_t index = bits.top() >> (64 - kPrimaryVlcBits);
    int64_t p = position, n = count;
    for (;;) {
      const uint64_t e = pair_[index];
      const int64_t left = int64_t(bits.rem) - int64_t(pairLength(e));  // below 0: the codes pass the end of the bits
      if (__builtin_expect(pairEndsBlock(e), 0)) {
        // The end of block after at most one code, with a test of its own, so that the
        // block ends straight from the loop.
        const int64_t at = p + pairFirstRun(e);
        if (__builtin_expect(left >= 0 && at < 64, 1)) {
          bits.skipBy(uint32_t(e));
          // (0 where the end of block comes first: that coefficient is still 0)
          block.store(size_t(at), std::bit_cast<float>(pairFirstAmplitude(e)));
          position = uint32_t(p + pairAdvance(e));
          count = uint32_t(n + pairCodes(e));
          return true;
        }
      } else {
        // The common case, in one test: the second code's place lies inside the block (no
        // run past its last coefficient, no long code) and the codes lie within the bits.
        const int64_t over = p + int64_t(pairSecondPlace(e)) - 64;
        if (__builtin_expect((over & ~left) < 0, 1)) {
          index = bits.skipBy(uint32_t(e));
          block.store(size_t(p + pairFirstRun(e)), std::bit_cast<float>(pairFirstAmplitude(e)));
          // 0 without a second code: that coefficient is still 0.
          block.store(size_t(over + 64), std::bit_cast<float>(pairSecondAmplitude(e)));
          p += pairAdvance(e);
          n += pairCodes(e);
          continue;
        }
      }
      position = uint32_t(p);
      count = uint32_t(n);
      if (const int r = step(m, block, bits, position, count, bits.top(), dual_[index])) return r == 1;
      p = position;
      n = count;
      index = bits.top() >> (64 - kPrimaryVlcBits);
    }
  }

  // Appends the unread bits of the blocks of the mask (bit 6 m + b), in order, to the stream.
  int gather(vlcdetail::SpareStream& stream, uint32_t mask, Source* sources) {
    int n = 0;
    for (; mask; mask &= mask - 1) {
      const int slot = __builtin_ctz(mask);
      const BlockState& s = slotState(slot);
      sources[n++] = Source{slot, stream.size, uint32_t(s.areaBits - s.bitPos)};
      stream.append(s.area, s.bitPos, s.areaBits);
    }
    stream.finish();
    return n;
  }

  // Marks the bits that the stream handed out as read in their blocks.
  void giveBack(const vlcdetail::SpareStream& stream, const Source* sources, int n) {
    for (int k = 0; k < n; ++k) {
      const Source& src = sources[k];
      if (stream.pos <= src.start) break;
      const uint32_t used = stream.pos - src.start < src.bits ? stream.pos - src.start : src.bits;
      BlockState& s = slotState(src.slot);
      s.bitPos = uint16_t(s.bitPos + used);
      s.ownActive = s.bitPos < s.areaBits;
      if (!s.ownActive) spare_ &= ~(1u << src.slot);
    }
  }

  // Decodes codes of block (m, b) from its pending bits followed by the stream until it
  // ends. False when the stream ran out first (the bits read so far become pending).
  bool feed(int m, int b, vlcdetail::SpareStream& stream) {
    BlockState& s = st_.block[m][b];
    typename Sink::Block block = blocks_[m][b];
    uint32_t position = s.position, count = s.count;
    // The first code starts with the pending bits (which never hold a whole code, so that
    // the block reads on into the stream before it can end).
    vlcdetail::StreamBits bits(stream.bytes, stream.pos, stream.size - stream.pos, s.pendingBits, s.pendingLength);
    const bool ended = decodeCodes(m, block, bits, position, count);
    if (ended) {
      s.needsMore = false;
      s.pendingLength = 0;
      s.pendingBits = 0;
      waiting_ &= ~(1u << (kBlocksPerMacroblock * m + b));
    } else {
      // The stream ran out inside a code: its leading bits (with any pending ones) become
      // pending.
      s.pendingLength = uint8_t(bits.rem);
      s.pendingBits = uint16_t(bits.rem ? uint32_t(bits.top() >> (64 - bits.rem)) : 0);
      bits.pos += bits.rem;
      bits.rem = 0;
    }
    s.position = uint8_t(position);
    s.count = uint8_t(count);
    stream.pos = bits.pos;
    return ended;
  }

  const uint32_t* table_;
  const uint64_t* dual_;
  const uint64_t* pair_;
  SegmentState& st_;
  Sink& sink_;
  typename Sink::Block blocks_[kMacroblocksPerSegment][kBlocksPerMacroblock];
  bool bmi2_;
  DvcResult result_ = DVC_OK;
  uint32_t waiting_ = 0, spare_ = 0;
};

// A sink that keeps the coefficients as 16-bit values in scan order, not dequantised.
struct ScanOrderSink {
  struct Coefficients {
    int qno, cls, mode;
    int16_t value[64];
  };
  struct Block {
    int16_t* value;
    void store(size_t k, float amplitude) { value[k] = int16_t(amplitude); }
  };
  Coefficients block[kMacroblocksPerSegment][kBlocksPerMacroblock];

  Block begin(int mb, int b, int qno, int cls, int mode, int dc) {
    Coefficients& k = block[mb][b];
    k.qno = qno;
    k.cls = cls;
    k.mode = mode;
    std::memset(k.value, 0, sizeof k.value);
    k.value[0] = int16_t(dc);
    return Block{k.value};
  }
};

}  // namespace zebdv
