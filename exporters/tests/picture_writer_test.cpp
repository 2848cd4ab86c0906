// The exports' picture writer against the picture engine it stands in for: the same
// files, byte for byte, wherever the picture is read at its full size; for large JPEG
// working copies read reduced, the same sizes and nearly the same pixels; and capture
// files converted through a file of the writer's own.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "exporters/picture_writer.h"
#include "workspace/output_format.h"

using namespace exporters;
using namespace enginetest;
using workspace::OutputFormatSettings;

namespace {

class PictureWriterTest : public EngineTest {
 protected:
  // A smooth picture with some detail, as a BMP or (jpeg) a JPEG of quality 92.
  std::string source(int w, int h, bool jpeg) {
    const std::string name = std::to_string(w) + "x" + std::to_string(h);
    const std::string bmp = bmpFile(name + ".bmp", w, h, [w, h](int x, int y) {
      return pictest::Rgb{uint8_t(x * 255 / w), uint8_t(y * 255 / h), uint8_t((x / 7 + y / 5) % 2 ? 200 : 90)};
    });
    if (!jpeg) return bmp;
    const std::string path = (adtest::testDir() / (name + ".jpg")).string();
    QmHandle pic = ImageFileLoad(bmp.c_str());
    EXPECT_TRUE(ImageFileSaveJpeg(path.c_str(), pic, 0, 92, 0, ""));
    ImageFree(pic);
    return path;
  }
  std::string out(const std::string& name) const { return (adtest::testDir() / name).string(); }

  // The settings of the movie's frames, the album's pictures within a width, and
  // pictures kept at their size.
  void movie(int W, int H) {
    workspace::SetDefaults(settings);
    settings.Format = OutputFormatSettings::kBmp;
    settings.OutputWidth = W;
    settings.OutputHeight = H;
    engine->FillColor = 0x00336699;
  }
  void albumPicture(int w, int h, int widest) {
    workspace::SetDefaults(settings);
    engine->FillColor = 0x00FFFFFF;
    if (w <= widest) {
      settings.SizeMode = OutputFormatSettings::kKeepSize;
    } else {
      settings.OutputWidth = widest;
      settings.OutputHeight = std::max(1, widest * h / w);
    }
  }
};

struct Case {
  int w, h;
  bool movie;   // else an album picture with its thumbnail
  int W, H;     // the movie's frame, or the album's widest picture in W
};

}  // namespace

TEST_F(PictureWriterTest, SameFilesAsTheEngineAtFullSize) {
  const Case cases[] = {
      {640, 480, true, 160, 120}, {480, 640, true, 160, 120}, {200, 50, true, 80, 60},   {50, 200, true, 320, 240},
      {80, 60, true, 80, 60},     {30, 20, true, 320, 240},   {1, 1, true, 80, 60},      {640, 480, false, 480, 0},
      {400, 300, false, 480, 0},  {1000, 333, false, 480, 0}, {5000, 3, false, 4000, 0}, {30, 20, false, 480, 0},
      {60, 80, false, 480, 0},    {81, 60, false, 480, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.movie ? " movie" : " album"));
    const std::string src = source(c.w, c.h, false);
    PictureWriter writer(*engine, settings);
    if (c.movie) {
      movie(c.W, c.H);
      ASSERT_TRUE(writer.Export(src, out("ours.bmp")));
      ASSERT_TRUE(engine->ExportImage(src, out("engine.bmp")));
      EXPECT_EQ(adtest::readFile(out("ours.bmp")), adtest::readFile(out("engine.bmp")));
    } else {
      albumPicture(c.w, c.h, c.W);
      ASSERT_TRUE(writer.ExportWithThumbnail(src, out("fs.jpg"), out("tn.jpg"), 80, 60));
      ASSERT_TRUE(engine->ConvertImage(out("tn_engine.jpg"), src, 80, 60));
      ASSERT_TRUE(engine->ExportImage(src, out("fs_engine.jpg")));
      EXPECT_EQ(adtest::readFile(out("tn.jpg")), adtest::readFile(out("tn_engine.jpg")));
      EXPECT_EQ(adtest::readFile(out("fs.jpg")), adtest::readFile(out("fs_engine.jpg")));
    }
  }
}

