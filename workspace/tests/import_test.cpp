// Importing picture files into working copies and thumbnails.
#include <sys/stat.h>

#include <filesystem>

#include "engine_fixture.h"

namespace {

using namespace enginetest;
using pictest::Rgb;
namespace fs = std::filesystem;
using workspace::CImageOpe;

enum class Copy { Bytes, To24 };

struct ImportCase {
  const char* file;
  uint16_t type;
  const char* extension;
  Copy copy;
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.file; }

// Every readable kind: the record's facts, the working copy (the file itself, or a
// 24-bit BMP for BMP files of other depths) and the 100 x 62 thumbnail of 37 x 23.
const ImportCase kReadable[] = {
    {"bmp24.bmp", QM_TYPE_BMP, ".bmp", Copy::Bytes},
    {"bmp24_topdown.bmp", QM_TYPE_BMP, ".bmp", Copy::Bytes},
    {"bmp32.bmp", QM_TYPE_BMP, ".bmp", Copy::To24},
    {"bmp16_565.bmp", QM_TYPE_BMP, ".bmp", Copy::To24},
    {"bmp8.bmp", QM_TYPE_BMP, ".bmp", Copy::To24},
    {"bmp4.bmp", QM_TYPE_BMP, ".bmp", Copy::To24},
    {"bmp1.bmp", QM_TYPE_BMP, ".bmp", Copy::To24},
    {"bmp8_rle8.bmp", QM_TYPE_BMP_RLE8, ".rle", Copy::Bytes},
    {"bmp4_rle4.bmp", QM_TYPE_BMP_RLE4, ".rle", Copy::Bytes},
    {"png_rgb.png", QM_TYPE_PNG, ".png", Copy::Bytes},
    {"png_palette.png", QM_TYPE_PNG, ".png", Copy::Bytes},
    {"tiff_lzw.tif", QM_TYPE_TIFF_LZW, ".tif", Copy::Bytes},
    {"tiff_grey.tif", QM_TYPE_TIFF, ".tif", Copy::Bytes},
    {"jpeg_baseline.jpg", QM_TYPE_JPEG, ".jpg", Copy::Bytes},
    {"jpeg_progressive.jpg", QM_TYPE_JPEG_PROGRESSIVE, ".jpg", Copy::Bytes},
    {"jpeg_grey.jpg", QM_TYPE_JPEG, ".jpg", Copy::Bytes},
    {"jpeg_exif.jpg", QM_TYPE_JPEG_EXIF, ".jpg", Copy::Bytes},
    {"pcx8.pcx", QM_TYPE_PCX, ".pcx", Copy::Bytes},
    {"pcx24.pcx", QM_TYPE_PCX, ".pcx", Copy::Bytes},
};

class ImportReadable : public EngineTest, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(ImportReadable, MakesWorkingCopyThumbnailAndRecord) {
  const ImportCase& c = GetParam();
  const std::string source = pictest::fixture(c.file);
  album.count = 7;  // names count from the album's picture count
  EXPECT_EQ(engine->GetImageCount(source), 1u);
  ASSERT_TRUE(engine->LoadImage(source, 7)) << "error " << engine->ErrorCode;
  EXPECT_EQ(engine->ErrorCode, 0);

  ASSERT_EQ(mainWindow.received.size(), 1u);
  const Reported& r = mainWindow.received[0];
  EXPECT_EQ(r.position, 7);
  EXPECT_EQ(r.width, 37);
  EXPECT_EQ(r.height, 23);
  EXPECT_EQ(r.type, c.type);
  EXPECT_EQ(r.title, CImageOpe::kNoTitle);
  EXPECT_EQ(r.sourceSize, fs::file_size(source));
  workspace::FileTime mtime = 0;
  ASSERT_TRUE(workspace::GetFileWriteTime(source, mtime));
  EXPECT_EQ(r.writeTime, mtime);
  EXPECT_EQ(r.working, work + "zbm1007" + c.extension);
  EXPECT_EQ(r.thumbnail, work + "zbm1007TN.bmp");
  EXPECT_EQ(r.timeCode, "");
  EXPECT_EQ(album.modified, 1);

