// Pictures inside the codec: the frame layout and shuffling, the writers, the pixel
// formats and colour conversions, the resamplers, and whole decodes under both builds
// of the vector kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "dv_color.h"
#include "dv_decoder.h"
#include "dv_frame.h"
#include "dv_kernels.h"
#include "dv_pixel.h"
#include "dv_resample.h"
#include "dv_test_support.h"
#include "dv_writers.h"

namespace {

using namespace zebdv;

// ---- Frame layout ----------------------------------------------------------------------------

TEST(DvFrameLayout, VideoBlockPositionsAndDvfHead) {
  EXPECT_EQ(videoBlockOffsetInFrame(3, 15), 37840u);
  EXPECT_EQ(videoBlockOffsetInDvf(3, 15), 37552u);
  EXPECT_EQ(videoBlockOffsetInFrame(0, 0), 7u * 80);
  EXPECT_EQ(videoBlockOffsetInFrame(9, 134) + 80, 120000u);  // the last block ends the frame
  EXPECT_EQ(videoBlockOffsetInDvf(11, 134) + 80, dvfBytes(12));
  const uint8_t head525[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x35,
                               0x00, 0x00, 0x01, 0xD1, 0xC0, 0x00, 0x01, 0xD1, 0xA0, 0x00, 0x00,
                               0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t head625[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x36,
                               0x00, 0x00, 0x02, 0x2E, 0xE0, 0x00, 0x02, 0x2E, 0xC0, 0x00, 0x00,
                               0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  uint8_t head[32];
  writeDvfHead(525, head);
  EXPECT_EQ(0, std::memcmp(head, head525, 32));
  writeDvfHead(625, head);
  EXPECT_EQ(0, std::memcmp(head, head625, 32));
}

TEST(DvShuffling, MacroblockPlaces) {
  struct Case {
    int system, s, i, j;
    MacroblockPlace place;
  } cases[] = {
      {525, 0, 0, 3, {0, 0, 0}},       // superblock (0, 0), macroblock 0
      {525, 0, 24, 3, {128, 0, 0}},    // the snake reaches column 4
      {525, 0, 26, 3, {128, 16, 0}},   // superblock 0 ends with rows 0-2 of column 4...
      {525, 4, 0, 1, {128, 24, 0}},    // ...and superblock 1 goes on with row 3 of it
      {525, 6, 23, 4, {672, 0, 0}},    // superblock 4: column 21, upward
      {525, 6, 24, 4, {704, 0, 1}},    // its last three are the right-hand 16 x 16 ones
      {525, 6, 26, 4, {704, 32, 1}},
      {525, 7, 25, 4, {704, 64, 1}},   // superblock row 1: right-hand macroblock 4
      {625, 10, 3, 0, {304, 32, 1}},   // superblock (0, 2): column 19, row 2 on the way up
      {625, 0, 26, 3, {128, 32, 1}},
  };
  for (const Case& c : cases) {
    const MacroblockPlace p = macroblockPlace(c.system, c.s, c.i, c.j);
    EXPECT_EQ(p.x, c.place.x) << c.system << " " << c.s << "/" << c.i << "/" << c.j;
    EXPECT_EQ(p.y, c.place.y) << c.system << " " << c.s << "/" << c.i << "/" << c.j;
    EXPECT_EQ(p.shape, c.place.shape) << c.system << " " << c.s << "/" << c.i << "/" << c.j;
  }
}

TEST(DvShuffling, LuminanceBlocksTileThePictureExactlyOnce) {
  for (int system : {525, 625}) {
    const int lines = linesOf(system);
    std::vector<int> covered(size_t(720) * lines, 0);
    for (int s = 0; s < sequencesOf(system); ++s) {
      for (int i = 0; i < 27; ++i) {
        for (int j = 0; j < 5; ++j) {
          const MacroblockPlace mb = macroblockPlace(system, s, i, j);
          for (int b = 0; b < 4; ++b) {
            int x, y;
            lumaBlockOrigin(mb, b, &x, &y);
            for (int r = 0; r < 8; ++r)
              for (int c = 0; c < 8; ++c) ++covered[size_t(y + r) * 720 + size_t(x + c)];
          }
        }
      }
    }
    EXPECT_TRUE(std::all_of(covered.begin(), covered.end(), [](int n) { return n == 1; })) << system;
  }
}

// ---- Writers -------------------------------------------------------------------------------

PixelDesc makePicture(std::vector<uint8_t>& storage, int width, int height) {
  storage.assign(size_t(width) * 4 * size_t(height), 0);
  PixelDesc p;
  p.buffer = storage.data();
  pixelDescSetGeometry(uint32_t(storage.size()), width, height, 4, uint32_t(width) * 4, kTagYCCa, 525, &p);
  return p;
}

// Writes a macroblock whose luminance is flat (y) and whose colour-difference samples
// are given, at pixel (x, y0).
void writeMacroblock(const PixelDesc& pic, int system, int x, int y0, int shape, int8_t luma, const int8_t* cr,
                     const int8_t* cb) {
  int8_t y[64];
  std::fill(y, y + 64, luma);
  const int8_t* const samples[6] = {y, y, y, y, cr, cb};
  uint8_t* origin = pic.row(y0) + 4 * x;
  uint8_t* const destinations[6] = {origin, origin, origin, origin, origin + 1, origin + 2};
  (system == 525 ? writeMacroblockYcc411 : writeMacroblockYcc420)(samples, destinations, pic, shape);
}

int channel(const PixelDesc& p, int x, int y, int c) { return c ? int(int8_t(p.row(y)[4 * x + c])) : p.row(y)[4 * x]; }

TEST(DvWriters, FourOneOneColourStepsBetweenSamplesAndAcrossMacroblocks) {
  std::vector<uint8_t> storage;
  PixelDesc pic = makePicture(storage, 720, 16);
  int8_t left[64], right[64], column[64], zero[64] = {}, cb[64];
  for (int i = 0; i < 64; ++i) {
    left[i] = int8_t(i % 8 == 0 ? 0 : (i % 8 == 1 ? 40 : 8 * (i % 8)));
    right[i] = int8_t(-20);
    column[i] = int8_t(i % 8 < 4 ? 4 * (i % 8) : 100 + (i % 8));
    cb[i] = int8_t(-i);
  }
  // Two regular macroblocks side by side (pixels 0-63), the one before the right-hand
  // column (672-703) and the right-hand one (704-719).
  writeMacroblock(pic, 525, 0, 0, 0, -28, left, cb);
  writeMacroblock(pic, 525, 32, 0, 0, 0, right, cb);
  writeMacroblock(pic, 525, 672, 0, 0, 0, zero, cb);
  writeMacroblock(pic, 525, 704, 0, 1, 5, column, cb);
  upsampleChroma411(pic);
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(channel(pic, 3, y, 0), 100);  // luminance + 128
    // Cr samples 0 and 40 in neighbouring groups: 0, 10, 20, 30, then 40.
    EXPECT_EQ(channel(pic, 0, y, 1), 0);
    EXPECT_EQ(channel(pic, 1, y, 1), 10);
    EXPECT_EQ(channel(pic, 2, y, 1), 20);
    EXPECT_EQ(channel(pic, 3, y, 1), 30);
    EXPECT_EQ(channel(pic, 4, y, 1), 40);
    EXPECT_EQ(channel(pic, 1, y, 2), (4 * -8 * y + 1 * (-8 * y - 1 - -8 * y)) >> 2);  // Cb steps too
    // The last group of the left macroblock (sample 56) steps towards -20 across the edge.
    EXPECT_EQ(channel(pic, 28, y, 1), 56);
    EXPECT_EQ(channel(pic, 29, y, 1), (4 * 56 + 1 * (-20 - 56)) >> 2);
    EXPECT_EQ(channel(pic, 31, y, 1), (4 * 56 + 3 * (-20 - 56)) >> 2);
    // Pixels 700-703 step from 0 towards the right-hand column's first sample, 0.
    EXPECT_EQ(channel(pic, 701, y, 1), 0);
    // The right-hand macroblock: samples 0..3 of each row in its upper lines, 4..7 in
    // its lower lines, and the last group of the line repeats its sample.
    EXPECT_EQ(channel(pic, 704, y, 1), 0);
    EXPECT_EQ(channel(pic, 706, y, 1), 2);
    EXPECT_EQ(channel(pic, 716, y, 1), 12);
    EXPECT_EQ(channel(pic, 719, y, 1), 12);
    EXPECT_EQ(channel(pic, 704, y + 8, 1), 104);
    EXPECT_EQ(channel(pic, 719, y + 8, 1), 107);
    EXPECT_EQ(channel(pic, 719, y + 8, 0), 133);
  }
}

TEST(DvWriters, FourTwoZeroSamplesCoverTwoByTwoPixels) {
  std::vector<uint8_t> storage;
  PixelDesc pic = makePicture(storage, 720, 32);
  int8_t cr[64], cb[64];
  for (int i = 0; i < 64; ++i) {
    cr[i] = int8_t(i - 32);
    cb[i] = int8_t(2 * i - 64);
  }
  writeMacroblock(pic, 625, 16, 0, 1, 7, cr, cb);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(channel(pic, 16 + x, y, 0), 135);
      EXPECT_EQ(channel(pic, 16 + x, y, 1), cr[8 * (y / 2) + x / 2]) << x << "," << y;
      EXPECT_EQ(channel(pic, 16 + x, y, 2), cb[8 * (y / 2) + x / 2]) << x << "," << y;
    }
  }
  EXPECT_EQ(pic.row(16)[4 * 16 + 2], 0);  // nothing outside the macroblock
  EXPECT_EQ(pic.row(0)[4 * 15 + 2], 0);
  EXPECT_EQ(pic.row(0)[4 * 32 + 1], 0);
}

