// The title card's preview: where a picture lies in it, the slider and its cut levels,
// the cut-out by luminance, and the picture laid over the camera sample with white
// left out.
#include "exporters/title_preview.h"

#include <gtest/gtest.h>

#include "exporters/card_pictures.h"
#include <filesystem>

#include "picture_util.h"
#include "platform/folders.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace {

using namespace exporters;
using pictest::Rgb;

// The work folder of the test's own HOME, made.
std::string workFolder() {
  const std::string work = platform::workDir();
  std::filesystem::create_directories(work);
  return work;
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override { blocks = QmGlobalCount(); }
  void TearDown() override { EXPECT_EQ(QmGlobalCount(), blocks) << "every picture released"; }
  uint32_t blocks = 0;
};

TEST(PreviewMaths, PlacementOfPicturesInThePreview) {
  struct Case {
    int w, h;
    PreviewPlace place;
  } cases[] = {
      {640, 480, {0, 0, 320, 240}},     // 4:3 fills it
      {720, 480, {0, 13, 320, 213}},    // wider: full width, centred vertically
      {480, 640, {70, 0, 180, 240}},    // portrait: full height, centred across
      {1280, 960, {0, 0, 320, 240}},
      {4000, 1, {0, 119, 320, 1}},      // a line of a picture keeps one row
      {1, 4000, {159, 0, 1, 240}},
  };
  for (const Case& c : cases) EXPECT_EQ(PreviewPlacement(c.w, c.h), c.place) << c.w << "x" << c.h;
}

TEST(PreviewMaths, SliderPositionsAndCutLevels) {
  const std::pair<int, int> positionLevel[] = {{0, 0}, {1, 255}, {11, 245}, {156, 100}, {255, 1}};
  for (auto [position, level] : positionLevel) {
    EXPECT_EQ(LevelOfSlider(position), level) << position;
    EXPECT_EQ(SliderOfLevel(level), position) << level;
  }
  // A title picture keeps its level, any level it can hold; other pictures start at 245.
  EXPECT_EQ(InitialCutLevel(0xFF00), kDefaultCutLevel);
  for (uint16_t own : {0, 1, 100, 255}) EXPECT_EQ(InitialCutLevel(own), own);
  EXPECT_EQ(InitialCutLevel(256), kDefaultCutLevel);
}

TEST_F(Preview, CutOutWhitensWhatIsAtLeastAsBrightAsTheLevel) {
  EXPECT_EQ(Luminance(240, 250, 250), 247);
  EXPECT_EQ(Luminance(255, 255, 255), 255);
  const Rgb colours[] = {{250, 250, 250}, {240, 250, 250}, {200, 200, 200}, {255, 0, 0}, {0, 0, 0}};
  struct Case {
    int level;
    std::vector<bool> cut;
  } cases[] = {
      {245, {true, true, false, false, false}},
      {247, {true, true, false, false, false}},
      {248, {true, false, false, false, false}},
      {76, {true, true, true, true, false}},   // pure red has luminance 76
      {1, {true, true, true, true, false}},
      {0, {false, false, false, false, false}},  // without cutting-out
  };
  for (const Case& c : cases) {
    OwnedPicture pic(pictest::make(5, 1, [&](int x, int) { return colours[x]; }));
    ASSERT_TRUE(CutOut(pic.get(), c.level));
    const pictest::Pixels p = pictest::read(pic.get());
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(p.at(x, 0), (c.cut[size_t(x)] ? Rgb{255, 255, 255} : colours[x])) << "level " << c.level << " x " << x;
    }
  }
}

