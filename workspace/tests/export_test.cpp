// Exporting pictures at the output settings, converting them to BMP, and the work-folder
// clean-up.
#include <filesystem>

#include "engine_fixture.h"

namespace {

using namespace enginetest;
using pictest::Rgb;
namespace fs = std::filesystem;
using workspace::CImageOpe;
using workspace::OutputFormatSettings;

constexpr Rgb kInside{10, 200, 30};
constexpr uint32_t kFill = 0x00C08040;  // red 0x40, green 0x80, blue 0xC0
constexpr Rgb kFillRgb{0x40, 0x80, 0xC0};

struct GeometryCase {
  int sw, sh;         // source size
  int32_t sizeMode, ow, oh, rotation;
  int w, h;           // exported size
  int left, top, iw, ih;  // where the picture stands; the rest is the fill colour
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
  *os << c.sw << "x" << c.sh << " mode " << c.sizeMode << " " << c.ow << "x" << c.oh << " turn " << c.rotation;
}

class ExportGeometry : public EngineTest, public ::testing::WithParamInterface<GeometryCase> {};

// Exact sizes, and the picture centred on the fill colour.
TEST_P(ExportGeometry, SizeAndBorders) {
  const GeometryCase& c = GetParam();
  const std::string source = solidBmp("src.bmp", c.sw, c.sh, kInside);
  settings.Format = OutputFormatSettings::kBmp;
  settings.SizeMode = c.sizeMode;
  settings.OutputWidth = c.ow;
  settings.OutputHeight = c.oh;
  settings.Rotation = c.rotation;
  engine->FillColor = kFill;
  const std::string target = (adtest::testDir() / "out.bmp").string();
  ASSERT_TRUE(engine->ExportImage(source, target));
  const auto p = filePixels(target);
  ASSERT_EQ(p.width, c.w);
  ASSERT_EQ(p.height, c.h);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const bool inside = x >= c.left && x < c.left + c.iw && y >= c.top && y < c.top + c.ih;
      ASSERT_EQ(p.at(x, y), inside ? kInside : kFillRgb) << "at " << x << "," << y;
    }
  }
  EXPECT_EQ(album.busyCalls, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExportGeometry,
    ::testing::Values(
        GeometryCase{640, 480, 1, 320, 240, 0, 320, 240, 0, 0, 320, 240},
        GeometryCase{640, 480, 1, 320, 320, 0, 320, 320, 0, 40, 320, 240},
        GeometryCase{480, 640, 2, 160, 120, 0, 160, 120, 35, 0, 90, 120},
        GeometryCase{641, 480, 1, 321, 321, 0, 321, 321, 0, 40, 321, 240},   // 480 x 321 / 641 = 240 rows
        GeometryCase{100, 100, 1, 33, 10, 0, 33, 10, 11, 0, 10, 10},
        GeometryCase{640, 480, 0, 1, 1, 1, 480, 640, 0, 0, 480, 640},         // a quarter turn, no sizing
        GeometryCase{640, 480, 1, 320, 320, 2, 320, 320, 40, 0, 240, 320},    // sized, then turned
        GeometryCase{640, 480, 3, 0, 0, 0, 720, 540, 0, 0, 720, 540},
        GeometryCase{1920, 1080, 3, 0, 0, 1, 720, 540, 0, 0, 720, 540},       // no turn in the wide format
        GeometryCase{2000, 500, 3, 0, 0, 0, 720, 540, 0, 150, 720, 240}));

// A quarter turn moves every pixel exactly; sizing keeps the source's rows in order.
TEST_F(EngineTest, TurnsAndBandsMovePixelsWhereExpected) {
  auto colour = [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), uint8_t((x + y) & 0xFF)}; };
  const std::string source = bmpFile("src.bmp", 64, 48, colour);
  settings.Format = OutputFormatSettings::kBmp;
  settings.SizeMode = OutputFormatSettings::kKeepSize;
  const std::string target = (adtest::testDir() / "out.bmp").string();
  for (int32_t rotation : {1, 2}) {
    settings.Rotation = rotation;
    ASSERT_TRUE(engine->ExportImage(source, target));
    const auto p = filePixels(target);
    ASSERT_EQ(p.width, 48);
    ASSERT_EQ(p.height, 64);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        // Clockwise (x, y) goes to (h - 1 - y, x); counter-clockwise to (y, w - 1 - x).
        const Rgb got = rotation == 1 ? p.at(47 - y, x) : p.at(y, 63 - x);
        ASSERT_EQ(got, colour(x, y)) << "turn " << rotation << " from " << x << "," << y;
      }
    }
  }
  // The wide format takes the middle band of a 4:3 picture: rows 60..419 of 640 x 480.
  const std::string rows = bmpFile("rows.bmp", 640, 480, [](int, int y) {
    return Rgb{uint8_t(y / 2), uint8_t(y >= 60 && y < 420 ? 255 : 0), 0};
  });
  settings.SizeMode = OutputFormatSettings::kSize720x540;
  ASSERT_TRUE(engine->ExportImage(rows, target));
  const auto band = filePixels(target);
  for (int x = 0; x < 720; x += 71) {
    EXPECT_EQ(band.at(x, 0).g, 255) << "nothing of the top 60 rows";
    EXPECT_EQ(band.at(x, 539).g, 255) << "nothing of the bottom 60 rows";
    EXPECT_EQ(band.at(x, 0).r, 30);
    EXPECT_EQ(band.at(x, 539).r, 209);
  }
}

