// The Exif reader and the file information on files built byte by byte: both byte
// orders, short values held in the entry itself, damaged and hostile structures, and
// the comment and APP1 segment rules.
#include <unistd.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;
using Entry = TiffBuilder::Entry;

namespace {

// A JFIF file made by the module itself.
std::string savedJpeg(int w, int h, int quality) {
  Picture pic = makePicture(w, h, 3);
  QmHandle dib = makeDib(pic);
  fs::path file = fs::temp_directory_path() / ("qmjpeg-base-" + std::to_string(::getpid()) + ".jpg");
  EXPECT_EQ(_QMJpegFileSave(file.c_str(), dib, 0, quality, 0, nullptr, 1, 0, 0, 0), 1);
  QmGlobalFree(dib);
  std::string bytes = readFile(file);
  fs::remove(file);
  return bytes;
}

// The small base of the built files.
const std::string& baseJpeg() {
  static std::string jpeg = savedJpeg(24, 16, 75);
  return jpeg;
}

fs::path writeJpeg(const std::string& bytes) {
  fs::path file = adtest::testDir() / "built.jpg";
  writeFile(file, bytes);
  return file;
}

struct ExifResult {
  bool ok;
  int32_t status;
  EXIFINFO info;
};

ExifResult readExif(const std::string& jpeg) {
  fs::path file = writeJpeg(jpeg);
  ExifResult r{};
  std::memset(&r.info, 0xCD, sizeof r.info);
  r.ok = _QMJpegExifInfo(file.c_str(), &r.info) == 1;
  r.status = GetErrorStatus();
  return r;
}

ExifResult readTiff(const TiffBuilder& b, const std::string& id = std::string("Exif\0\0", 6)) {
  return readExif(insertAfterApp0(baseJpeg(), exifSegment(b.build(), id)));
}

}  // namespace

TEST(ExifReader, ValuesInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    TiffBuilder b(big);
    int exifIfd = 2;
    int ifd0 = b.addIfd({
        b.shortEntry(274, {6}),
        b.rationalEntry(282, 300, 1),
        b.textEntry(271, std::string("abc\0", 4)),           // four bytes: inside the entry
        b.textEntry(272, std::string("Model with a long name\0", 23)),
        b.textEntry(306, std::string("2024:01:02 03:04:05\0", 20)),
        Entry{34665, 4, 1, "", exifIfd},
    });
    int ifd1 = b.addIfd({b.shortEntry(259, {6}), b.textEntry(271, std::string("x\0", 2))});
    b.addIfd({
        b.textEntry(37520, std::string("12\0", 3)),          // three bytes: inside the entry
        b.textEntry(37521, std::string("1\0", 2)),
        Entry{36864, 7, 4, "0232"},
        Entry{37121, 7, 4, std::string("\1\2\3\0", 4)},
        Entry{41728, 7, 1, "\3"},
        Entry{41729, 7, 1, "\1"},
        b.shortEntry(40962, {640}),                           // SHORT or LONG, as writers choose
        b.longEntry(40963, 480),
        b.shortEntry(41492, {10, 20}),
        b.shortEntry(34855, {200}),
        b.rationalEntry(33434, 1, 250),
        Entry{37380, 10, 1, b.u32(static_cast<uint32_t>(-7)) + b.u32(10)},
        b.textEntry(37510, std::string("ASCII\0\0\0hello", 13), 7),
        b.textEntry(37500, std::string("maker\0note", 10), 7),
    });
    b.chain({ifd0, ifd1});
    ExifResult r = readTiff(b);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, QM_STATUS_OK);
    const EXIFINFO& x = r.info;
    EXPECT_EQ(x.Ifd0.Orientation, 6);
    EXPECT_EQ(x.Ifd0.XResolution.Numerator, 300u);
    EXPECT_EQ(x.Ifd0.XResolution.Denominator, 1u);
    EXPECT_STREQ(x.Ifd0.Make, "abc");
    EXPECT_STREQ(x.Ifd0.Model, "Model with a long name");
    EXPECT_STREQ(x.Ifd0.DateTime, "2024:01:02 03:04:05");
    EXPECT_EQ(x.Ifd1.Compression, 6);
    EXPECT_STREQ(x.Ifd1.Make, "x");
    EXPECT_STREQ(x.SubSecTime, "12");
    EXPECT_STREQ(x.SubSecTimeOriginal, "1");
    EXPECT_STREQ(x.ExifVersion, "0232");
    EXPECT_STREQ(x.ComponentsConfiguration, "1230");
    EXPECT_EQ(x.FileSource, 3);
    EXPECT_EQ(x.SceneType, 1);
    EXPECT_EQ(x.PixelXDimension, 640u);
    EXPECT_EQ(x.PixelYDimension, 480u);
    EXPECT_EQ(x.SubjectLocationX, 10);
    EXPECT_EQ(x.SubjectLocationY, 20);
    EXPECT_EQ(x.ISOSpeedRatings, 200);
    EXPECT_EQ(x.ExposureTime.Denominator, 250u);
    EXPECT_EQ(static_cast<int32_t>(x.ExposureBiasValue.Numerator), -7);
    EXPECT_STREQ(x.UserCommentCode, "ASCII");
    EXPECT_STREQ(x.UserComment, "hello");
    EXPECT_STREQ(x.MakerNote, "maker");
    // Fields the file does not carry are cleared, not left as they were.
    EXPECT_EQ(x.Thumbnail, 0u);
    EXPECT_EQ(x.Flash, 0);
    EXPECT_STREQ(x.Ifd0.Software, "");
  }
}