// ---- Pixel formats and conversions ----------------------------------------------------------

TEST(DvPixels, TagsSetTheChannelOffsets) {
  struct Case {
    uint32_t tag;
    uint8_t offsets[4];
  } cases[] = {
      {kTagRGB, {0, 1, 2, 255}}, {kTagBGR, {2, 1, 0, 255}},  {kTagaRGB, {1, 2, 3, 0}},  {kTagaBGR, {3, 2, 1, 0}},
      {kTagYCCa, {0, 1, 2, 3}},  {kTagKYMC, {3, 2, 1, 0}},   {kTagKCMY, {1, 2, 3, 0}},  {kTagYMC, {2, 1, 0, 255}},
  };
  for (const Case& c : cases) {
    PixelDesc d;
    pixelDescSetTag(c.tag, &d);
    EXPECT_EQ(0, std::memcmp(d.offsets, c.offsets, 4)) << std::hex << c.tag;
  }
  PixelDesc d;
  pixelDescSetTag(kTagBGR, &d);
  pixelDescSetTag(kTagK, &d);  // one channel: the others keep their offsets
  const uint8_t expected[4] = {0, 1, 0, 255};
  EXPECT_EQ(0, std::memcmp(d.offsets, expected, 4));
  pixelDescSetTag(kTagaYCC, &d);  // unknown here: stored, offsets unchanged
  EXPECT_EQ(d.tag, kTagaYCC);
  EXPECT_EQ(0, std::memcmp(d.offsets, expected, 4));
}