  if (c.copy == Copy::Bytes) {
    EXPECT_EQ(adtest::readFile(r.working), adtest::readFile(source)) << "byte for byte";
  } else {
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo(r.working.c_str(), &info), 0);
    EXPECT_EQ(info.bitCount, 24);
    EXPECT_EQ(pictest::maxDifference(filePixels(r.working), filePixels(source)), 0);
  }
  ImageFileInfoRecord thumb;
  ASSERT_NE(ImageFileInfo(r.thumbnail.c_str(), &thumb), 0);
  EXPECT_EQ(thumb.pictureType, QM_TYPE_BMP);
  EXPECT_EQ(thumb.bitCount, 24);
  EXPECT_EQ(thumb.width, 100) << "3 x 37 > 4 x 23: the width fills";
  EXPECT_EQ(thumb.height, 62) << "23 x 100 / 37";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ImportReadable, ::testing::ValuesIn(kReadable), [](const auto& info) {
  std::string name = info.param.file;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

struct RefusedCase {
  const char* file;  // in the fixtures; "" for a file that does not exist
  uint32_t count;    // what GetImageCount says
  int32_t error;
};

// Files that are refused: nothing reported, nothing marked, no thumbnail.
TEST_F(EngineTest, RefusesUnreadableFiles) {
  const RefusedCase cases[] = {
      {"gif89.gif", 1, CImageOpe::kUnreadable},          // read by the toolkit, refused here
      {"gif87.gif", 1, CImageOpe::kUnreadable},
      {"flashpix.fpx", 1, CImageOpe::kUnreadable},       // described, but its picture cannot be read
      {"storage.doc", 0, CImageOpe::kUnreadable},
      {"broken_bmp_cut.bmp", 1, CImageOpe::kUnreadable},
      {"broken_png_cut.png", 1, CImageOpe::kUnreadable},
      {"broken_pcx_cut.pcx", 1, CImageOpe::kUnreadable},
      {"broken_text.bmp", 0, CImageOpe::kUnreadable},
      {"broken_empty.png", 0, CImageOpe::kUnreadable},
      {"no_such_file.jpg", 0, CImageOpe::kMissing},
  };
  for (const RefusedCase& c : cases) {
    const std::string path = pictest::fixture(c.file);
    EXPECT_EQ(engine->GetImageCount(path), c.count) << c.file;
    EXPECT_FALSE(engine->LoadImage(path, 0)) << c.file;
    EXPECT_EQ(engine->ErrorCode, c.error) << c.file;
  }
  EXPECT_TRUE(mainWindow.received.empty());
  EXPECT_EQ(album.modified, 0);
  EXPECT_FALSE(fs::exists(work + "zbm1000TN.bmp"));
}

// Only the main window's engine refuses pictures beyond 200; the album-full message comes
// once per refused import.
TEST_F(EngineTest, AlbumLimitOnTheMainEngineOnly) {
  const std::string jpeg = pictest::fixture("jpeg_baseline.jpg");
  album.count = 199;
  EXPECT_TRUE(engine->LoadImage(jpeg, 199));
  album.count = 200;
  for (const char* file : {"jpeg_baseline.jpg", "bmp24.bmp"}) {
    EXPECT_FALSE(engine->LoadImage(pictest::fixture(file), 200));
    EXPECT_EQ(engine->ErrorCode, CImageOpe::kAlbumFull);
  }
  EXPECT_FALSE(engine->LoadImage(yuvFile("f.yuv", 720, 480, 128, 128, 128), 200));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kAlbumFull);
  EXPECT_EQ(album.frameOver, 3);
  EXPECT_EQ(mainWindow.received.size(), 1u);

  // The sheet's engine, bound to its own window, imports regardless.
  const workspace::CImageOpe* sheetPtr = nullptr;
  Window sheetWindow(&sheetPtr);
  workspace::CImageOpe sheet(&sheetWindow, &album, settings, clock);
  sheetPtr = &sheet;
  EXPECT_TRUE(sheet.LoadImage(jpeg, 3));
  ASSERT_EQ(sheetWindow.received.size(), 1u);
  EXPECT_EQ(sheetWindow.received[0].position, 3);
  EXPECT_EQ(sheetWindow.received[0].working, work + "zbm1200.jpg") << "named from the main album's count";
  EXPECT_EQ(album.frameOver, 3);
  EXPECT_EQ(mainWindow.received.size(), 1u);
}

TEST_F(EngineTest, WorkingNamesSkipTakenThumbnails) {
  album.count = 5;
  adtest::writeFile(work + "zbm1005TN.bmp", "taken");
  adtest::writeFile(work + "zbm1006.jpg", "an old working copy without thumbnail");
  EXPECT_EQ(engine->MakeTempName(5), work + "zbm1006");
  EXPECT_EQ(engine->MakeTempName(998), work + "zbm1998");
  EXPECT_EQ(engine->MakeTempName(12), work + "zbm1012");
  ASSERT_TRUE(engine->LoadImage(pictest::fixture("jpeg_baseline.jpg"), 5));
  EXPECT_EQ(adtest::readFile(work + "zbm1006.jpg"), adtest::readFile(pictest::fixture("jpeg_baseline.jpg")))
      << "the old working copy is replaced";

  // Every name from the start to 999 taken: error 6 and nothing written.
  for (int i = 990; i < 1000; ++i) adtest::writeFile(work + "zbm1" + std::to_string(i) + "TN.bmp", "");
  EXPECT_EQ(engine->MakeTempName(990), "");
  album.count = 990;
  album.mainWindow = nullptr;  // as for the sheet's engine: no album limit
  const auto before = std::distance(fs::directory_iterator(work), {});
  EXPECT_FALSE(engine->LoadImage(pictest::fixture("png_rgb.png"), 990));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kNoName);
  EXPECT_FALSE(engine->LoadImage(yuvFile("f.yuv", 720, 480, 128, 128, 128), 990));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kNoName);
  EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), before);
}