TEST(ExifReader, StructureRules) {
  struct Case {
    const char* name;
    std::function<void(TiffBuilder&)> build;
    std::function<void(const EXIFINFO&)> check;
    std::string id = std::string("Exif\0\0", 6);
  };
  std::vector<Case> cases = {
      {"identifier in small letters",
       [](TiffBuilder& b) { b.chain({b.addIfd({b.shortEntry(274, {3})})}); },
       [](const EXIFINFO& x) { EXPECT_EQ(x.Ifd0.Orientation, 3); }, std::string("exif\0\0", 6)},
      {"a third directory is not read",
       [](TiffBuilder& b) {
         int a = b.addIfd({b.textEntry(305, std::string("zero\0", 5))});
         int c = b.addIfd({b.textEntry(305, std::string("one\0", 4))});
         int d = b.addIfd({b.textEntry(305, std::string("two\0", 4)), b.shortEntry(274, {8})});
         b.chain({a, c, d});
       },
       [](const EXIFINFO& x) {
         EXPECT_STREQ(x.Ifd0.Software, "zero");
         EXPECT_STREQ(x.Ifd1.Software, "one");
         EXPECT_EQ(x.Ifd0.Orientation, 0);
         EXPECT_EQ(x.Ifd1.Orientation, 0);
       }},
      {"user comment of only a character code",
       [](TiffBuilder& b) {
         b.chain({b.addIfd({Entry{34665, 4, 1, "", 1}})});
         b.addIfd({b.textEntry(37510, std::string("ASCII\0\0\0", 8), 7)});
       },
       [](const EXIFINFO& x) {
         EXPECT_STREQ(x.UserCommentCode, "ASCII");
         EXPECT_STREQ(x.UserComment, "");
       }},
      {"user comment of 20 bytes",
       [](TiffBuilder& b) {
         b.chain({b.addIfd({Entry{34665, 4, 1, "", 1}})});
         b.addIfd({b.textEntry(37510, std::string("UNICODE\0", 8) + "twelve bytes", 7)});
       },
       [](const EXIFINFO& x) {
         EXPECT_EQ(std::string(x.UserCommentCode, 7), "UNICODE");
         EXPECT_STREQ(x.UserComment, "twelve bytes");
       }},
      {"texts longer than their field are cut",
       [](TiffBuilder& b) {
         b.chain({b.addIfd({b.textEntry(306, std::string(40, 'd') + '\0'),
                            b.textEntry(270, std::string(3000, 'i') + '\0')})});
       },
       [](const EXIFINFO& x) {
         EXPECT_EQ(std::string(x.Ifd0.DateTime), std::string(19, 'd'));
         EXPECT_EQ(std::string(x.Ifd0.ImageDescription), std::string(1023, 'i'));
       }},
      {"a count far beyond the data copies only what is there",
       [](TiffBuilder& b) {
         Entry make = b.textEntry(271, "");
         make.count = 0xFFFFFFF0u;
         make.offsetOverride = true;
         make.offset = 8;  // the directory itself
         b.chain({b.addIfd({b.shortEntry(274, {5}), make})});
       },
       [](const EXIFINFO& x) {
         EXPECT_EQ(x.Ifd0.Orientation, 5);
         EXPECT_LT(std::strlen(x.Ifd0.Make), 1024u);
       }},
      {"a directory that runs past the data keeps what came before",
       [](TiffBuilder& b) {
         int a = b.addIfd({b.shortEntry(274, {7}), b.rationalEntry(282, 72, 1)});
         b.chain({a});
         // Claims far more entries than the data holds: patched below.
       },
       [](const EXIFINFO& x) {
         EXPECT_EQ(x.Ifd0.Orientation, 7);
         EXPECT_EQ(x.Ifd0.XResolution.Numerator, 72u);
       }},
      {"offsets past the end leave their fields empty",
       [](TiffBuilder& b) {
         Entry rational = b.rationalEntry(283, 1, 1);
         rational.offsetOverride = true;
         rational.offset = 0xFFFFFFF8u;
         Entry sub{34665, 4, 1, ""};
         sub.offsetOverride = true;
         sub.offset = 0x7FFFFFFFu;
         b.chain({b.addIfd({b.shortEntry(274, {2}), sub, rational})});
       },
       [](const EXIFINFO& x) {
         EXPECT_EQ(x.Ifd0.Orientation, 2);
         EXPECT_EQ(x.Ifd0.YResolution.Denominator, 0u);
       }},
  };
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (big ? " (big-endian)" : " (little-endian)"));
      TiffBuilder b(big);
      c.build(b);
      std::string tiff = b.build();
      if (std::string(c.name).find("runs past") != std::string::npos) {
        // Entry count 0x00FF, then cut the data just after the two real entries.
        tiff[8] = big ? 0 : '\xFF';
        tiff[9] = big ? '\xFF' : 0;
        tiff.resize(8 + 2 + 2 * 12 + 4 + 8);  // the rational's value stays
      }
      uint32_t blocks = QmGlobalCount();
      ExifResult r = readExif(insertAfterApp0(baseJpeg(), exifSegment(tiff, c.id)));
      EXPECT_TRUE(r.ok);
      EXPECT_EQ(r.status, QM_STATUS_OK);
      c.check(r.info);
      EXPECT_EQ(QmGlobalCount(), blocks);
    }
  }
}

