// Variable-length decoding of a segment, against a plain bit-by-bit decoder written
// straight from the rules (own areas; then spare bits within the macroblock, moved one
// bit at a time until a code is complete; then spare bits of the whole segment).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dv_tables.h"
#include "dv_test_support.h"
#include "dv_vlc.h"

namespace {

using namespace zebdv;

// ---- The reference decoder -------------------------------------------------------------

struct RefBlock {
  std::vector<int> area;
  int bitPos = 12;
  bool ownActive = true, needsMore = true;
  int count = 0;
  std::vector<std::pair<int, int>> pairs;
  std::vector<int> pending;
  int dc = 0;
};

struct RefSegment {
  RefBlock block[5][6];
  int flag[5] = {};
  int result = 0;
  int16_t coefficients[5][6][64] = {};
};

bool matchBits(const std::vector<int>& bits, uint32_t* entry) {
  if (bits.size() < 3 || bits.size() > 16) return false;
  uint32_t v = 0;
  for (int b : bits) v = (v << 1) | uint32_t(b);
  return vlcMatchCode(v, int(bits.size()), entry);
}

void refPut(RefSegment& seg, int m, int b, uint32_t e) {
  RefBlock& k = seg.block[m][b];
  if (vlcEndOfBlock(e)) {
    k.needsMore = false;
    return;
  }
  k.pairs.push_back({int(vlcRun(e)), vlcAmplitude(e)});
  if (++k.count == 64) {
    k.needsMore = false;
    seg.result = -300;
    for (int i = m; i < 5; ++i) seg.flag[i] = 0;
  }
}

// Moves bits one at a time from the sources to the target until a code is complete,
// while the target needs more. `source` is the running index into `sources`.
void refFeed(RefSegment& seg, int m, int b, const std::vector<std::pair<int, int>>& sources, size_t& source) {
  RefBlock& t = seg.block[m][b];
  while (t.needsMore && source < sources.size()) {
    RefBlock& s = seg.block[sources[source].first][sources[source].second];
    if (!s.ownActive) {
      ++source;
      continue;
    }
    t.pending.push_back(s.area[size_t(s.bitPos++)]);
    if (s.bitPos == int(s.area.size())) s.ownActive = false;
    uint32_t e;
    if (matchBits(t.pending, &e)) {
      t.pending.clear();
      refPut(seg, m, b, e);
    }
  }
}

RefSegment referenceDecode(const uint8_t* data /* 5 x 80 bytes */) {
  RefSegment seg;
  static const int offsets[6] = {4, 18, 32, 46, 60, 70}, sizes[6] = {14, 14, 14, 14, 10, 10};
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      RefBlock& k = seg.block[m][b];
      const uint8_t* a = data + 80 * m + offsets[b];
      for (int i = 0; i < 8 * sizes[b]; ++i) k.area.push_back((a[i / 8] >> (7 - i % 8)) & 1);
      k.dc = int16_t((a[0] << 8) | a[1]) >> 7;
    }
  }
  // Pass 1.
  for (int m = 0; m < 5; ++m) {
    seg.flag[m] = 1;
    for (int b = 0; b < 6; ++b) {
      RefBlock& k = seg.block[m][b];
      const uint8_t* a = data + 80 * m + offsets[b];
      if (a[0] == 0x80 && a[1] == 0x06) seg.flag[m] = 0;
      while (k.needsMore && k.ownActive) {
        std::vector<int> window;
        for (int i = 0; i < 16; ++i) {
          const size_t at = size_t(k.bitPos + i);
          window.push_back(at < k.area.size() ? k.area[at] : 0);
        }
        uint32_t e = 0;
        int len = 3;
        for (; len <= 16; ++len) {
          std::vector<int> head(window.begin(), window.begin() + len);
          if (matchBits(head, &e)) break;
        }
        if (k.bitPos + len > int(k.area.size())) {
          k.pending.assign(k.area.begin() + k.bitPos, k.area.end());
          k.bitPos = int(k.area.size());
          k.ownActive = false;
          break;
        }
        k.bitPos += len;
        k.ownActive = k.bitPos < int(k.area.size());
        refPut(seg, m, b, e);
      }
    }
  }
  // Pass 2.
  for (int m = 0; m < 5; ++m) {
    std::vector<std::pair<int, int>> sources;
    for (int b = 0; b < 6; ++b) sources.push_back({m, b});
    size_t source = 0;
    for (int b = 0; b < 6; ++b) {
      if (!seg.block[m][b].needsMore) continue;
      refFeed(seg, m, b, sources, source);
      if (seg.block[m][b].needsMore) break;
    }
  }
  // Pass 3.
  std::vector<std::pair<int, int>> sources;
  for (int m = 0; m < 5; ++m)
    for (int b = 0; b < 6; ++b) sources.push_back({m, b});
  size_t source = 0;
  for (int m = 0; m < 5; ++m) {
    if (!seg.flag[m]) continue;
    for (int b = 0; b < 6; ++b) {
      if (!seg.block[m][b].needsMore) continue;
      refFeed(seg, m, b, sources, source);
      if (seg.block[m][b].needsMore) seg.result = -300;
    }
  }
  // Expansion into scan order.
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      RefBlock& k = seg.block[m][b];
      seg.coefficients[m][b][0] = int16_t(k.dc);
      int p = 1;
      for (auto [run, amplitude] : k.pairs) {
        if (p + run >= 64) {
          seg.result = -300;
          break;
        }
        p += run;
        seg.coefficients[m][b][p++] = int16_t(amplitude);
      }
    }
  }
  return seg;
}

