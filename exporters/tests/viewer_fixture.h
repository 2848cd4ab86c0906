// The program as the viewer's and converter's tests need it: the viewer forms entered
// (the viewer on a manual clock), the program's forms made, the main window shown, and
// album pictures made on the spot.
#pragma once

#include <QColor>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/com/qm6com.h"

class QAction;

namespace exporters {
class TfrmImgFmt;
class TfrmView;
class TfrmViewBtn;
}  // namespace exporters

namespace viewertest {

// The clock of the viewer's slide show in these tests.
platform::ManualClock& clock();

// A picture file made with Qt (BMP, or JPEG at quality 95 for ".jpg").
std::string writeImage(const std::string& name, const QImage& image);
// A picture of four coloured quarters: red, green / blue, yellow.
QImage quarters(int w, int h);
QRgb quarterColour(int x, int y, int w, int h);

class ViewerProgram : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Adds a picture file at the album's end through the main window's engine.
  void add(const std::string& path);
  // n solid pictures of w x h at the album's end.
  void addSolid(int n, int w = 160, int h = 120);
  QAction* mainAction(const char* name) const;
  std::vector<std::string> boxTexts() const;
  static std::string msg(const char* key);

  exporters::TfrmView* view() const;
  exporters::TfrmViewBtn* bar() const;
  exporters::TfrmImgFmt* fmt() const;

  platform::ScriptedMessageBoxes boxes;
  uint32_t blocks = 0;  // toolkit blocks before the test
};

}  // namespace viewertest
