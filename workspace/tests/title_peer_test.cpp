// Title picture files and exported JPEG files as exiftool and exiv2 read them.
#include <sstream>

#include "engine_fixture.h"

namespace {

using namespace enginetest;
using pictest::Rgb;

std::string run(const std::vector<std::string>& argv, int exitCode = 0) {
  std::string out;
  EXPECT_EQ(adtest::runProgram(argv, &out), exitCode) << argv[0];
  return out;
}

// The markers exiv2 lists, with their addresses.
std::vector<std::pair<long, std::string>> segments(const std::string& path) {
  std::istringstream lines(run({"exiv2", "-pS", path}));
  std::vector<std::pair<long, std::string>> out;
  for (std::string line; std::getline(lines, line);) {
    long address = 0;
    char marker[16] = {}, name[16] = {};
    if (std::sscanf(line.c_str(), " %ld | %15s %15s", &address, marker, name) == 3) out.emplace_back(address, name);
  }
  return out;
}

class TitlePeer : public EngineTest {
 protected:
  std::string write(uint8_t makerNote, uint8_t number) {
    QmHandle pic = pictest::make(320, 240, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 128}; });
    workspace::TitleRecord r;
    r.makerNote = makerNote;
    r.titleNumber = number;
    const std::string path = (adtest::testDir() / ("TITLE00" + std::to_string(makerNote) + ".TTL")).string();
    EXPECT_TRUE(engine->SaveDcfJpeg(path, pic, 75, &r));
    ImageFree(pic);
    return path;
  }
};

TEST_F(TitlePeer, ExiftoolFindsNothingToComplainAbout) {
  AD_REQUIRE_TOOL("exiftool");
  for (uint8_t note : {1, 0}) {
    const std::string path = write(note, 7);
    const std::string out = run({"exiftool", "-validate", "-warning", "-a", path});
    EXPECT_NE(out.find("Validate                        : OK"), std::string::npos) << out;
    EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
    const std::string tags = run({"exiftool", "-n", "-s", "-s", "-s", "-InteropIndex", "-ExifImageWidth",
                                  "-ExifImageHeight", "-YCbCrSubSampling", "-ExifVersion", "-ThumbnailLength", path});
    EXPECT_NE(tags.find("R98\n320\n240\n2 1\n0210\n"), std::string::npos) << tags;
  }
}

// SOI, then APP1 at 2 (holding the thumbnail), then the picture's tables at once: no
// JFIF or comment segment anywhere.
TEST_F(TitlePeer, Exiv2ListsTheSegmentsInOrder) {
  AD_REQUIRE_TOOL("exiv2");
  const std::string path = write(1, 7);
  const std::string bytes = adtest::readFile(path);
  const long L = static_cast<uint8_t>(bytes[4]) << 8 | static_cast<uint8_t>(bytes[5]);
  const auto s = segments(path);
  ASSERT_GE(s.size(), 5u);
  EXPECT_EQ(s[0], (std::pair<long, std::string>{0, "SOI"}));
  EXPECT_EQ(s[1], (std::pair<long, std::string>{2, "APP1"}));
  EXPECT_EQ(s[2], (std::pair<long, std::string>{4 + L, "DQT"}));
  std::vector<std::string> names;
  for (const auto& [address, name] : s) names.push_back(name);
  EXPECT_EQ(std::count(names.begin(), names.end(), "SOF0"), 1);
  EXPECT_EQ(names.back(), "SOS");
  for (const char* absent : {"APP0", "COM", "APP2"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), absent), 0) << absent;
  }
}

TEST_F(TitlePeer, ThumbnailAndTitleNumberReadBack) {
  AD_REQUIRE_TOOL("exiftool");
  AD_REQUIRE_TOOL("exiv2");
  for (uint8_t number : {0, 7, 255}) {
    const std::string path = write(1, number);
    adtest::writeFile(adtest::testDir() / "thumb.jpg", run({"exiftool", "-b", "-ThumbnailImage", path}));
    ImageFileInfoRecord info;
    ASSERT_NE(ImageFileInfo((adtest::testDir() / "thumb.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.width, 160);
    EXPECT_EQ(info.height, 120);
    // exiv2 shows the maker note's 34 bytes; the title number is byte 26.
    std::istringstream note(run({"exiv2", "-pa", "-g", "MakerNote", path}));
    std::string key, type;
    int count = 0;
    note >> key >> type >> count;
    EXPECT_EQ(key, "Exif.Photo.MakerNote");
    ASSERT_EQ(count, 34);
    std::vector<int> values(34);
    for (int& v : values) note >> v;
    EXPECT_EQ(values[26], number);
    EXPECT_EQ(std::string(values.begin(), values.begin() + 4), "ZEB ");
  }
  const std::string plain = write(0, 7);
  EXPECT_EQ(run({"exiv2", "-pa", "-g", "MakerNote", plain}, 1), "") << "no maker note without the switch";
}

// Exports use 2x2 colour sampling, thumbnails and title pictures 2x1.
TEST_F(TitlePeer, SamplingOfExportsAndThumbnails) {
  AD_REQUIRE_TOOL("exiftool");
  const std::string source = solidBmp("src.bmp", 320, 240, Rgb{10, 20, 30});
  settings.Format = workspace::OutputFormatSettings::kJpeg;
  settings.SizeMode = workspace::OutputFormatSettings::kKeepSize;
  const std::string exported = (adtest::testDir() / "e.jpg").string();
  ASSERT_TRUE(engine->ExportImage(source, exported));
  const std::string small = (adtest::testDir() / "s.JPG").string();
  ASSERT_TRUE(engine->ConvertImage(small, source, 80, 60));
  EXPECT_EQ(run({"exiftool", "-n", "-s", "-s", "-s", "-YCbCrSubSampling", exported}), "2 2\n");
  EXPECT_EQ(run({"exiftool", "-n", "-s", "-s", "-s", "-YCbCrSubSampling", small}), "2 1\n");
}

}  // namespace
