// Saves compared byte for byte with cjpeg over the same pixels and settings.
#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

std::string saveToBytes(QmHandle dib, int progressive, int quality, int sampling, const char* comment = nullptr) {
  fs::path out = adtest::testDir() / "out.jpg";
  EXPECT_EQ(_QMJpegFileSave(out.c_str(), dib, progressive, quality, sampling, comment, 1, 0, 0, 0), 1);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
  return fs::exists(out) ? readFile(out) : std::string();
}

// cjpeg's options for the module's sampling argument.
std::vector<std::string> samplingOptions(int sampling) {
  if (sampling < 1) return {"-sample", "2x2"};
  if (sampling == 1) return {"-sample", "2x1"};
  if (sampling == 2) return {"-sample", "1x1"};
  return {};  // the library's default
}

}  // namespace

TEST(JpegSave, ColourMatchesCjpeg) {
  AD_REQUIRE_TOOL("cjpeg");
  // An odd size, so the last MCU row and column are partly outside the picture.
  Picture pic = makePicture(37, 23, 3);
  fs::path ppm = adtest::testDir() / "in.ppm";
  writePnm(ppm, pic);
  QmHandle dib = makeDib(pic);
  for (int quality : {0, 50, 75, 100}) {
    for (int sampling : {-5, 0, 1, 2, 3}) {
      for (int progressive : {0, 1, 2}) {
        std::vector<std::string> opts{"-quality", std::to_string(quality), "-baseline"};
        auto s = samplingOptions(sampling);
        opts.insert(opts.end(), s.begin(), s.end());
        if (progressive == 1) opts.push_back("-progressive");
        EXPECT_EQ(saveToBytes(dib, progressive, quality, sampling), cjpeg(ppm, opts))
            << "quality " << quality << " sampling " << sampling << " progressive " << progressive;
      }
    }
  }
  QmGlobalFree(dib);
}

TEST(JpegSave, GreyMatchesCjpegThroughThePalette) {
  AD_REQUIRE_TOOL("cjpeg");
  Picture indexes = makePicture(33, 17, 1);
  // An inverted grey palette: the file holds each entry's value, not the index.
  std::vector<uint32_t> inverted;
  for (uint32_t i = 0; i < 256; ++i) inverted.push_back((255 - i) * 0x010101u);
  Picture grey = indexes;
  for (auto& v : grey.pixels) v = static_cast<uint8_t>(255 - v);
  fs::path pgm = adtest::testDir() / "in.pgm";
  writePnm(pgm, grey);
  QmHandle dib = makeDib(indexes, 0, 0, inverted);
  for (int quality : {10, 75, 100}) {
    for (int progressive : {0, 1}) {
      std::vector<std::string> opts{"-quality", std::to_string(quality), "-baseline"};
      if (progressive) opts.push_back("-progressive");
      // Sampling does not apply to grey files.
      EXPECT_EQ(saveToBytes(dib, progressive, quality, 2), cjpeg(pgm, opts))
          << "quality " << quality << " progressive " << progressive;
    }
  }
  QmGlobalFree(dib);
}

TEST(JpegSave, CommentIsOneComSegmentWithItsNul) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("rdjpgcom");
  Picture pic = makePicture(16, 9, 3);
  fs::path ppm = adtest::testDir() / "in.ppm";
  writePnm(ppm, pic);
  QmHandle dib = makeDib(pic);
  std::string plain = cjpeg(ppm, {"-quality", "75", "-baseline", "-sample", "2x2"});
  struct Case {
    const char* comment;
    std::string expected;
  } cases[] = {
      {nullptr, plain},
      {"", plain},
      {"abc", insertAfterApp0(plain, segment(0xFE, std::string("abc\0", 4)))},
      {"album picture 1", insertAfterApp0(plain, segment(0xFE, std::string("album picture 1") + '\0'))},
  };
  for (const Case& c : cases) {
    std::string got = saveToBytes(dib, 0, 75, 0, c.comment);
    EXPECT_EQ(got, c.expected) << (c.comment ? c.comment : "(null)");
  }
  // The tool reads the comment back (with its NUL as the last byte).
  saveToBytes(dib, 0, 75, 0, "abc");
  std::string text = run({"rdjpgcom", (adtest::testDir() / "out.jpg").string()});
  EXPECT_EQ(text.substr(0, 3), "abc");
  QmGlobalFree(dib);
}

TEST(JpegSave, DensityFromTheBitmapResolution) {
  AD_REQUIRE_TOOL("exiftool");
  Picture pic = makePicture(8, 8, 3);
  struct Case {
    int32_t xPpm, yPpm;
    int unit, x, y;
  } cases[] = {
      {0, 0, 0, 1, 1},           // no resolution: aspect only, 1:1
      {39, 20, 0, 1, 1},         // both convert to 1 dot per inch or less
      {2835, 0, 1, 72, 0},       // only one above 1: both as converted
      {2835, 11811, 1, 72, 300},
      {19, 3780, 1, 0, 96},
  };
  for (const Case& c : cases) {
    QmHandle dib = makeDib(pic, c.xPpm, c.yPpm);
    saveToBytes(dib, 0, 75, 0);
    QmGlobalFree(dib);
    std::string out = run({"exiftool", "-n", "-s3", "-JFIF:ResolutionUnit", "-JFIF:XResolution", "-JFIF:YResolution",
                           (adtest::testDir() / "out.jpg").string()});
    EXPECT_EQ(out, std::to_string(c.unit) + "\n" + std::to_string(c.x) + "\n" + std::to_string(c.y) + "\n")
        << c.xPpm << " x " << c.yPpm;
  }
}
