// DV frames made by ffmpeg, read as DVF frame files.
#include <filesystem>

#include "engine_fixture.h"
#include "workspace/capture_files.h"

namespace {

using workspace::DV_FILE;

// One DV frame from ffmpeg, kept as a DVF frame file: the 32-byte head, then each DIF
// sequence without its header block.
std::string ffmpegDvf(const std::string& name, bool pal, bool wide, const char* timeCode) {
  const auto dir = adtest::testDir();
  const std::string dv = (dir / (name + ".dv")).string();
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                   pal ? "testsrc2=s=720x576:r=25" : "testsrc2=s=720x480:r=30000/1001",
                                   "-frames:v", "1", "-pix_fmt", pal ? "yuv420p" : "yuv411p", "-aspect",
                                   wide ? "16:9" : "4:3"};
  if (timeCode) {
    argv.push_back("-timecode");
    argv.push_back(timeCode);
  }
  for (const char* a : {"-f", "dv", "-y"}) argv.push_back(a);
  argv.push_back(dv);
  if (adtest::runProgram(argv) != 0) return {};
  const std::string frame = adtest::readFile(dv);
  if (frame.size() != (pal ? 144000u : 120000u)) return {};
  return enginetest::writeDvf(name + ".dvf", frame);
}

TEST(DvFilePeer, TimeCodeAndAspectOfFfmpegFrames) {
  AD_REQUIRE_TOOL("ffmpeg");
  struct Case {
    bool pal, wide;
    const char* timeCode;
    const char* text;
  } cases[] = {{false, false, "01:02:03:04", "01:02:03:04"},
               {true, true, "10:20:30:12", "10:20:30:12"},
               {true, false, "23:59:59:24", "23:59:59:24"},
               {false, true, "00:00:00:00", "00:00:00:00"}};
  for (const Case& c : cases) {
    const std::string path = ffmpegDvf("f", c.pal, c.wide, c.timeCode);
    ASSERT_FALSE(path.empty()) << "ffmpeg made no frame";
    DV_FILE dv;
    ASSERT_TRUE(dv.ReadFrame(path));
    dv.ParseFrame();
    EXPECT_EQ(dv.info().sequences, c.pal ? 12u : 10u);
    EXPECT_EQ(dv.info().wide, c.wide ? 1u : 0u) << c.text;
    EXPECT_STREQ(dv.info().timeCode, c.text);
  }
}

// Our conversion of a DV frame against ffmpeg's decoding of it, brought to square pixels
// by the same resampling: the same picture, up to the decoders' rounding. The decoders
// spread the colour of 4:1:1 frames differently at sharp colour edges, so the pictures
// are compared by their luma, which the colour does not change.
TEST(DvFilePeer, ConvertsAsFfmpegDecodes) {
  AD_REQUIRE_TOOL("ffmpeg");
  struct Case {
    bool pal, wide;
    int width, height;
  } cases[] = {{false, false, 640, 480}, {true, true, 1024, 576}, {true, false, 768, 576}, {false, true, 848, 480}};
  for (const Case& c : cases) {
    const std::string dvf = ffmpegDvf("f", c.pal, c.wide, "00:00:01:00");
    ASSERT_FALSE(dvf.empty());
    const std::string bmp = (adtest::testDir() / "f.bmp").string();
    DV_FILE dv;
    ASSERT_TRUE(dv.Convert(dvf, bmp, 0));
    QmHandle pic = ImageFileLoad(bmp.c_str());
    const auto ours = pictest::read(pic);
    ImageFree(pic);
    ASSERT_EQ(ours.width, c.width);
    ASSERT_EQ(ours.height, c.height);

    std::string raw;
    ASSERT_EQ(adtest::runProgram({"ffmpeg", "-hide_banner", "-loglevel", "error", "-i",
                                  (adtest::testDir() / "f.dv").string(), "-f", "rawvideo", "-pix_fmt", "bgr24", "-"},
                                 &raw),
              0);
    ASSERT_EQ(raw.size(), 720u * c.height * 3);
    const DV_FILE::Ratio ratio = DV_FILE::ResampleRatio(c.height, c.wide);
    std::vector<uint8_t> row(static_cast<size_t>(ratio.width) * 3);
    uint64_t total = 0;
    int worst = 0;
    for (int y = 0; y < c.height; ++y) {
      DV_FILE::ResampleRow(reinterpret_cast<const uint8_t*>(raw.data()) + static_cast<size_t>(y) * 720 * 3, row.data(),
                           ratio);
      for (int x = 0; x < c.width; ++x) {
        const pictest::Rgb o = ours.at(x, y);
        const int lumaOurs = (299 * o.r + 587 * o.g + 114 * o.b) / 1000;
        const int lumaTheirs = (299 * row[3 * x + 2] + 587 * row[3 * x + 1] + 114 * row[3 * x]) / 1000;
        const int d = std::abs(lumaOurs - lumaTheirs);
        total += static_cast<uint64_t>(d);
        worst = std::max(worst, d);
      }
    }
    const double mean = static_cast<double>(total) / (1.0 * c.width * c.height);
    EXPECT_LT(mean, 1.5) << c.width << "x" << c.height << " worst " << worst;
    EXPECT_LE(worst, 40) << c.width << "x" << c.height;
  }
}

}  // namespace
