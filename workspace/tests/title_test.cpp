// The Exif segment writer and its readers, and title picture files.
#include <cstring>
#include <filesystem>

#include "engine_fixture.h"
#include "workspace/dcf_data.h"

namespace {

using namespace enginetest;
using pictest::Rgb;
namespace fs = std::filesystem;
using workspace::C_DCF_Data;
using workspace::CImageOpe;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return u16(p) | static_cast<uint32_t>(u16(p + 2)) << 16; }

std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

// Where everything lies in the segment with empty texts, with and without the note.
TEST(DcfData, LayoutWithAndWithoutMakerNote) {
  struct Case {
    uint8_t note;
    uint32_t ifd1, interop, tiffLength;
    uint16_t exifEntries;
  } cases[] = {{1, 418, 388, 512, 10}, {0, 372, 342, 466, 9}, {2, 372, 342, 466, 9}};
  for (const Case& c : cases) {
    C_DCF_Data d;
    d.Width = 640;
    d.Height = 480;
    d.ThumbnailLength = 3000;
    d.TitleNumber = 7;
    ASSERT_TRUE(d.MakeExif(c.note));
    ASSERT_EQ(d.TiffLength(), c.tiffLength);
    const uint8_t* s = d.Segment();
    EXPECT_EQ(std::memcmp(s, "\xFF\xE1", 2), 0);
    EXPECT_EQ(s[2] << 8 | s[3], static_cast<int>(c.tiffLength + 8 + 3000));
    EXPECT_EQ(std::memcmp(s + 4, "Exif\0\0II\x2A\0\x08\0\0\0", 14), 0);
    const uint8_t* t = s + 10;
    EXPECT_EQ(u16(t + 8), 10);
    const uint16_t ifd0Tags[] = {0x010E, 0x010F, 0x0110, 0x0112, 0x011A, 0x011B, 0x0128, 0x0132, 0x0213, 0x8769};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(u16(t + 10 + 12 * i), ifd0Tags[i]);
    // Empty texts are five blanks and a zero byte each.
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(u32(t + 10 + 12 * i + 4), 6u);
      EXPECT_EQ(u32(t + 10 + 12 * i + 8), 134u + 6 * i);
      EXPECT_EQ(std::memcmp(t + 134 + 6 * i, "     \0", 6), 0);
    }
    EXPECT_EQ(u32(t + 10 + 12 * 7 + 8), 168u) << "DateTime";
    EXPECT_EQ(std::memcmp(t + 168, "                   \0", 20), 0) << "never set: 19 blanks";
    EXPECT_EQ(u32(t + 10 + 12 * 9 + 8), 188u) << "Exif IFD";
    EXPECT_EQ(u32(t + 130), c.ifd1);
    EXPECT_EQ(u16(t + 188), c.exifEntries);
    EXPECT_EQ(u16(t + c.interop), 2);
    EXPECT_EQ(std::memcmp(t + c.interop + 2 + 8, "R98\0", 4), 0);
    EXPECT_EQ(u16(t + c.ifd1), 6);
    EXPECT_EQ(u32(t + c.ifd1 + 2 + 48 + 8), c.tiffLength) << "JPEGInterchangeFormat";
    EXPECT_EQ(u32(t + c.ifd1 + 2 + 60 + 8), 3000u) << "JPEGInterchangeFormatLength";
    const uint32_t note = C_DCF_Data::FindMakerNote(t, c.tiffLength);
    if (c.note == 1) {
      ASSERT_EQ(note, 354u);
      EXPECT_EQ(std::memcmp(t + 354, "ZEB \x02\0\x01\0\x03\0\x01\0\0\0\xFF\xFF\0\0\x20\0\x01\0\x01\0\0\0\x07\0\0\0\0\0\0\0", 34), 0);
      EXPECT_EQ(C_DCF_Data::FindTagValue(t, c.tiffLength, note), 7u);
    } else {
      EXPECT_EQ(note, 0u);
    }
  }
}

