// The output settings dialog on offscreen widgets: what a showing does with the source
// size, the limits and the aspect lock, typing into the size edits, the size modes, the
// format and quality, and how the dialog ends.
#include "exporters/frmimgfmt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "exporters/controls.h"
#include "viewer_fixture.h"

using exporters::LimitSpinBox;
using exporters::TfrmImgFmt;
using Fmt = workspace::OutputFormatSettings;

namespace {

class OutputSettings : public viewertest::ViewerProgram {
 public:
  template <class T = QWidget>
  T* named(const char* name) const {
    return fmt()->component<T>(QString::fromLatin1(name));
  }
  Fmt& s() const { return fmt()->Settings(); }
  // What the user does.
  static void type(LimitSpinBox* edit, const char* text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  // A click near the left end, where a radio button or check box has its mark.
  void click(const char* name) const {
    auto* b = named<QAbstractButton>(name);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
  }
  void choosePreset(int index) const {
    auto* list = named<QComboBox>("cbSize");
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  static bool red(const LimitSpinBox* edit) { return edit->palette().color(QPalette::Text) == QColor(Qt::red); }
};

TEST_F(OutputSettings, ShowingSizesLimitsAndTheAspectLockFollowTheSource) {
  struct Expect {
    int mode;
    int wHi, hHi;      // the edits' upper limits
    int w, h;          // the edits' values
    int outW, outH;    // the record's output size
    bool ok;           // OK enabled
    bool wRed;         // the width edit shows an invalid value
    bool keepEnabled;  // "keep the source size" may be chosen
    bool aspect;       // the aspect box is checked
    bool rotation;     // the rotation group is enabled
  };
  struct Case {
    const char* name;
    int sw, sh;
    uint8_t keepAllowed, rotationAllowed;
    std::function<void(OutputSettings&)> act;
    Expect e;
  };
  const Case cases[] = {
      {"a large picture is shown whole on the first showing", 3264, 2448, 1, 1, {},
       {0, 4000, 3000, 3264, 2448, 3264, 2448, true, false, true, true, true}},
      {"640x480 keeps its size", 640, 480, 1, 0, {}, {0, 4000, 3000, 640, 480, 640, 480, true, false, true, true, false}},
      {"a side above 4000 cannot keep its size", 4001, 3000, 1, 1, {},
       {1, 4000, 2999, 4000, 2999, 4000, 2999, true, false, false, true, true}},
      {"keeping forbidden by the caller", 640, 480, 0, 1, {},
       {1, 4000, 3000, 640, 480, 640, 480, true, false, false, true, true}},
      {"typed width: the height follows", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         type(t.fmt()->csW(), "800");
       },
       {1, 4000, 3000, 800, 600, 800, 600, true, false, true, true, true}},
      {"portrait: the height follows the width", 480, 640, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         type(t.fmt()->csW(), "600");
       },
       {1, 3000, 4000, 600, 800, 600, 800, true, false, true, true, true}},
      {"typed height: the width follows", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         type(t.fmt()->csH(), "150");
       },
       {1, 4000, 3000, 200, 150, 200, 150, true, false, true, true, true}},
      {"15 is below the limit: red, no OK, the output keeps its last valid width", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         type(t.fmt()->csW(), "15");
       },
       {1, 4000, 3000, 15, 480, 640, 480, false, true, true, true, true}},
      {"4001 is above the limit", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         type(t.fmt()->csW(), "4001");
       },
       {1, 4000, 3000, 4001, 300, 400, 300, false, true, true, true, true}},
      {"OK waits for both edits", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbExed");
         t.click("cbAsp");
         type(t.fmt()->csW(), "15");
         type(t.fmt()->csH(), "300");
       },
       {1, 4000, 4000, 15, 300, 640, 300, false, true, true, false, true}},
      {"the wide format clears the aspect box and turns nothing", 640, 480, 1, 1,
       [](OutputSettings& t) { t.click("rbPDA"); },
       {3, 4000, 4000, 720, 540, 720, 540, true, false, true, false, false}},
      {"presets are held to the limits", 4000, 100, 1, 1,
       [](OutputSettings& t) {
         t.click("rbGen");
         t.choosePreset(3);
       },
       {2, 4000, 100, 640, 100, 640, 100, true, false, true, true, true}},
      {"a preset within the limits", 640, 480, 1, 1,
       [](OutputSettings& t) {
         t.click("rbGen");
         t.choosePreset(6);
       },
       {2, 4000, 3000, 1280, 960, 1280, 960, true, false, true, true, true}},
      {"back from the wide format, rotation stays as the caller offered it", 640, 480, 1, 0,
       [](OutputSettings& t) {
         t.click("rbPDA");
         t.click("rbExed");
       },
       {1, 4000, 4000, 720, 540, 720, 540, true, false, true, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fmt()->SetDefaults();
    s().SourceWidth = c.sw;
    s().SourceHeight = c.sh;
    s().KeepSizeAllowed = c.keepAllowed;
    s().RotationAllowed = c.rotationAllowed;
    fmt()->show();
    if (c.act) c.act(*this);
    const Expect& e = c.e;
    EXPECT_EQ(s().SizeMode, e.mode);
    EXPECT_EQ(fmt()->csW()->Hi(), e.wHi);
    EXPECT_EQ(fmt()->csH()->Hi(), e.hHi);
    EXPECT_EQ(fmt()->csW()->Lo(), 16);
    EXPECT_EQ(fmt()->csW()->value(), e.w);
    EXPECT_EQ(fmt()->csH()->value(), e.h);
    EXPECT_EQ(s().OutputWidth, e.outW);
    EXPECT_EQ(s().OutputHeight, e.outH);
    EXPECT_EQ(named<QPushButton>("btnOk")->isEnabled(), e.ok);
    EXPECT_EQ(red(fmt()->csW()), e.wRed);
    EXPECT_EQ(named<QRadioButton>("rbOrg")->isEnabled(), e.keepEnabled);
    EXPECT_EQ(named<QCheckBox>("cbAsp")->isChecked(), e.aspect);
    EXPECT_EQ(fmt()->rgRotate()->isEnabled(), e.rotation);
    EXPECT_FALSE(fmt()->rgRevImage()->isEnabled());
    // After a showing both permissions read 1 again, and the dialog counts as cancelled.
    EXPECT_EQ(s().KeepSizeAllowed, 1);
    EXPECT_EQ(s().RotationAllowed, 1);
    EXPECT_EQ(s().Cancelled, 1);
    fmt()->hide();
  }
}

