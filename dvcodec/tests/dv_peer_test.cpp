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

// The filters on frames made by ffmpeg. An interlaced picture with motion (a scrolling
// picture whose fields were taken at different moments) loses most of its comb energy
// under every mode, each mode keeping its field's lines as decoded; a progressive
// picture passes the motion-adaptive mode nearly unchanged. Both systems: the picture is
// top row first, so the modes keep the same lines in both.
TEST(DvPeerFilters, CombEnergyAndKeptLines) {
  AD_REQUIRE_TOOL("ffmpeg");
  // The luminance of a bottom-up bitmap, picture row r at [r][x].
  auto lumaOf = [](const std::vector<uint8_t>& bgr, int height) {
    std::vector<std::vector<double>> rows(size_t(height), std::vector<double>(720));
    for (int r = 0; r < height; ++r) {
      const uint8_t* row = &bgr[dvtest::strideOf(720) * size_t(height - 1 - r)];
      for (int x = 0; x < 720; ++x) rows[r][x] = 0.257 * row[3 * x + 2] + 0.504 * row[3 * x + 1] + 0.098 * row[3 * x];
    }
    return rows;
  };
  // How much each row stands out from the mean of its neighbours.
  auto combEnergy = [](const std::vector<std::vector<double>>& y) {
    double sum = 0;
    for (size_t r = 1; r + 1 < y.size(); ++r)
      for (int x = 0; x < 720; ++x) sum += std::fabs(y[r][x] - (y[r - 1][x] + y[r + 1][x]) / 2);
    return sum;
  };
  auto rowOf = [](const std::vector<uint8_t>& bgr, int height, int r) {
    const auto at = bgr.begin() + long(dvtest::strideOf(720) * size_t(height - 1 - r));
    return std::vector<uint8_t>(at, at + 720 * 3);
  };
  std::printf("%-6s %-12s %10s %10s %10s %10s %10s\n", "system", "picture", "filter 0", "1", "2", "3", "4");
  for (int system : {525, 625}) {
    const int h = dvtest::linesOf(system);
    const auto moving = dvtest::encodeFrames(system, "mandelbrot", ",scroll=h=0.03:v=0.01,tinterlace=mode=interleave_top",
                                             true, 1, adtest::testDir()).front();
    const auto still = dvtest::encodeFrames(system, "mandelbrot", "", false, 1, adtest::testDir()).front();
    std::vector<uint8_t> out[5];
    double energy[5];
    for (uint32_t mode = 0; mode < 5; ++mode) {
      out[mode].assign(dvtest::strideOf(720) * size_t(h), 0);
      std::string src = moving;
      DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
      DvcDibFormat f = {720, uint32_t(h), 1, 24, 1, 1, 0, 0, mode, 0, DVC_FORM_FRAME};
      ASSERT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(src.data()), uint32_t(src.size()), out[mode].data(), nullptr, &f), 0);
      DvcCloseDecoder(d);
      energy[mode] = combEnergy(lumaOf(out[mode], h));
    }
    std::printf("%-6d %-12s %10.0f %10.0f %10.0f %10.0f %10.0f\n", system, "moving", energy[0], energy[1], energy[2],
                energy[3], energy[4]);
    for (uint32_t mode = 1; mode < 5; ++mode) {
      EXPECT_LT(energy[mode], 0.5 * energy[0]) << system << " mode " << mode;
      // Modes 1, 2 and 4 keep the even lines (top line 0), mode 3 the odd ones.
      const int kept = mode == 3 ? 1 : 0;
      int changedKept = 0, changedOther = 0;
      for (int r = 0; r < h; ++r) {
        const bool same = rowOf(out[mode], h, r) == rowOf(out[0], h, r);
        if (r % 2 == kept) {
          changedKept += !same;
        } else {
          changedOther += !same;
        }
      }
      // Mode 3 copies line 1 to line 0, mode 2 line h - 2 to line h - 1; the others are
      // kept as decoded.
      EXPECT_EQ(changedKept, 0) << system << " mode " << mode;
      EXPECT_GT(changedOther, h / 2 - 10) << system << " mode " << mode;
    }

    // The progressive picture through mode 3: a single frame cannot tell fine vertical
    // detail from motion, so the pixels at the sharpest details change (with the edge
    // columns of the even lines); the rest stays as decoded.
    std::vector<uint8_t> plain, filtered;
    std::string a = still, b = still;
    ASSERT_EQ(dvtest::decodeInto(system, a, 720, uint32_t(h), 0, DVC_FORM_FRAME, &plain), 0);
    DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
    filtered.assign(plain.size(), 0);
    DvcDibFormat f = {720, uint32_t(h), 1, 24, 1, 1, 0, 0, 3, 0, DVC_FORM_FRAME};
    ASSERT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(b.data()), uint32_t(b.size()), filtered.data(), nullptr, &f), 0);
    DvcCloseDecoder(d);
    auto changedShare = [h](const std::vector<uint8_t>& x, const std::vector<uint8_t>& y) {
      int changed = 0;
      for (int r = 0; r < h; ++r)
        for (int c = 0; c < 720; ++c) changed += std::memcmp(&x[dvtest::strideOf(720) * r + 3 * c], &y[dvtest::strideOf(720) * r + 3 * c], 3) != 0;
      return double(changed) / (720.0 * h);
    };
    const double stillShare = changedShare(filtered, plain), movingShare = changedShare(out[3], out[0]);
    std::printf("%-6d mode 3 changes %.1f%% of the still picture's pixels (PSNR %.2f dB), %.1f%% of the moving one's\n",
                system, 100 * stillShare, dvtest::psnr(filtered, plain, 720, h), 100 * movingShare);
    EXPECT_LT(stillShare, 0.05) << system;
    EXPECT_GT(movingShare, 0.3) << system;
  }
}