TEST_F(EngineTest, ExportFormats) {
  const std::string source = solidBmp("src.bmp", 64, 48, kInside);
  settings.SizeMode = OutputFormatSettings::kKeepSize;
  struct Case {
    int32_t format;
    uint16_t type;
  } cases[] = {{OutputFormatSettings::kJpeg, QM_TYPE_JPEG}, {OutputFormatSettings::kBmp, QM_TYPE_BMP},
               {OutputFormatSettings::kTitle, QM_TYPE_JPEG_EXIF}};
  for (const Case& c : cases) {
    settings.Format = c.format;
    const std::string target = (adtest::testDir() / ("out" + std::to_string(c.format))).string();
    ASSERT_TRUE(engine->ExportImage(source, target)) << c.format;
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo(target.c_str(), &info), 0);
    EXPECT_EQ(info.pictureType, c.type);
    EXPECT_EQ(info.width, 64);
  }
  // Failures: an unreadable source (error 2), an unwritable target (error 7).
  EXPECT_FALSE(engine->ExportImage(pictest::fixture("gif89.gif"), (adtest::testDir() / "x.jpg").string()));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kUnreadable);
  EXPECT_FALSE(engine->ExportImage(source, (adtest::testDir() / "no/folder/x.jpg").string()));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kExportFailed);
}

// Capture files export through a temporary BMP that must be their own: a failed
// conversion fails the export even when an old "tmp.bmp" lies in the work folder.
TEST_F(EngineTest, CaptureFilesExportThroughTheirOwnBitmap) {
  settings.Format = OutputFormatSettings::kBmp;
  settings.SizeMode = OutputFormatSettings::kKeepSize;
  const std::string target = (adtest::testDir() / "out.bmp").string();
  ASSERT_TRUE(engine->ExportImage(yuvFile("f.yuv", 720, 240, 128, 128, 128), target));
  auto p = filePixels(target);
  EXPECT_EQ(p.width, 720);
  EXPECT_EQ(p.height, 540);
  EXPECT_FALSE(fs::exists(work + "tmp.bmp"));

  solidBmp("stale.bmp", 720, 480, Rgb{1, 2, 3});
  fs::copy_file(adtest::testDir() / "stale.bmp", work + "tmp.bmp");
  fs::remove(target);
  EXPECT_FALSE(engine->ExportImage(yuvFile("bad.yuv", 720, 480, 1, 1, 1, 60), target));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kUnreadable);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(engine->ConvertImage(target, (adtest::testDir() / "bad.yuv").string(), 100, 75));
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(EngineTest, ConvertToBmp) {
  const std::string target = (adtest::testDir() / "c.bmp").string();
  // A 24-bit BMP is copied as it is.
  ASSERT_TRUE(engine->ConvertToBmp(pictest::fixture("bmp24.bmp"), target, 0));
  EXPECT_EQ(adtest::readFile(target), adtest::readFile(pictest::fixture("bmp24.bmp")));
  // Other kinds become 24-bit BMPs of the same pixels.
  for (const char* file : {"png_rgb.png", "pcx24.pcx", "tiff_lzw.tif"}) {
    ASSERT_TRUE(engine->ConvertToBmp(pictest::fixture(file), target, 0)) << file;
    EXPECT_EQ(engine->Extension, workspace::FileName(file).GetExt());
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo(target.c_str(), &info), 0);
    EXPECT_EQ(info.bitCount, 24);
    EXPECT_EQ(pictest::maxDifference(filePixels(target), filePixels(pictest::fixture(file))), 0);
  }
  // A field of a YUV0 frame is stretched to 4:3.
  ASSERT_TRUE(engine->ConvertToBmp(yuvFile("f.yuv", 720, 240, 81, 90, 240), target, 0));
  const auto p = filePixels(target);
  EXPECT_EQ(p.width, 720);
  EXPECT_EQ(p.height, 540);
  EXPECT_EQ(engine->Height, 540);
  EXPECT_EQ(p.at(360, 270), (Rgb{238, 14, 13}));
  EXPECT_FALSE(engine->ConvertToBmp(pictest::fixture("broken_text.bmp"), target, 0));
  EXPECT_FALSE(engine->ConvertToBmp(pictest::fixture("no_such.png"), target, 0));
}

