// The file library over the committed fixtures: what each file is, whether it loads, and
// its pixels where the fixture script drew them exactly; BMP writing.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "picture_util.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace {

using namespace pictest;

enum class Pixels { None, Exact, Grey16 };

struct Case {
  const char* file;
  bool described;
  uint16_t type;
  uint16_t bits;
  bool loads;
  Pixels pixels;  // what the loaded pixels must be
};

const Case kCases[] = {
    {"bmp24.bmp", true, QM_TYPE_BMP, 24, true, Pixels::Exact},
    {"bmp24_topdown.bmp", true, QM_TYPE_BMP, 24, true, Pixels::Exact},
    {"bmp24_os2.bmp", true, QM_TYPE_BMP, 24, true, Pixels::Exact},
    {"bmp32.bmp", true, QM_TYPE_BMP, 32, true, Pixels::Exact},
    {"bmp32_bitfields_v5.bmp", true, QM_TYPE_BMP, 32, true, Pixels::Exact},
    {"bmp16_565.bmp", true, QM_TYPE_BMP, 16, true, Pixels::None},
    {"bmp16_555_v5.bmp", true, QM_TYPE_BMP, 16, true, Pixels::None},
    {"bmp8.bmp", true, QM_TYPE_BMP, 8, true, Pixels::None},
    {"bmp4.bmp", true, QM_TYPE_BMP, 4, true, Pixels::None},
    {"bmp1.bmp", true, QM_TYPE_BMP, 1, true, Pixels::None},
    {"bmp8_rle8.bmp", true, QM_TYPE_BMP_RLE8, 8, true, Pixels::None},
    {"bmp4_rle4.bmp", true, QM_TYPE_BMP_RLE4, 4, true, Pixels::Grey16},
    {"png_rgb.png", true, QM_TYPE_PNG, 24, true, Pixels::Exact},
    {"png_interlaced.png", true, QM_TYPE_PNG, 24, true, Pixels::Exact},
    {"png_rgba16.png", true, QM_TYPE_PNG, 64, true, Pixels::Exact},
    {"png_palette.png", true, QM_TYPE_PNG, 8, true, Pixels::None},
    {"png_grey.png", true, QM_TYPE_PNG, 8, true, Pixels::None},
    {"tiff_rgb.tif", true, QM_TYPE_TIFF, 24, true, Pixels::Exact},
    {"tiff_lzw.tif", true, QM_TYPE_TIFF_LZW, 24, true, Pixels::Exact},
    {"tiff_deflate.tif", true, QM_TYPE_TIFF_DEFLATE, 24, true, Pixels::Exact},
    {"tiff_grey.tif", true, QM_TYPE_TIFF, 8, true, Pixels::None},
    {"jpeg_baseline.jpg", true, QM_TYPE_JPEG, 24, true, Pixels::None},
    {"jpeg_progressive.jpg", true, QM_TYPE_JPEG_PROGRESSIVE, 24, true, Pixels::None},
    {"jpeg_grey.jpg", true, QM_TYPE_JPEG, 8, true, Pixels::None},
    {"jpeg_exif.jpg", true, QM_TYPE_JPEG_EXIF, 24, true, Pixels::None},
    {"pcx24.pcx", true, QM_TYPE_PCX, 24, true, Pixels::Exact},
    {"pcx8.pcx", true, QM_TYPE_PCX, 8, true, Pixels::None},
    // Recognised and described, never read.
    {"gif87.gif", true, QM_TYPE_GIF87, 8, false, Pixels::None},
    {"gif89.gif", true, QM_TYPE_GIF89, 8, false, Pixels::None},
    {"flashpix.fpx", true, QM_TYPE_FPX, 24, false, Pixels::None},
    // Not pictures, or broken ones: a sound head describes the file, but nothing loads.
    {"storage.doc", false, 0, 0, false, Pixels::None},
    {"broken_bmp_cut.bmp", true, QM_TYPE_BMP, 24, false, Pixels::None},
    {"broken_png_cut.png", true, QM_TYPE_PNG, 24, false, Pixels::None},
    {"broken_pcx_cut.pcx", true, QM_TYPE_PCX, 8, false, Pixels::None},
    {"broken_jpeg_head.jpg", false, 0, 0, false, Pixels::None},
    {"broken_bmp_huge.bmp", false, 0, 0, false, Pixels::None},
    {"broken_text.bmp", false, 0, 0, false, Pixels::None},
    {"broken_empty.png", false, 0, 0, false, Pixels::None},
    {"no_such_file.bmp", false, 0, 0, false, Pixels::None},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class FileTable : public ::testing::TestWithParam<Case> {};

TEST_P(FileTable, DescribesAndLoads) {
  const Case& c = GetParam();
  const std::string path = fixture(c.file);
  const uint32_t blocksBefore = QmGlobalCount();

  ImageFileInfoRecord info;
  std::memset(&info, 0xEE, sizeof info);
  ASSERT_EQ(ImageFileInfo(path.c_str(), &info) != 0, c.described);
  if (c.described) {
    EXPECT_EQ(info.pictureType, c.type);
    EXPECT_EQ(info.bitCount, c.bits);
    EXPECT_EQ(info.fileSize, std::filesystem::file_size(path));
    if (c.type != QM_TYPE_FPX) {
      EXPECT_EQ(info.width, 37);
      EXPECT_EQ(info.height, 23);
    }
  }

  QmHandle pic = ImageFileLoad(path.c_str());
  ASSERT_EQ(pic != 0, c.loads);
  if (pic) {
    ImageKindRecord kind;
    ASSERT_NE(ImageInfo(pic, &kind), 0);
    EXPECT_EQ(kind.width, 37);
    EXPECT_EQ(kind.height, 23);
    EXPECT_EQ(kind.bitCount, c.bits == 8 && c.type == QM_TYPE_JPEG ? 8 : 24)
        << "grey JPEG files load as 8-bit grey, everything else as 24-bit";
    const auto p = read(pic);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (c.pixels == Pixels::Exact) {
          ASSERT_EQ(p.at(x, y), fixturePixel(x, y)) << "at " << x << "," << y;
        } else if (c.pixels == Pixels::Grey16) {
          const auto v = static_cast<uint8_t>((x / 3 + y) % 16 * 17);
          ASSERT_EQ(p.at(x, y), (Rgb{v, v, v})) << "at " << x << "," << y;
        }
      }
    }
    ImageFree(pic);
  }
  EXPECT_EQ(QmGlobalCount(), blocksBefore) << "no picture left behind";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FileTable, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.file;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

