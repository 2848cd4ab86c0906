// The encoder: its transform against the decoder's, the choice of DCT mode, what it
// writes into a DVF image and what it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dv_encoder.h"
#include "dv_frame.h"
#include "dv_idct.h"
#include "dv_tables.h"
#include "dv_vlc.h"

namespace {

using namespace zebdv;

// The decoder's inverse of the encoder's coefficients (no quantisation) gives the samples
// back, in both modes, but for the rounding of the coefficients to whole numbers, which
// the inverse weighting spreads: a root mean square error below one level and no bias.
// A wrong weight or scale of any frequency would show as a bias or a larger error.
TEST(DvEncoder, ForwardTransformIsTheDecodersInverse) {
  std::mt19937 rng(17);
  int modes[2] = {};
  int worst = 0;
  double squares = 0, sum = 0;
  for (int n = 0; n < 2000; ++n) {
    int8_t samples[64];
    const int base = int(rng() % 160) - 80;
    for (int i = 0; i < 64; ++i) {
      // Smooth blocks, textured ones, and ones whose fields differ.
      int v = base + int(rng() % (n % 3 == 0 ? 9 : 61)) - (n % 3 == 0 ? 4 : 30);
      if (n % 4 == 1 && (i / 8) % 2) v += 60;
      samples[i] = int8_t(std::max(-112, std::min(107, v)));
    }
    int16_t coefficients[64];
    int mode = 0;
    forwardDct(samples, coefficients, &mode);
    ++modes[mode];
    // The decoder takes the DC as it is (d / 2 per sample) and the AC as dequantised.
    int8_t back[64];
    idctBlock(mode, coefficients, back);
    for (int i = 0; i < 64; ++i) {
      worst = std::max(worst, std::abs(back[i] - samples[i]));
      squares += double(back[i] - samples[i]) * double(back[i] - samples[i]);
      sum += back[i] - samples[i];
    }
  }
  EXPECT_GT(modes[0], 500);
  EXPECT_GT(modes[1], 200);
  EXPECT_LE(worst, 4);
  EXPECT_LT(std::sqrt(squares / (2000 * 64)), 0.95);
  EXPECT_LT(std::fabs(sum / (2000 * 64)), 0.05);
}

TEST(DvEncoder, ModeFollowsTheFieldsAgainstTheHalves) {
  int8_t fields[64], ramp[64], flat[64];
  for (int i = 0; i < 64; ++i) {
    fields[i] = int8_t((i / 8) % 2 ? 40 : -40);  // even and odd lines apart, halves alike
    ramp[i] = int8_t(10 * (i / 8) - 35);         // a vertical ramp
    flat[i] = 25;
  }
  int16_t c[64];
  int mode = -1;
  forwardDct(fields, c, &mode);
  EXPECT_EQ(mode, 1);
  forwardDct(ramp, c, &mode);
  EXPECT_EQ(mode, 0);
  forwardDct(flat, c, &mode);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(c[0], 50);  // a flat block of v: DC 2 v, no AC
  for (int k = 1; k < 64; ++k) EXPECT_EQ(c[k], 0);
}

TEST(DvEncoder, ClassThreeHalvingIsSymmetric) {
  const int cases[][2] = {{-3, -1}, {-2, -1}, {-1, 0}, {0, 0}, {1, 0}, {2, 1}, {5, 2}, {-255, -127}};
  for (const auto& c : cases) EXPECT_EQ(halvedTowardZero(c[0]), c[1]) << c[0];
}

struct Image {
  int system;
  std::vector<uint8_t> dvf;
  explicit Image(int s) : system(s), dvf(dvfBytes(sequencesOf(s))) {
    for (size_t i = 0; i < dvf.size(); ++i) dvf[i] = uint8_t(i * 31 + 7);
  }
};

// A flat grey picture: every block its DC and the end of block, QNO 15; only the head,
// the quantiser numbers and bytes 4-79 of the video blocks change; the input is only read.
TEST(DvEncoder, FlatGreyGivesTheDcAloneAndWritesOnlyTheVideoData) {
  for (int system : {525, 625}) {
    for (uint32_t bits : {24u, 32u}) {
      const int lines = linesOf(system);
      const uint32_t stride = 720 * bits / 8 + 16;
      std::vector<uint8_t> bitmap(size_t(stride) * lines, 128);
      const std::vector<uint8_t> input = bitmap;
      Image image(system);
      const std::vector<uint8_t> before = image.dvf;
      DvEncoder* e = openEncoder(system == 625 ? 1 : 0);
      ASSERT_NE(e, nullptr);
      DvcDibFormat f = {720, uint32_t(lines), 1, bits, bits == 24 ? 1u : 0u, 1, 0, stride, 0, 0, 0};
      ASSERT_EQ(encode(e, image.dvf.data(), bitmap.data(), &f), DVC_OK);
      closeEncoder(e);
      EXPECT_EQ(bitmap, input);

      std::vector<bool> written(image.dvf.size(), false);
      for (int i = 0; i < 32; ++i) written[size_t(i)] = true;
      uint8_t head[32];
      writeDvfHead(system, head);
      EXPECT_EQ(0, std::memcmp(image.dvf.data(), head, 32));
      // Y: DC -4 (grey 128 is Y - 128 = -2), class 0; Cr class 1, Cb class 2; each then
      // the end-of-block code.
      const uint8_t areas[6][2] = {{0xFE, 0x06}, {0xFE, 0x06}, {0xFE, 0x06}, {0xFE, 0x06}, {0x00, 0x16}, {0x00, 0x26}};
      int wrong = 0;
      for (int s = 0; s < sequencesOf(system); ++s) {
        for (int k = 0; k < 135; ++k) {
          const size_t at = videoBlockOffsetInDvf(s, k);
          const uint8_t* vb = image.dvf.data() + at;
          wrong += (vb[3] & 0x0F) != 15 || (vb[3] & 0xF0) != (before[at + 3] & 0xF0);
          for (int b = 0; b < 6; ++b) {
            const uint8_t* area = vb + kAreaOffset[b];
            wrong += area[0] != areas[b][0] || area[1] != areas[b][1];
            for (int i = 2; i < kAreaBits[b] / 8; ++i) wrong += area[i] != 0;
          }
          for (size_t i = 3; i < 80; ++i) written[at + i] = true;
        }
      }
      EXPECT_EQ(wrong, 0) << system << " " << bits;
      size_t changedElsewhere = 0;
      for (size_t i = 0; i < image.dvf.size(); ++i) changedElsewhere += !written[i] && image.dvf[i] != before[i];
      EXPECT_EQ(changedElsewhere, 0u) << system << " " << bits;
    }
  }
}

TEST(DvEncoder, RefusesWhatItCannotReadAndTouchesNothing) {
  std::vector<uint8_t> bitmap(720 * 4 * 576, 60);
  DvEncoder* e = openEncoder(0);
  struct Case {
    DvcDibFormat format;
    int result;
  } cases[] = {
      {{721, 480, 1, 24, 1, 1, 0, 2163, 0, 0, 0}, DVC_ERR_UNSUPPORTED},
      {{640, 480, 1, 24, 1, 1, 0, 1920, 0, 0, 0}, DVC_ERR_UNSUPPORTED},
      {{720, 479, 1, 24, 1, 1, 0, 2160, 0, 0, 0}, DVC_ERR_BAD_ARGUMENT},  // fewer rows than 525 has
      {{720, 480, 1, 16, 1, 1, 0, 1440, 0, 0, 0}, DVC_ERR_BAD_ARGUMENT},  // 16 bits a pixel
      {{720, 480, 1, 24, 0, 1, 0, 2160, 0, 0, 0}, DVC_ERR_BAD_ARGUMENT},  // 24 bits, 'aRGB'
      {{720, 480, 1, 32, 0, 1, 0, 2160, 0, 0, 0}, DVC_ERR_BAD_ARGUMENT},  // rows shorter than 720 pixels
      {{720, 480, 1, 32, 0, 1, 0, 2880, 0, 0, 0}, DVC_OK},
      {{720, 576, 1, 24, 1, 1, 0, 2160, 0, 0, 0}, DVC_OK},  // more rows than needed: the first 480
  };
  for (const Case& c : cases) {
    Image image(525);
    const std::vector<uint8_t> before = image.dvf;
    DvcDibFormat f = c.format;
    EXPECT_EQ(encode(e, image.dvf.data(), bitmap.data(), &f), c.result) << f.width << " " << f.height << " " << f.bitCount;
    if (c.result != DVC_OK) {
      EXPECT_TRUE(image.dvf == before);
    }
  }
  Image image(525);
  DvcDibFormat f = {720, 480, 1, 24, 1, 1, 0, 2160, 0, 0, 0};
  EXPECT_EQ(encode(e, image.dvf.data(), nullptr, &f), DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(encode(e, nullptr, bitmap.data(), &f), DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(encode(nullptr, image.dvf.data(), bitmap.data(), &f), DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(encode(e, image.dvf.data(), bitmap.data(), nullptr), DVC_ERR_BAD_ARGUMENT);
  closeEncoder(e);
  closeEncoder(nullptr);
}

}  // namespace