TEST(DvPixels, ColourConversionsOfKnownColours) {
  // Converts one pixel between two layouts.
  auto convertOne = [](const uint8_t* in, uint32_t inTag, uint32_t inSize, uint32_t outTag, uint32_t outSize,
                       bool toRgb, uint8_t* out) {
    PixelDesc s, d;
    s.buffer = const_cast<uint8_t*>(in);
    d.buffer = out;
    pixelDescSetGeometry(inSize, 1, 1, inSize, inSize, inTag, 0, &s);
    pixelDescSetGeometry(outSize, 1, 1, outSize, outSize, outTag, 0, &d);
    return toRgb ? convertPicture(s, d, false) : rgbToYcc(s, d, false);
  };
  struct Case {
    uint8_t rgb[3];
    uint8_t ycc[3];  // Y, Cr, Cb
    bool toRgb;
  } cases[] = {
      // Decoding: unsigned Y (black 16, white 235), signed Cr and Cb.
      {{0, 0, 0}, {16, 0, 0}, true},
      {{255, 255, 255}, {235, 0, 0}, true},
      {{130, 130, 130}, {128, 0, 0}, true},
      // The encoder's form: Y - 128 as well, all three signed.
      {{0, 0, 0}, {uint8_t(-112), 0, 0}, false},
      {{255, 255, 255}, {107, 0, 0}, false},
      {{255, 0, 0}, {uint8_t(-47), 111, uint8_t(-38)}, false},
      {{0, 0, 255}, {uint8_t(-87), uint8_t(-19), 111}, false},
  };
  for (const Case& c : cases) {
    uint8_t out[4] = {};
    if (c.toRgb) {
      const uint8_t in[4] = {c.ycc[0], c.ycc[1], c.ycc[2], 0};
      ASSERT_EQ(convertOne(in, kTagYCCa, 4, kTagRGB, 3, true, out), DVC_OK);
      EXPECT_EQ(0, std::memcmp(out, c.rgb, 3)) << int(c.ycc[0]);
    } else {
      ASSERT_EQ(convertOne(c.rgb, kTagRGB, 3, kTagYCCa, 4, false, out), DVC_OK);
      EXPECT_EQ(0, std::memcmp(out, c.ycc, 3)) << int(c.rgb[0]) << "," << int(c.rgb[2]);
    }
  }
}

