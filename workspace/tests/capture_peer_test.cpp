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
  const size_t sequences = pal ? 12 : 10;
  if (frame.size() != sequences * 12000) return {};
  std::string file("DVF 1.00SD", 10);
  file.push_back(pal ? '6' : '5');
  file.append(21, '\0');
  for (size_t s = 0; s < sequences; ++s) file.append(frame, s * 12000 + 80, 11920);
  const std::string path = (dir / (name + ".dvf")).string();
  adtest::writeFile(path, file);
  return path;
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

}  // namespace
