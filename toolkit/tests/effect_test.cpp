// The effect library: sizes and pixels of every operation's result.
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "picture_util.h"
#include "toolkit/effect/qm6effect.h"

namespace {

using namespace pictest;

QmHandle solid(int w, int h, Rgb c) { return ImageCreate(w, h, 24, c.r, c.g, c.b); }

// The pixels of a picture made from a row of values (grey).
QmHandle greyRow(std::vector<int> values) {
  return make(static_cast<int>(values.size()), 1, [&](int x, int) {
    auto v = static_cast<uint8_t>(values[static_cast<size_t>(x)]);
    return Rgb{v, v, v};
  });
}

std::vector<int> greyValues(QmHandle pic) {
  std::vector<int> out;
  for (const Rgb& c : read(pic).rgb) out.push_back(c.r);
  return out;
}

// Resizes through a clip of the whole picture, and checks that ImageResize gives the same.
QmHandle resize(QmHandle pic, int w, int h) {
  QmClip whole{}, scaled{};
  if (!ClipCut(pic, &whole, QM_CLIP_WHOLE, nullptr, 0)) return 0;
  const bool ok = ClipResize(&whole, &scaled, w, h) != 0;
  ImageFree(whole.picture);
  ImageFree(whole.place);
  ImageFree(scaled.place);
  QmHandle direct = ImageResize(pic, w, h);
  EXPECT_EQ(maxDifference(read(direct), read(scaled.picture)), 0);
  ImageFree(direct);
  return ok ? scaled.picture : 0;
}

class EffectTest : public ::testing::Test {
 protected:
  void SetUp() override { blocks_ = QmGlobalCount(); }
  void TearDown() override { EXPECT_EQ(QmGlobalCount(), blocks_) << "every block released"; }
  uint32_t blocks_ = 0;
};

struct Size {
  int sw, sh, w, h;
};

TEST_F(EffectTest, ResizeGivesTheExactSizeAndKeepsAColour) {
  const Size sizes[] = {{400, 300, 100, 75}, {1, 1, 5, 3}, {37, 23, 100, 62}, {100, 75, 100, 75},
                        {4000, 10, 3, 1},    {7, 5, 1, 1}, {720, 240, 720, 540}, {3, 3, 2000, 1}};
  const Rgb colour{201, 13, 77};
  for (const Size& s : sizes) {
    QmHandle pic = solid(s.sw, s.sh, colour);
    QmHandle out = resize(pic, s.w, s.h);
    const auto p = read(out);
    ASSERT_EQ(p.width, s.w) << s.sw << "x" << s.sh;
    ASSERT_EQ(p.height, s.h);
    for (const Rgb& c : p.rgb) ASSERT_EQ(c, colour) << s.sw << "x" << s.sh << " to " << s.w << "x" << s.h;
    ImageFree(out);
    ImageFree(pic);
  }
}

TEST_F(EffectTest, ShrinkingAveragesTheAreaEnlargingInterpolates) {
  struct Row {
    std::vector<int> in;
    int width;
    std::vector<int> out;
  } rows[] = {
      {{0, 0, 255, 255}, 2, {0, 255}},
      {{0, 90, 180}, 1, {90}},
      {{0, 0, 255}, 2, {0, 170}},             // thirds: (0 + 0 / 2) / 1.5 and (0 / 2 + 255) / 1.5
      {{10, 20, 30, 40, 50, 60}, 4, {13, 27, 43, 57}},    // (10 + 20 / 2) / 1.5, (20 / 2 + 30) / 1.5, ...
      {{0, 255}, 4, {0, 64, 191, 255}},       // centres at -0.25, 0.25, 0.75, 1.25
      {{100}, 3, {100, 100, 100}},
  };
  for (const Row& r : rows) {
    QmHandle pic = greyRow(r.in);
    QmHandle out = resize(pic, r.width, 1);
    EXPECT_EQ(greyValues(out), r.out);
    ImageFree(out);
    ImageFree(pic);
  }
}

// A one-pixel checkerboard shrunk by four becomes an even grey: no pattern survives.
TEST_F(EffectTest, ShrinkingDoesNotAlias) {
  QmHandle board = make(400, 300, [](int x, int y) {
    const uint8_t v = (x + y) % 2 ? 255 : 0;
    return Rgb{v, v, v};
  });
  QmHandle out = resize(board, 100, 75);
  for (const Rgb& c : read(out).rgb) ASSERT_NEAR(c.r, 128, 1);
  ImageFree(out);
  ImageFree(board);
}

// A 3 x 2 picture with six colours, turned by each quarter turn and pasted on a canvas of
// the turned size centred on the canvas: the turn is exact and covers the canvas.
TEST_F(EffectTest, PasteTurnsByQuarterTurnsExactly) {
  auto colour = [](int x, int y) { return Rgb{uint8_t(10 * x), uint8_t(100 + y), 3}; };
  QmHandle pic = make(3, 2, colour);
  QmClip clip{};
  ASSERT_NE(ClipCut(pic, &clip, QM_CLIP_WHOLE, nullptr, 0), 0);
  struct Turn {
    int angle;
    int w, h;
    // source pixel of turned pixel (X, Y)
    std::function<std::pair<int, int>(int, int)> from;
  } turns[] = {
      {-9000, 2, 3, [](int X, int Y) { return std::pair{Y, 1 - X}; }},   // clockwise: (x, y) to (h-1-y, x)
      {9000, 2, 3, [](int X, int Y) { return std::pair{2 - Y, X}; }},    // counter-clockwise: (x, y) to (y, w-1-x)
      {18000, 3, 2, [](int X, int Y) { return std::pair{2 - X, 1 - Y}; }},
      {0, 3, 2, [](int X, int Y) { return std::pair{X, Y}; }},
  };
  for (const Turn& t : turns) {
    QmHandle canvas = solid(t.w, t.h, Rgb{127, 127, 127});
    QmHandle out = ClipPaste(canvas, &clip, t.angle, t.w / 2, t.h / 2);
    const auto p = read(out);
    ASSERT_EQ(p.width, t.w);
    ASSERT_EQ(p.height, t.h);
    for (int Y = 0; Y < t.h; ++Y) {
      for (int X = 0; X < t.w; ++X) {
        auto [x, y] = t.from(X, Y);
        EXPECT_EQ(p.at(X, Y), colour(x, y)) << "angle " << t.angle << " at " << X << "," << Y;
      }
    }
    ImageFree(out);
    ImageFree(canvas);
  }
  EXPECT_EQ(ClipPaste(pic, &clip, 4500, 1, 1), 0u) << "only whole quarter turns";
  ImageFree(clip.picture);
  ImageFree(clip.place);
  ImageFree(pic);
}

// Placement: the clip's centre pixel (w / 2, h / 2) lands on the centre given; what
// falls off the canvas is dropped.
TEST_F(EffectTest, PasteAndOverlayPlaceExactly) {
  const Rgb a{1, 2, 3}, b{200, 100, 50};
  QmHandle canvas = solid(10, 8, a);
  QmHandle small = solid(4, 2, b);
  QmClip clip{};
  ASSERT_NE(ClipCut(small, &clip, QM_CLIP_WHOLE, nullptr, 0), 0);
  struct Place {
    bool paste;
    int x, y;        // centre for ClipPaste, top-left for ImageOverlay
    int left, top;   // where the 4 x 2 block must be
  } places[] = {{true, 5, 4, 3, 3}, {true, 0, 0, -2, -1}, {false, 3, 3, 3, 3}, {false, 8, 7, 8, 7},
                {false, -3, 0, -3, 0}};
  for (const Place& pl : places) {
    QmHandle out = pl.paste ? ClipPaste(canvas, &clip, 0, pl.x, pl.y) : ImageOverlay(canvas, small, pl.x, pl.y);
    const auto p = read(out);
    ASSERT_EQ(p.width, 10);
    ASSERT_EQ(p.height, 8);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= pl.left && x < pl.left + 4 && y >= pl.top && y < pl.top + 2;
        ASSERT_EQ(p.at(x, y), inside ? b : a) << pl.x << "," << pl.y << " at " << x << "," << y;
      }
    }
    ImageFree(out);
  }
  ImageFree(clip.picture);
  ImageFree(clip.place);
  ImageFree(small);
  ImageFree(canvas);
}

