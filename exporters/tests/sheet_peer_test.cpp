// Sheets compared with pictures ImageMagick draws from the same rules: a canvas of the
// background colour, and each filled cell's picture fitted into its cell (W / n by
// H / n at its column and row), its aspect kept and centred. Solid pictures stay solid
// through any scaling, so a BMP sheet must match exactly; a JPEG sheet closely.
#include <cstdio>
#include <sstream>

#include "engine_fixture.h"
#include "exporters/sheet_composer.h"

namespace {

using namespace enginetest;
using exporters::ComposeSheet;
using exporters::SheetJob;
using exporters::SheetResult;
using pictest::Rgb;

struct Cell {
  int w = 0, h = 0;  // 0: an empty cell
  Rgb colour;
};

struct Layout {
  int width, height, n;
  uint32_t background;  // 0x00BBGGRR
  std::vector<Cell> cells;
};

std::string hex(Rgb c) {
  char s[8];
  std::snprintf(s, sizeof s, "#%02x%02x%02x", c.r, c.g, c.b);
  return s;
}

class SheetPeer : public EngineTest {
 protected:
  // The sheet as the program writes it.
  std::string write(const Layout& l, int format, int quality, const std::string& name) {
    SheetJob job;
    job.width = l.width;
    job.height = l.height;
    job.grid = l.n;
    job.background = l.background;
    job.format = format;
    job.quality = quality;
    for (size_t i = 0; i < l.cells.size(); ++i) {
      const Cell& c = l.cells[i];
      job.cells.push_back(c.w ? solidBmp("cell" + std::to_string(i) + ".bmp", c.w, c.h, c.colour) : "");
    }
    const std::string path = (adtest::testDir() / name).string();
    EXPECT_EQ(ComposeSheet(job, path, *engine), SheetResult::Written);
    return path;
  }

  // The sheet drawn by ImageMagick from the rules.
  std::string expected(const Layout& l) {
    const Rgb bg{uint8_t(l.background), uint8_t(l.background >> 8), uint8_t(l.background >> 16)};
    std::vector<std::string> argv = {"/usr/bin/convert", "-size", std::to_string(l.width) + "x" + std::to_string(l.height),
                                     "xc:" + hex(bg), "+antialias"};
    const int cw = l.width / l.n, ch = l.height / l.n;
    for (int i = 0; i < l.n * l.n && i < int(l.cells.size()); ++i) {
      const Cell& c = l.cells[size_t(i)];
      if (!c.w) continue;
      int sw, sh;
      if (int64_t(c.w) * ch > int64_t(c.h) * cw) {
        sw = cw;
        sh = std::max<int>(1, int(int64_t(cw) * c.h / c.w));
      } else {
        sh = ch;
        sw = std::max<int>(1, int(int64_t(ch) * c.w / c.h));
      }
      const int x0 = (i % l.n) * cw + (cw - sw) / 2, y0 = (i / l.n) * ch + (ch - sh) / 2;
      std::ostringstream rect;
      rect << "rectangle " << x0 << "," << y0 << " " << x0 + sw - 1 << "," << y0 + sh - 1;
      argv.insert(argv.end(), {"-fill", hex(c.colour), "-draw", rect.str()});
    }
    const std::string path = (adtest::testDir() / "expected.bmp").string();
    argv.push_back("BMP3:" + path);
    EXPECT_EQ(adtest::runProgram(argv), 0);
    return path;
  }

  // ImageMagick's comparison of two pictures: the number of differing pixels, or PSNR.
  static std::string compare(const std::string& metric, const std::string& a, const std::string& b) {
    std::string err;
    adtest::runProgram({"/usr/bin/compare", "-metric", metric, a, b, "null:"}, nullptr, &err);
    return err;
  }
};

const Layout kLayouts[] = {
    // 3 x 3 on 640 x 480: cells of 213 x 160; column 639 and no row are left over.
    {640, 480, 3, 0x202020,
     {{320, 240, {200, 30, 30}}, {300, 400, {30, 200, 30}}, {320, 180, {30, 30, 200}},
      {200, 200, {220, 220, 40}}, {2000, 500, {40, 220, 220}}, {100, 75, {220, 40, 220}},
      {213, 160, {250, 250, 250}}, {50, 400, {120, 60, 0}}, {}}},
    // 2 x 2 on an odd size: cells of 151 x 100, leftovers at the right and bottom.
    {303, 201, 2, 0x4080FF, {{150, 100, {0, 0, 0}}, {}, {90, 160, {255, 255, 0}}, {640, 480, {0, 128, 0}}}},
    // 4 x 4 with empty cells; cells given beyond the grid are not drawn.
    {810, 610, 4, 0xFFFFFF,
     {{640, 480, {10, 10, 10}}, {}, {480, 640, {200, 0, 0}}, {1920, 1080, {0, 0, 200}}, {}, {16, 16, {0, 150, 0}},
      {}, {}, {}, {}, {300, 300, {90, 90, 90}}, {}, {}, {}, {}, {700, 100, {250, 120, 0}}, {100, 100, {1, 2, 3}}}},
};

TEST_F(SheetPeer, BmpSheetsMatchImageMagicksDrawingExactly) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  AD_REQUIRE_TOOL("/usr/bin/compare");
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(std::to_string(l.n) + " x " + std::to_string(l.n));
    const std::string sheet = write(l, 1, 75, "sheet.bmp");
    EXPECT_EQ(compare("AE", expected(l), sheet), "0");
  }
}

TEST_F(SheetPeer, JpegSheetsHaveTheSizeSamplingQualityAndLook) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  AD_REQUIRE_TOOL("/usr/bin/identify");
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(std::to_string(l.n) + " x " + std::to_string(l.n));
    const std::string sheet = write(l, 0, 80, "sheet.jpg");
    std::string out;
    ASSERT_EQ(adtest::runProgram({"/usr/bin/identify", "-format", "%m %w %h %[jpeg:sampling-factor] %Q", sheet}, &out), 0);
    EXPECT_EQ(out, "JPEG " + std::to_string(l.width) + " " + std::to_string(l.height) + " 2x2,1x1,1x1 80");
    const double psnr = std::stod(compare("PSNR", expected(l), sheet));
    EXPECT_GE(psnr, 30.0);
  }
}

}  // namespace
