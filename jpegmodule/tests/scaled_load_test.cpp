// The load at a reduced size that the program links from the module's core, against
// djpeg decoding the same files at the same scale: the same size and the same pixels,
// for every kind of file the full load takes.
#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "jpegmodule/scaled_load.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

TEST(JpegScaledLoad, SamePixelsAsDjpegAtEveryScale) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("djpeg");
  const fs::path dir = adtest::testDir();
  struct Case {
    const char* name;
    int w, h, channels;
    std::vector<std::string> options;
  } cases[] = {
      {"baseline 2x2", 640, 480, 3, {}},
      {"odd sizes", 333, 251, 3, {"-sample", "2x1"}},
      {"progressive", 200, 150, 3, {"-progressive"}},
      {"grey", 101, 77, 1, {}},
      {"smaller than the reduction", 5, 3, 3, {}},
  };
  for (const Case& c : cases) {
    writePnm(dir / "in.pnm", makePicture(c.w, c.h, c.channels, 3));
    const fs::path file = dir / "in.jpg";
    writeFile(file, cjpeg(dir / "in.pnm", c.options));
    for (unsigned d : {1u, 2u, 4u, 8u}) {
      SCOPED_TRACE(std::string(c.name) + " 1/" + std::to_string(d));
      QmHandle dib = qmjpeg::readFileScaled(file.string(), d);
      ASSERT_NE(dib, 0u);
      const Raster got = dibRaster(dib);
      const Raster want = bmpRaster(run({"djpeg", "-scale", "1/" + std::to_string(d), "-bmp", file.string()}));
      EXPECT_EQ(got.width, (c.w + int(d) - 1) / int(d));
      EXPECT_EQ(got.height, (c.h + int(d) - 1) / int(d));
      EXPECT_EQ(got.width, want.width);
      EXPECT_EQ(got.height, want.height);
      EXPECT_EQ(got.bits, c.channels * 8);
      EXPECT_TRUE(got.rows == want.rows);
      QmGlobalFree(dib);
    }
  }
  // Other reductions read the full size; files that are no JPEG give nothing.
  QmHandle full = qmjpeg::readFileScaled((dir / "in.jpg").string(), 3);
  EXPECT_EQ(dibRaster(full).width, 5);
  QmGlobalFree(full);
  writeFile(dir / "not.jpg", "not a picture");
  EXPECT_EQ(qmjpeg::readFileScaled((dir / "not.jpg").string(), 4), 0u);
  EXPECT_EQ(qmjpeg::readFileScaled((dir / "missing.jpg").string(), 4), 0u);
}