// Links put where working copies go are replaced, never written through: not when one
// names a read-only file elsewhere, nor when one names nothing.
TEST_F(EngineTest, WorkingCopiesAreNeverWrittenThroughALink) {
  const fs::path victim = adtest::testDir() / "victim.jpg";
  adtest::writeFile(victim, "not the program's");
  ::chmod(victim.c_str(), 0444);
  fs::create_symlink(victim, work + "zbm1000.jpg");
  fs::create_symlink(adtest::testDir() / "nowhere", work + "zbm1001.yuv");
  const std::string jpeg = pictest::fixture("jpeg_baseline.jpg");
  const std::string yuv = yuvFile("f.yuv", 720, 480, 128, 128, 128);
  ASSERT_TRUE(engine->LoadImage(jpeg, 0)) << engine->ErrorCode;
  album.count = 1;
  ASSERT_TRUE(engine->LoadImage(yuv, 1)) << engine->ErrorCode;
  for (const auto& [copy, source] : {std::pair{work + "zbm1000.jpg", jpeg}, std::pair{work + "zbm1001.yuv", yuv}}) {
    EXPECT_FALSE(fs::is_symlink(copy)) << copy;
    EXPECT_EQ(adtest::readFile(copy), adtest::readFile(source)) << copy;
  }
  EXPECT_EQ(adtest::readFile(victim), "not the program's");
  EXPECT_EQ(fs::status(victim).permissions(), fs::perms(0444));
  EXPECT_FALSE(fs::exists(adtest::testDir() / "nowhere"));
}

// The thumbnail rule: kept when it already fits one side exactly, else scaled so that
// the wider side (by 4:3) fills; small pictures are scaled up.
TEST_F(EngineTest, ThumbnailSizes) {
  struct Case {
    int w, h, tw, th;
  } cases[] = {{400, 300, 100, 75}, {400, 400, 75, 75}, {100, 50, 100, 50}, {1000, 300, 100, 30},
               {50, 30, 100, 60},   {720, 540, 100, 75}, {75, 100, 56, 75}, {80, 75, 80, 75},
               {100, 75, 100, 75},  {1, 1, 75, 75},     {4000, 1, 100, 1}};
  for (const Case& c : cases) {
    QmHandle pic = ImageCreate(c.w, c.h, 24, 9, 99, 199);
    const std::string target = work + "thumb.bmp";
    ASSERT_TRUE(engine->SaveImage(target, pic, 100, 75)) << c.w << "x" << c.h;
    const auto p = filePixels(target);
    EXPECT_EQ(p.width, c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(p.height, c.th) << c.w << "x" << c.h;
    for (const Rgb& px : p.rgb) ASSERT_EQ(px, (Rgb{9, 99, 199}));
    ImageFree(pic);
  }
  // A target ending in ".JPG" in any case is a JPEG file.
  QmHandle pic = ImageCreate(400, 300, 24, 9, 99, 199);
  for (const char* name : {"t.JPG", "t.jpg", "t.Jpg"}) {
    ASSERT_TRUE(engine->SaveImage(work + name, pic, 80, 60));
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo((work + name).c_str(), &info), 0);
    EXPECT_EQ(info.pictureType, QM_TYPE_JPEG) << name;
    EXPECT_EQ(info.width, 80);
  }
  EXPECT_FALSE(engine->SaveImage(work + "none.bmp", 0, 100, 75));
  ImageFree(pic);
}

