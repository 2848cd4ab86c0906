// File information and Exif values compared with what exiftool and exiv2 read from
// files that exiftool wrote, in both byte orders, with and without a thumbnail.
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

std::vector<std::string> splitTabs(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::vector<std::string> out;
  std::string cell;
  std::istringstream s(line);
  while (std::getline(s, cell, '\t')) out.push_back(cell);
  if (!line.empty() && line.back() == '\t') out.push_back("");
  return out;
}

// exiftool -n -T: one line, the tags' values in order, "-" for a missing tag.
std::vector<std::string> exiftoolValues(const fs::path& file, const std::vector<std::string>& tags) {
  std::vector<std::string> argv{"exiftool", "-n", "-T"};
  for (const auto& t : tags) argv.push_back("-" + t);
  argv.push_back(file.string());
  return splitTabs(run(argv));
}

bool sameValue(const std::string& ours, const std::string& tool) {
  char* end1 = nullptr;
  char* end2 = nullptr;
  double a = std::strtod(ours.c_str(), &end1);
  double b = std::strtod(tool.c_str(), &end2);
  if (!ours.empty() && !tool.empty() && *end1 == 0 && *end2 == 0) return std::fabs(a - b) <= 1e-9 * std::fabs(b);
  return ours == tool;
}

std::string num(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  return s.str();
}
// A rational as a number; "" when the file has none.
std::string rational(const EXIFRATIONAL& r) { return r.Denominator ? num(double(r.Numerator) / r.Denominator) : ""; }
std::string srational(const EXIFRATIONAL& r) {
  return r.Denominator ? num(double(int32_t(r.Numerator)) / int32_t(r.Denominator)) : "";
}
// exiftool reports the APEX values as what they stand for: an f-number, an exposure time.
std::string apexAperture(const EXIFRATIONAL& r) {
  return r.Denominator ? num(std::pow(2.0, double(r.Numerator) / r.Denominator / 2)) : "";
}
std::string apexShutter(const EXIFRATIONAL& r) {
  return r.Denominator ? num(std::pow(2.0, -double(int32_t(r.Numerator)) / int32_t(r.Denominator))) : "";
}
std::string fraction(const EXIFRATIONAL& r, bool isSigned) {
  return isSigned ? std::to_string(int32_t(r.Numerator)) + "/" + std::to_string(int32_t(r.Denominator))
                  : std::to_string(r.Numerator) + "/" + std::to_string(r.Denominator);
}

struct Field {
  const char* exiftoolTag;
  std::function<std::string(const EXIFINFO&)> ours;
  const char* exiv2Key = nullptr;  // rationals: compared exactly with exiv2's fraction
  std::function<const EXIFRATIONAL&(const EXIFINFO&)> rationalOf = nullptr;
  bool isSigned = false;
};

#define TEXT(tag, member) {tag, [](const EXIFINFO& x) { return std::string(x.member); }}
#define NUMBER(tag, member) {tag, [](const EXIFINFO& x) { return std::to_string(x.member); }}
#define RATIONAL(tag, member, key)                                                              \
  {tag, [](const EXIFINFO& x) { return rational(x.member); }, key,                             \
   [](const EXIFINFO& x) -> const EXIFRATIONAL& { return x.member; }, false}
#define CONVERTED(tag, member, key, convert, isSigned)                                          \
  {tag, [](const EXIFINFO& x) { return convert(x.member); }, key,                              \
   [](const EXIFINFO& x) -> const EXIFRATIONAL& { return x.member; }, isSigned}
#define SRATIONAL(tag, member, key)                                                             \
  {tag, [](const EXIFINFO& x) { return srational(x.member); }, key,                            \
   [](const EXIFINFO& x) -> const EXIFRATIONAL& { return x.member; }, true}