TEST(DvPixels, InPlaceConversionTurnsRowsOverAndConvertsTheMiddleRowOnce) {
  for (int rows : {3, 4}) {
    std::vector<uint8_t> storage;
    PixelDesc pic = makePicture(storage, 8, rows);
    for (size_t i = 0; i < storage.size(); ++i) storage[i] = uint8_t(i * 37 + 11);
    // The expected result: an out-of-place conversion, turned over.
    std::vector<uint8_t> out(storage.size());
    PixelDesc expected = pic;
    expected.buffer = out.data();
    pixelDescSetTag(kTagBGR, &expected);
    ASSERT_EQ(convertPicture(pic, expected, true), DVC_OK);
    PixelDesc inPlace = pic;
    pixelDescSetTag(kTagBGR, &inPlace);
    ASSERT_EQ(convertPicture(pic, inPlace, true), DVC_OK);
    for (size_t i = 0; i < storage.size(); ++i) {
      if (i % 4 == 3) continue;  // the fourth byte is not part of the conversion
      ASSERT_EQ(storage[i], out[i]) << rows << " rows, byte " << i;
    }
  }
}

// ---- Resampling ----------------------------------------------------------------------------

TEST(DvResample, TapsAndSteps) {
  ResampleCache cache;
  struct Case {
    float ratio;
    uint32_t step;
    int rows[4][5];
  } cases[] = {
      {1.125f, 288, {{-1, 14, 230, 14, -1}, {0, 0, 222, 36, -2}, {0, -8, 203, 64, -4}, {0, -11, 174, 97, -6}}},
      {720.0f / 852.0f, 216, {{0, 0, 256, 0, 0}, {4, 0, 28, 237, -13}, {7, -4, 70, 198, -15}, {6, -9, 123, 147, -11}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resampleStep(c.ratio), c.step);
    ASSERT_EQ(buildResampleTaps(cache, c.ratio, 640), DVC_OK);
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 5; ++k) EXPECT_EQ(cache.taps[5 * j + k], c.rows[j][k]) << c.ratio << " row " << j;
  }
  EXPECT_EQ(resampleStep(0.9375f), 240u);
  EXPECT_EQ(resampleStep(0.703125f), 180u);
  EXPECT_EQ(resampleStep(90.0f / 106.0f), 217u);
  // The same ratio and count reuse the table; a count of 0 frees it.
  const int32_t* before = cache.taps;
  ASSERT_EQ(buildResampleTaps(cache, 720.0f / 852.0f, 640), DVC_OK);
  EXPECT_EQ(cache.taps, before);
  ASSERT_EQ(buildResampleTaps(cache, 0.5f, 0), DVC_OK);
  EXPECT_EQ(cache.taps, nullptr);
  ASSERT_EQ(buildResampleTaps(cache, 1.125f, 640), DVC_OK);
  EXPECT_EQ(cache.taps[2], 230);
}

