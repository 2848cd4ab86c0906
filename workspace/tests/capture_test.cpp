// The capture file readers.
#include <filesystem>
#include <functional>

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

namespace {

using workspace::DV_FILE;

// A DVF file of 10 or 12 sequences, with packs written into the frame (at frame offsets).
std::string dvfFile(const std::string& name, char system, std::vector<std::pair<size_t, std::vector<uint8_t>>> packs,
                    size_t cut = 0) {
  std::string frame(system == '6' ? 144000 : 120000, '\0');
  for (auto& [at, bytes] : packs) std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<ptrdiff_t>(at));
  const std::string path = enginetest::writeDvf(name, frame);
  std::string file = adtest::readFile(path);
  file[10] = system;
  file.resize(file.size() - cut);
  adtest::writeFile(path, file);
  return path;
}

TEST(DvFile, TimeCodeTexts) {
  struct Case {
    uint8_t frames, seconds, minutes, hours;
    const char* text;
  } cases[] = {
      {0x24, 0x59, 0x59, 0x23, "23:59:59:24"},
      {0xC5, 0x80, 0x80, 0xC1, "01:00:00:05"},  // the flag bits above each field are not digits
      {0x00, 0x00, 0x75, 0x00, "--:--:--:--"},  // minutes tens 7
      {0x30, 0x00, 0x00, 0x00, "--:--:--:--"},  // frames tens 3
      {0x0A, 0x00, 0x00, 0x00, "--:--:--:--"},  // a units digit of 10
      {0x00, 0x60, 0x00, 0x00, "00:00:60:00"},  // seconds tens 6 still counts as a digit
      {0x00, 0x00, 0x00, 0x1F, "--:--:--:--"},
  };
  for (const Case& c : cases) {
    const uint8_t pack[5] = {0x13, c.frames, c.seconds, c.minutes, c.hours};
    char text[12];
    DV_FILE::TimeCodeText(pack, text);
    EXPECT_STREQ(text, c.text);
  }
}

// The aspect from the source-control pack of sequence 0's third VAUX block, the time code
// from the first time-code pack of any sequence's subcode blocks.
TEST(DvFile, ReadsAspectAndTimeCodeFromTheFrame) {
  struct Case {
    char system;
    std::vector<std::pair<size_t, std::vector<uint8_t>>> packs;
    uint32_t wide;
    const char* timeCode;
  } cases[] = {
      {'5', {}, 0, "00:00:00:00"},
      {'5', {{408, {0x61, 0, 2, 0}}, {86 + 8, {0x13, 0x12, 0x34, 0x56, 0x07}}}, 1, "07:56:34:12"},
      {'6', {{403, {0x61, 0, 2, 1}}}, 1, "00:00:00:00"},
      {'6', {{478, {0x61, 0, 2, 2}}}, 0, "00:00:00:00"},
      {'5', {{433, {0x61, 0, 7, 1}}}, 1, "00:00:00:00"},
      {'5', {{433, {0x61, 0, 7, 0}}}, 0, "00:00:00:00"},
      // Only the first source-control pack counts.
      {'5', {{403, {0x61, 0, 0, 0}}, {408, {0x61, 0, 2, 0}}}, 0, "00:00:00:00"},
      // A later sequence's pack is found when the earlier ones have none; the first wins.
      {'6', {{5 * 12000 + 238, {0x13, 0x01, 0x02, 0x03, 0x04}}, {7 * 12000 + 86, {0x13, 0x09, 0, 0, 0}}}, 0,
       "04:03:02:01"},
      {'5', {{86, {0x13, 0x00, 0x00, 0x75, 0x00}}}, 0, "--:--:--:--"},
  };
  for (const Case& c : cases) {
    DV_FILE dv;
    ASSERT_TRUE(dv.ReadFrame(dvfFile("f.dvf", c.system, c.packs)));
    dv.ParseFrame();
    EXPECT_EQ(dv.info().sequences, c.system == '5' ? 10u : 12u);
    EXPECT_EQ(dv.info().wide, c.wide) << c.timeCode;
    EXPECT_STREQ(dv.info().timeCode, c.timeCode);
  }
  DV_FILE dv;
  EXPECT_FALSE(dv.ReadFrame(dvfFile("short.dvf", '5', {}, 1))) << "a frame cut short";
  EXPECT_FALSE(dv.ReadFrame(dvfFile("other.dvf", '7', {}))) << "neither 525/60 nor 625/50";
  const std::string bad = (adtest::testDir() / "bad.dvf").string();
  std::string bytes = adtest::readFile(dvfFile("ok.dvf", '5', {}));
  bytes[0] = 'X';
  adtest::writeFile(bad, bytes);
  EXPECT_FALSE(dv.ReadFrame(bad));
  EXPECT_FALSE(dv.ReadFrame((adtest::testDir() / "none.dvf").string()));
}