// Pictures stored turned, as cameras store them, are read upright: a JPEG whose Exif
// orientation is 6 (turned a quarter clockwise to be shown) and a TIFF whose orientation
// is 8 (a quarter counter-clockwise) are described and read 23 x 37, the TIFF with the
// fixture's pixels turned.
TEST(TurnedFixtures, ReadUpright) {
  for (const char* file : {"jpeg_turned.jpg", "tiff_turned.tif"}) {
    SCOPED_TRACE(file);
    const std::string path = fixture(file);
    ImageFileInfoRecord info{};
    ASSERT_NE(ImageFileInfo(path.c_str(), &info), 0);
    EXPECT_EQ(info.width, 23);
    EXPECT_EQ(info.height, 37);
    QmHandle pic = ImageFileLoad(path.c_str());
    const auto p = read(pic);
    ImageFree(pic);
    ASSERT_EQ(p.width, 23);
    ASSERT_EQ(p.height, 37);
    if (info.pictureType != QM_TYPE_TIFF_LZW) continue;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) ASSERT_EQ(p.at(x, y), fixturePixel(36 - y, x)) << "at " << x << "," << y;
    }
  }
}

// The BMP written: a 54-byte head, 24 bits, bottom-up rows padded to 4 bytes, and the
// picture's resolution; it reads back equal.
TEST(SaveBmp, WritesTheCommonHeadAndReadsBack) {
  QmHandle pic = make(5, 3, [](int x, int y) { return Rgb{uint8_t(x * 50), uint8_t(y * 100), 7}; });
  ASSERT_NE(QMSetDpi(pic, 72, 96), 0);
  const std::string path = (adtest::testDir() / "out.bmp").string();
  ASSERT_NE(ImageFileSaveBmp(path.c_str(), pic), 0);

  const std::string bytes = adtest::readFile(path);
  ASSERT_EQ(bytes.size(), 54u + 3 * 16);
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(u32(2), bytes.size());
  EXPECT_EQ(u32(10), 54u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 5u);
  EXPECT_EQ(u32(22), 3u) << "bottom-up";
  EXPECT_EQ(u32(26), 1u | (24u << 16)) << "one plane, 24 bits";
  EXPECT_EQ(u32(30), 0u);
  EXPECT_EQ(u32(34), 48u);
  EXPECT_EQ(u32(38), 2835u) << "72 dpi";
  EXPECT_EQ(u32(42), 3780u) << "96 dpi";
  // The first row in the file is the picture's bottom row: pixel (0, 2) is 0, 200, 7.
  EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 7);
  EXPECT_EQ(static_cast<uint8_t>(bytes[55]), 200);
  EXPECT_EQ(static_cast<uint8_t>(bytes[56]), 0);
  EXPECT_EQ(bytes.substr(54 + 15, 1), std::string(1, '\0')) << "row padding";

  QmHandle back = ImageFileLoad(path.c_str());
  EXPECT_EQ(maxDifference(read(back), read(pic)), 0);
  ImageFree(back);
  ImageFree(pic);
}

