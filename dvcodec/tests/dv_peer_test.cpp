// Full-size decoding against ffmpeg: frames made by ffmpeg's DV encoder decode to the
// picture of ffmpeg's own decoder, both turned into bottom-up BGR by the same rules.
#include <gtest/gtest.h>

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

}  // namespace