const std::vector<Field>& fields() {
  static const std::vector<Field> f = {
      NUMBER("IFD0:Orientation", Ifd0.Orientation),
      NUMBER("IFD0:YCbCrPositioning", Ifd0.YCbCrPositioning),
      RATIONAL("IFD0:XResolution", Ifd0.XResolution, "Exif.Image.XResolution"),
      RATIONAL("IFD0:YResolution", Ifd0.YResolution, "Exif.Image.YResolution"),
      NUMBER("IFD0:ResolutionUnit", Ifd0.ResolutionUnit),
      TEXT("IFD0:ModifyDate", Ifd0.DateTime),
      TEXT("IFD0:ImageDescription", Ifd0.ImageDescription),
      TEXT("IFD0:Make", Ifd0.Make),
      TEXT("IFD0:Model", Ifd0.Model),
      TEXT("IFD0:Software", Ifd0.Software),
      TEXT("IFD0:Artist", Ifd0.Artist),
      TEXT("IFD0:Copyright", Ifd0.Copyright),
      TEXT("ExifIFD:ExifVersion", ExifVersion),
      TEXT("ExifIFD:FlashpixVersion", FlashpixVersion),
      NUMBER("ExifIFD:ColorSpace", ColorSpace),
      NUMBER("ExifIFD:ExifImageWidth", PixelXDimension),
      NUMBER("ExifIFD:ExifImageHeight", PixelYDimension),
      {"ExifIFD:ComponentsConfiguration",
       [](const EXIFINFO& x) {
         std::string s;
         for (const char* c = x.ComponentsConfiguration; *c; ++c) s += std::string(s.empty() ? "" : " ") + *c;
         return s;
       }},
      RATIONAL("ExifIFD:CompressedBitsPerPixel", CompressedBitsPerPixel, "Exif.Photo.CompressedBitsPerPixel"),
      TEXT("ExifIFD:UserComment", UserComment),
      TEXT("ExifIFD:DateTimeOriginal", DateTimeOriginal),
      TEXT("ExifIFD:CreateDate", DateTimeDigitized),
      TEXT("ExifIFD:SubSecTime", SubSecTime),
      TEXT("ExifIFD:SubSecTimeOriginal", SubSecTimeOriginal),
      TEXT("ExifIFD:SubSecTimeDigitized", SubSecTimeDigitized),
      RATIONAL("ExifIFD:ExposureTime", ExposureTime, "Exif.Photo.ExposureTime"),
      CONVERTED("ExifIFD:ShutterSpeedValue", ShutterSpeedValue, "Exif.Photo.ShutterSpeedValue", apexShutter, true),
      CONVERTED("ExifIFD:ApertureValue", ApertureValue, "Exif.Photo.ApertureValue", apexAperture, false),
      SRATIONAL("ExifIFD:BrightnessValue", BrightnessValue, "Exif.Photo.BrightnessValue"),
      SRATIONAL("ExifIFD:ExposureCompensation", ExposureBiasValue, "Exif.Photo.ExposureBiasValue"),
      CONVERTED("ExifIFD:MaxApertureValue", MaxApertureValue, "Exif.Photo.MaxApertureValue", apexAperture, false),
      RATIONAL("ExifIFD:SubjectDistance", SubjectDistance, "Exif.Photo.SubjectDistance"),
      NUMBER("ExifIFD:MeteringMode", MeteringMode),
      NUMBER("ExifIFD:LightSource", LightSource),
      NUMBER("ExifIFD:Flash", Flash),
      RATIONAL("ExifIFD:FocalLength", FocalLength, "Exif.Photo.FocalLength"),
      RATIONAL("ExifIFD:FNumber", FNumber, "Exif.Photo.FNumber"),
      NUMBER("ExifIFD:ExposureProgram", ExposureProgram),
      TEXT("ExifIFD:SpectralSensitivity", SpectralSensitivity),
      NUMBER("ExifIFD:ISO", ISOSpeedRatings),
      RATIONAL("ExifIFD:FlashEnergy", FlashEnergy, "Exif.Photo.FlashEnergy"),
      RATIONAL("ExifIFD:FocalPlaneXResolution", FocalPlaneXResolution, "Exif.Photo.FocalPlaneXResolution"),
      RATIONAL("ExifIFD:FocalPlaneYResolution", FocalPlaneYResolution, "Exif.Photo.FocalPlaneYResolution"),
      NUMBER("ExifIFD:FocalPlaneResolutionUnit", FocalPlaneResolutionUnit),
      {"ExifIFD:SubjectLocation",
       [](const EXIFINFO& x) {
         return std::to_string(x.SubjectLocationX) + " " + std::to_string(x.SubjectLocationY);
       }},
      RATIONAL("ExifIFD:ExposureIndex", ExposureIndex, "Exif.Photo.ExposureIndex"),
      NUMBER("ExifIFD:SensingMethod", SensingMethod),
      NUMBER("ExifIFD:FileSource", FileSource),
      NUMBER("ExifIFD:SceneType", SceneType),
      NUMBER("IFD1:Compression", Ifd1.Compression),
      RATIONAL("IFD1:XResolution", Ifd1.XResolution, "Exif.Thumbnail.XResolution"),
      RATIONAL("IFD1:YResolution", Ifd1.YResolution, "Exif.Thumbnail.YResolution"),
      NUMBER("IFD1:ResolutionUnit", Ifd1.ResolutionUnit),
  };
  return f;
}