// The encoder through ffmpeg: a natural-looking picture (a soft fractal with grain) is
// encoded into the video blocks of a frame that ffmpeg made, ffmpeg decodes the frame
// without complaint and close to the source, and our decoder gives ffmpeg's picture.
TEST(DvPeerEncoder, FfmpegDecodesOurFramesAndOurDecoderAgrees) {
  AD_REQUIRE_TOOL("ffmpeg");
  const char* kSource = "mandelbrot";
  const char* kFilters = ",gblur=sigma=1.5,noise=alls=4";
  std::printf("%-6s %28s %28s %20s\n", "system", "ffmpeg decode of ours", "ffmpeg's own encoder", "ours against ffmpeg");
  for (int system : {525, 625}) {
    const int lines = dvtest::linesOf(system), n = dvtest::sequencesOf(system);
    std::vector<uint8_t> picture = dvtest::lavfiPicture(system, kSource, kFilters, adtest::testDir());
    ASSERT_EQ(picture.size(), size_t(2160) * lines);
    const std::vector<uint8_t> original = picture;
    // ffmpeg's own frame of the same picture: its header, subcode and VAUX blocks frame ours.
    const std::string theirs = dvtest::encodeFrames(system, kSource, kFilters, false, 1, adtest::testDir()).front();
    std::string dvf = dvtest::toDvf(system, theirs);
    DvEncoder* e = DvcOpenEncoder(system == 625 ? 1 : 0);
    ASSERT_NE(e, nullptr);
    DvcDibFormat f = {720, uint32_t(lines), 1, 24, 1, 1, 0, 2160, 0, 0, 0};
    ASSERT_EQ(DvcEncode(e, reinterpret_cast<uint8_t*>(dvf.data()), picture.data(), &f), 0);
    DvcCloseEncoder(e);
    EXPECT_EQ(picture, original);  // only read
    std::string ours = theirs;
    for (int s = 0; s < n; ++s) ours.replace(size_t(s) * 12000 + 80, 11920, dvf, 32 + size_t(s) * 11920, 11920);

    std::string messages;
    const auto decoded = dvtest::ffmpegDecodeBgr(ours, adtest::testDir(), &messages);
    EXPECT_EQ(messages, "") << system;
    const auto reference = dvtest::ffmpegDecodeBgr(theirs, adtest::testDir(), &messages);
    const double ffmpegOfOurs = dvtest::psnr(decoded, original, 720, lines);
    const double ffmpegOwn = dvtest::psnr(reference, original, 720, lines);
    EXPECT_GE(ffmpegOfOurs, 30.0) << system;

    // Our decoder against ffmpeg's decode of the same frame, by the codec's own rules.
    const auto expected = dvtest::toBgr(dvtest::pictureFromPlanes(system, dvtest::ffmpegDecode(system, ours, adtest::testDir())));
    std::string copy = ours;
    std::vector<uint8_t> ourDecode;
    ASSERT_EQ(dvtest::decodeInto(system, copy, 720, uint32_t(lines), 0, DVC_FORM_FRAME, &ourDecode), 0);
    const double agreement = dvtest::psnr(ourDecode, expected, 720, lines);
    EXPECT_GE(agreement, 44.0) << system;
    std::printf("%-6d %22.2f dB %22.2f dB %17.2f dB\n", system, ffmpegOfOurs, ffmpegOwn, agreement);
  }
}

}  // namespace