// ---- Comparing with the decoder ------------------------------------------------------------

struct Decoded {
  SegmentState state{};
  ScanOrderSink sink{};
  DvcResult result = 0;
};

void decodeSegment(const uint8_t* data, Decoded* out) {
  const uint8_t* blocks[5];
  for (int m = 0; m < 5; ++m) blocks[m] = data + 80 * m;
  VlcSegmentDecoder<ScanOrderSink> vlc(sharedVlcTable(), out->state, out->sink);
  out->result = vlc.decode(blocks);
}

void expectSameAsReference(const uint8_t* data, const std::string& what) {
  SCOPED_TRACE(what);
  const RefSegment ref = referenceDecode(data);
  auto got = std::make_unique<Decoded>();
  decodeSegment(data, got.get());
  EXPECT_EQ(got->result, ref.result);
  for (int m = 0; m < 5; ++m) {
    EXPECT_EQ(got->state.mayReceive[m], uint32_t(ref.flag[m])) << m;
    for (int b = 0; b < 6; ++b) {
      const RefBlock& r = ref.block[m][b];
      const BlockState& s = got->state.block[m][b];
      SCOPED_TRACE("block " + std::to_string(m) + "." + std::to_string(b));
      ASSERT_EQ(s.count, r.count);
      ASSERT_EQ(s.needsMore, r.needsMore);
      ASSERT_EQ(s.ownActive, r.ownActive);
      ASSERT_EQ(s.bitPos, r.bitPos);
      ASSERT_EQ(s.pendingLength, r.pending.size());
      uint32_t pending = 0;
      for (int bit : r.pending) pending = (pending << 1) | uint32_t(bit);
      ASSERT_EQ(s.pendingBits, pending);
      ASSERT_EQ(0, std::memcmp(got->sink.block[m][b].value, ref.coefficients[m][b], sizeof ref.coefficients[m][b]));
    }
  }
}

// Segments of varied make: random areas, all-zero areas (many 3-bit codes, no end of
// block), all-one areas (16-bit escapes), and areas that end at once and leave their
// spare bits to the others.
std::vector<uint8_t> mixedSegment(uint32_t seed) {
  std::vector<uint8_t> data(5 * 80);
  uint32_t x = seed * 747796405u + 2891336453u;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (auto& byte : data) byte = uint8_t(next() >> 24);
  static const int offsets[6] = {4, 18, 32, 46, 60, 70}, sizes[6] = {14, 14, 14, 14, 10, 10};
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      uint8_t* a = data.data() + 80 * m + offsets[b];
      switch (next() % 6) {
        case 0: std::memset(a + 2, 0, size_t(sizes[b] - 2)); break;
        case 1: std::memset(a + 2, 0xFF, size_t(sizes[b] - 2)); break;
        case 2: a[1] = uint8_t((a[1] & 0xF0) | 0x06); break;  // end of block right after the DC
        case 3:
          a[1] = uint8_t((a[1] & 0xF0) | 0x06);
          std::memset(a + 2, 0, size_t(sizes[b] - 2));
          break;
        default: break;  // random codes
      }
      if (next() % 40 == 0) {
        a[0] = 0x80;  // DC -256, 8-8, class 0, end of block at once
        a[1] = 0x06;
      }
    }
  }
  return data;
}