struct Pictures {
  std::vector<uint8_t> srcStorage, dstStorage;
  PixelDesc src, dst;
};

// A 720 x 4 'YCCa' picture filled by `fill`, and a destination of the given width.
template <typename Fill>
Pictures makePictures(int dstWidth, uint32_t dstTag, uint32_t dstPixelSize, Fill fill) {
  Pictures p;
  p.src = makePicture(p.srcStorage, 720, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 720; ++x) fill(x, y, p.src.row(y) + 4 * x);
  p.dstStorage.assign(size_t(dstWidth) * dstPixelSize * 4, 0);
  p.dst.buffer = p.dstStorage.data();
  pixelDescSetGeometry(uint32_t(p.dstStorage.size()), dstWidth, 4, dstPixelSize, 0, dstTag, 0, &p.dst);
  return p;
}

TEST(DvResample, ColumnsAndEdges) {
  ResampleCache cache;
  // Nearest: output column 639 of 640 takes source column (639 x 288) >> 8 = 718.
  auto p = makePictures(640, kTagBGR, 3, [](int x, int, uint8_t* px) {
    px[0] = uint8_t(x / 3 + 16);
    px[1] = px[2] = 0;
  });
  ASSERT_EQ(convertResampleNearest(cache, p.src, p.dst, 1.125f, false), DVC_OK);
  uint8_t r, g, b;
  yccToRgb(718 / 3 + 16, 0, 0, 0, &r, &g, &b);
  EXPECT_EQ(p.dst.row(0)[3 * 639], b);
  // Filtered: output column 0 weighs source columns 0, 0, 0, 1, 2 (the row's start repeats).
  auto q = makePictures(640, kTagBGR, 3, [](int x, int, uint8_t* px) {
    px[0] = uint8_t(x == 0 ? 100 : (x == 1 ? 200 : 50));
    px[1] = px[2] = 0;
  });
  ASSERT_EQ(convertResampleFiltered(cache, q.src, q.dst, 1.125f, false), DVC_OK);
  const int y = (-1 * 100 + 14 * 100 + 230 * 100 + 14 * 200 + -1 * 50) >> 8;
  yccToRgb(y, 0, 0, 0, &r, &g, &b);
  EXPECT_EQ(q.dst.row(0)[0], b);
}

TEST(DvResample, FlatGreyStaysGreyInEveryMode) {
  for (float ratio : {1.125f, 720.0f / 852.0f, 0.9375f, 0.703125f}) {
    const int width = int(720 / ratio + 0.5f);
    for (int mode = 0; mode < 3; ++mode) {
      ResampleCache cache;
      auto p = makePictures(width, kTagBGR, 3, [](int, int, uint8_t* px) {
        px[0] = 128;
        px[1] = px[2] = 0;
      });
      const DvcResult r = mode == 0 ? convertPicture(p.src, p.dst, true)
                                    : (mode == 1 ? convertResampleNearest(cache, p.src, p.dst, ratio, true)
                                                 : convertResampleFiltered(cache, p.src, p.dst, ratio, true));
      ASSERT_EQ(r, DVC_OK);
      // The filtered taps of a column sum to 254-257, so Y, Cr and Cb may each be one
      // level off there, which the conversion turns into up to three levels of R, G, B.
      const int used = mode == 0 ? std::min(width, 720) : width;
      const int tolerance = mode == 2 ? 3 : 1;
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 3 * used; ++x) EXPECT_NEAR(p.dst.row(y)[x], 130, tolerance) << mode << " " << ratio;
      }
    }
  }
}

