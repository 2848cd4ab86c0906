// The inverse transforms and the vector kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dv_color.h"
#include "dv_idct.h"
#include "dv_kernels.h"
#include "dv_tables.h"

namespace {

using namespace zebdv;

// The samples of a block straight from the definition, in double precision: for each
// mode, the inverse weighting and the inverse DCT summed term by term.
void referenceIdct(int mode, const int16_t* scanOrder, double out[64]) {
  const double pi = 3.14159265358979323846;
  auto cs = [pi](int m) { return std::cos(m * pi / 16.0); };
  const double w[8] = {1.0, cs(4) / (4 * cs(7) * cs(2)), cs(4) / (2 * cs(6)), 1.0 / (2 * cs(5)), 7.0 / 8.0,
                       cs(4) / cs(3), cs(4) / cs(2), cs(4) / cs(1)};
  const double a0 = 1.0 / std::sqrt(2.0);
  double X[8][8] = {};
  const uint8_t* scan = mode ? kScan248 : kScan88;
  for (int k = 0; k < 64; ++k) X[scan[k] >> 3][scan[k] & 7] = scanOrder[k];
  X[0][0] *= 2;  // the DC counts twice
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int r = 0; r < 8; ++r) {
        for (int h = 0; h < 8; ++h) {
          const double ah = h ? 1.0 : a0, horizontal = std::cos(pi * h * (2 * x + 1) / 16.0);
          if (mode == 0) {
            const double av = r ? 1.0 : a0;
            sum += ah * av * X[r][h] / (w[h] * w[r]) * horizontal * std::cos(pi * r * (2 * y + 1) / 16.0);
          } else {
            // Rows 0-3: sums of line pairs, 4-7: differences; odd lines subtract them.
            const int v = r & 3, z = y / 2;
            const double av = v ? 1.0 : a0, sign = (r >= 4 && (y & 1)) ? -1.0 : 1.0;
            sum += sign * ah * av * X[r][h] / (w[h] * w[2 * v]) * horizontal * std::cos(pi * v * (2 * z + 1) / 8.0);
          }
        }
      }
      out[8 * y + x] = sum / 2;
    }
  }
}

int roundedClamped(double v) {
  const double r = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
  return int(std::min(127.0, std::max(-128.0, r)));
}

TEST(DvIdct, DcOnlyBlocksAreHalfTheDcRoundedAwayFromZero) {
  const int cases[][2] = {{0, 0}, {1, 1}, {-1, -1}, {2, 1}, {3, 2}, {-3, -2}, {100, 50}, {255, 127}, {-256, -128}};
  for (int mode : {0, 1}) {
    for (const auto& c : cases) {
      int16_t coefficients[64] = {};
      coefficients[0] = int16_t(c[0]);
      int8_t samples[64];
      idctBlock(mode, coefficients, samples);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(samples[i], c[1]) << "DC " << c[0] << " mode " << mode;
      EXPECT_EQ(dcOnlySample(c[0]), c[1]);
    }
  }
}

TEST(DvIdct, DifferenceCoefficientSeparatesTheFieldsIn248Mode) {
  int16_t coefficients[64] = {};
  coefficients[1] = 40;  // scan index 1 of the 2-4-8 order: the DC of the line differences
  int8_t samples[64];
  idctBlock(1, coefficients, samples);
  for (int y = 0; y < 8; y += 2) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_GT(samples[8 * y + x], 0);
      EXPECT_EQ(samples[8 * (y + 1) + x], -samples[8 * y + x]);
      EXPECT_EQ(samples[8 * y + x], samples[0]);
    }
  }
  // The same coefficient in the 8-8 order is a horizontal frequency: no field split.
  idctBlock(0, coefficients, samples);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(samples[8 + x], samples[x]);
}

TEST(DvIdct, MatchesTheDefinitionWithinOneLevel) {
  std::mt19937 rng(7);
  for (int mode : {0, 1}) {
    int mismatches = 0, total = 0;
    for (int n = 0; n < 1500; ++n) {
      int16_t coefficients[64] = {};
      coefficients[0] = int16_t(int(rng() % 512) - 256);
      const int count = 1 + int(rng() % 20);
      for (int i = 0; i < count; ++i) {
        const int k = 1 + int(rng() % (n % 3 == 0 ? 63 : 15));
        coefficients[k] = int16_t(int(rng() % 161) - 80);
      }
      double expected[64];
      referenceIdct(mode, coefficients, expected);
      int8_t samples[64];
      idctBlock(mode, coefficients, samples);
      for (int i = 0; i < 64; ++i) {
        const int e = roundedClamped(expected[i]);
        ASSERT_LE(std::abs(samples[i] - e), 1) << "mode " << mode << " block " << n << " sample " << i;
        mismatches += samples[i] != e;
        ++total;
      }
    }
    EXPECT_LT(mismatches, total / 200) << "mode " << mode;  // off by one only on near-halves
  }
}