TEST_F(EffectTest, CutTakesAxisParallelRectangles) {
  QmHandle pic = make(6, 5, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 0}; });
  struct Cut {
    std::vector<int32_t> points;
    int left, top, w, h;  // w 0: refused
  } cuts[] = {
      {{0, 1, 6, 1, 6, 6, 0, 6}, 0, 1, 6, 4},   // one row below the top, to beyond the bottom
      {{2, 1, 5, 1, 5, 3, 2, 3}, 2, 1, 3, 2},
      {{5, 3, 2, 1, 2, 3, 5, 1}, 2, 1, 3, 2},   // corners in any order
      {{0, 0, 6, 0, 5, 5, 0, 5}, 0, 0, 0, 0},   // not a rectangle
      {{7, 0, 9, 0, 9, 2, 7, 2}, 0, 0, 0, 0},   // beside the picture
  };
  for (const Cut& c : cuts) {
    QmClip clip{};
    const QmBool ok = ClipCut(pic, &clip, QM_CLIP_POLYGON, c.points.data(), 4);
    ASSERT_EQ(ok != 0, c.w != 0);
    if (!ok) {
      EXPECT_EQ(clip.picture, 0u);
      continue;
    }
    const auto p = read(clip.picture);
    ASSERT_EQ(p.width, c.w);
    ASSERT_EQ(p.height, c.h);
    EXPECT_EQ(p.at(0, 0), (Rgb{uint8_t(c.left), uint8_t(c.top), 0}));
    int32_t place[4];
    std::memcpy(place, QmGlobalLock(clip.place), sizeof place);
    QmGlobalUnlock(clip.place);
    EXPECT_EQ(place[0], c.left);
    EXPECT_EQ(place[1], c.top);
    ImageFree(clip.picture);
    ImageFree(clip.place);
  }
  ImageFree(pic);
}