TEST(DvResample, VectorPathsGiveTheBytesOfTheGeneralPaths) {
  // A 24-bit BGR destination takes the vector kernels; a 'BGRa' one the general code.
  for (float ratio : {1.125f, 720.0f / 852.0f, 0.9375f, 0.703125f}) {
    const int width = int(720 / ratio + 0.5f);
    auto fill = [](int x, int y, uint8_t* px) {
      px[0] = uint8_t(x * 7 + y * 31);
      px[1] = uint8_t(x * 13 + 5);
      px[2] = uint8_t(x * 3 + y * 101);
    };
    for (int mode : {1, 2}) {
      ResampleCache a, b;
      auto vec = makePictures(width, kTagBGR, 3, fill);
      auto gen = makePictures(width, kTagBGRa, 4, fill);
      if (mode == 1) {
        ASSERT_EQ(convertResampleNearest(a, vec.src, vec.dst, ratio, true), DVC_OK);
        ASSERT_EQ(convertResampleNearest(b, gen.src, gen.dst, ratio, true), DVC_OK);
      } else {
        ASSERT_EQ(convertResampleFiltered(a, vec.src, vec.dst, ratio, true), DVC_OK);
        ASSERT_EQ(convertResampleFiltered(b, gen.src, gen.dst, ratio, true), DVC_OK);
      }
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < width; ++x) {
          for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(vec.dst.row(y)[3 * x + c], gen.dst.row(y)[4 * x + c]) << mode << " " << ratio << " " << x;
          }
        }
      }
    }
  }
}

TEST(DvResample, ChannelFormsCarryChannelsBetweenLayouts) {
  // A 'BGRa' source with a ramp in each channel, into 3-byte 'RGB ' pictures.
  std::vector<uint8_t> storage(720 * 4 * 2);
  PixelDesc src;
  src.buffer = storage.data();
  pixelDescSetGeometry(uint32_t(storage.size()), 720, 2, 4, 0, kTagBGRa, 0, &src);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 720; ++x) {
      uint8_t* p = src.row(y) + 4 * x;
      p[0] = uint8_t(x / 4);        // B
      p[1] = uint8_t(y * 100);      // G
      p[2] = uint8_t(255 - x / 4);  // R
      p[3] = 0xEE;
    }
  }
  auto makeDst = [](std::vector<uint8_t>& bytes, int width) {
    bytes.assign(size_t(width) * 3 * 2, 0);
    PixelDesc d;
    d.buffer = bytes.data();
    pixelDescSetGeometry(uint32_t(bytes.size()), width, 2, 3, 0, kTagRGB, 0, &d);
    return d;
  };
  std::vector<uint8_t> a, b, c;
  PixelDesc nearest = makeDst(a, 640), filtered = makeDst(b, 640), copied = makeDst(c, 720);
  ResampleCache cache;
  ASSERT_EQ(resampleNearest(src, nearest, 3, 1.125f, true), DVC_OK);
  ASSERT_EQ(resampleFiltered(cache, src, filtered, 3, 1.125f, false), DVC_OK);
  ASSERT_EQ(copyChannels(src, copied, true), DVC_OK);
  for (int j : {0, 1, 100, 639}) {
    const int c0 = (j * 288) >> 8;
    // With flip, destination row 0 is source row 1 (G = 100).
    EXPECT_EQ(nearest.row(0)[3 * j + 0], 255 - c0 / 4) << j;  // R
    EXPECT_EQ(nearest.row(0)[3 * j + 1], 100) << j;
    EXPECT_EQ(nearest.row(0)[3 * j + 2], c0 / 4) << j;
    // A ramp passes the filter within rounding (the taps of a column sum to 254-257);
    // G (flat 0 in row 0) stays 0.
    EXPECT_NEAR(filtered.row(0)[3 * j + 2], c0 / 4, 2) << j;
    EXPECT_EQ(filtered.row(0)[3 * j + 1], 0) << j;
  }
  EXPECT_EQ(copied.row(0)[3 * 400], 255 - 100);
  EXPECT_EQ(copied.row(0)[3 * 400 + 1], 100);
  EXPECT_EQ(copied.row(1)[3 * 400 + 1], 0);
  // Same layout: the plain copy takes the smaller pixel, without flip.
  std::vector<uint8_t> d4(720 * 4 * 2, 0);
  PixelDesc same;
  same.buffer = d4.data();
  pixelDescSetGeometry(uint32_t(d4.size()), 720, 2, 4, 0, kTagBGRa, 0, &same);
  ASSERT_EQ(copyPicture(src, same), DVC_OK);
  EXPECT_EQ(d4, storage);
}