TEST(DcfData, TextsDatesAndLimits) {
  C_DCF_Data d;
  d.Description = "abcde";  // exactly 5: kept as it is
  d.Make = "ab";            // shorter: five blanks appended
  d.Model = "a longer model name";
  EXPECT_TRUE(d.SetDateTime(0, localTime(2006, 3, 9, 14, 7, 59)));
  EXPECT_TRUE(d.SetDateTime(1, localTime(1980, 1, 1, 0, 0, 0)));
  EXPECT_FALSE(d.SetDateTime(1, localTime(1979, 12, 31, 23, 59, 59))) << "before DOS times";
  EXPECT_STREQ(d.FirstDateTime(), "2006:03:09 14:07:58");
  EXPECT_STREQ(d.SecondDateTime(), "1980:01:01 00:00:00");
  ASSERT_TRUE(d.MakeExif(1));
  const uint8_t* t = d.Segment() + 10;
  EXPECT_EQ(u32(t + 14), 6u);
  EXPECT_EQ(u32(t + 26), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + u32(t + 30))), "ab     ");
  EXPECT_EQ(u32(t + 38), 20u);
  const uint32_t dateAt = u32(t + 10 + 12 * 7 + 8);
  EXPECT_STREQ(reinterpret_cast<const char*>(t + dateAt), "2006:03:09 14:07:58");

  // The segment's 16-bit length must hold the TIFF data and the thumbnail.
  C_DCF_Data big;
  big.ThumbnailLength = 65535 - 8 - 512;
  EXPECT_TRUE(big.MakeExif(1));
  C_DCF_Data tooBig;
  tooBig.ThumbnailLength = 65535 - 8 - 512 + 1;
  EXPECT_FALSE(tooBig.MakeExif(1));
  C_DCF_Data longTexts;
  longTexts.Description = std::string(40000, 'x');
  longTexts.Make = std::string(30000, 'y');
  EXPECT_FALSE(longTexts.MakeExif(0));
}

// The readers stay within the data whatever its offsets and counts say.
TEST(DcfData, ReadersCheckEveryOffset) {
  C_DCF_Data d;
  d.ThumbnailLength = 0;
  d.TitleNumber = 42;
  ASSERT_TRUE(d.MakeExif(1));
  std::vector<uint8_t> tiff(d.Segment() + 10, d.Segment() + 10 + d.TiffLength());
  for (size_t cut = 0; cut < tiff.size(); ++cut) {
    const uint32_t note = C_DCF_Data::FindMakerNote(tiff.data(), cut);
    if (note) {
      EXPECT_EQ(C_DCF_Data::FindTagValue(tiff.data(), cut, note), cut >= 354 + 30 ? 42u : C_DCF_Data::kNoTag);
    }
  }
  struct Poke {
    size_t at;
    std::vector<uint8_t> bytes;
  } pokes[] = {
      {4, {0xF0, 0xFF, 0xFF, 0xFF}},  // IFD0 beyond the data
      {8, {0xFF, 0xFF}},              // IFD0 entry count beyond the data
      {10 + 4, {0xFF, 0xFF, 0xFF, 0x7F}},  // a huge text
      {246, {0xF0, 0xFF, 0xFF, 0xFF}},  // the maker note beyond the data
      {188, {0x04, 0x00}},            // the Exif IFD ends before the maker note's entry
      {0, {'M', 'M'}},                // not this writer's byte order
  };
  for (const Poke& p : pokes) {
    auto bad = tiff;
    std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + static_cast<ptrdiff_t>(p.at));
    const uint32_t note = C_DCF_Data::FindMakerNote(bad.data(), bad.size());
    if (note) {
      EXPECT_NE(C_DCF_Data::FindTagValue(bad.data(), bad.size(), note), 42u) << p.at;
    }
  }
  EXPECT_EQ(C_DCF_Data::FindTagValue(tiff.data(), tiff.size(), 0xFFFFFFF0u), C_DCF_Data::kNoTag);
}

workspace::TitleRecord record(uint8_t note, uint8_t number) {
  workspace::TitleRecord r;
  r.makerNote = note;
  r.titleNumber = number;
  return r;
}