// Tags exiftool writes into the fixtures (short texts included: they sit in the entry).
std::vector<std::string> exifWrites(bool bigEndian, bool thumbnail, const fs::path& thumb) {
  std::vector<std::string> a = {
      std::string("-ExifByteOrder=") + (bigEndian ? "Big-endian" : "Little-endian"),
      "-IFD0:ImageDescription=a picture", "-IFD0:Make=abc", "-IFD0:Model=Test Model 7",
      "-IFD0:Software=albumtest", "-IFD0:Artist=A. Person", "-IFD0:Copyright=(c) nobody",
      "-IFD0:ModifyDate=2024:01:02 03:04:05", "-IFD0:Orientation#=6", "-IFD0:XResolution=300",
      "-IFD0:YResolution=300", "-IFD0:ResolutionUnit#=2", "-IFD0:YCbCrPositioning#=2",
      "-ExifIFD:ExposureTime=0.004", "-ExifIFD:FNumber=2.8", "-ExifIFD:ExposureProgram#=3", "-ExifIFD:ISO=200",
      "-ExifIFD:ExifVersion=0232", "-ExifIFD:DateTimeOriginal=2024:01:02 03:04:05",
      "-ExifIFD:CreateDate=2024:01:02 03:04:06", "-ExifIFD:ComponentsConfiguration#=1 2 3 0",
      "-ExifIFD:CompressedBitsPerPixel=4", "-ExifIFD:ShutterSpeedValue=0.004", "-ExifIFD:ApertureValue=2.8",
      "-ExifIFD:BrightnessValue=-1.5", "-ExifIFD:ExposureCompensation=-0.7", "-ExifIFD:MaxApertureValue=2.4",
      "-ExifIFD:SubjectDistance=3.5", "-ExifIFD:MeteringMode#=5", "-ExifIFD:LightSource#=10",
      "-ExifIFD:Flash#=16", "-ExifIFD:FocalLength=35", "-ExifIFD:UserComment=hello comment",
      "-ExifIFD:SubSecTime=12", "-ExifIFD:SubSecTimeOriginal=345", "-ExifIFD:SubSecTimeDigitized=6789",
      "-ExifIFD:FlashpixVersion=0100", "-ExifIFD:ColorSpace#=1", "-ExifIFD:ExifImageWidth=64",
      "-ExifIFD:ExifImageHeight=48", "-ExifIFD:FlashEnergy=5", "-ExifIFD:FocalPlaneXResolution=1000",
      "-ExifIFD:FocalPlaneYResolution=2000", "-ExifIFD:FocalPlaneResolutionUnit#=3",
      "-ExifIFD:SubjectLocation=10 20", "-ExifIFD:ExposureIndex=100", "-ExifIFD:SensingMethod#=2",
      "-ExifIFD:FileSource#=3", "-ExifIFD:SceneType#=1", "-ExifIFD:SpectralSensitivity=visible"};
  if (thumbnail) {
    a.insert(a.end(), {"-ThumbnailImage<=" + thumb.string(), "-IFD1:XResolution=72", "-IFD1:YResolution=96",
                       "-IFD1:ResolutionUnit#=2"});
  }
  return a;
}

}  // namespace