TEST_F(EngineTest, ConvertImageMakesSmallCopies) {
  struct Case {
    const char* target;
    int maxW, maxH;
    uint16_t type;
  } cases[] = {{"small.bmp", 100, 75, QM_TYPE_BMP}, {"small.JPG", 80, 60, QM_TYPE_JPEG}};
  const std::string yuv = yuvFile("f.yuv", 720, 480, 128, 128, 128);
  for (const Case& c : cases) {
    for (const std::string& source : {pictest::fixture("jpeg_baseline.jpg"), yuv}) {
      const std::string target = (adtest::testDir() / c.target).string();
      ASSERT_TRUE(engine->ConvertImage(target, source, c.maxW, c.maxH)) << source;
      ImageFileInfoRecord info;
      ASSERT_NE(ImageFileInfo(target.c_str(), &info), 0);
      EXPECT_EQ(info.pictureType, c.type);
      EXPECT_EQ(info.width, c.maxW);
    }
  }
}

TEST_F(EngineTest, DeleteFilesTakesMatchingFilesOnly) {
  for (const char* name : {"zbm1000.jpg", "zbm1000TN.bmp", "zbmt", "ZBMT0001.DVF", "MVTMP001.BMP", "mvtmp002.bmp",
                           "kbx40.ini", "temp.dvf"}) {
    adtest::writeFile(work + name, "x");
  }
  fs::create_directory(work + "zbm.folder");
  fs::permissions(work + "zbm1000.jpg", fs::perms::owner_read);  // loses its attributes first

  EXPECT_TRUE(engine->DeleteFiles(work + "MVTMP*.BMP"));
  EXPECT_FALSE(fs::exists(work + "MVTMP001.BMP"));
  EXPECT_FALSE(fs::exists(work + "mvtmp002.bmp"));
  EXPECT_TRUE(engine->DeleteFiles(work + "zbm*.*"));
  EXPECT_FALSE(engine->DeleteFiles(work + "zbm*.*")) << "nothing left to match";
  EXPECT_FALSE(engine->DeleteFiles(work + "nothing?.*"));
  // A pattern without a folder looks in the current folder.
  std::filesystem::current_path(work);
  adtest::writeFile(work + "zbm9.bmp", "x");
  EXPECT_TRUE(engine->DeleteFiles("ZBM?.BMP"));
  EXPECT_FALSE(fs::exists(work + "zbm9.bmp"));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(work)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"kbx40.ini", "temp.dvf", "zbm.folder"}));
}

// Geometry operations on pictures the toolkit cannot take, and sizes of 0, fail.
TEST_F(EngineTest, GeometryRefusals) {
  QmHandle result = 1;
  EXPECT_FALSE(engine->Letterbox(0, 10, 10, 0, result));
  EXPECT_EQ(result, 0u);
  QmHandle pic = ImageCreate(8, 6, 24, 1, 1, 1);
  EXPECT_FALSE(engine->Letterbox(pic, 0, 10, 0, result));
  EXPECT_FALSE(engine->Rotate(pic, 3, result));
  EXPECT_FALSE(engine->Resize(pic, 0, 5, result));
  EXPECT_FALSE(engine->Fit720x540(0, 0, result));
  ASSERT_TRUE(engine->Letterbox(pic, 8, 6, 0, result));
  EXPECT_EQ(pictest::maxDifference(pictest::read(result), pictest::read(pic)), 0) << "same size: a copy";
  ImageFree(result);
  ImageFree(pic);
}

TEST(OutputFormat, SetDefaults) {
  workspace::OutputFormatSettings s;
  s.SourceWidth = 4001;
  s.SourceHeight = 3000;
  s.RotationAllowed = 1;
  s.KeepSizeAllowed = 0;
  s.JpegQuality = 20;
  s.Format = OutputFormatSettings::kTitle;
  s.SizeMode = OutputFormatSettings::kSize720x540;
  s.Rotation = OutputFormatSettings::kClockwise;
  s.CorrectionCode = 0;
  s.OutputWidth = 123;
  s.OutputHeight = 45;
  s.PresetIndex = 6;
  workspace::SetDefaults(s);
  EXPECT_EQ(s.SourceWidth, 640);
  EXPECT_EQ(s.SourceHeight, 480);
  EXPECT_EQ(s.RotationAllowed, 0);
  EXPECT_EQ(s.KeepSizeAllowed, 1);
  EXPECT_EQ(s.WidthChanging, 0);
  EXPECT_EQ(s.JpegQuality, 75);
  EXPECT_EQ(s.Format, OutputFormatSettings::kJpeg);
  EXPECT_EQ(s.SizeMode, OutputFormatSettings::kFreeSize);
  EXPECT_EQ(s.Rotation, OutputFormatSettings::kNoRotation);
  EXPECT_EQ(s.CorrectionCode, 3) << "the code of the item the group shows";
  EXPECT_EQ(s.OutputWidth, 123) << "the output size is not reset";
  EXPECT_EQ(s.OutputHeight, 45);
  EXPECT_EQ(s.PresetIndex, 6);
}

}  // namespace
