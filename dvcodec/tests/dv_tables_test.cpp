// The coding tables: the AC code lookups, the scan orders and the quantisation steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dv_tables.h"

namespace {

using namespace zebdv;

// The entry of the code that begins a 16-bit value, found by trying the lengths 3 to 16
// on its leading bits in turn.
bool firstMatch(uint32_t value, uint32_t* entry) {
  for (int len = 3; len <= 16; ++len) {
    if (vlcMatchCode(value >> (16 - len), len, entry)) return true;
  }
  return false;
}

TEST(DvVlcTables, SharedTableGivesTheFirstMatchingCodeOfEveryValue) {
  std::vector<uint32_t> table(65536);
  ASSERT_EQ(vlcTableBuild(table.data()), DVC_OK);
  for (uint32_t v = 0; v < 65536; ++v) {
    uint32_t expected = 0;
    ASSERT_TRUE(firstMatch(v, &expected)) << v;
    ASSERT_EQ(table[v], expected) << v;
  }
  EXPECT_EQ(std::vector<uint32_t>(sharedVlcTable(), sharedVlcTable() + 65536), table);
}

TEST(DvVlcTables, CodesOfEachKind) {
  struct Case {
    const char* bits;  // the code, left-aligned
    uint32_t length, run;
    int32_t amplitude;
    bool endOfBlock;
  } cases[] = {
      {"0110", 4, 0, 0, true},                 // end of block
      {"000", 3, 0, 1, false},                 // (0, 1)
      {"001", 3, 0, -1, false},                // its sign bit
      {"01110", 5, 1, 1, false},               // (1, 1)
      {"1111100110", 11, 1, 11, false},        // (1, 11), 10 bits and the sign
      {"11111001111", 11, 1, 0, false},        // 11-bit run of zeros
      {"111110101111", 12, 5, 0, false},       // 12-bit run of zeros
      {"1111110000011", 13, 3, 0, false},      // 13-bit run of zeros
      {"1111110111111", 13, 63, 0, false},     // its longest run
      {"1111111000001011", 16, 0, -5, false},  // escape: amplitude 5, negative
      {"1111111111111110", 16, 0, 255, false}, // the largest amplitude
  };
  const uint32_t* table = sharedVlcTable();
  for (const Case& c : cases) {
    uint32_t v = 0;
    for (const char* p = c.bits; *p; ++p) v = (v << 1) | uint32_t(*p == '1');
    v <<= 16 - std::strlen(c.bits);
    const uint32_t e = table[v];
    EXPECT_EQ(vlcLength(e), c.length) << c.bits;
    EXPECT_EQ(vlcRun(e), c.run) << c.bits;
    EXPECT_EQ(vlcAmplitude(e), c.amplitude) << c.bits;
    EXPECT_EQ(vlcEndOfBlock(e), c.endOfBlock) << c.bits;
  }
}

TEST(DvVlcTables, CodeIsCompleteAndPrefixFree) {
  // Every code of length L owns 2^(16-L) values; the counts must add up to all of them.
  std::vector<uint32_t> table(65536);
  ASSERT_EQ(vlcTableBuild(table.data()), DVC_OK);
  uint64_t owned = 0;
  for (uint32_t v = 0; v < 65536;) {
    const uint32_t len = vlcLength(table[v]);
    const uint32_t span = 1u << (16 - len);
    ASSERT_EQ(v % span, 0u) << v;  // a code starts on its own boundary
    for (uint32_t i = 0; i < span; ++i) ASSERT_EQ(table[v + i], table[v]);
    owned += span;
    v += span;
  }
  EXPECT_EQ(owned, 65536u);
}

TEST(DvVlcTables, DerivedLookupsAgreeWithTheSharedTable) {
  const uint32_t* table = sharedVlcTable();
  const uint32_t* fast = fastVlcTable();
  for (uint32_t b = 0; b < 256; ++b) {
    const uint32_t e = table[b << 8];
    EXPECT_EQ(fast[b], vlcLength(e) > 8 ? (e & ~31u) : e) << b;
  }
  const uint32_t* primary = primaryVlcTable();
  const uint64_t* dual = dualVlcTable();
  for (uint32_t v = 0; v < (1u << kPrimaryVlcBits); ++v) {
    const uint32_t e = table[v << (16 - kPrimaryVlcBits)];
    const uint32_t len = vlcLength(e);
    EXPECT_EQ(primary[v], len <= uint32_t(kPrimaryVlcBits) ? decoderEntry(e) : 0u) << v;
    const uint32_t first = uint32_t(dual[v]), second = uint32_t(dual[v] >> 32);
    if (!primary[v]) {
      EXPECT_EQ(dual[v], 0u) << v;  // a long code: looked up alone
      continue;
    }
    EXPECT_EQ(first & ~kDecoderLengthMask, primary[v] & ~kDecoderLengthMask) << v;
    EXPECT_EQ(decoderLength(second), len) << v;
    if (!(second & kDualSecond)) {
      EXPECT_EQ(decoderLength(first), len) << v;
      EXPECT_EQ(second & ~kDecoderLengthMask, 0u) << v;  // no second code: run and amplitude 0
      continue;
    }
    // The second code follows the first within the 11 bits.
    const uint32_t e2 = table[(v << (16 - kPrimaryVlcBits + len)) & 0xFFFF];
    EXPECT_FALSE(vlcEndOfBlock(e));
    EXPECT_EQ(decoderLength(first), len + vlcLength(e2));
    EXPECT_LE(decoderLength(first), uint32_t(kPrimaryVlcBits));
    EXPECT_EQ(second & ~kDecoderLengthMask & ~kDualSecond, decoderEntry(e2) & ~kDecoderLengthMask);
  }
}

// The full-size decoder's pair table says what the dual table says, in its own form.
TEST(DvVlcTables, PairLookupsAgreeWithTheDualTable) {
  const uint64_t* dual = dualVlcTable();
  const uint64_t* pair = pairVlcTable();
  auto amplitude = [](uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  };
  int ends = 0, pairs = 0;
  for (uint32_t v = 0; v < (1u << kPrimaryVlcBits); ++v) {
    const uint32_t first = uint32_t(dual[v]), second = uint32_t(dual[v] >> 32);
    const uint64_t p = pair[v];
    if (decoderLength(first) == 0) {
      // A long code, looked up alone: no common case takes it.
      EXPECT_EQ(p, uint64_t(kPairLongCode) << 32) << v;
      EXPECT_FALSE(pairEndsBlock(p)) << v;
      continue;
    }
    const bool two = (second & kDualSecond) != 0;
    EXPECT_EQ(pairLength(p), decoderLength(first)) << v;
    if (decoderEndOfBlock(first)) {
      // The end of block alone: nothing stored, nothing moved.
      ++ends;
      EXPECT_TRUE(pairEndsBlock(p)) << v;
      EXPECT_EQ(p, decoderLength(first) | uint64_t(kPairEndOfBlock) << 32) << v;
      continue;
    }
    EXPECT_EQ(pairFirstRun(p), decoderRun(first)) << v;
    EXPECT_EQ(amplitude(pairFirstAmplitude(p)), float(decoderAmplitude(first))) << v;
    if (two && decoderEndOfBlock(second)) {
      // A code, then the end of block.
      ++ends;
      EXPECT_TRUE(pairEndsBlock(p)) << v;
      EXPECT_EQ(pairCodes(p), 1u) << v;
      EXPECT_EQ(pairAdvance(p), decoderRun(first) + 1) << v;
      EXPECT_EQ(pairSecondAmplitude(p), 0u) << v;
      continue;
    }
    ++pairs;
    EXPECT_FALSE(pairEndsBlock(p)) << v;
    EXPECT_EQ(pairCodes(p), two ? 2u : 1u) << v;
    const uint32_t place = decoderRun(first) + 1 + decoderRun(second);
    EXPECT_LT(place, kPairLongCode) << v;
    EXPECT_EQ(pairSecondPlace(p), place) << v;
    EXPECT_EQ(pairAdvance(p), place + (two ? 1 : 0)) << v;
    EXPECT_EQ(amplitude(pairSecondAmplitude(p)), float(decoderAmplitude(second))) << v;
  }
  EXPECT_GT(ends, 0);
  EXPECT_GT(pairs, 0);
}

TEST(DvScanOrders, AreEachAPermutationStartingAtTheDc) {
  for (const uint8_t* scan : {kScan88, kScan248}) {
    std::vector<int> seen(scan, scan + 64);
    std::sort(seen.begin(), seen.end());
    for (int i = 0; i < 64; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_EQ(scan[0], 0);
  }
  // The 2-4-8 order alternates between the sums (rows 0-3) and the differences (4-7).
  for (int k = 0; k < 64; ++k) EXPECT_EQ(kScan248[k] >= 32, k % 2 == 1) << k;
}

TEST(DvQuantisation, StepsByQnoAndClass) {
  struct Case {
    int qno, cls;
    int shifts[4];  // areas 0-3
  } cases[] = {
      {15, 2, {0, 0, 0, 0}}, {15, 3, {1, 1, 1, 1}}, {0, 0, {1, 2, 2, 3}},
      {12, 0, {0, 0, 0, 0}},  // row 18 counts as 15
      {0, 2, {3, 3, 4, 4}},  {5, 1, {1, 1, 2, 2}},
  };
  const int firstOfArea[4] = {1, 6, 21, 43};
  for (const Case& c : cases) {
    int16_t coefficients[64];
    for (int k = 0; k < 64; ++k) coefficients[k] = int16_t(k % 2 ? -3 : 3);
    dequantize(c.qno, c.cls, coefficients);
    EXPECT_EQ(coefficients[0], 3);  // the DC is never shifted
    for (int a = 0; a < 4; ++a) {
      const int k = firstOfArea[a];
      EXPECT_EQ(coefficients[k], (k % 2 ? -3 : 3) * (1 << c.shifts[a])) << c.qno << "/" << c.cls << " area " << a;
    }
  }
  // Only the coefficients up to `last` are touched.
  int16_t partial[64];
  std::fill(partial, partial + 64, int16_t(1));
  dequantize(0, 0, partial, 9);
  EXPECT_EQ(partial[9], 4);
  EXPECT_EQ(partial[10], 1);
}

}  // namespace