TEST(ExifReader, Thumbnail) {
  // The thumbnail is a JPEG of its own, inside IFD1.
  std::string thumb = baseJpeg();
  struct Case {
    const char* name;
    bool lengthFirst;
    uint32_t offsetOverride;  // 0: the real offset
    bool decodes;
  } cases[] = {
      {"offset then length", false, 0, true},
      {"length before offset", true, 0, true},
      {"offset past the end", false, 0x10000, false},
  };
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (big ? " (big-endian)" : " (little-endian)"));
      TiffBuilder b(big);
      int a = b.addIfd({b.shortEntry(274, {1})});
      Entry offset = b.longEntry(513, 0);
      if (c.offsetOverride) {
        offset.offsetOverride = true;
        offset.offset = c.offsetOverride;
      }
      Entry length = b.longEntry(514, static_cast<uint32_t>(thumb.size()));
      std::vector<Entry> entries{b.rationalEntry(282, 144, 2), b.rationalEntry(283, 299, 3)};
      if (c.lengthFirst) {
        entries.push_back(length), entries.push_back(offset);
      } else {
        entries.push_back(offset), entries.push_back(length);
      }
      int t = b.addIfd(entries);
      b.chain({a, t});
      b.setThumbnail(t, thumb);
      ExifResult r = readTiff(b);
      ASSERT_TRUE(r.ok);
      EXPECT_EQ(r.status, QM_STATUS_OK);
      EXPECT_EQ(r.info.Thumbnail != 0, c.decodes);
      if (r.info.Thumbnail) {
        Raster raster = dibRaster(r.info.Thumbnail);
        EXPECT_EQ(raster.width, 24);
        EXPECT_EQ(raster.height, 16);
        // 144/2 = 72 and 299/3 + 0.5 = 100 dots per inch.
        EXPECT_EQ(raster.xPpm, CovertDotI2M(72));
        EXPECT_EQ(raster.yPpm, CovertDotI2M(100));
        QmGlobalFree(r.info.Thumbnail);
      }
    }
  }
}

