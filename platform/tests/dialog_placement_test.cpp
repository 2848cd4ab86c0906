// Where a dialog goes while windows that stay on top are shown: on the screen, and clear
// of them where the screen has room.
#include <gtest/gtest.h>

#include "platform/dialog_placement.h"

using platform::placeClear;

TEST(DialogPlacement, ADialogGoesOnTheScreenAndBesideTheWindowsItWouldMeet) {
  const QRect small(0, 0, 800, 600), large(0, 0, 1280, 1024);
  const QRect centredPanel(484, 410, 312, 203);  // 312 x 203 in the middle of the large screen
  struct Row {
    const char* what;
    QRect proposed;
    std::vector<QRect> keepClear;
    QRect screen;
    QRect placed;
  } rows[] = {
      {"clear already", {100, 100, 200, 100}, {{400, 400, 100, 100}}, small, {100, 100, 200, 100}},
      {"past the right and bottom edges", {700, 550, 200, 100}, {}, small, {600, 500, 200, 100}},
      {"past the left and top edges", {-30, -5, 200, 100}, {}, {0, 24, 800, 576}, {0, 24, 200, 100}},
      {"larger than the screen: its corner on it", {-50, -50, 900, 700}, {}, small, {0, 0, 900, 700}},
      {"centred under the panel: the nearest side with room", {410, 320, 460, 384}, {centredPanel}, large,
       {410, 617, 460, 384}},
      {"a message box under the panel", {530, 460, 220, 110}, {centredPanel}, large, {530, 617, 220, 110}},
      {"the panel at the left edge: to its right", {170, 120, 460, 360}, {{0, 200, 312, 203}}, small,
       {316, 120, 460, 360}},
      {"the nearest side is taken by another window", {170, 200, 400, 150}, {{0, 180, 312, 203}, {600, 150, 200, 120}},
       small, {170, 26, 400, 150}},
      {"no room on any side: it stays, on the screen", {170, 120, 460, 360}, {{244, 198, 312, 203}}, small,
       {170, 120, 460, 360}},
      {"no room, and off the screen", {500, 120, 460, 360}, {{244, 198, 312, 203}}, small, {340, 120, 460, 360}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const QRect p = placeClear(r.proposed, r.keepClear, r.screen);
    EXPECT_EQ(p, r.placed) << p.x() << "," << p.y() << " " << p.width() << "x" << p.height();
    EXPECT_EQ(p.size(), r.proposed.size());
  }
}