// ---- Whole decodes --------------------------------------------------------------------------

// A plain frame whose every block holds its DC and the end-of-block code only. Luminance
// DCs come from `luma` (by sequence, segment, position and block), colour differences
// from `chroma` (block 4 or 5).
template <typename Luma, typename Chroma>
std::string dcOnlyFrame(int system, Luma luma, Chroma chroma) {
  std::string frame = dvtest::randomFrame(system, 99);
  for (int s = 0; s < sequencesOf(system); ++s) {
    for (int k = 0; k < 135; ++k) {
      uint8_t* vb = reinterpret_cast<uint8_t*>(frame.data()) + videoBlockOffsetInFrame(s, k);
      vb[3] = 0x0F;  // QNO 15
      std::memset(vb + 4, 0, 76);
      for (int b = 0; b < 6; ++b) {
        const int dc = b < 4 ? luma(s, k / 5, k % 5, b) : chroma(s, k / 5, k % 5, b);
        const int cls = b < 4 ? 0 : b - 3;
        const uint16_t w = uint16_t((dc & 0x1FF) << 7 | cls << 4 | 0x6);  // DC, 8-8, class, end of block
        vb[kAreaOffset[b]] = uint8_t(w >> 8);
        vb[kAreaOffset[b] + 1] = uint8_t(w);
      }
    }
  }
  return frame;
}

