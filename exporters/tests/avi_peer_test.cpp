// Movies read by ffprobe and decoded by ffmpeg: the stream's codec, size, frame count,
// time base, duration and key frames, and every decoded frame against its BMP file
// (exactly for uncompressed frames, within JPEG's loss for Motion JPEG).
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include <gtest/gtest.h>

#include "exporters/avi_writer.h"
#include "frames.h"
#include "peers.h"
#include "platform/testsupport/testsupport.h"

using namespace exporters;
using namespace extest;

namespace {

fs::path dir() { return adtest::testDir(); }

int difference(Rgb a, Rgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

}  // namespace

TEST(MoviePeer, ReadAndDecodedByFfmpeg) {
  AD_REQUIRE_TOOL("ffprobe");
  AD_REQUIRE_TOOL("ffmpeg");
  struct Case {
    int width, height, frames;
    uint32_t scale, rate;
    const char* frameRate;
    const char* duration;
  } cases[] = {
      {80, 60, 3, 5, 1, "1/5", "15.000000"},
      {160, 120, 24, 1, 12, "12/1", "2.000000"},
      {81, 61, 10, 3, 1, "1/3", "30.000000"},  // odd sizes: padded rows, half chroma blocks
      {320, 240, 1, 30, 1, "1/30", "30.000000"},
  };
  for (uint32_t codec : {0u, kHandlerMJPG}) {
    for (const Case& c : cases) {
      const bool mjpg = codec == kHandlerMJPG;
      SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (mjpg ? " MJPG" : " DIB"));
      fs::path sub = dir() / (std::to_string(c.width) + (mjpg ? "m" : "d"));
      fs::create_directories(sub);
      auto frames = writeFrames(sub, c.width, c.height, c.frames);
      fs::path out = sub / "movie.avi";
      ASSERT_TRUE(MakeMovie(frames, out, c.scale, c.rate, codec));

      QJsonObject info = probe(out);
      QJsonObject s = info["streams"].toArray()[0].toObject();
      EXPECT_EQ(s["codec_name"].toString(), mjpg ? "mjpeg" : "rawvideo");
      EXPECT_EQ(s["codec_tag_string"].toString(), mjpg ? "MJPG" : "[0][0][0][0]");
      EXPECT_EQ(s["pix_fmt"].toString(), mjpg ? "yuvj420p" : "bgr24");
      EXPECT_EQ(s["width"].toInt(), c.width);
      EXPECT_EQ(s["height"].toInt(), c.height);
      EXPECT_EQ(s["r_frame_rate"].toString(), c.frameRate);
      EXPECT_EQ(s["nb_frames"].toString(), QString::number(c.frames));
      EXPECT_EQ(s["nb_read_frames"].toString(), QString::number(c.frames));
      EXPECT_EQ(info["format"].toObject()["duration"].toString(), c.duration);
      EXPECT_EQ(packetFlags(out), std::vector<std::string>(size_t(c.frames), "K_")) << "every frame a key frame";

      // No complaint from the reader.
      std::string err;
      EXPECT_EQ(adtest::runProgram({"ffmpeg", "-v", "warning", "-i", out.string(), "-f", "null", "-"}, nullptr, &err), 0);
      EXPECT_EQ(err, "");

      std::vector<Frame> decoded = decode(out, c.width, c.height);
      ASSERT_EQ(decoded.size(), size_t(c.frames));
      for (int i = 0; i < c.frames; ++i) {
        Frame expected = testFrame(c.width, c.height, i);
        if (!mjpg) {
          EXPECT_TRUE(decoded[size_t(i)].pixels == expected.pixels) << "frame " << i;
          continue;
        }
        EXPECT_GE(psnr(decoded[size_t(i)], expected), 30.0) << "frame " << i;
        // Inside the white band at the top and the red band at the left: neither flipped.
        for (auto [x, y] : {std::pair{c.width / 2, c.height / 8}, {c.width / 16, c.height * 5 / 8}}) {
          EXPECT_LE(difference(decoded[size_t(i)].at(x, y), expected.at(x, y)), 12) << x << "," << y;
        }
      }
    }
  }
}
