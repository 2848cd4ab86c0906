// The file library against ImageMagick: every fixture it reads gives the pixels that
// ImageMagick reads from it, and ImageMagick reads our BMP files as we wrote them.
#include <gtest/gtest.h>

#include "picture_util.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace {

using namespace pictest;

class ReadsLikeImageMagick : public ::testing::TestWithParam<const char*> {};

TEST_P(ReadsLikeImageMagick, SamePixels) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  const std::string path = fixture(GetParam());
  QmHandle pic = ImageFileLoad(path.c_str());
  ASSERT_NE(pic, 0u);
  const auto ours = read(pic);
  const auto theirs = convertRead(path);
  ASSERT_EQ(theirs.width, 37) << "ImageMagick reads " << path;
  EXPECT_EQ(maxDifference(ours, theirs), 0);
  ImageFree(pic);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ReadsLikeImageMagick,
    ::testing::Values("bmp24.bmp", "bmp24_topdown.bmp", "bmp24_os2.bmp", "bmp32.bmp", "bmp32_bitfields_v5.bmp",
                      "bmp16_565.bmp", "bmp16_555_v5.bmp", "bmp8.bmp", "bmp4.bmp", "bmp1.bmp", "bmp8_rle8.bmp",
                      "bmp4_rle4.bmp", "png_rgb.png", "png_interlaced.png", "png_rgba16.png", "png_palette.png",
                      "png_grey.png", "tiff_rgb.tif", "tiff_lzw.tif", "tiff_deflate.tif", "tiff_grey.tif",
                      "jpeg_baseline.jpg", "jpeg_progressive.jpg", "jpeg_grey.jpg", "jpeg_exif.jpg", "pcx24.pcx",
                      "pcx8.pcx"),
    [](const auto& info) {
      std::string name = info.param;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

// Camera pictures stored turned, in every kind of file that can say so (JPEG with 2x2
// and 2x1 colour sampling, progressive, grey; TIFF), with each orientation: read upright
// with ImageMagick's -auto-orient pixels, and described at that size. Without the tag, or
// with a value outside 1 to 8 (which ImageMagick refuses in a TIFF), they are read as
// stored.
TEST(TurnedPictures, ReadUprightAsImageMagickShowsThem) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("exiftool");
  struct Kind {
    const char* name;
    const char* file;
    std::vector<std::string> options;
  };
  const Kind kinds[] = {{"4:2:0", "p0.jpg", {"-sample", "2x2"}},
                        {"4:2:2 progressive", "p1.jpg", {"-sample", "2x1", "-progressive"}},
                        {"grey", "p2.jpg", {"-grayscale"}},
                        {"TIFF", "p3.tif", {}}};
  // Odd sides: every row of either shape is padded.
  const Pixels stored = markedPicture(45, 29);
  std::vector<std::string> paths;
  std::vector<Pixels> asStored;
  for (const Kind& k : kinds) {
    paths.push_back((adtest::testDir() / k.file).string());
    ASSERT_TRUE(writeStored(paths.back(), stored, k.options));
    asStored.push_back(convertRead(paths.back()));
  }
  for (int tag = -1; tag <= 9; ++tag) {
    for (size_t i = 0; i < paths.size(); ++i) {
      ASSERT_TRUE(writeStored(paths[i], stored, kinds[i].options));
    }
    if (tag >= 0) {
      ASSERT_TRUE(tagOrientation(paths, tag));
    }
    for (size_t i = 0; i < paths.size(); ++i) {
      SCOPED_TRACE(std::string(kinds[i].name) + " orientation " + std::to_string(tag));
      const std::string& path = paths[i];
      const Pixels upright = tag >= 1 && tag <= 8 ? convertRead(path, {"-auto-orient"}) : asStored[i];
      ASSERT_GT(upright.width, 0);
      ImageFileInfoRecord info{};
      ASSERT_NE(ImageFileInfo(path.c_str(), &info), 0);
      EXPECT_EQ(info.width, upright.width);
      EXPECT_EQ(info.height, upright.height);
      QmHandle pic = ImageFileLoad(path.c_str());
      ImageKindRecord kind{};
      ASSERT_NE(ImageInfo(pic, &kind), 0);
      EXPECT_EQ(kind.bitCount, std::string(kinds[i].name) == "grey" ? 8 : 24);
      EXPECT_EQ(maxDifference(read(pic), upright), 0);
      ImageFree(pic);
    }
  }
}

TEST(WrittenBmp, ImageMagickReadsIt) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  // An odd width, so that every row is padded.
  QmHandle pic = make(13, 7, [](int x, int y) { return Rgb{uint8_t(x * 19), uint8_t(y * 36), uint8_t(x ^ y)}; });
  const std::string path = (adtest::testDir() / "written.bmp").string();
  ASSERT_NE(ImageFileSaveBmp(path.c_str(), pic), 0);
  EXPECT_EQ(maxDifference(convertRead(path), read(pic)), 0);
  std::string out;
  ASSERT_EQ(adtest::runProgram({"file", "-b", path}, &out), 0);
  EXPECT_NE(out.find("Windows 3.x format, 13 x 7 x 24"), std::string::npos) << out;
  ImageFree(pic);
}

}  // namespace