TEST(ExifPeer, EveryFieldAsTheToolsReadIt) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("djpeg");
  AD_REQUIRE_TOOL("exiftool");
  AD_REQUIRE_TOOL("exiv2");
  fs::path dir = adtest::testDir();
  writePnm(dir / "big.ppm", makePicture(64, 48, 3));
  writePnm(dir / "small.ppm", makePicture(16, 12, 3, 5));
  writeFile(dir / "thumb.jpg", cjpeg(dir / "small.ppm", {"-quality", "60"}));
  std::vector<std::string> tags;
  for (const Field& f : fields()) tags.push_back(f.exiftoolTag);

  for (bool big : {false, true}) {
    for (bool thumbnail : {false, true}) {
      SCOPED_TRACE(std::string(big ? "big-endian" : "little-endian") + (thumbnail ? ", thumbnail" : ""));
      fs::path file = dir / "exif.jpg";
      writeFile(file, cjpeg(dir / "big.ppm", {}));
      std::vector<std::string> write{"exiftool", "-q", "-overwrite_original"};
      auto w = exifWrites(big, thumbnail, dir / "thumb.jpg");
      write.insert(write.end(), w.begin(), w.end());
      write.push_back(file.string());
      run(write);

      EXIFINFO x;
      ASSERT_EQ(_QMJpegExifInfo(file.c_str(), &x), 1);
      EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK);

      std::vector<std::string> tool = exiftoolValues(file, tags);
      ASSERT_EQ(tool.size(), fields().size());
      std::map<std::string, std::string> exiv2;
      std::istringstream lines(run({"exiv2", "-q", "-Pkv", file.string()}));
      for (std::string line; std::getline(lines, line);) {
        auto sp = line.find(' ');
        if (sp == std::string::npos) continue;
        exiv2[line.substr(0, sp)] = line.substr(line.find_first_not_of(' ', sp));
      }
      for (size_t i = 0; i < fields().size(); ++i) {
        const Field& f = fields()[i];
        std::string want = tool[i] == "-" ? "" : tool[i];
        std::string got = f.ours(x);
        if (want.empty() && (got == "0" || got == "0 0")) got = "";  // not in this file: zero
        EXPECT_TRUE(sameValue(got, want)) << f.exiftoolTag << ": ours " << got << ", exiftool " << want;
        if (f.exiv2Key && !want.empty()) {
          EXPECT_EQ(fraction(f.rationalOf(x), f.isSigned), exiv2[f.exiv2Key]) << f.exiv2Key;
        }
      }
      EXPECT_STREQ(x.UserCommentCode, "ASCII");

      if (thumbnail) {
        ASSERT_NE(x.Thumbnail, 0u);
        fs::path embedded = dir / "embedded.jpg";
        writeFile(embedded, run({"exiftool", "-b", "-ThumbnailImage", file.string()}));
        Raster ours = dibRaster(x.Thumbnail);
        Raster ref = djpegBmp(embedded);
        EXPECT_EQ(ours.width, ref.width);
        EXPECT_EQ(ours.height, ref.height);
        EXPECT_TRUE(ours.rows == ref.rows) << "thumbnail pixels";
        EXPECT_EQ(ours.xPpm, CovertDotI2M(72));
        EXPECT_EQ(ours.yPpm, CovertDotI2M(96));
        QmGlobalFree(x.Thumbnail);
      } else {
        EXPECT_EQ(x.Thumbnail, 0u);
      }
    }
  }
}

