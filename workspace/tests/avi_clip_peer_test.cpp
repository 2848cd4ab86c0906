// The clip reader against ffmpeg: the shipped splash clip decodes to ffmpeg's pictures,
// and clips that ffmpeg writes decode to what ffmpeg reads back from them.
#include <QImage>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"
#include "workspace/avi_clip.h"

using workspace::AviClip;
namespace fs = std::filesystem;

namespace {

// Every frame of the file as ffmpeg decodes it, RGB, one after the other.
std::string ffmpegFrames(const std::string& path) {
  std::string out, err;
  int rc = adtest::runProgram({"ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}, &out,
                              &err);
  EXPECT_EQ(rc, 0) << err;
  return out;
}

void expectSameFrames(const std::string& path) {
  AviClip clip;
  ASSERT_TRUE(clip.Load(path)) << path;
  const std::string peer = ffmpegFrames(path);
  const size_t frameBytes = static_cast<size_t>(clip.Width()) * static_cast<size_t>(clip.Height()) * 3;
  ASSERT_EQ(peer.size(), frameBytes * static_cast<size_t>(clip.FrameCount()));
  for (int f = 0; f < clip.FrameCount(); ++f) {
    const QImage img = clip.Frame(f);
    int differing = 0;
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) {
        const auto* p = reinterpret_cast<const uint8_t*>(peer.data()) + frameBytes * static_cast<size_t>(f) +
                        (static_cast<size_t>(y) * static_cast<size_t>(img.width()) + static_cast<size_t>(x)) * 3;
        const QRgb c = img.pixel(x, y);
        if (qRed(c) != p[0] || qGreen(c) != p[1] || qBlue(c) != p[2]) ++differing;
      }
    }
    EXPECT_EQ(differing, 0) << path << " frame " << f;
  }
}

TEST(AviClipPeer, TheSplashClipDecodesAsFfmpegDecodesIt) {
  AD_REQUIRE_TOOL("ffmpeg");
  AD_REQUIRE_TOOL("ffprobe");
  const std::string clip = std::string(AD_BIN_DIR) + "/wro10_m.dat";
  std::string out;
  ASSERT_EQ(adtest::runProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                "stream=codec_name,width,height,nb_read_frames,r_frame_rate", "-of", "csv=p=0", clip},
                               &out),
            0);
  EXPECT_EQ(out, "msrle,242,95,8/1,11\n");
  expectSameFrames(clip);
}

TEST(AviClipPeer, ClipsWrittenByFfmpegReadAsFfmpegReadsThem) {
  AD_REQUIRE_TOOL("ffmpeg");
  for (const char* format : {"bgr24", "pal8"}) {
    SCOPED_TRACE(format);
    const std::string path = (adtest::testDir() / (std::string(format) + ".avi")).string();
    ASSERT_EQ(adtest::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=38x22:rate=5",
                                  "-frames:v", "4", "-c:v", "rawvideo", "-pix_fmt", format, "-y", path}),
              0);
    expectSameFrames(path);
  }
}

}  // namespace