// A title file: FF D8, the segment with its thumbnail, then the picture's data from its
// first quantisation table; no temporary left.
TEST_F(EngineTest, TitleFileLayout) {
  QmHandle pic = pictest::make(640, 480, [](int x, int y) { return Rgb{uint8_t(x / 3), uint8_t(y / 2), 90}; });
  const auto r = record(1, 7);
  const std::string target = (adtest::testDir() / "TITLE001.TTL").string();
  adtest::writeFile(target, std::string(500000, 'o'));  // a longer old file is replaced whole
  ASSERT_TRUE(engine->SaveDcfJpeg(target, pic, 75, &r));
  const std::string f = adtest::readFile(target);
  const auto* b = reinterpret_cast<const uint8_t*>(f.data());
  ASSERT_GT(f.size(), 600u);
  EXPECT_EQ(std::memcmp(b, "\xFF\xD8\xFF\xE1", 4), 0);
  const size_t L = static_cast<size_t>(b[4] << 8 | b[5]);
  const uint32_t tiffLength = 512;
  const size_t T = L - 8 - tiffLength;
  EXPECT_EQ(std::memcmp(b + 4 + L - T, "\xFF\xD8\xFF\xDB", 4), 0) << "the thumbnail: FF D8, then its tables";
  EXPECT_EQ(std::memcmp(b + 2 + L + 2, "\xFF\xDB", 2), 0) << "the picture's data follows the segment";
  EXPECT_EQ(std::memcmp(b + f.size() - 2, "\xFF\xD9", 2), 0);
  EXPECT_EQ(u32(b + 12 + 418 + 2 + 60 + 8), T) << "IFD1 names the thumbnail's length";
  EXPECT_EQ(u32(b + 12 + 188 + 2 + 12 * 7 + 8), 640u) << "PixelXDimension";
  EXPECT_EQ(workspace::ReadTitleNumber(b, f.size()), std::optional<uint16_t>(7));
  EXPECT_FALSE(fs::exists(work + "tn.jpg"));
  EXPECT_FALSE(fs::exists(work + "temp.jpg"));

  // The date-times are the moment of the save, in local time (2-second steps).
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char expected[20];
  std::strftime(expected, sizeof expected, "%Y:%m:%d %H:%M", &local);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 12 + 168), 16), std::string(expected, 16))
      << "within the minute of the save";

  // The picture reads back as a JPEG of the picture's size; its thumbnail is 160 x 120.
  QmHandle back = ImageFileLoad(target.c_str());
  ASSERT_NE(back, 0u);
  EXPECT_EQ(pictest::read(back).width, 640);
  ImageFree(back);
  const std::string thumb = (adtest::testDir() / "thumb.jpg").string();
  adtest::writeFile(thumb, f.substr(4 + L - T, T));
  ImageFileInfoRecord info;
  ASSERT_NE(ImageFileInfo(thumb.c_str(), &info), 0);
  EXPECT_EQ(info.width, 160);
  EXPECT_EQ(info.height, 120);
  ImageFree(pic);
}

// Thumbnails fill 160 x 120 unless the aspect differs: a portrait stands 90 wide in the
// middle of white.
TEST_F(EngineTest, TitleThumbnails) {
  struct Case {
    int w, h;
    int left, width;
  } cases[] = {{640, 480, 0, 160}, {720, 540, 0, 160}, {480, 640, 35, 90}};
  for (const Case& c : cases) {
    QmHandle pic = ImageCreate(c.w, c.h, 24, 0, 0, 0);
    const auto r = record(0, 0);
    const std::string target = (adtest::testDir() / "t.ttl").string();
    ASSERT_TRUE(engine->SaveDcfJpeg(target, pic, 90, &r));
    const std::string f = adtest::readFile(target);
    const auto* b = reinterpret_cast<const uint8_t*>(f.data());
    const size_t L = static_cast<size_t>(b[4] << 8 | b[5]);
    const size_t T = u32(b + 12 + 372 + 2 + 60 + 8);
    const std::string thumb = (adtest::testDir() / "thumb.jpg").string();
    adtest::writeFile(thumb, f.substr(4 + L - T, T));
    const auto p = filePixels(thumb);
    ASSERT_EQ(p.width, 160);
    ASSERT_EQ(p.height, 120);
    for (int x = 0; x < 160; x += 4) {
      const bool inside = x >= c.left + 2 && x < c.left + c.width - 2;  // away from the JPEG's blur at the edges
      const bool outside = x < c.left - 2 || x >= c.left + c.width + 2;
      if (inside) {
        EXPECT_LT(p.at(x, 60).r, 40) << c.w << "x" << c.h << " at " << x;
      }
      if (outside) {
        EXPECT_GT(p.at(x, 60).r, 215) << c.w << "x" << c.h << " at " << x;
      }
    }
    ImageFree(pic);
  }
}