TEST(DvVlcSegment, MatchesTheBitByBitDecoderOnVariedSegments) {
  for (uint32_t seed = 0; seed < 1500; ++seed) {
    const auto data = mixedSegment(seed);
    expectSameAsReference(data.data(), "segment " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

TEST(DvVlcSegment, MatchesTheBitByBitDecoderOnRandomFrames) {
  for (int system : {525, 625}) {
    const std::string frame = dvtest::randomFrame(system, 21);
    for (int s = 0; s < 2; ++s) {
      for (int i = 0; i < 27; ++i) {
        uint8_t data[400];
        for (int j = 0; j < 5; ++j) {
          const int k = 5 * i + j;
          std::memcpy(data + 80 * j, frame.data() + 80 * (150 * s + 7 + k + k / 15), 80);
        }
        expectSameAsReference(data, std::to_string(system) + " segment " + std::to_string(i));
        if (HasFatalFailure()) return;
      }
    }
  }
}

// ---- Cases by hand --------------------------------------------------------------------------

// A segment where every block is DC-only (end of block at once), to be edited.
std::vector<uint8_t> quietSegment() {
  std::vector<uint8_t> data(5 * 80, 0);
  static const int offsets[6] = {4, 18, 32, 46, 60, 70};
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      dvtest::BitWriter w(data.data() + 80 * m + offsets[b]);
      w.put(uint32_t(10 * m + b) & 0x1FF, 9);  // DC
      w.put("000");                             // 8-8, class 0
      w.put("0110");                            // end of block
    }
  }
  return data;
}

TEST(DvVlcSegment, DcFollowedByEndOfBlockGivesADcOnlyBlock) {
  const auto data = quietSegment();
  auto got = std::make_unique<Decoded>();
  decodeSegment(data.data(), got.get());
  EXPECT_EQ(got->result, 0);
  const BlockState& s = got->state.block[2][3];
  EXPECT_EQ(s.count, 0);
  EXPECT_FALSE(s.needsMore);
  EXPECT_EQ(got->sink.block[2][3].value[0], 23);
  for (int k = 1; k < 64; ++k) EXPECT_EQ(got->sink.block[2][3].value[k], 0);
}

TEST(DvVlcSegment, CodeCutAtTheAreaEndIsCompletedFromSpareBitsOfTheMacroblock) {
  auto data = quietSegment();
  // Block 0: twelve codes (0, 9) of 8 bits fill 96 of its 100 code bits; the next code
  // (0, 9) is cut after "1101". Block 1 ends at once and lends its spare bits, which
  // hold the rest of the cut code and then the end of block.
  dvtest::BitWriter w0(data.data() + 4);
  w0.put(0, 12);
  for (int i = 0; i < 12; ++i) w0.put("11011010");
  w0.put("1101");
  dvtest::BitWriter w1(data.data() + 18);
  w1.put(0, 12);
  w1.put("0110");
  w1.put("1010");  // completes "1101" + "1010" = (0, 9), positive
  w1.put("0110");  // block 0's end of block
  auto got = std::make_unique<Decoded>();
  decodeSegment(data.data(), got.get());
  const BlockState& s = got->state.block[0][0];
  EXPECT_EQ(s.count, 13);
  EXPECT_FALSE(s.needsMore);
  for (int k = 1; k <= 13; ++k) EXPECT_EQ(got->sink.block[0][0].value[k], 9) << k;
  EXPECT_EQ(got->sink.block[0][0].value[14], 0);
  EXPECT_EQ(got->state.block[0][1].bitPos, 16 + 8);  // its spare bits were read as far as used
  expectSameAsReference(data.data(), "cut code");
}

TEST(DvVlcSegment, SixtyFourPairsStopTheBlockAndLaterMacroblocks) {
  auto data = quietSegment();
  // Macroblock 1, block 0: codes (0, 1) with no end of block; with the spare bits of the
  // rest of the segment (zeros, which read as more (0, 1) codes) it reaches 64 pairs.
  static const int offsets[6] = {4, 18, 32, 46, 60, 70}, sizes[6] = {14, 14, 14, 14, 10, 10};
  std::memset(data.data() + 80 + 4 + 1, 0, 13);
  data[80 + 4 + 1] = 0;
  for (int m = 0; m < 5; ++m)
    for (int b = 0; b < 6; ++b)
      if (m != 1 || b != 0) std::memset(data.data() + 80 * m + offsets[b] + 2, 0, size_t(sizes[b] - 2));
  auto got = std::make_unique<Decoded>();
  decodeSegment(data.data(), got.get());
  EXPECT_EQ(got->result, DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(got->state.block[1][0].count, 64);
  EXPECT_FALSE(got->state.block[1][0].needsMore);
  EXPECT_EQ(got->state.mayReceive[1], 0u);
  EXPECT_EQ(got->state.mayReceive[4], 0u);
  expectSameAsReference(data.data(), "64 pairs");
}

TEST(DvVlcSegment, RunsLandOnTheLastCoefficientButNotPastIt) {
  for (int run : {61, 62}) {
    auto data = quietSegment();
    // Block 0 of macroblock 0: a run of `run` zeros and a zero (13-bit code), then a
    // (0, 1), then the end of block.
    dvtest::BitWriter w(data.data() + 4);
    w.put(0, 12);
    w.put("1111110");
    w.put(uint32_t(run), 6);
    w.put("000");  // (0, 1)
    w.put("0110");
    auto got = std::make_unique<Decoded>();
    decodeSegment(data.data(), got.get());
    if (run == 61) {
      EXPECT_EQ(got->result, 0);
      EXPECT_EQ(got->sink.block[0][0].value[63], 1);  // lands exactly on coefficient 63
    } else {
      EXPECT_EQ(got->result, DVC_ERR_BAD_ARGUMENT);  // 63 zeros leave no room for the (0, 1)
      for (int k = 1; k < 64; ++k) EXPECT_EQ(got->sink.block[0][0].value[k], 0);
    }
    EXPECT_EQ(got->state.block[0][0].count, 2);
    expectSameAsReference(data.data(), "run " + std::to_string(run));
  }
}

TEST(DvVlcSegment, BlocksTakeSpareBitsOfOtherMacroblocksInTheLastPass) {
  auto data = quietSegment();
  // Macroblock 0 fills all its areas with (0, 1) codes; its blocks overflow and find no
  // spare bits in their own macroblock, so they continue in macroblock 1's.
  static const int offsets[6] = {4, 18, 32, 46, 60, 70}, sizes[6] = {14, 14, 14, 14, 10, 10};
  for (int b = 0; b < 6; ++b) std::memset(data.data() + offsets[b] + 2, 0, size_t(sizes[b] - 2));
  for (int b = 0; b < 6; ++b) data[offsets[b] + 1] &= 0xF0;  // no end of block at once
  // The luminance blocks keep one cut bit "0", the colour-difference blocks "00".
  // Macroblock 1, block 0 ends at once and its spare bits finish them in turn: "110"
  // completes an end of block after "0"; "0" + "0110" a (0, 1) and an end of block
  // after "00".
  dvtest::BitWriter w(data.data() + 80 + 4);
  w.put(0, 12);
  w.put("0110");
  for (int i = 0; i < 4; ++i) w.put("110");
  for (int i = 0; i < 2; ++i) w.put("00110");
  auto got = std::make_unique<Decoded>();
  decodeSegment(data.data(), got.get());
  EXPECT_EQ(got->result, 0);
  for (int b = 0; b < 6; ++b) {
    EXPECT_FALSE(got->state.block[0][b].needsMore) << b;
    EXPECT_EQ(got->state.block[0][b].count, b < 4 ? 33 : 23) << b;
  }
  expectSameAsReference(data.data(), "pass 3");
}

}  // namespace