TEST(FileInfoPeer, FieldsAsExiftoolReadsThem) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("exiftool");
  fs::path dir = adtest::testDir();
  writePnm(dir / "c.ppm", makePicture(37, 23, 3));
  writePnm(dir / "g.pgm", makePicture(19, 5, 1));
  struct Case {
    const char* name;
    fs::path pnm;
    std::vector<std::string> cjpegOptions;
    std::vector<std::string> exiftoolWrites;  // applied after cjpeg
  } cases[] = {
      {"baseline", dir / "c.ppm", {"-sample", "2x1"}, {}},
      {"progressive", dir / "c.ppm", {"-progressive"}, {}},
      {"grey", dir / "g.pgm", {}, {}},
      {"comment", dir / "c.ppm", {}, {"-Comment=a comment from the tool"}},
      {"dots per inch", dir / "c.ppm", {}, {"-JFIF:ResolutionUnit=inches", "-JFIF:XResolution=150",
                                             "-JFIF:YResolution=75"}},
      {"dots per centimetre", dir / "c.ppm", {}, {"-JFIF:ResolutionUnit=cm", "-JFIF:XResolution=40",
                                                  "-JFIF:YResolution=20"}},
      {"Exif, progressive", dir / "c.ppm", {"-progressive"}, {"-IFD0:Make=abc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = dir / "f.jpg";
    writeFile(file, cjpeg(c.pnm, c.cjpegOptions));
    if (!c.exiftoolWrites.empty()) {
      std::vector<std::string> argv{"exiftool", "-q", "-overwrite_original"};
      argv.insert(argv.end(), c.exiftoolWrites.begin(), c.exiftoolWrites.end());
      argv.push_back(file.string());
      run(argv);
    }
    JPEGFILEINFO info;
    std::memset(&info, 0xAA, sizeof info);
    ASSERT_EQ(_QMJpegFileInfo(file.c_str(), &info), 1);
    auto t = exiftoolValues(file, {"File:ImageWidth", "File:ImageHeight", "File:ColorComponents",
                                   "File:EncodingProcess", "File:Comment", "JFIF:ResolutionUnit", "JFIF:XResolution",
                                   "JFIF:YResolution", "File:ExifByteOrder"});
    ASSERT_EQ(t.size(), 9u);
    EXPECT_EQ(std::to_string(info.Width), t[0]);
    EXPECT_EQ(std::to_string(info.Height), t[1]);
    EXPECT_EQ(std::to_string(info.BitCount / 8), t[2]);
    bool progressive = t[3] == "2";
    EXPECT_EQ(info.Progressive, progressive ? 1 : 0);
    EXPECT_EQ(info.Format, t[8] != "-" ? 23 : progressive ? 5 : 4);
    EXPECT_EQ(std::string(info.Comment), t[4] == "-" ? "" : t[4]);
    uint32_t rowBytes = (info.BitCount * info.Width + 31) / 32 * 4;
    EXPECT_EQ(info.RowBytes, rowBytes);
    EXPECT_EQ(info.ImageBytes, rowBytes * info.Height);
    if (t[5] == "1") {
      EXPECT_EQ(std::to_string(info.XDpi), t[6]);
      EXPECT_EQ(std::to_string(info.YDpi), t[7]);
    } else if (t[5] == "2") {
      EXPECT_EQ(int32_t(info.XDpi), CovertDotM2I(std::stoi(t[6]) * 100));
      EXPECT_EQ(int32_t(info.YDpi), CovertDotM2I(std::stoi(t[7]) * 100));
    } else {
      EXPECT_EQ(info.XDpi, 0xAAAAAAAAu) << "left as the caller had it";
    }
  }
}