// Decodes through the internal interface and returns the bottom-up bitmap.
std::vector<uint8_t> decodeAt(int system, const std::string& frame, int level) {
  Decoder* d = openDecoder(system == 625 ? 1 : 0);
  const uint32_t w = uint32_t(720 >> level), h = uint32_t(linesOf(system) >> level);
  std::vector<uint8_t> out(dvtest::strideOf(int(w)) * h, 0x5A);
  DvcDibFormat f = {w, h, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
  EXPECT_EQ(decode(d, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(), nullptr, &f),
            0);
  closeDecoder(d);
  return out;
}

// Blocks of even DCs and one colour for the whole frame: each block is flat at full size,
// and every reduced size gives exactly the full picture's pixel at the place of each of
// its pixels. This pins the placement and the writers of every size and system.
TEST(DvReducedSizes, BlocksOfOneValueLandWhereTheFullPictureHasThem) {
  for (int system : {525, 625}) {
    uint32_t x = 12345;
    const std::string frame = dcOnlyFrame(
        system,
        [&](int, int, int, int) {
          x = x * 1103515245u + 12345u;
          return int((x >> 16) % 200) * 2 - 200;
        },
        [](int, int, int, int b) { return b == 4 ? 40 : -24; });
    const auto full = decodeAt(system, frame, 0);
    const int height = linesOf(system);
    for (int level = 1; level <= 3; ++level) {
      const auto reduced = decodeAt(system, frame, level);
      const int w = 720 >> level, h = height >> level, f = 1 << level;
      int mismatches = 0;
      for (int y = 0; y < h; ++y) {
        for (int c = 0; c < w; ++c) {
          // Bottom-up rows: picture row y of the reduced size is row h - 1 - y.
          const uint8_t* a = &reduced[dvtest::strideOf(w) * size_t(h - 1 - y) + 3 * size_t(c)];
          const uint8_t* b = &full[dvtest::strideOf(720) * size_t(height - 1 - y * f) + 3 * size_t(c * f)];
          mismatches += std::memcmp(a, b, 3) != 0;
        }
      }
      EXPECT_EQ(mismatches, 0) << system << " level " << level;
    }
  }
}

// The eighth size is each luminance DC halved (rounding down) with the halved colour-
// difference DCs of its macroblock, converted: exactly, for every pixel of a random frame.
TEST(DvReducedSizes, EighthSizeIsTheHalvedDcsOfEveryBlock) {
  for (int system : {525, 625}) {
    std::string frame = dvtest::randomFrame(system, 31);
    const std::string original = frame;
    const auto out = decodeAt(system, frame, 3);
    EXPECT_EQ(frame, original);  // only read
    const int w = 90, h = linesOf(system) / 8;
    auto dcOf = [&](int s, int k, int b) {
      const uint8_t* area = reinterpret_cast<const uint8_t*>(frame.data()) + videoBlockOffsetInFrame(s, k) + kAreaOffset[b];
      return int(int16_t(uint16_t(area[0] << 8 | area[1]))) >> 7;
    };
    int checked = 0;
    for (int s = 0; s < sequencesOf(system); ++s) {
      for (int i = 0; i < 27; ++i) {
        for (int j = 0; j < 5; ++j) {
          const MacroblockPlace mb = macroblockPlace(system, s, i, j);
          const int k = 5 * i + j;
          for (int b = 0; b < 4; ++b) {
            int x, y;
            lumaBlockOrigin(mb, b, &x, &y);
            uint8_t r, g, bl;
            yccToRgb((dcOf(s, k, b) >> 1) + 128, dcOf(s, k, 4) >> 1, dcOf(s, k, 5) >> 1, kRound22, &r, &g, &bl);
            const uint8_t* px = &out[dvtest::strideOf(w) * size_t(h - 1 - y / 8) + 3 * size_t(x / 8)];
            ASSERT_EQ(px[0], bl) << system << " " << s << "/" << i << "/" << j << "/" << b;
            ASSERT_EQ(px[1], g);
            ASSERT_EQ(px[2], r);
            ++checked;
          }
        }
      }
    }
    EXPECT_EQ(checked, w * h);
  }
  // DCs of 0 everywhere: grey 130 ((4883763 x 112 + 2097152) >> 22).
  const std::string zero = dcOnlyFrame(525, [](int, int, int, int) { return 0; }, [](int, int, int, int) { return 0; });
  const auto grey = decodeAt(525, zero, 3);
  for (int y = 0; y < 60; ++y) {
    const auto row = grey.begin() + long(dvtest::strideOf(90) * size_t(y));
    EXPECT_TRUE(std::all_of(row, row + 270, [](uint8_t v) { return v == 130; })) << "row " << y;
  }
}

TEST(DvDecodeKernels, EveryKernelBuildDecodesAlike) {
  std::vector<const Kernels*> builds = {&portableKernels()};
  for (const Kernels* k : {avx2Kernels(), avx512Kernels()}) {
    if (k) builds.push_back(k);
  }
  if (builds.size() < 2) GTEST_SKIP() << "the processor has no vector build";
  struct Case {
    int system;
    uint32_t width, resample, height;
  } cases[] = {{525, 720, 0, 480}, {525, 640, 2, 480}, {525, 852, 1, 480}, {625, 720, 0, 576}, {625, 768, 2, 576},
               {625, 1024, 1, 576}, {525, 360, 0, 240}, {525, 320, 1, 240}, {625, 360, 0, 288}, {525, 180, 0, 120},
               {625, 192, 1, 144}, {525, 90, 0, 60}, {625, 128, 1, 72}};
  for (const Case& c : cases) {
    std::string frame = dvtest::randomFrame(c.system, c.width);
    std::vector<std::vector<uint8_t>> outs(builds.size());
    for (size_t k = 0; k < builds.size(); ++k) {
      selectKernels(builds[k]);
      Decoder* d = openDecoder(c.system == 625 ? 1 : 0);
      const uint32_t h = c.height;
      outs[k].assign(dvtest::strideOf(int(c.width)) * h, 0);
      DvcDibFormat f = {c.width, h, 1, 24, 1, 1, 0, 0, 0, c.resample, DVC_FORM_FRAME};
      EXPECT_EQ(decode(d, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()), outs[k].data(),
                       nullptr, &f),
                0);
      closeDecoder(d);
    }
    selectKernels(nullptr);
    for (size_t k = 1; k < builds.size(); ++k) EXPECT_EQ(outs[0], outs[k]) << c.system << " " << c.width << " " << builds[k]->name;
  }
}

}  // namespace
