// The load at a reduced size that the program links from the module's core, against
// djpeg decoding the same files at the same scale: the same size and the same pixels,
// for every kind of file the full load takes, from a file and from memory; and camera
// pictures stored turned come out as ImageMagick turns djpeg's picture upright.
#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "jpegmodule/scaled_load.h"
#include "picture_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

// The picture read from memory, its header first, as the import's look-ahead reads it.
QmHandle blockScaled(const std::string& bytes, unsigned d) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  qmjpeg::Header header;
  return qmjpeg::readBlockHeader(data, bytes.size(), header) ? qmjpeg::readBlockScaled(data, bytes.size(), header, d)
                                                             : 0;
}

}  // namespace

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
    qmjpeg::Header header;
    EXPECT_TRUE(qmjpeg::readBlockHeader(data, bytes.size(), header));
    EXPECT_EQ(int(header.width), c.w);
    EXPECT_EQ(int(header.height), c.h);
    EXPECT_EQ(header.orientation, 1);
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
      QmHandle fromMemory = blockScaled(bytes, d);
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
  qmjpeg::Header header;
  for (const std::string& bytes : {std::string("not a picture"), std::string("\xFF\xD8"), std::string()}) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_FALSE(qmjpeg::readBlockHeader(data, bytes.size(), header));
    EXPECT_EQ(qmjpeg::readBlockScaled(data, bytes.size(), header, 4), 0u);
  }
}

// Each orientation, on files of both colour samplings and a progressive one, at each
// reduction in turn: the header gives the upright size, and the reduced picture (from a
// file and from memory) is djpeg's at that scale turned upright by ImageMagick.
TEST(JpegScaledLoad, TurnedPicturesComeOutUpright) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("djpeg");
  AD_REQUIRE_TOOL("exiftool");
  AD_REQUIRE_TOOL("/usr/bin/convert");
  const fs::path dir = adtest::testDir();
  const std::vector<std::string> samplings[] = {{"-sample", "2x2"}, {"-sample", "2x1", "-progressive"}};
  const pictest::Pixels stored = pictest::markedPicture(83, 61);
  for (const auto& options : samplings) {
    for (int tag = 1; tag <= 8; ++tag) {
      const unsigned d = 1u << (tag % 4);
      SCOPED_TRACE(options[1] + " orientation " + std::to_string(tag) + " 1/" + std::to_string(d));
      const fs::path file = dir / "turned.jpg";
      ASSERT_TRUE(pictest::writeOriented(file.string(), stored, tag, options));
      qmjpeg::Header header;
      ASSERT_TRUE(qmjpeg::readFileHeader(file.string(), header));
      EXPECT_EQ(header.orientation, tag);
      EXPECT_EQ(header.uprightWidth(), tag >= 5 ? 61u : 83u);
      EXPECT_EQ(header.uprightHeight(), tag >= 5 ? 83u : 61u);
      writeFile(dir / "scaled.ppm", run({"djpeg", "-scale", "1/" + std::to_string(d), "-pnm", file.string()}));
      const pictest::Pixels want =
          pictest::convertRead((dir / "scaled.ppm").string(), {"-orient", pictest::orientationName(tag), "-auto-orient"});
      QmHandle fromFile = qmjpeg::readFileScaled(file.string(), header, d);
      QmHandle fromMemory = blockScaled(readFile(file), d);
      EXPECT_EQ(pictest::maxDifference(pictest::read(fromFile), want), 0);
      EXPECT_EQ(pictest::maxDifference(pictest::read(fromMemory), want), 0);
      QmGlobalFree(fromFile);
      QmGlobalFree(fromMemory);
    }
  }
}
