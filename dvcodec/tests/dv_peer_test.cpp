// Full-size decoding against ffmpeg: frames made by ffmpeg's DV encoder decode to the
// picture of ffmpeg's own decoder, both turned into bottom-up BGR by the same rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dv_test_support.h"
#include "platform/testsupport/testsupport.h"
#include "zeb_dv32.h"

namespace {

struct Source {
  int system;
  const char* source;
  const char* filters;
  bool interlacedDct;
};

// Clean pictures (mostly QNO 15), detailed ones, and noise (low QNO, many codes in the
// spare bits of other blocks); with the interlaced DCT, noise gives many 2-4-8 blocks.
const Source kSources[] = {
    {525, "testsrc2", "", false},
    {525, "mandelbrot", "", false},
    {525, "testsrc2", ",noise=alls=40:allf=t", false},
    {525, "testsrc2", ",noise=alls=40:allf=t", true},
    {525, "mandelbrot", "", true},
    {625, "testsrc2", "", false},
    {625, "mandelbrot", "", false},
    {625, "testsrc2", ",noise=alls=40:allf=t", false},
    {625, "testsrc2", ",noise=alls=40:allf=t", true},
    {625, "testsrc2", "", true},
};

std::vector<uint8_t> decodeWith(int system, std::string frame, uint32_t width, uint32_t resample) {
  const int height = dvtest::linesOf(system);
  std::vector<uint8_t> out(dvtest::strideOf(int(width)) * height, 0);
  DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
  EXPECT_NE(d, nullptr);
  DvcDibFormat f = {width, uint32_t(height), 1, 24, 1, 1, 0, 0, 0, resample, DVC_FORM_FRAME};
  uint32_t size = 0;
  EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(), &size, &f), 0);
  EXPECT_EQ(size, out.size());
  DvcCloseDecoder(d);
  return out;
}

class DvPeer : public ::testing::TestWithParam<Source> {};