// Each target pixel is the exact mean of the source area behind it, truncated.
TEST(DvFile, ResamplesToSquarePixels) {
  struct Case {
    int lines;
    bool wide;
    int width;
    std::vector<int> run;       // one channel of the first run of source pixels
    std::vector<int> expected;  // the first target pixels
  } cases[] = {
      {480, false, 640, {0, 0, 0, 0, 0, 0, 0, 0, 255}, {0, 0, 0, 0, 0, 0, 0, 226}},
      {576, false, 768, {0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 238, 34, 0}},  // 14 and 2 of 15 parts
      {576, true, 1024, {255, 0}, {255, 107, 0}},
      {480, true, 848, {255}, {255, 45}},                      // 8 of 45 parts
  };
  for (const Case& c : cases) {
    const DV_FILE::Ratio r = DV_FILE::ResampleRatio(c.lines, c.wide);
    EXPECT_EQ(r.width, c.width);
    std::vector<uint8_t> row(720 * 3, 0), out(static_cast<size_t>(r.width) * 3, 7);
    for (size_t i = 0; i < c.run.size(); ++i) row[3 * i + 1] = static_cast<uint8_t>(c.run[i]);
    DV_FILE::ResampleRow(row.data(), out.data(), r);
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(out[3 * i + 1], c.expected[i]) << c.width << " pixel " << i;
      EXPECT_EQ(out[3 * i], 0);
    }
    EXPECT_EQ(out[3 * static_cast<size_t>(r.width) - 1], 0) << "the whole row is written";
  }
  // A flat row stays flat.
  std::vector<uint8_t> grey(720 * 3, 99), out(1024 * 3, 0);
  DV_FILE::ResampleRow(grey.data(), out.data(), DV_FILE::ResampleRatio(576, true));
  for (uint8_t v : out) ASSERT_EQ(v, 99);
}

}  // namespace