// White pixels of the picture leave the background visible; everything else covers it,
// and what lies beyond the background's edges is dropped.
TEST_F(Preview, OverlayLeavesWhiteOutAndClipsAtTheEdges) {
  const Rgb bg{10, 20, 30}, ink{200, 0, 0}, white{255, 255, 255};
  // A 4 x 2 picture: white on the left half of each row, ink on the right.
  OwnedPicture pic(pictest::make(4, 2, [&](int x, int) { return x < 2 ? white : ink; }));
  struct Case {
    int left, top;
    bool whiteClear;
  } cases[] = {{1, 1, true}, {1, 1, false}, {-3, 0, true}, {4, 3, false}, {-4, -2, false}};
  for (const Case& c : cases) {
    OwnedPicture canvas(ImageCreate(6, 4, 24, bg.r, bg.g, bg.b));
    ASSERT_TRUE(LayOver(canvas.get(), pic.get(), c.left, c.top, c.whiteClear));
    const pictest::Pixels p = pictest::read(canvas.get());
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 6; ++x) {
        const int px = x - c.left, py = y - c.top;
        Rgb want = bg;
        if (px >= 0 && px < 4 && py >= 0 && py < 2) want = px < 2 ? (c.whiteClear ? bg : white) : ink;
        EXPECT_EQ(p.at(x, y), want) << c.left << "," << c.top << " at " << x << "," << y;
      }
    }
  }
  OwnedPicture grey(pictest::make(2, 2, [](int, int) { return Rgb{1, 1, 1}; }));
  EXPECT_FALSE(LayOver(0, grey.get(), 0, 0, false));
}

// The preview of a 720 x 480 picture: bright parts cut out show the camera picture,
// dark parts stay, and the bands above and below are the camera picture too; without
// cutting-out the picture stands on white.
TEST_F(Preview, PreviewOfAPictureOverTheCameraSample) {
  const Rgb bright{250, 250, 250}, dark{20, 40, 160};
  OwnedPicture picture(pictest::make(720, 480, [&](int x, int) { return x < 360 ? bright : dark; }));
  PreviewPlace place;
  OwnedPicture source(MakePreviewSource(picture.get(), workFolder(), place));
  ASSERT_TRUE(source);
  EXPECT_EQ(place, (PreviewPlace{0, 13, 320, 213}));
  int w = 0, h = 0;
  ASSERT_TRUE(PictureSize(source.get(), w, h));
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 213);

  OwnedPicture background(pictest::make(320, 240, [](int x, int y) { return Rgb{uint8_t(x / 2), uint8_t(y), 99}; }));
  OwnedPicture white(ImageCreate(320, 240, 24, 255, 255, 255));
  OwnedPicture cut(ComposePreview(background.get(), source.get(), 245, place));
  OwnedPicture plain(ComposePreview(white.get(), source.get(), 0, place));
  ASSERT_TRUE(cut && plain);
  const pictest::Pixels c = pictest::read(cut.get()), p = pictest::read(plain.get());
  const pictest::Pixels bg = pictest::read(background.get());
  auto near = [](Rgb a, Rgb b) { return std::abs(a.r - b.r) <= 12 && std::abs(a.g - b.g) <= 12 && std::abs(a.b - b.b) <= 12; };
  for (auto [x, y] : {std::pair{40, 100}, {100, 200}, {150, 20}}) EXPECT_EQ(c.at(x, y), bg.at(x, y)) << x << "," << y;
  for (auto [x, y] : {std::pair{5, 5}, {300, 230}}) EXPECT_EQ(c.at(x, y), bg.at(x, y)) << "band " << x << "," << y;
  EXPECT_TRUE(near(c.at(250, 120), dark));
  EXPECT_TRUE(near(p.at(40, 120), bright));
  EXPECT_TRUE(near(p.at(250, 120), dark));
  EXPECT_EQ(p.at(5, 5), (Rgb{255, 255, 255}));
}

TEST_F(Preview, BackgroundFromTheWorkFolderOrTheProgramsOwn) {
  const std::string work = workFolder();
  {
    OwnedPicture own(LoadPreviewBackground(work));
    const pictest::Pixels p = pictest::read(own.get());
    ASSERT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_EQ(p.bits, 24);
    EXPECT_NE(p.at(10, 10), p.at(10, 230)) << "a picture, not a plain colour";
  }
  // A picture the toolkit reads, whatever its name and size, is scaled to the preview.
  OwnedPicture sample(pictest::make(64, 48, [](int, int) { return Rgb{30, 140, 90}; }));
  ASSERT_TRUE(ImageFileSaveJpeg((work + "WRO_TI.DAT").c_str(), sample.get(), 0, 95, 2, ""));
  OwnedPicture loaded(LoadPreviewBackground(work));
  const pictest::Pixels p = pictest::read(loaded.get());
  ASSERT_EQ(p.width, 320);
  EXPECT_EQ(p.height, 240);
  EXPECT_LE(std::abs(p.at(160, 120).g - 140), 3);
}

}  // namespace