// An 8-bit grey picture (as the JPEG module makes them) is taken by every operation and
// comes out as 24 bits; bad handles and sizes fail.
TEST_F(EffectTest, GreyPicturesAndRefusals) {
  const int w = 3, h = 2;
  QmHandle grey = QmGlobalAlloc(40 + 1024 + 4 * h);
  auto* base = static_cast<uint8_t*>(QmGlobalLock(grey));
  QmBitmapInfoHeader hd{40, w, h, 1, 8, 0, 0, 0, 0, 0, 0};
  std::memcpy(base, &hd, 40);
  for (int i = 0; i < 256; ++i) base[40 + 4 * i] = base[41 + 4 * i] = base[42 + 4 * i] = uint8_t(i);
  const uint8_t rows[8] = {40, 50, 60, 0, 10, 20, 30, 0};  // bottom row first
  std::memcpy(base + 1064, rows, sizeof rows);
  QmGlobalUnlock(grey);

  ImageKindRecord kind;
  ASSERT_NE(ImageInfo(grey, &kind), 0);
  EXPECT_EQ(kind.bitCount, 8);
  QmHandle deep = ImageToDepth(grey, 24);
  ASSERT_NE(ImageInfo(deep, &kind), 0);
  EXPECT_EQ(kind.bitCount, 24);
  EXPECT_EQ(greyValues(deep), (std::vector<int>{10, 20, 30, 40, 50, 60}));
  QmHandle copy = ImageCopy(grey);
  EXPECT_EQ(QmGlobalSize(copy), QmGlobalSize(grey));
  EXPECT_EQ(std::memcmp(QmGlobalLock(copy), QmGlobalLock(grey), QmGlobalSize(grey)), 0);
  QmGlobalUnlock(copy);
  QmGlobalUnlock(grey);

  EXPECT_EQ(ImageInfo(0, &kind), 0);
  QmHandle junk = QmGlobalAlloc(12);
  EXPECT_EQ(ImageInfo(junk, &kind), 0);
  EXPECT_EQ(ImageToDepth(grey, 8), 0u);
  EXPECT_EQ(ImageCreate(4, 4, 8, 0, 0, 0), 0u);
  EXPECT_EQ(ImageCreate(0, 4, 24, 0, 0, 0), 0u);
  EXPECT_EQ(ImageCreate(70000, 4, 24, 0, 0, 0), 0u);
  QmClip clip{};
  EXPECT_EQ(ClipCut(junk, &clip, QM_CLIP_WHOLE, nullptr, 0), 0);
  ASSERT_NE(ClipCut(grey, &clip, QM_CLIP_WHOLE, nullptr, 0), 0);
  QmClip out{};
  EXPECT_EQ(ClipResize(&clip, &out, 0, 5), 0);
  EXPECT_EQ(out.picture, 0u);

  ImageFree(clip.picture);
  ImageFree(clip.place);
  ImageFree(junk);
  ImageFree(copy);
  ImageFree(deep);
  ImageFree(grey);
}

TEST_F(EffectTest, CreateFillsWithTheColour) {
  QmHandle pic = ImageCreate(3, 2, 24, 10, 20, 30);
  for (const Rgb& c : read(pic).rgb) EXPECT_EQ(c, (Rgb{10, 20, 30}));
  ImageFree(pic);
}

}  // namespace