// The reduced sizes' tables give the means of the definition's samples over each area.
TEST(DvIdct, ReducedTablesGiveAreaMeansOfTheDefinition) {
  std::mt19937 rng(5);
  const ReducedTables& t = kReducedTables;
  for (int mode : {0, 1}) {
    double worst = 0;
    for (int n = 0; n < 300; ++n) {
      int16_t coefficients[64] = {};
      coefficients[0] = int16_t(int(rng() % 512) - 256);
      for (int i = 0; i < 12; ++i) coefficients[1 + rng() % 63] = int16_t(int(rng() % 161) - 80);
      double samples[64];
      referenceIdct(mode, coefficients, samples);
      // Half: 2 x 2 means (luminance), vertical pairs (4:1:1 colour); quarter: 4 x 4 means
      // of the first ten coefficients.
      for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 8; ++c) {
          double half = 0, pair = 0;
          for (int k = 0; k < 64; ++k) {
            if (c < 4) half += coefficients[k] * t.half[mode][k][4 * i + c];
            pair += coefficients[k] * t.halfChroma[mode][k][8 * i + c];
          }
          const double expectedPair = (samples[16 * i + c] + samples[16 * i + 8 + c]) / 2;
          worst = std::max(worst, std::fabs(pair - expectedPair));
          if (c < 4) {
            const double expectedHalf = (samples[16 * i + 2 * c] + samples[16 * i + 2 * c + 1] +
                                         samples[16 * i + 8 + 2 * c] + samples[16 * i + 9 + 2 * c]) / 4;
            worst = std::max(worst, std::fabs(half - expectedHalf));
          }
        }
      }
      int16_t firstTen[64] = {};
      std::copy(coefficients, coefficients + kQuarterCoefficients, firstTen);
      referenceIdct(mode, firstTen, samples);
      for (int q = 0; q < 4; ++q) {
        double quarter = 0, expected = 0;
        for (int k = 0; k < 64; ++k) quarter += coefficients[k] * t.quarter[mode][k][q];
        for (int y = 0; y < 4; ++y)
          for (int x = 0; x < 4; ++x) expected += samples[8 * (4 * (q >> 1) + y) + 4 * (q & 1) + x] / 16;
        worst = std::max(worst, std::fabs(quarter - expected));
      }
    }
    EXPECT_LT(worst, 1e-3) << "mode " << mode;
  }
  // A DC alone is half the DC everywhere; a difference row of the 2-4-8 mode cancels in
  // every area that covers both lines of a pair.
  for (int s = 0; s < kHalfSamples; ++s) EXPECT_EQ(t.half[0][0][s], 0.5f);
  for (int k = 0; k < 64; ++k) {
    if ((kScan248[k] >> 3) < 4) continue;
    for (int s = 0; s < kHalfSamples; ++s) EXPECT_EQ(t.half[1][k][s], 0.0f) << k;
    for (int q = 0; q < kQuarterSamples; ++q) EXPECT_EQ(t.quarter[1][k][q], 0.0f) << k;
  }
}

// ---- Both builds of the kernels give the same bytes ---------------------------------------

// Each vector build against the portable one.
class DvKernels : public ::testing::TestWithParam<int> {};