TEST(ExifReader, ThumbnailCutShortStillDecodesWithoutReadingPastIt) {
  std::string thumb = savedJpeg(96, 64, 95);
  TiffBuilder b(false);
  int a = b.addIfd({});
  int t = b.addIfd({b.longEntry(513, 0), b.longEntry(514, static_cast<uint32_t>(thumb.size()))});
  b.chain({a, t});
  // Only the first two thirds of the thumbnail are inside the payload.
  b.setThumbnail(t, thumb.substr(0, thumb.size() * 2 / 3));
  ExifResult r = readTiff(b);
  ASSERT_TRUE(r.ok);
  ASSERT_NE(r.info.Thumbnail, 0u);
  EXPECT_EQ(dibRaster(r.info.Thumbnail).width, 96);
  QmGlobalFree(r.info.Thumbnail);
}

TEST(ExifReader, SegmentsAroundTheExifData) {
  TiffBuilder first(false);
  first.chain({first.addIfd({first.shortEntry(274, {6})})});
  TiffBuilder second(true);
  second.chain({second.addIfd({second.shortEntry(274, {8})})});
  std::string app1Short = segment(0xE1, "Exi");  // three data bytes: too short to be Exif
  struct Case {
    const char* name;
    std::string jpeg;
    bool ok;
    int32_t status;
    uint16_t orientation;
  } cases[] = {
      {"no Exif at all", baseJpeg(), true, QM_STATUS_OK, 0},
      {"only the first Exif segment counts",
       insertAfterApp0(insertAfterApp0(baseJpeg(), exifSegment(second.build())), exifSegment(first.build())), true,
       QM_STATUS_OK, 6},
      {"short APP1 then Exif", insertAfterApp0(insertAfterApp0(baseJpeg(), exifSegment(first.build())), app1Short),
       true, QM_STATUS_OK, 6},
      {"APP1 with a length below 2", insertAfterApp0(baseJpeg(), std::string("\xFF\xE1\x00\x01", 4)), true,
       QM_STATUS_OK, 0},
      {"Exif, then a broken header", exifSegment(first.build()).insert(0, "\xFF\xD8") + "\xFF\x01garbage", false,
       QM_STATUS_LOAD_FAILED, 0},
      {"not a JPEG file", "GIF89a", false, QM_STATUS_FAILED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t blocks = QmGlobalCount();
    ExifResult r = readExif(c.jpeg);
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.info.Ifd0.Orientation, c.orientation);
    EXIFINFO zero{};
    if (!c.orientation) {
      EXPECT_EQ(std::memcmp(&r.info, &zero, sizeof zero), 0) << "record cleared";
    }
    EXPECT_EQ(QmGlobalCount(), blocks);
  }
}

TEST(JpegFileInfo, FieldsOfBuiltFiles) {
  std::string plain = baseJpeg();
  std::string longComment = segment(0xFE, std::string(2000, 'c'));
  TiffBuilder b(false);
  b.chain({b.addIfd({})});
  struct Case {
    const char* name;
    std::string jpeg;
    uint16_t format;
    std::string comment;
  } cases[] = {
      {"plain", plain, 4, ""},
      {"comment of 2000 bytes", insertAfterApp0(plain, longComment), 4, std::string(1023, 'c')},
      {"a later comment replaces an earlier one",
       insertAfterApp0(insertAfterApp0(plain, segment(0xFE, "x")), longComment), 4, "x"},
      {"APP1 of three bytes", insertAfterApp0(plain, segment(0xE1, "abc")), 4, ""},
      {"Exif identifier in small letters", insertAfterApp0(plain, exifSegment(b.build(), std::string("exif\0\0", 6))),
       23, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = writeJpeg(c.jpeg);
    JPEGFILEINFO info;
    std::memset(&info, 0xAA, sizeof info);
    ASSERT_EQ(_QMJpegFileInfo(file.c_str(), &info), 1);
    EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);
    EXPECT_EQ(info.BitCount, 24);
    EXPECT_EQ(info.Width, 24u);
    EXPECT_EQ(info.Height, 16u);
    EXPECT_EQ(info.RowBytes, 72u);
    EXPECT_EQ(info.ImageBytes, 72u * 16);
    EXPECT_EQ(info.Format, c.format);
    EXPECT_EQ(info.Progressive, 0);
    EXPECT_EQ(info.Pictures, 1);
    EXPECT_EQ(std::string(info.Comment), c.comment);
    // The file has no density in dots: the caller's resolution stays, as do the unused bytes.
    EXPECT_EQ(info.XDpi, 0xAAAAAAAAu);
    EXPECT_EQ(info.YDpi, 0xAAAAAAAAu);
    EXPECT_EQ(info.reserved0[0], 0xAA);
    EXPECT_EQ(info.reserved1[5], 0xAA);
  }
}
