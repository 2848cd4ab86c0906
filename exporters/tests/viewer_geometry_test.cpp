// The viewer's arithmetic and keys.
#include "exporters/viewer_geometry.h"

#include <gtest/gtest.h>

using namespace exporters::viewer;

namespace {

TEST(ViewerGeometry, FitsByHeightOrWidthAndNeverForNothing) {
  struct Case {
    int cw, ch, pw, ph;
    std::optional<int> zoom;
  };
  const Case cases[] = {
      {400, 300, 640, 480, 62},    // same shape: by height, 300 x 100 / 480
      {800, 300, 640, 480, 62},    // wider client: by height
      {400, 600, 640, 480, 62},    // taller client: by width, 400 x 100 / 640
      {400, 300, 480, 640, 46},    // portrait picture: by height
      {300, 300, 100, 100, 300},   // small picture: above 100 (the viewer holds it to 400)
      {4000, 3000, 10, 10, 30000},
      {400, 300, 4000, 3000, 10},  // below 20 (held to 20)
      {0, 300, 640, 480, 0},
      {400, 0, 640, 480, std::nullopt},
      {400, 300, 0, 480, std::nullopt},
      {400, 300, 640, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitZoom(c.cw, c.ch, c.pw, c.ph), c.zoom) << c.cw << "x" << c.ch << " " << c.pw << "x" << c.ph;
  }
  EXPECT_EQ(ClampZoom(10), 20);
  EXPECT_EQ(ClampZoom(30000), 400);
  EXPECT_EQ(ClampZoom(37), 37);
  EXPECT_EQ(Scaled(640, 37), 236);
  EXPECT_EQ(Scaled(4, 20), 0);
  EXPECT_EQ(Scaled(65535, 400), 262140);
}

TEST(ViewerGeometry, ZoomKeepsTheCentreOfTheView) {
  struct Case {
    int position, half, oldSize, newSize, expected;
  };
  const Case cases[] = {
      {0, 200, 400, 800, 200},     // doubled: the old centre 200 lands at 400, shown from 200
      {200, 200, 800, 400, 0},     // halved back
      {100, 150, 480, 240, -25},   // the scroll bar holds a negative position at 0
      {0, 150, 0, 640, 0},         // nothing shown before
      {1000, 300, 60000, 120000, 2300},
  };
  for (const Case& c : cases) EXPECT_EQ(KeepCentre(c.position, c.half, c.oldSize, c.newSize), c.expected);
}

TEST(ViewerGeometry, MenuAndKeyStepsStopAtTheirLimits) {
  struct Case {
    int zoom;
    std::optional<int> menuIn, menuOut, keyIn, keyOut;
  };
  const Case cases[] = {
      {20, 40, std::nullopt, 40, std::nullopt},
      {25, 50, std::nullopt, 50, 20},
      {40, 80, std::nullopt, 80, 20},
      {50, 100, 25, 100, 25},
      {100, 200, 50, 200, 50},
      {200, 400, 100, 400, 100},
      {300, std::nullopt, 150, 400, 150},
      {400, std::nullopt, 200, std::nullopt, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zoom);
    EXPECT_EQ(MenuZoomIn(c.zoom), c.menuIn);
    EXPECT_EQ(MenuZoomOut(c.zoom), c.menuOut);
    EXPECT_EQ(KeyZoomIn(c.zoom), c.keyIn);
    EXPECT_EQ(KeyZoomOut(c.zoom), c.keyOut);
  }
}

TEST(ViewerGeometry, CaptionCountsFromOneInThreeDigits) {
  EXPECT_EQ(Caption("Viewer", 11, 37), "Viewer [ Image012 37% ]");
  EXPECT_EQ(Caption("Viewer", 0, 400), "Viewer [ Image001 400% ]");
  EXPECT_EQ(Caption("", 199, 100), " [ Image200 100% ]");
  EXPECT_EQ(Caption("V", 999, 20), "V [ Image1000 20% ]");
}

TEST(ViewerGeometry, NavigationKeysWithoutModifiers) {
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    std::optional<Command> command;
  };
  const Case cases[] = {
      {Qt::Key_Return, Qt::NoModifier, kNext},     {Qt::Key_Enter, Qt::KeypadModifier, kNext},
      {Qt::Key_Space, Qt::NoModifier, kNext},      {Qt::Key_Right, Qt::NoModifier, kNext},
      {Qt::Key_Left, Qt::NoModifier, kPrevious},   {Qt::Key_Up, Qt::NoModifier, kFirst},
      {Qt::Key_Down, Qt::NoModifier, kLast},       {Qt::Key_Right, Qt::ShiftModifier, std::nullopt},
      {Qt::Key_Left, Qt::ControlModifier, std::nullopt}, {Qt::Key_A, Qt::NoModifier, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(NavigationKey(c.key, c.modifiers), c.command) << c.key;
}

}  // namespace