TEST_P(DvKernels, VectorBuildsAgree) {
  const Kernels* avx2 = GetParam() == 2 ? avx2Kernels() : avx512Kernels();
  if (!avx2) GTEST_SKIP() << "the processor lacks this build's instructions";
  const Kernels& base = portableKernels();
  std::mt19937 rng(11);
  auto bytes = [&rng](size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
  };

  for (int n = 0; n < 300; ++n) {
    alignas(32) float a[64], b[64], w[64];
    for (int i = 0; i < 64; ++i) {
      a[i] = b[i] = float(int(rng() % 4001) - 2000) / 7.0f;
      w[i] = float(rng() % 1000 + 1) / 256.0f;
    }
    int8_t sa[64], sb[64];
    (n % 2 ? base.idct248 : base.idct88)(a, w, sa);
    (n % 2 ? avx2->idct248 : avx2->idct88)(b, w, sb);
    ASSERT_EQ(0, std::memcmp(sa, sb, 64)) << n;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(a[i], 0.0f);  // the input is cleared
  }

  // Straight into rows of a picture, at a stride as in a picture's planes and with the
  // bias that stores the luminance + 128; the bytes between the rows are left alone.
  for (int n = 0; n < 300; ++n) {
    alignas(32) float a[64], b[64], w[64];
    for (int i = 0; i < 64; ++i) {
      a[i] = b[i] = float(int(rng() % 4001) - 2000) / 7.0f;
      w[i] = float(rng() % 1000 + 1) / 256.0f;
    }
    const ptrdiff_t stride = n % 3 ? 720 : 8;
    const uint8_t bias = n % 4 < 2 ? 0x80 : 0;
    std::vector<uint8_t> ra(size_t(stride) * 8, 0xEE), rb(ra);
    base.idctToRows(a, w, n % 2, ra.data(), stride, bias);
    avx2->idctToRows(b, w, n % 2, rb.data(), stride, bias);
    ASSERT_EQ(ra, rb) << n;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], 0.0f);  // the input is cleared
    if (stride > 8) {
      EXPECT_EQ(rb[8], 0xEE) << "wrote between the rows";
    }
  }

  for (int32_t width : {720, 13, 8, 3}) {
    const auto src = bytes(size_t(width) * 4);
    std::vector<uint8_t> da(size_t(width) * 3 + 8, 0xEE), db(da);
    base.yccaToBgr24Row(src.data(), da.data(), width);
    avx2->yccaToBgr24Row(src.data(), db.data(), width);
    EXPECT_EQ(da, db) << width;
    EXPECT_EQ(da[size_t(width) * 3], 0xEE) << "wrote past the row";
  }

  // Lines of planes, 4:1:1 and 4:2:0 (two lines sharing their colour samples), whole and
  // in part; random samples reach every extreme of the conversion.
  for (int32_t n : {720, 716, 37, 16, 3, 1}) {
    const auto y0 = bytes(720), y1 = bytes(720), chroma = bytes(2 * 360);
    const int8_t* cr = reinterpret_cast<const int8_t*>(chroma.data());
    const int8_t* cb = cr + 360;
    for (int fourOneOne : {0, 1}) {
      std::vector<uint8_t> da(720 * 3 + 8, 0xEE), db(da);
      const int32_t count = fourOneOne ? 180 : 360;
      base.planesToBgr24Row(y0.data(), cr, cb, da.data(), n, count, fourOneOne);
      avx2->planesToBgr24Row(y0.data(), cr, cb, db.data(), n, count, fourOneOne);
      EXPECT_EQ(da, db) << n << " " << fourOneOne;
      EXPECT_EQ(da[size_t(n) * 3], 0xEE) << "wrote past the line";
    }
    std::vector<uint8_t> a0(720 * 3 + 8, 0xEE), a1(a0), b0(a0), b1(a0), one(a0);
    base.planes420ToBgr24Rows(y0.data(), y1.data(), cr, cb, a0.data(), a1.data(), n);
    avx2->planes420ToBgr24Rows(y0.data(), y1.data(), cr, cb, b0.data(), b1.data(), n);
    EXPECT_EQ(a0, b0) << n;
    EXPECT_EQ(a1, b1) << n;
    avx2->planes420ToBgr24Rows(y1.data(), nullptr, cr, cb, one.data(), nullptr, n);
    EXPECT_EQ(one, b1) << n << ": one line alone";
    std::vector<uint8_t> line(a0.size(), 0xEE);
    base.planesToBgr24Row(y0.data(), cr, cb, line.data(), n, 360, 0);
    EXPECT_EQ(line, a0) << n << ": two lines as one";
  }

  const uint32_t stride = 2880;
  const auto samples = bytes(6 * 64);
  const int8_t* s = reinterpret_cast<const int8_t*>(samples.data());
  const int8_t* const blocks[6] = {s, s + 64, s + 128, s + 192, s + 256, s + 320};
  for (int variant = 0; variant < 3; ++variant) {
    auto pa = bytes(stride * 17), pb = pa;
    if (variant < 2) {
      base.writeMacroblock411(blocks, pa.data() + 4, stride, variant);
      avx2->writeMacroblock411(blocks, pb.data() + 4, stride, variant);
    } else {
      base.writeMacroblock420(blocks, pa.data() + 4, stride, 1);
      avx2->writeMacroblock420(blocks, pb.data() + 4, stride, 1);
    }
    EXPECT_EQ(pa, pb) << "writer " << variant;
  }

  // The reduced writers, from means around the sample range, and the 32-bit rows.
  alignas(32) float means[6 * 32];
  for (float& m : means) m = float(int(rng() % 3001) - 1500) / 10.0f;
  for (int variant = 0; variant < 6; ++variant) {
    auto pa = bytes(stride * 17), pb = pa;
    const Kernels* k[2] = {&base, avx2};
    std::vector<uint8_t>* out[2] = {&pa, &pb};
    for (int i = 0; i < 2; ++i) {
      uint8_t* px = out[i]->data() + 4;
      switch (variant) {
        case 0: case 1: k[i]->writeHalf411(means, px, stride, variant); break;
        case 2: k[i]->writeHalf420(means, px, stride, 1); break;
        case 3: case 4: k[i]->writeQuarter525(means, px, stride, variant - 3); break;
        default: k[i]->writeQuarter625(means, px, stride, 1); break;
      }
    }
    EXPECT_EQ(pa, pb) << "reduced writer " << variant;
  }
  // The encoder's transform and colour conversion.
  float eight[64], four[16];
  for (float& v : eight) v = float(int(rng() % 2001) - 1000) / 1000.0f;
  for (float& v : four) v = float(int(rng() % 2001) - 1000) / 1000.0f;
  std::vector<QuantShifts> shifts(6);
  for (size_t i = 0; i < shifts.size(); ++i) {
    for (int k = 0; k < 64; ++k) {
      const int shift = k ? int((i + size_t(k) / 16) % 5) : 16;
      shifts[i].shift[k] = uint16_t(shift);
      shifts[i].multiplier[k] = uint16_t(shift < 16 ? 1u << (15 - shift) : 0u);
    }
  }
  int modes[2] = {}, classes[4] = {};
  // Blocks one at a time, and in a batch (where the vector builds transform two at once).
  std::vector<uint8_t> batch;
  for (int n = 0; n < 400; ++n) {
    // Random blocks, and flatter ones (fewer and smaller coefficients, down to the lowest
    // class), some with fields apart.
    auto raw = bytes(64);
    if (n % 3) {
      const int divisor = n % 3 == 1 ? 128 >> (n % 7) : 64 >> (n % 6);
      for (int i = 0; i < 64; ++i) {
        raw[size_t(i)] = uint8_t(int8_t(raw[size_t(i)]) / divisor + ((i / 8) % 2 && n % 4 == 1 ? 50 : 0));
      }
    }
    const int8_t* samples = reinterpret_cast<const int8_t*>(raw.data());
    batch.insert(batch.end(), raw.begin(), raw.end());
    EncoderBlock a{}, b{};
    base.forwardDct(samples, 1, eight, four, &a);
    avx2->forwardDct(samples, 1, eight, four, &b);
    ASSERT_EQ(a.mode, b.mode) << "forward transform " << n;
    ASSERT_EQ(0, std::memcmp(a.coefficients, b.coefficients, sizeof a.coefficients)) << "forward transform " << n;
    ++modes[a.mode];
    base.classifyBlock(&a, (n / 3) % 3);
    avx2->classifyBlock(&b, (n / 3) % 3);
    ASSERT_EQ(a.cls, b.cls) << n;
    ++classes[a.cls];
    ASSERT_EQ(0, std::memcmp(a.coefficients, b.coefficients, sizeof a.coefficients)) << "class " << n;
    ASSERT_EQ(0, std::memcmp(a.magnitude, b.magnitude, sizeof a.magnitude)) << "magnitudes " << n;
    ASSERT_EQ(a.nonzero, b.nonzero) << n;
    for (const QuantShifts& set : shifts) {
      alignas(64) uint16_t qa[64], qb[64];
      const uint64_t ma = base.quantise(&a, &set, qa), mb = avx2->quantise(&b, &set, qb);
      ASSERT_EQ(ma, mb) << "quantised " << n;
      for (uint64_t m = ma; m; m &= m - 1) ASSERT_EQ(qa[__builtin_ctzll(m)], qb[__builtin_ctzll(m)]) << n;
    }
  }
  EXPECT_GT(modes[1], 20);
  std::vector<EncoderBlock> ba(400), bb(400);
  base.forwardDct(reinterpret_cast<const int8_t*>(batch.data()), 400, eight, four, ba.data());
  avx2->forwardDct(reinterpret_cast<const int8_t*>(batch.data()), 400, eight, four, bb.data());
  for (int n = 0; n < 400; ++n) {
    EncoderBlock one{};
    base.forwardDct(reinterpret_cast<const int8_t*>(batch.data()) + 64 * n, 1, eight, four, &one);
    ASSERT_EQ(ba[size_t(n)].mode, one.mode) << n;
    ASSERT_EQ(0, std::memcmp(ba[size_t(n)].coefficients, one.coefficients, sizeof one.coefficients)) << n;
    ASSERT_EQ(bb[size_t(n)].mode, one.mode) << n;
    ASSERT_EQ(0, std::memcmp(bb[size_t(n)].coefficients, one.coefficients, sizeof one.coefficients)) << n;
  }
  for (int c : classes) EXPECT_GE(c, 5);
  const uint8_t bgr[3] = {2, 1, 0}, argb[3] = {1, 2, 3};
  for (uint32_t pixelSize : {3u, 4u}) {
    for (int32_t step : {0, 1, 2, 4}) {
      for (int32_t n : {720, 37, 3}) {
        // The row ends where its last pixel does: nothing after it is read.
        const auto src = bytes(size_t(n) * pixelSize);
        const uint8_t* o = pixelSize == 4 && n != 720 ? argb : bgr;
        std::vector<int8_t> pa(3 * 720, 7), pb(3 * 720, 7);
        base.rgbToYccRow(src.data(), pixelSize, o, pa.data(), pa.data() + 720, pa.data() + 1440, n, step);
        avx2->rgbToYccRow(src.data(), pixelSize, o, pb.data(), pb.data() + 720, pb.data() + 1440, n, step);
        EXPECT_EQ(pa, pb) << pixelSize << " " << step << " " << n;
      }
    }
  }

  for (int32_t width : {360, 13, 8, 3}) {
    const auto src = bytes(size_t(width) * 4);
    std::vector<int32_t> offsets(size_t(width + 7) & ~size_t(7));
    for (size_t j = 0; j < offsets.size(); ++j) offsets[j] = int32_t(4 * ((j * 7) % size_t(width)));
    for (int argb : {0, 1}) {
      const int32_t* const tables[2] = {nullptr, offsets.data()};
      for (const int32_t* table : tables) {
        std::vector<uint8_t> da(size_t(width) * 3 + 8, 0xEE), db(da);
        base.rgb32ToBgr24Row(src.data(), da.data(), width, table, argb);
        avx2->rgb32ToBgr24Row(src.data(), db.data(), width, table, argb);
        EXPECT_EQ(da, db) << width;
        EXPECT_EQ(da[size_t(width) * 3], 0xEE) << "wrote past the row";
        const size_t from = table ? size_t(table[1]) : 4;
        EXPECT_EQ(da[3], src[from + (argb ? 3 : 0)]) << "blue of pixel 1";
        EXPECT_EQ(da[5], src[from + (argb ? 1 : 2)]) << "red of pixel 1";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DvKernels, ::testing::Values(2, 512),
                         [](const auto& info) { return info.param == 2 ? "avx2" : "avx512"; });

// The row conversion gives the scalar formula's bytes for every Y and Cr and most Cb.
TEST(DvKernelRows, RowConversionMatchesTheFormula) {
  const int32_t width = 256 * 256;
  std::vector<uint8_t> src(size_t(width) * 4), out(size_t(width) * 3);
  for (int cb = -128; cb < 128; cb += 3) {
    for (int i = 0; i < width; ++i) {
      src[4 * size_t(i)] = uint8_t(i & 255);
      src[4 * size_t(i) + 1] = uint8_t(i >> 8);
      src[4 * size_t(i) + 2] = uint8_t(cb);
    }
    kernels().yccaToBgr24Row(src.data(), out.data(), width);
    for (int i = 0; i < width; ++i) {
      uint8_t r, g, b;
      yccToRgb(i & 255, int8_t(i >> 8), cb, kRound22, &r, &g, &b);
      ASSERT_EQ(out[3 * size_t(i)], b) << i << " " << cb;
      ASSERT_EQ(out[3 * size_t(i) + 1], g) << i << " " << cb;
      ASSERT_EQ(out[3 * size_t(i) + 2], r) << i << " " << cb;
    }
  }
}

}  // namespace