TEST_F(OutputSettings, ResetKeepsThePresetIndexAndOutputSize) {
  fmt()->SetFormat(Fmt::kBmp);
  fmt()->SetJpegQuality(20);
  fmt()->SetSizeMode(Fmt::kPresetSize);
  fmt()->SetSizePreset(5);
  s().Rotation = 2;
  fmt()->rgRotate()->SetItemIndex(2);
  s().SourceWidth = 100;

  fmt()->SetDefaults();
  EXPECT_EQ(s().Format, Fmt::kJpeg);
  EXPECT_EQ(s().JpegQuality, 75);
  EXPECT_EQ(named<QLabel>("lblJpeg")->text(), "75");
  EXPECT_EQ(named<QSlider>("tbJpeg")->value(), 75);
  EXPECT_EQ(s().SizeMode, Fmt::kFreeSize);
  EXPECT_TRUE(named<QRadioButton>("rbExed")->isChecked());
  EXPECT_EQ(s().Rotation, 0);
  EXPECT_EQ(fmt()->rgRotate()->ItemIndex(), 0);
  // The correction group shows its item 1, and the record holds that item's code.
  EXPECT_EQ(fmt()->rgRevImage()->ItemIndex(), 1);
  EXPECT_EQ(s().CorrectionCode, 3);
  EXPECT_FALSE(fmt()->rgRevImage()->isEnabled());
  EXPECT_EQ(s().SourceWidth, 640);
  EXPECT_EQ(s().SourceHeight, 480);
  EXPECT_EQ(s().KeepSizeAllowed, 1);
  EXPECT_EQ(s().RotationAllowed, 0);
  EXPECT_EQ(named<QComboBox>("cbSize")->currentIndex(), 3);
  EXPECT_EQ(s().PresetIndex, 5);
  EXPECT_EQ(s().OutputWidth, 1024);
  EXPECT_EQ(s().OutputHeight, 768);
}