TEST(SaveBmp, FailureLeavesTheOldFile) {
  const auto dir = adtest::testDir() / "out";
  std::filesystem::create_directory(dir);
  const std::string path = (dir / "keep.bmp").string();
  adtest::writeFile(path, "old");
  QmHandle pic = make(2, 2, [](int, int) { return Rgb{1, 2, 3}; });
  EXPECT_EQ(ImageFileSaveBmp(path.c_str(), 0), 0) << "no picture";
  EXPECT_EQ(ImageFileSaveBmp((dir / "no/folder/x.bmp").c_str(), pic), 0);
  EXPECT_EQ(adtest::readFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary left";
  ImageFree(pic);
}

// A JPEG written through the module reads back with the picture's size; an 8-bit picture
// with colours goes out as 24-bit.
TEST(SaveJpeg, WritesThroughTheModule) {
  QmHandle pic = make(40, 30, [](int x, int y) { return Rgb{uint8_t(x * 6), uint8_t(y * 8), uint8_t(100 + x + y)}; });
  const std::string path = (adtest::testDir() / "out.jpg").string();
  ASSERT_NE(ImageFileSaveJpeg(path.c_str(), pic, 0, 90, 2, ""), 0);
  ImageFileInfoRecord info;
  ASSERT_NE(ImageFileInfo(path.c_str(), &info), 0);
  EXPECT_EQ(info.pictureType, QM_TYPE_JPEG);
  QmHandle back = ImageFileLoad(path.c_str());
  EXPECT_LE(maxDifference(read(back), read(pic)), 4) << "quality 90, no subsampling, a smooth picture";
  ImageFree(back);
  ImageFree(pic);
}

// A library leaves the settings of the process it is loaded into alone: with this test
// linked to the file library, a large block still comes from a mapping of its own, as the
// C library's defaults give it, not from a heap told to keep such blocks.
TEST(FileLibrary, LeavesTheMemorySettingsOfTheProcessAlone) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator replaces the C library's";
#endif
  ASSERT_NE(ImageFileLoad("/nonexistent.jpg"), 1u);  // the library is in use
  constexpr size_t kBytes = 64u << 20;  // above the largest threshold the C library picks itself
  const size_t before = mallinfo2().hblkhd;
  void* block = std::malloc(kBytes);
  ASSERT_NE(block, nullptr);
  EXPECT_GE(mallinfo2().hblkhd, before + kBytes);
  std::free(block);
}

}  // namespace