TEST_F(EngineTest, ImportsTitleFiles) {
  QmHandle pic = ImageCreate(320, 240, 24, 50, 60, 70);
  const std::string with = (adtest::testDir() / "with.ttl").string();
  const std::string without = (adtest::testDir() / "WITHOUT.TTL").string();
  const auto on = record(1, 200);
  const auto off = record(0, 200);
  ASSERT_TRUE(engine->SaveDcfJpeg(with, pic, 75, &on));
  ASSERT_TRUE(engine->SaveDcfJpeg(without, pic, 75, &off));
  ImageFree(pic);
  // A JPEG named .ttl: no title number, imported all the same.
  const std::string foreign = (adtest::testDir() / "foreign.ttl").string();
  fs::copy_file(pictest::fixture("jpeg_exif.jpg"), foreign);

  struct Case {
    std::string path;
    uint16_t title;
    int width;
  } cases[] = {{with, 200, 320}, {without, CImageOpe::kNoTitle, 320}, {foreign, CImageOpe::kNoTitle, 37}};
  uint32_t position = 0;
  for (const Case& c : cases) {
    album.count = position;
    ASSERT_TRUE(engine->LoadImage(c.path, position)) << c.path;
    ASSERT_EQ(mainWindow.received.size(), position + 1);
    const Reported& r = mainWindow.received.back();
    EXPECT_EQ(r.title, c.title) << c.path;
    EXPECT_EQ(r.type, QM_TYPE_JPEG_EXIF);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(workspace::FileName(r.working).GetExt(), "jpg");
    ++position;
  }
  // The album limit comes before the file is opened.
  album.count = 200;
  EXPECT_FALSE(engine->LoadImage(with, 200));
  EXPECT_EQ(engine->ErrorCode, CImageOpe::kAlbumFull);
  EXPECT_EQ(album.frameOver, 1);
  album.count = 3;
  EXPECT_FALSE(engine->LoadImage(pictest::fixture("broken_text.bmp"), 3));
  fs::copy_file(pictest::fixture("broken_text.bmp"), adtest::testDir() / "junk.ttl");
  EXPECT_FALSE(engine->LoadImage((adtest::testDir() / "junk.ttl").string(), 3));
  EXPECT_EQ(engine->TitleNumber, CImageOpe::kNoTitle);
}

// A title file that cannot be written leaves nothing behind, and an old file stays.
TEST_F(EngineTest, FailedTitleWriteLeavesNoFile) {
  QmHandle pic = ImageCreate(64, 48, 24, 1, 2, 3);
  const auto r = record(1, 1);
  const std::string target = (adtest::testDir() / "none/TITLE001.TTL").string();
  EXPECT_FALSE(engine->SaveDcfJpeg(target, pic, 75, &r));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(engine->SaveDcfJpeg((adtest::testDir() / "x.ttl").string(), 0, 75, &r)) << "no picture";
  EXPECT_FALSE(fs::exists(adtest::testDir() / "x.ttl"));
  EXPECT_FALSE(fs::exists(work + "tn.jpg"));
  EXPECT_FALSE(fs::exists(work + "temp.jpg"));
  ImageFree(pic);
}

}  // namespace
