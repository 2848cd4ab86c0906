// The load at a reduced size that the program links from the module's core, against
// djpeg decoding the same files at the same scale: the same size and the same pixels,
// for every kind of file the full load takes, from a file and from memory.
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
    const std::string bytes = readFile(file);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(qmjpeg::readBlockSize(data, bytes.size(), w, h));
    EXPECT_EQ(int(w), c.w);
    EXPECT_EQ(int(h), c.h);
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
      // The same bytes read from memory give the same picture.
      QmHandle fromMemory = qmjpeg::readBlockScaled(data, bytes.size(), d);
      const Raster block = dibRaster(fromMemory);
      EXPECT_EQ(block.width, got.width);
      EXPECT_EQ(block.height, got.height);
      EXPECT_EQ(block.bits, got.bits);
      EXPECT_TRUE(block.rows == got.rows);
      QmGlobalFree(fromMemory);
    }
  }
  // Other reductions read the full size; files that are no JPEG give nothing.
  QmHandle full = qmjpeg::readFileScaled((dir / "in.jpg").string(), 3);
  EXPECT_EQ(dibRaster(full).width, 5);
  QmGlobalFree(full);
  writeFile(dir / "not.jpg", "not a picture");
  EXPECT_EQ(qmjpeg::readFileScaled((dir / "not.jpg").string(), 4), 0u);
  EXPECT_EQ(qmjpeg::readFileScaled((dir / "missing.jpg").string(), 4), 0u);
  uint32_t w = 0, h = 0;
  for (const std::string& bytes : {std::string("not a picture"), std::string("\xFF\xD8"), std::string()}) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_FALSE(qmjpeg::readBlockSize(data, bytes.size(), w, h));
    EXPECT_EQ(qmjpeg::readBlockScaled(data, bytes.size(), 4), 0u);
  }
}
