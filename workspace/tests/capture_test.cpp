// The capture file readers.
#include <filesystem>

#include "engine_fixture.h"
#include "workspace/capture_files.h"

namespace {

using namespace enginetest;
using pictest::Rgb;

TEST(YuvFile, ColourConversion) {
  struct Case {
    int y, u, v;
    uint8_t b, g, r;
  } cases[] = {{128, 128, 128, 128, 128, 128}, {16, 128, 128, 16, 16, 16},  {81, 90, 240, 13, 14, 238},
               {145, 54, 34, 13, 237, 13},     {41, 240, 110, 239, 15, 15}, {0, 255, 255, 224, 0, 178},
               {255, 0, 0, 28, 255, 75}};
  for (const Case& c : cases) {
    uint8_t bgr[3];
    workspace::YUV_FILE::ToBgr(c.y, c.u - 128, c.v - 128, bgr);
    EXPECT_EQ(bgr[0], c.b) << c.y << "," << c.u << "," << c.v;
    EXPECT_EQ(bgr[1], c.g) << c.y << "," << c.u << "," << c.v;
    EXPECT_EQ(bgr[2], c.r) << c.y << "," << c.u << "," << c.v;
  }
}

// Each group of six bytes gives four pixels (Y0 Y1 V U Y2 Y3); the first row of the data
// is the top row of the picture.
TEST(YuvFile, GroupsAndRows) {
  std::string bytes("YUV0", 4);
  const uint32_t head[3] = {12, 4, 2};
  bytes.append(reinterpret_cast<const char*>(head), sizeof head);
  const uint8_t data[12] = {16, 50, 128, 128, 100, 235,   // top row: four greys
                            81, 81, 240, 90, 145, 145};   // bottom row: two reds, two more reds
  bytes.append(reinterpret_cast<const char*>(data), sizeof data);
  const auto dir = adtest::testDir();
  adtest::writeFile(dir / "g.yuv", bytes);
  workspace::YUV_FILE yuv;
  ASSERT_TRUE(yuv.Convert((dir / "g.yuv").string(), (dir / "g.bmp").string()));
  EXPECT_EQ(yuv.head().width, 4u);
  QmHandle pic = ImageFileLoad((dir / "g.bmp").c_str());
  const auto p = pictest::read(pic);
  ImageFree(pic);
  ASSERT_EQ(p.width, 4);
  ASSERT_EQ(p.height, 2);
  EXPECT_EQ(p.at(0, 0), (Rgb{16, 16, 16}));
  EXPECT_EQ(p.at(1, 0), (Rgb{50, 50, 50}));
  EXPECT_EQ(p.at(2, 0), (Rgb{100, 100, 100}));
  EXPECT_EQ(p.at(3, 0), (Rgb{235, 235, 235}));
  EXPECT_EQ(p.at(0, 1), (Rgb{238, 14, 13}));
  EXPECT_EQ(p.at(3, 1), (Rgb{255, 78, 77}));
  EXPECT_EQ(std::filesystem::file_size(dir / "g.bmp"), 54u + 2 * 12);
  EXPECT_FALSE(yuv.Convert((dir / "missing.yuv").string(), (dir / "m.bmp").string()));
  EXPECT_FALSE(std::filesystem::exists(dir / "m.bmp"));
}

}  // namespace