TEST_P(DvPeer, FullSizeMatchesFfmpegDecode) {
  AD_REQUIRE_TOOL("ffmpeg");
  const Source& src = GetParam();
  const auto frames = dvtest::encodeFrames(src.system, src.source, src.filters, src.interlacedDct, 2,
                                           adtest::testDir());
  const int height = dvtest::linesOf(src.system);
  int blocks248 = 0;
  for (const std::string& frame : frames) {
    blocks248 += dvtest::count248Blocks(src.system, frame);
    const auto reference = dvtest::pictureFromPlanes(src.system, dvtest::ffmpegDecode(src.system, frame, adtest::testDir()));
    const auto expected = dvtest::toBgr(reference);
    const auto ours = decodeWith(src.system, frame, 720, 0);
    const double p = dvtest::psnr(ours, expected, 720, height);
    const int worst = dvtest::maxDifference(ours, expected, 720, height);
    std::printf("%d %s%s%s: PSNR %.2f dB, largest difference %d\n", src.system, src.source, src.filters,
                src.interlacedDct ? " +ildct" : "", p, worst);
    EXPECT_GE(p, 44.0);
    EXPECT_LE(worst, 6);
  }
  if (src.interlacedDct && std::strstr(src.filters, "noise")) {
    EXPECT_GT(blocks248, 100);  // the frames do exercise the 2-4-8 mode
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, DvPeer, ::testing::ValuesIn(kSources), [](const auto& info) {
  const Source& s = info.param;
  std::string name = std::to_string(s.system) + "_" + s.source + (std::strstr(s.filters, "noise") ? "_noise" : "") +
                     (s.interlacedDct ? "_ildct" : "");
  return name;
});

// The aspect widths: the same reference picture resampled by the codec's rule.
TEST(DvPeerResample, AspectWidthsMatchResampledReference) {
  AD_REQUIRE_TOOL("ffmpeg");
  struct Case {
    int system;
    uint32_t width;
    uint32_t resample;  // as passed; 640 and 768 with 0 are filtered
    int mode;           // the resampler that applies
  };
  const Case cases[] = {
      {525, 640, 0, 2}, {525, 640, 1, 1}, {525, 852, 2, 2}, {525, 852, 1, 1},
      {625, 768, 0, 2}, {625, 768, 1, 1}, {625, 1024, 2, 2}, {625, 1024, 1, 1},
  };
  for (int system : {525, 625}) {
    const auto frame = dvtest::encodeFrames(system, "testsrc2", "", true, 1, adtest::testDir()).front();
    const auto reference = dvtest::pictureFromPlanes(system, dvtest::ffmpegDecode(system, frame, adtest::testDir()));
    const int height = dvtest::linesOf(system);
    for (const Case& c : cases) {
      if (c.system != system) continue;
      const auto expected = dvtest::resampledBgr(reference, int(c.width), c.mode);
      const auto ours = decodeWith(system, frame, c.width, c.resample);
      const double p = dvtest::psnr(ours, expected, int(c.width), height);
      std::printf("%d to %u wide (mode %d): PSNR %.2f dB\n", system, c.width, c.mode, p);
      EXPECT_GE(p, 44.0) << system << " " << c.width;
    }
  }
}

// The reduced sizes against the area means of ffmpeg's full-size decode of the same
// frame. The reduced sizes keep one colour-difference pair per macroblock at the quarter
// (525) and eighth sizes, so colours differ from the means wherever a colour edge lies
// inside a macroblock; the comparison is of the luminance, read back from the RGB pixels.
// The limits hold for natural pictures; a test chart with saturated bars (testsrc2) is
// shown for comparison only: where its bars meet inside a macroblock, the wrong colour
// clips in RGB and takes the luminance with it.
TEST(DvPeerReduced, LuminanceAgainstAreaMeansOfTheFullPicture) {
  AD_REQUIRE_TOOL("ffmpeg");
  struct Clip {
    int system;
    const char* source;
    const char* filters;
    bool interlacedDct;
    bool checked;
  } clips[] = {
      {525, "mandelbrot", "", false, true},
      {525, "mandelbrot", ",scroll=h=0.03:v=0.01,tinterlace=mode=interleave_top", true, true},
      {525, "testsrc2", "", false, false},
      {625, "mandelbrot", "", false, true},
      {625, "mandelbrot", ",scroll=h=0.03:v=0.01,tinterlace=mode=interleave_top", true, true},
      {625, "testsrc2", "", false, false},
  };
  const double kMinimum[4] = {0, 38.0, 38.0, 44.0};
  std::printf("luminance PSNR (dB) against the area means of the full picture; RGB in brackets\n");
  std::printf("%-9s %-11s %-9s %16s %16s %16s\n", "system", "picture", "2-4-8", "half", "quarter", "eighth");
  for (const Clip& c : clips) {
    const auto frame = dvtest::encodeFrames(c.system, c.source, c.filters, c.interlacedDct, 1, adtest::testDir()).front();
    const int height = dvtest::linesOf(c.system);
    const auto full = dvtest::pictureFromPlanes(c.system, dvtest::ffmpegDecode(c.system, frame, adtest::testDir()));
    char cells[4][32] = {};
    for (int level = 1; level <= 3; ++level) {
      const int w = 720 >> level, h = height >> level;
      std::string source = frame;
      std::vector<uint8_t> ours;
      ASSERT_EQ(dvtest::decodeInto(c.system, source, uint32_t(w), uint32_t(h), 0, DVC_FORM_FRAME, &ours), 0);
      const double luma = dvtest::lumaPsnr(ours, full, 1 << level);
      const double rgb = dvtest::psnr(ours, dvtest::areaAveraged(full, 1 << level), w, h);
      std::snprintf(cells[level], sizeof cells[level], "%6.2f (%6.2f)", luma, rgb);
      if (c.checked) {
        EXPECT_GE(luma, kMinimum[level]) << c.system << " " << c.source << c.filters << " level " << level;
      }
    }
    const int blocks248 = dvtest::count248Blocks(c.system, frame);
    std::printf("%-9d %-11s %-9d %16s %16s %16s%s\n", c.system, c.source, blocks248, cells[1], cells[2], cells[3],
                c.checked ? "" : "  (shown only)");
    if (c.interlacedDct) {
      EXPECT_GT(blocks248, 1000);
    }
  }
}

}  // namespace