TEST_F(PictureWriterTest, LargeJpegsReadReducedKeepSizesAndPixels) {
  const Case cases[] = {
      {2000, 1500, true, 160, 120}, {1999, 1001, true, 320, 240}, {1500, 2000, true, 80, 60},
      {2000, 1500, false, 480, 0},  {1283, 963, false, 300, 0},   {2000, 1500, false, 4000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.movie ? " movie" : " album"));
    const std::string src = source(c.w, c.h, true);
    PictureWriter writer(*engine, settings);
    std::vector<std::pair<std::string, std::string>> pairs;
    if (c.movie) {
      movie(c.W, c.H);
      ASSERT_TRUE(writer.Export(src, out("ours.bmp")));
      ASSERT_TRUE(engine->ExportImage(src, out("engine.bmp")));
      pairs = {{"ours.bmp", "engine.bmp"}};
    } else {
      albumPicture(c.w, c.h, c.W);
      ASSERT_TRUE(writer.ExportWithThumbnail(src, out("fs.jpg"), out("tn.jpg"), 80, 60));
      ASSERT_TRUE(engine->ConvertImage(out("tn_engine.jpg"), src, 80, 60));
      ASSERT_TRUE(engine->ExportImage(src, out("fs_engine.jpg")));
      pairs = {{"tn.jpg", "tn_engine.jpg"}, {"fs.jpg", "fs_engine.jpg"}};
    }
    for (const auto& [ours, theirs] : pairs) {
      const pictest::Pixels a = filePixels(out(ours)), b = filePixels(out(theirs));
      ASSERT_EQ(a.width, b.width) << ours;
      ASSERT_EQ(a.height, b.height) << ours;
      // The pictures differ only as two ways of averaging the same pixels do.
      EXPECT_LE(pictest::maxDifference(a, b), 24) << ours;
      double squares = 0;
      for (size_t i = 0; i < a.rgb.size(); ++i) {
        for (auto [p, q] : {std::pair{a.rgb[i].r, b.rgb[i].r}, {a.rgb[i].g, b.rgb[i].g}, {a.rgb[i].b, b.rgb[i].b}})
          squares += (p - q) * (p - q);
      }
      EXPECT_LE(squares / (3.0 * a.rgb.size()), 8.0) << ours << ": mean squared difference";
    }
  }
}

TEST_F(PictureWriterTest, ReductionLeavesTwiceTheTarget) {
  struct R {
    int w, h;
    Extent target;
    unsigned reduction;
  };
  for (const R& r : {R{4000, 3000, {320, 240}, 4}, R{4000, 3000, {80, 60}, 8}, R{4000, 3000, {480, 360}, 4},
                     R{1000, 750, {80, 60}, 4}, R{321, 241, {80, 60}, 2}, R{320, 240, {80, 60}, 2},
                     R{318, 240, {80, 60}, 1}, R{640, 480, {640, 480}, 1}, R{4000, 30, {320, 2}, 4}}) {
    EXPECT_EQ(ReductionFor(r.w, r.h, r.target), r.reduction) << r.w << "x" << r.h;
  }
  // With a margin of 1 (the viewer's fitted view): at least the target itself; never a
  // "reduction" that leaves the picture as large as it is.
  for (const R& r : {R{1600, 1200, {400, 300}, 4}, R{1600, 1200, {401, 300}, 2}, R{1601, 1201, {201, 151}, 8},
                     R{5, 1, {1, 1}, 8}, R{1, 1, {1, 1}, 1}, R{800, 600, {800, 600}, 1}}) {
    EXPECT_EQ(ReductionFor(r.w, r.h, r.target, 1), r.reduction) << r.w << "x" << r.h << " margin 1";
  }
}

TEST_F(PictureWriterTest, CaptureFilesGoThroughAFileOfTheirOwn) {
  const std::string yuv = yuvFile("frame.yuv", 720, 480, 120, 100, 160);
  // Another window's conversion lies in the work folder under the engine's fixed name.
  const std::string shared = work + "tmp.bmp";
  adtest::writeFile(shared, "another window's picture");
  movie(160, 120);
  PictureWriter writer(*engine, settings);
  ASSERT_TRUE(writer.Export(yuv, out("ours.bmp")));
  albumPicture(720, 480, 480);
  ASSERT_TRUE(writer.ExportWithThumbnail(yuv, out("fs.jpg"), out("tn.jpg"), 80, 60));
  EXPECT_EQ(adtest::readFile(shared), "another window's picture");
  for (const auto& e : std::filesystem::directory_iterator(work))
    EXPECT_NE(e.path().filename().string().rfind("zbm", 0), 0u) << "left behind: " << e.path();
  // The same files as the engine's.
  ASSERT_TRUE(engine->ConvertImage(out("tn_engine.jpg"), yuv, 80, 60));
  ASSERT_TRUE(engine->ExportImage(yuv, out("fs_engine.jpg")));
  EXPECT_EQ(adtest::readFile(out("tn.jpg")), adtest::readFile(out("tn_engine.jpg")));
  EXPECT_EQ(adtest::readFile(out("fs.jpg")), adtest::readFile(out("fs_engine.jpg")));
  movie(160, 120);
  ASSERT_TRUE(engine->ExportImage(yuv, out("engine.bmp")));
  EXPECT_EQ(adtest::readFile(out("ours.bmp")), adtest::readFile(out("engine.bmp")));
}

TEST_F(PictureWriterTest, UnreadableWorkingCopiesFail) {
  adtest::writeFile(out("broken.jpg"), std::string("\xFF\xD8\xFF\xE0 not really", 16));
  movie(80, 60);
  PictureWriter writer(*engine, settings);
  for (const std::string& src : {out("broken.jpg"), out("missing.bmp"), out("broken.yuv")}) {
    EXPECT_FALSE(writer.Export(src, out("ours.bmp"))) << src;
    EXPECT_FALSE(writer.ExportWithThumbnail(src, out("fs.jpg"), out("tn.jpg"), 80, 60)) << src;
  }
  EXPECT_FALSE(std::filesystem::exists(out("ours.bmp")));
  EXPECT_FALSE(std::filesystem::exists(out("fs.jpg")));
}