namespace {

using namespace enginetest;
using workspace::CImageOpe;

std::string captureFixture(const std::string& name) { return std::string(AD_SOURCE_DIR) + "/tests/data/capture/" + name; }

// A copy of a DVF fixture with bytes changed at frame offsets (sequence s, byte b of the
// sequence: file offset 32 + 11920 s + b - 80).
std::string patchedDvf(const std::string& name, const std::string& from,
                       const std::function<void(std::string&, size_t sequences)>& patch) {
  std::string bytes = adtest::readFile(captureFixture(from));
  patch(bytes, bytes[10] == '6' ? 12 : 10);
  const std::string path = (adtest::testDir() / name).string();
  adtest::writeFile(path, bytes);
  return path;
}

size_t fileOffset(size_t sequence, size_t byte) { return 32 + 11920 * sequence + byte - 80; }

// Every time-code pack of the frame is removed, or gets minutes 0x75.
std::string withoutTimeCode(const std::string& name) {
  return patchedDvf(name, "ntsc_4x3.dvf", [](std::string& b, size_t n) {
    for (size_t s = 0; s < n; ++s) {
      for (size_t at = 86; at <= 238; at += 8) {
        if (b[fileOffset(s, at)] == 0x13) b[fileOffset(s, at)] = static_cast<char>(0xFF);
      }
    }
  });
}
std::string withBadMinutes(const std::string& name) {
  return patchedDvf(name, "pal_16x9.dvf", [](std::string& b, size_t n) {
    for (size_t s = 0; s < n; ++s) {
      for (size_t at = 86; at <= 238; at += 8) {
        if (b[fileOffset(s, at)] == 0x13) b[fileOffset(s, at) + 3] = 0x75;
      }
    }
  });
}

struct DvCase {
  std::string file;
  int width, height;  // of the picture and the record
  int thumbWidth, thumbHeight;
  const char* timeCode;
};

// DVF frames import as their decoded picture at square pixels, with the frame's time
// code; the working copy is the DVF file itself.
TEST_F(EngineTest, ImportsDvFrames) {
  const DvCase cases[] = {
      {captureFixture("ntsc_4x3.dvf"), 640, 480, 100, 75, "01:02:03:04"},
      {captureFixture("pal_16x9.dvf"), 1024, 576, 100, 56, "10:20:30:12"},
      {withoutTimeCode("none.dvf"), 640, 480, 100, 75, "00:00:00:00"},
      {withBadMinutes("bad.DVF"), 1024, 576, 100, 56, "--:--:--:--"},
  };
  uint32_t position = 0;
  for (const DvCase& c : cases) {
    album.count = position;
    EXPECT_EQ(engine->GetImageCount(c.file), 1u);
    ASSERT_TRUE(engine->LoadImage(c.file, position)) << c.file << " error " << engine->ErrorCode;
    ASSERT_EQ(mainWindow.received.size(), position + 1);
    const Reported& r = mainWindow.received.back();
    EXPECT_EQ(r.type, CImageOpe::kTypeDv);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.timeCode, c.timeCode);
    EXPECT_EQ(workspace::FileName(r.working).GetExt(), workspace::FileName(c.file).GetExt()) << "the extension as given";
    EXPECT_EQ(adtest::readFile(r.working), adtest::readFile(c.file));
    EXPECT_FALSE(std::filesystem::exists(workspace::FileName(r.working).RemoveExt() + ".bmp"));
    const auto thumb = filePixels(r.thumbnail);
    EXPECT_EQ(thumb.width, c.thumbWidth);
    EXPECT_EQ(thumb.height, c.thumbHeight);
    ++position;
  }
  // The time code is the DV frame's alone: a picture imported next has none.
  ASSERT_TRUE(engine->LoadImage(pictest::fixture("bmp24.bmp"), position));
  EXPECT_EQ(mainWindow.received.back().timeCode, "");

  // Broken frames: nothing imported.
  const std::string cut = patchedDvf("cut.dvf", "ntsc_4x3.dvf", [](std::string& b, size_t) { b.resize(b.size() - 1); });
  const std::string head = patchedDvf("head.dvf", "ntsc_4x3.dvf", [](std::string& b, size_t) { b[0] = 'X'; });
  for (const std::string& path : {cut, head}) {
    mainWindow.received.clear();
    EXPECT_FALSE(engine->LoadImage(path, 9)) << path;
    EXPECT_EQ(engine->ErrorCode, CImageOpe::kUnreadable);
    EXPECT_TRUE(mainWindow.received.empty());
  }
}

TEST_F(EngineTest, ConvertsDvFramesToBmp) {
  struct Case {
    const char* file;
    int width, height;
  } cases[] = {{"ntsc_4x3.dvf", 640, 480}, {"pal_16x9.dvf", 1024, 576}};
  for (const Case& c : cases) {
    const std::string target = (adtest::testDir() / "dv.bmp").string();
    ASSERT_TRUE(engine->ConvertToBmp(captureFixture(c.file), target, 0));
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo(target.c_str(), &info), 0);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.bitCount, 24);
    EXPECT_EQ(std::filesystem::file_size(target), 54u + 3u * c.width * c.height);
  }
  // The export of a DV frame goes through the same conversion.
  settings.Format = workspace::OutputFormatSettings::kBmp;
  settings.SizeMode = workspace::OutputFormatSettings::kKeepSize;
  const std::string out = (adtest::testDir() / "export.bmp").string();
  ASSERT_TRUE(engine->ExportImage(captureFixture("pal_16x9.dvf"), out));
  EXPECT_EQ(filePixels(out).width, 1024);
}

}  // namespace