struct YuvCase {
  uint32_t width, height;
  int64_t sizeDelta;
  const char* magic;
  bool ok;
  uint16_t recordHeight;  // what the record says (a field picture is stretched to 4:3)
  int thumbWidth, thumbHeight;
};

TEST_F(EngineTest, ImportsYuvFrames) {
  const YuvCase cases[] = {
      {720, 240, 0, "YUV0", true, 540, 100, 75},
      {720, 480, 0, "YUV0", true, 480, 100, 66},
      {720, 576, 0, "YUV0", true, 576, 93, 75},
      {720, 480, 16, "YUV0", false, 0, 0, 0},   // the head claims more data than the file holds
      {720, 480, -6, "YUV0", false, 0, 0, 0},   // less data than the picture needs
      {720, 480, 0, "YUV1", false, 0, 0, 0},
      {718, 480, 0, "YUV0", false, 0, 0, 0},    // rows are made of groups of four pixels
  };
  uint32_t position = 0;
  for (const YuvCase& c : cases) {
    mainWindow.received.clear();
    const std::string path = yuvFile("frame.yuv", c.width, c.height, 128, 128, 128, c.sizeDelta, c.magic);
    album.count = position;
    ASSERT_EQ(engine->LoadImage(path, position), c.ok) << c.width << "x" << c.height << " " << c.sizeDelta;
    const std::string base = work + "zbm1" + std::to_string(1000 + position).substr(1);
    if (!c.ok) {
      EXPECT_EQ(engine->ErrorCode, CImageOpe::kUnreadable);
      EXPECT_TRUE(mainWindow.received.empty());
      for (const char* left : {".yuv", "TN.bmp", ".bmp"})
        EXPECT_FALSE(fs::exists(base + left)) << "a frame not added leaves " << base + left;
      continue;
    }
    ASSERT_EQ(mainWindow.received.size(), 1u);
    const Reported& r = mainWindow.received[0];
    EXPECT_EQ(r.type, CImageOpe::kTypeYuv);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.recordHeight);
    EXPECT_EQ(r.working, work + "zbm1" + std::to_string(1000 + position).substr(1) + ".yuv");
    EXPECT_EQ(adtest::readFile(r.working), adtest::readFile(path)) << "the working copy is the frame file";
    EXPECT_FALSE(fs::exists(workspace::FileName(r.working).RemoveExt() + ".bmp")) << "temporary bitmap removed";
    const auto thumb = filePixels(r.thumbnail);
    EXPECT_EQ(thumb.width, c.thumbWidth);
    EXPECT_EQ(thumb.height, c.thumbHeight);
    for (const Rgb& px : thumb.rgb) ASSERT_EQ(px, (Rgb{128, 128, 128}));
    ++position;
  }
}

// A temporary bitmap left from an earlier run is never taken for a frame that fails.
TEST_F(EngineTest, StaleBitmapIsNotTakenForAFailedFrame) {
  solidBmp("old.bmp", 720, 480, Rgb{1, 2, 3});
  fs::copy_file(adtest::testDir() / "old.bmp", work + "zbm1000.bmp");
  EXPECT_FALSE(engine->LoadImage(yuvFile("bad.yuv", 720, 480, 1, 2, 3, 100), 0));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kUnreadable);
  EXPECT_TRUE(mainWindow.received.empty());
}

TEST_F(EngineTest, ImageCountsOfAlbumAndCaptureFiles) {
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t count;
  } cases[] = {
      {"a.qla", std::string("QLA\0\x05\x01\0\0", 8) + std::string(8, '\0'), 261},
      {"b.QLA", std::string("QLA\0\x03\0\0\0", 8) + std::string(8, '\0'), 3},
      {"c.qla", std::string("QLA\x01\x05\0\0\0", 8) + std::string(8, '\0'), 0},  // byte 3 must be 0
      {"d.qla", std::string("QLA\0\x05\0\0", 7), 0},                               // short head
      {"e.wza", std::string("WZA?\x32", 5), 50},
      {"f.wza", std::string("WZA?", 4), 0},
      {"g.wza", std::string("WZB?\x32", 5), 0},
      {"h.dvf", "anything", 1},
      {"i.yuv", "", 1},
  };
  for (const Case& c : cases) {
    const std::string path = (adtest::testDir() / c.name).string();
    adtest::writeFile(path, c.bytes);
    EXPECT_EQ(engine->GetImageCount(path), c.count) << c.name;
  }
  EXPECT_EQ(engine->GetImageCount((adtest::testDir() / "missing.qla").string()), 0u);
}

}  // namespace
