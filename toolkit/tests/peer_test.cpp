// The file library against ImageMagick: every fixture it reads gives the pixels that
// ImageMagick reads from it, and ImageMagick reads our BMP files as we wrote them.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

// Files as tightly packed as their codings go, as ImageMagick writes them: a white page
// of 4000 x 3000 pixels in TIFF files of every coding the reader takes (Zstandard packs it
// to 1/16000, CCITT group 4 to a few hundred bytes), in PNG, and in JPEG with optimised
// Huffman codes (two bits a block, the least there is). The bound a file puts on its
// picture refuses none of them; they read as white, and the fixture's picture in the same
// codings reads as ImageMagick reads it.
TEST(TightlyPackedFiles, Open) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  const struct {
    const char* what;
    std::vector<std::string> options;
    const char* format;
    int tolerance;  // of the fixture's pixels (JPEG is lossy)
  } kinds[] = {
      {"TIFF", {"-type", "TrueColor", "-depth", "8", "-compress", "None"}, "TIFF", 0},
      {"TIFF LZW", {"-type", "TrueColor", "-depth", "8", "-compress", "LZW"}, "TIFF", 0},
      {"TIFF Deflate", {"-type", "TrueColor", "-depth", "8", "-compress", "Zip"}, "TIFF", 0},
      {"TIFF PackBits", {"-type", "TrueColor", "-depth", "8", "-compress", "RLE"}, "TIFF", 0},
      {"TIFF JPEG", {"-type", "TrueColor", "-depth", "8", "-compress", "JPEG"}, "TIFF", 0},
      {"TIFF Zstandard", {"-type", "TrueColor", "-depth", "8", "-compress", "Zstd"}, "TIFF", 0},
      {"TIFF group 4", {"-monochrome", "-compress", "Group4"}, "TIFF", 0},
      {"TIFF group 3", {"-monochrome", "-compress", "Fax"}, "TIFF", 0},
      {"PNG", {"-type", "TrueColor", "-quality", "95"}, "PNG24", 0},
      {"JPEG", {"-quality", "90", "-define", "jpeg:optimize-coding=true"}, "JPEG", 8},
      {"JPEG progressive", {"-quality", "90", "-interlace", "Plane"}, "JPEG", 8},
  };
  for (const auto& k : kinds) {
    for (const bool page : {false, true}) {
      SCOPED_TRACE(std::string(k.what) + (page ? " page" : " fixture"));
      const std::string path = (adtest::testDir() / "packed").string();
      std::vector<std::string> argv = {"/usr/bin/convert"};
      if (page) {
        argv.insert(argv.end(), {"-size", "4000x3000", "xc:white"});
      } else {
        argv.push_back(fixture("tiff_rgb.tif"));
      }
      argv.insert(argv.end(), k.options.begin(), k.options.end());
      argv.push_back(std::string(k.format) + ":" + path);
      ASSERT_EQ(adtest::runProgram(argv), 0);
      QmHandle pic = ImageFileLoad(path.c_str());
      ASSERT_NE(pic, 0u) << std::filesystem::file_size(path) << " bytes";
      const Pixels ours = read(pic);
      ImageFree(pic);
      if (page) {
        ASSERT_EQ(ours.width, 4000);
        ASSERT_EQ(ours.height, 3000);
        EXPECT_EQ(std::count(ours.rgb.begin(), ours.rgb.end(), Rgb{255, 255, 255}), 4000 * 3000);
      } else {
        const int difference = maxDifference(ours, convertRead(path));
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, k.tolerance);
      }
    }
  }
}

// Camera pictures stored turned, in every kind of file that can say so (JPEG with 2x2
// and 2x1 colour sampling, progressive, grey; TIFF), with each orientation: read upright
// with ImageMagick's -auto-orient pixels, and described at that size. Without the tag, or
// with a value outside 1 to 8 (which ImageMagick refuses in a TIFF), they are read as
// stored. The last kind is laid out as cameras write it: little-endian Exif straight
// after the start of the file, no JFIF segment, a thumbnail of its own in the Exif.
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
                        {"TIFF", "p3.tif", {}},
                        {"camera layout", "p4.jpg", {"-sample", "2x1"}}};
  // Odd sides: every row of either shape is padded.
  const Pixels stored = markedPicture(45, 29);
  std::vector<std::string> paths;
  std::vector<Pixels> asStored;
  for (const Kind& k : kinds) {
    paths.push_back((adtest::testDir() / k.file).string());
    ASSERT_TRUE(writeStored(paths.back(), stored, k.options));
    asStored.push_back(convertRead(paths.back()));
  }
  const auto cameraLayout = [&](const std::string& path, int tag) {
    const std::string thumb = path + ".thumb.jpg";
    std::vector<std::string> argv = {"exiftool", "-q", "-q", "-n", "-overwrite_original", "-JFIF:all=",
                                     "-ExifByteOrder=II", "-ThumbnailImage<=" + thumb};
    if (tag >= 0) argv.push_back("-Orientation=" + std::to_string(tag));
    argv.push_back(path);
    return std::filesystem::copy_file(paths[0], thumb, std::filesystem::copy_options::overwrite_existing) &&
           adtest::runProgram(argv) == 0;
  };
  for (int tag = -1; tag <= 9; ++tag) {
    for (size_t i = 0; i < paths.size(); ++i) {
      ASSERT_TRUE(writeStored(paths[i], stored, kinds[i].options));
    }
    ASSERT_TRUE(cameraLayout(paths.back(), tag));
    if (tag >= 0) {
      ASSERT_TRUE(tagOrientation({paths.begin(), paths.end() - 1}, tag));
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