TEST_F(OutputSettings, FormatGreysTheQualityAndQualityTakesOnlyZeroToHundred) {
  auto* list = named<QComboBox>("cbFmt");
  auto* group = named<QGroupBox>("gbJpeg");
  auto* bar = named<QSlider>("tbJpeg");
  const QColor normal = group->palette().color(QPalette::Active, QPalette::WindowText);
  list->setCurrentIndex(1);  // the user chooses BITMAP
  EXPECT_EQ(s().Format, Fmt::kBmp);
  EXPECT_FALSE(bar->isEnabled());
  EXPECT_EQ(group->palette().color(QPalette::Active, QPalette::WindowText),
            group->palette().color(QPalette::Disabled, QPalette::WindowText));
  list->setCurrentIndex(0);
  EXPECT_EQ(s().Format, Fmt::kJpeg);
  EXPECT_TRUE(bar->isEnabled());
  EXPECT_EQ(group->palette().color(QPalette::Active, QPalette::WindowText), normal);
  fmt()->SetFormat(Fmt::kTitle);  // from code only: the list keeps its item
  EXPECT_EQ(s().Format, Fmt::kTitle);
  EXPECT_EQ(list->currentIndex(), 0);

  for (int q : {101, -1}) {
    fmt()->SetJpegQuality(q);
    EXPECT_EQ(s().JpegQuality, 75) << q;
    EXPECT_EQ(bar->value(), 75) << q;
  }
  bar->setValue(40);  // the user moves the bar
  EXPECT_EQ(s().JpegQuality, 40);
  EXPECT_EQ(named<QLabel>("lblJpeg")->text(), "40");
  fmt()->SetJpegQuality(100);
  EXPECT_EQ(bar->value(), 100);
  const int preset = s().PresetIndex;
  fmt()->SetSizePreset(8);  // ignored
  fmt()->SetSizePreset(-1);
  EXPECT_EQ(s().PresetIndex, preset);
}

TEST_F(OutputSettings, ShowsWhatACallerWroteIntoTheRecord) {
  // A caller that knows only the record resets it and sets fields itself.
  workspace::SetDefaults(s());
  s().Format = Fmt::kBmp;
  s().JpegQuality = 40;
  s().Rotation = Fmt::kCounterClockwise;
  s().RotationAllowed = 1;
  fmt()->show();
  EXPECT_EQ(named<QComboBox>("cbFmt")->currentIndex(), 1);
  EXPECT_FALSE(named<QSlider>("tbJpeg")->isEnabled());
  EXPECT_EQ(named<QSlider>("tbJpeg")->value(), 40);
  EXPECT_EQ(fmt()->rgRotate()->ItemIndex(), 2);
  EXPECT_EQ(s().Format, Fmt::kBmp);
  EXPECT_EQ(s().Rotation, Fmt::kCounterClockwise);
  fmt()->hide();
}

TEST_F(OutputSettings, OnlyOkClearsCancelled) {
  struct Case {
    const char* name;
    std::function<void(TfrmImgFmt*)> end;
    uint8_t cancelled;
  };
  const Case cases[] = {
      {"OK", [](TfrmImgFmt* d) { QTest::mouseClick(d->component<QPushButton>("btnOk"), Qt::LeftButton); }, 0},
      {"Enter", [](TfrmImgFmt* d) { QTest::keyClick(d, Qt::Key_Return); }, 0},
      {"Cancel", [](TfrmImgFmt* d) { QTest::mouseClick(d->component<QPushButton>("btnCancel"), Qt::LeftButton); }, 1},
      {"Escape", [](TfrmImgFmt* d) { QTest::keyClick(d, Qt::Key_Escape); }, 1},
      {"close box", [](TfrmImgFmt* d) { d->close(); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fmt()->SetDefaults();
    s().RotationAllowed = 1;
    QTimer::singleShot(0, fmt(), [&] {
      // The user chooses a rotation, then ends the dialog.
      QTest::mouseClick(fmt()->rgRotate()->Item(1), Qt::LeftButton);
      c.end(fmt());
    });
    fmt()->showModal();
    EXPECT_FALSE(fmt()->isVisible());
    EXPECT_EQ(s().Cancelled, c.cancelled);
    EXPECT_EQ(s().Rotation, Fmt::kClockwise);
  }
}

}  // namespace
