// The thumbnails the import makes of JPEG files, against ImageMagick's box-filtered
// reduction of the same files to the same size: the kinds of JPEG that cameras and
// programs write (4:2:0, 4:2:2, grey, progressive), at odd sizes, wide and upright.
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "engine_fixture.h"

namespace {

using namespace enginetest;
using pictest::Pixels;
using pictest::Rgb;
namespace fs = std::filesystem;

uint32_t mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  return x ^ (x >> 16);
}

// A picture with the detail of a photograph: broad smooth shading, a few shapes with
// hard edges and fine grain. With `dense`, hard edges every few dozen pixels instead,
// steps of up to half the range: the worst case for a reduced decoding, which knows
// only the mean of each 8 x 8 block.
Pixels photograph(int w, int h, bool dense) {
  Pixels p;
  p.width = w;
  p.height = h;
  p.bits = 24;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t n = mix(static_cast<uint32_t>(x / 2) * 73856093u ^ static_cast<uint32_t>(y / 2) * 19349663u);
      const double u = double(x) / w, v = double(y) / h;
      int shade = 0;
      if (dense) {
        shade = ((x / 97 + y / 61) % 5) * 30;
      } else {
        // Two discs and a bar.
        const double d1 = (u - 0.3) * (u - 0.3) + (v - 0.4) * (v - 0.4), d2 = (u - 0.7) * (u - 0.7) + (v - 0.7) * (v - 0.7);
        shade = (d1 < 0.04 ? 70 : 0) + (d2 < 0.02 ? -60 : 0) + (u > 0.5 && u < 0.55 ? 50 : 0);
      }
      const auto channel = [&](double base, int grain) {
        return static_cast<uint8_t>(std::clamp(static_cast<int>(base) + shade + grain - 8, 0, 255));
      };
      p.rgb.push_back(Rgb{channel(90 + 60 * std::sin(6.3 * u) * std::cos(3.1 * v), n & 15),
                          channel(110 + 50 * std::cos(4.7 * v + u), (n >> 4) & 15),
                          channel(120 + 40 * std::sin(3.3 * (u + v)), (n >> 8) & 15)});
    }
  }
  return p;
}

// Imported JPEG files: the record keeps the picture's full size and the file's bytes,
// the thumbnail has the rule's size for the full picture and stays within 35 dB of
// ImageMagick's box filter over the whole picture. On the worst case it is still as close
// as ImageMagick's own reduced decoding (its size hint) followed by the same filter.
TEST_F(EngineTest, JpegThumbnailsMatchImageMagicksBoxFilter) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("/usr/bin/convert");
  struct Case {
    const char* name;
    int w, h;
    std::vector<std::string> options;
    bool dense;
    uint16_t type;
    int thumbW, thumbH;
  } cases[] = {
      {"4:2:0, odd size", 1283, 965, {"-sample", "2x2"}, false, QM_TYPE_JPEG, 99, 75},
      {"4:2:2, wide, just 8 times", 1601, 899, {"-sample", "2x1"}, false, QM_TYPE_JPEG, 100, 56},
      {"grey, upright", 967, 1291, {"-grayscale"}, false, QM_TYPE_JPEG, 56, 75},
      {"progressive 4:2:0", 2000, 1500, {"-progressive", "-sample", "2x2"}, false, QM_TYPE_JPEG_PROGRESSIVE, 100, 75},
      {"progressive, upright, odd", 601, 1203, {"-progressive"}, false, QM_TYPE_JPEG_PROGRESSIVE, 37, 75},
      {"too small to reduce", 301, 227, {"-sample", "2x2"}, false, QM_TYPE_JPEG, 99, 75},
      {"dense edges, grey", 967, 1291, {"-grayscale"}, true, QM_TYPE_JPEG, 56, 75},
      {"dense edges, 4:2:0", 1601, 1201, {"-sample", "2x2"}, true, QM_TYPE_JPEG, 99, 75},
  };
  const fs::path dir = adtest::testDir();
  uint32_t position = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool grey = c.options[0] == "-grayscale";
    const std::string pnm = (dir / "in.pnm").string(), source = (dir / "in.jpg").string();
    pictest::writePnm(pnm, photograph(c.w, c.h, c.dense), grey);
    std::vector<std::string> cjpeg = {"cjpeg", "-quality", "90"};
    cjpeg.insert(cjpeg.end(), c.options.begin(), c.options.end());
    cjpeg.insert(cjpeg.end(), {"-outfile", source, pnm});
    ASSERT_EQ(adtest::runProgram(cjpeg), 0);

    mainWindow.received.clear();
    album.count = position;
    ASSERT_TRUE(engine->LoadImage(source, position)) << "error " << engine->ErrorCode;
    ASSERT_EQ(mainWindow.received.size(), 1u);
    const Reported& r = mainWindow.received[0];
    EXPECT_EQ(r.width, c.w);
    EXPECT_EQ(r.height, c.h);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(adtest::readFile(r.working), adtest::readFile(source)) << "the working copy is the file";
    const Pixels ours = filePixels(r.thumbnail);
    ASSERT_EQ(ours.width, c.thumbW);
    ASSERT_EQ(ours.height, c.thumbH);

    // ImageMagick's box filter over the whole picture and over its reduced decoding.
    const std::string size = std::to_string(c.thumbW) + "x" + std::to_string(c.thumbH) + "!";
    const std::string hint = std::to_string(2 * c.thumbW) + "x" + std::to_string(2 * c.thumbH);
    const std::string magickFile = (dir / "magick.ppm").string();
    auto magick = [&](std::vector<std::string> options) {
      options.insert(options.begin(), "/usr/bin/convert");
      options.insert(options.end(), {source, "-filter", "box", "-resize", size, magickFile});
      EXPECT_EQ(adtest::runProgram(options), 0);
      return pictest::convertRead(magickFile);
    };
    const Pixels box = magick({});
    const double psnr = pictest::psnr(box, ours);
    const double peer = pictest::psnr(box, magick({"-define", "jpeg:size=" + hint}));
    std::printf("%-26s %4dx%-4d thumbnail %3dx%-3d PSNR against ImageMagick's box filter %.2f dB "
                "(its own from its size hint: %.2f dB)\n",
                c.name, c.w, c.h, c.thumbW, c.thumbH, psnr, peer);
    EXPECT_GE(psnr, c.dense ? peer - 0.5 : 35.0);
    ++position;
  }
}

}  // namespace
