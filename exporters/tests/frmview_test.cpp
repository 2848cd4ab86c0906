// The viewer on offscreen widgets, opened from the main window as the user opens it:
// what it paints at each zoom and scroll position, its zoom commands and keys, moving
// through the album with the menu, the keys and the button bar, the slide show on a
// manual clock, and its settings.
#include "exporters/frmview.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "toolkit/file/qm6file.h"
#include "exporters/controls.h"
#include "exporters/frmsstime.h"
#include "exporters/frmviewbtn.h"
#include "exporters/interval_timer.h"
#include "exporters/viewer_forms.h"
#include "viewer_fixture.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/profile.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

using exporters::TfrmView;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr QRgb kGrey = 0xFF696969;

class Viewer : public viewertest::ViewerProgram {
 public:
  // The viewer opens with a client area of w x h.
  void open(int w = 400, int h = 300) {
    for (auto [key, value] : {std::pair{"Left", 20}, {"Top", 20}, {"Width", w}, {"Height", h}})
      workspace::Profile->WriteInt("frmView", key, value);
    mainAction("mnuView")->trigger();
    ASSERT_TRUE(view()->isVisible());
    QApplication::setActiveWindow(view());
  }
  QAction* action(const char* name) const { return view()->Action(name); }
  QScrollBar* hbar() const { return view()->sbView()->horizontalScrollBar(); }
  QScrollBar* vbar() const { return view()->sbView()->verticalScrollBar(); }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(view(), static_cast<Qt::Key>(k), m); }
  void tick(std::chrono::milliseconds d) {
    viewertest::clock().advance(d);
    view()->Timer1()->Poll();
  }

  // Checks what the viewer paints for the quarters picture of pw x ph: where the
  // picture lies (centred when smaller than the view, scrolled when larger), and the
  // colour of points across the whole view, away from edges.
  void expectPainted(int pw, int ph, QRgb background) {
    QCoreApplication::processEvents();  // the scroll bars come and go after the layout
    QWidget* port = view()->sbView()->viewport();
    const int z = view()->Zoom;
    const int cw = pw * z / 100, ch = ph * z / 100;
    ASSERT_EQ(view()->imgView()->size(), QSize(cw, ch));
    const int ox = port->width() <= cw ? -hbar()->value() : (port->width() - cw) / 2;
    const int oy = port->height() <= ch ? -vbar()->value() : (port->height() - ch) / 2;
    EXPECT_EQ(view()->imgView()->mapTo(port, QPoint(0, 0)), QPoint(ox, oy));
    EXPECT_EQ(hbar()->isVisible(), port->width() < cw);
    EXPECT_EQ(vbar()->isVisible(), port->height() < ch);
    const QImage shot = port->grab().toImage();
    auto near = [](int v, int edge) { return std::abs(v - edge) <= 2; };
    int checked = 0;
    for (int y = 1; y < shot.height(); y += 7) {
      for (int x = 1; x < shot.width(); x += 7) {
        const int cx = x - ox, cy = y - oy;
        if (near(cx, 0) || near(cx, cw) || near(cy, 0) || near(cy, ch) || near(cx, cw / 2) || near(cy, ch / 2)) continue;
        const bool inside = cx >= 0 && cx < cw && cy >= 0 && cy < ch;
        const QRgb expected = inside ? viewertest::quarterColour(cx * 100 / z, cy * 100 / z, pw, ph) : background;
        ASSERT_EQ(shot.pixel(x, y), expected) << "at " << x << "," << y << " zoom " << z;
        ++checked;
      }
    }
    EXPECT_GT(checked, 500);
  }
};

class ChosenColour final : public exporters::ColourDialogs {
 public:
  ChosenColour() : previous_(exporters::setColourDialogs(this)) {}
  ~ChosenColour() override { exporters::setColourDialogs(previous_); }
  bool choose(QWidget*, QColor& colour) override {
    ++shown;
    if (!answer.isValid()) return false;
    colour = answer;
    return true;
  }
  QColor answer;
  int shown = 0;

 private:
  exporters::ColourDialogs* previous_;
};

TEST_F(Viewer, PaintsThePictureCentredOrScrolledAtEveryZoom) {
  add(viewertest::writeImage("q.bmp", viewertest::quarters(200, 100)));
  open();
  ASSERT_EQ(view()->sbView()->viewport()->size(), QSize(400, 300));
  // Opened fitted: 400 wide for 200 is 200 percent; 300 high would allow more.
  EXPECT_EQ(view()->Zoom, 200);
  EXPECT_EQ(view()->AutoFit, 1);
  EXPECT_EQ(view()->windowTitle().toStdString(), msg("TI_VEWER") + " [ Image001 200% ]");
  expectPainted(200, 100, kGrey);

  struct Step {
    const char* what;
    std::function<void(Viewer&)> act;
    int zoom;
  };
  const Step steps[] = {
      {"actual size", [](Viewer& t) { t.action("pmZoomR")->trigger(); }, 100},
      {"menu zoom out", [](Viewer& t) { t.action("pmZoomOut")->trigger(); }, 50},
      {"a reduced view", [](Viewer& t) { t.view()->SetZoom(37); }, 37},
      {"Ctrl - to the least", [](Viewer& t) { t.key(Qt::Key_Minus, Qt::ControlModifier); }, 20},
      {"Ctrl + from the keypad", [](Viewer& t) { t.key(Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier); }, 40},
      {"Ctrl = as Ctrl +", [](Viewer& t) { t.key(Qt::Key_Equal, Qt::ControlModifier); }, 80},
      {"larger than the view: scroll bars, centre kept", [](Viewer& t) { t.view()->SetZoom(400); }, 400},
      {"the wheel scrolls one step down", [](Viewer& t) {
         const int before = t.vbar()->value();
         QWheelEvent wheel(QPointF(50, 50), QPointF(), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
         QApplication::sendEvent(t.view()->imgView(), &wheel);
         EXPECT_EQ(t.vbar()->value(), std::min(before + t.vbar()->singleStep(), t.vbar()->maximum()));
       }, 400},
      {"scrolled by hand", [](Viewer& t) {
         t.hbar()->setValue(123);
         t.vbar()->setValue(45);
       }, 400},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(view()->Zoom, s.zoom);
    EXPECT_EQ(view()->AutoFit, 0);
    EXPECT_EQ(view()->windowTitle().toStdString(), msg("TI_VEWER") + " [ Image001 " + std::to_string(s.zoom) + "% ]");
    expectPainted(200, 100, kGrey);
  }
}

TEST_F(Viewer, ZoomingKeepsTheCentreOfTheView) {
  add(viewertest::writeImage("q.bmp", viewertest::quarters(400, 300)));
  open(200, 150);
  ASSERT_EQ(view()->Zoom, 50);
  view()->SetZoom(200);  // 800 x 600 in a view of about 200 x 150: the centre stays the middle
  const QSize port = view()->sbView()->viewport()->size();
  // The point shown in the view's centre is the picture's centre (400, 300 at 200 percent).
  EXPECT_NEAR(hbar()->value() + port.width() / 2, 400, 10);
  EXPECT_NEAR(vbar()->value() + port.height() / 2, 300, 10);
  hbar()->setValue(0);
  vbar()->setValue(0);
  const int hx = port.width() / 2, hy = port.height() / 2;
  view()->SetZoom(400);
  EXPECT_EQ(hbar()->value(), (0 + hx) * 1600 / 800 - hx);
  EXPECT_EQ(vbar()->value(), (0 + hy) * 1200 / 600 - hy);
  expectPainted(400, 300, kGrey);
}

TEST_F(Viewer, ZoomCommandsStopAtTheirLimitsAndFittingComesBack) {
  addSolid(2, 200, 100);
  open();
  struct Step {
    const char* what;
    std::function<void(Viewer&)> act;
    int zoom;
    uint8_t autoFit;
  };
  const Step steps[] = {
      {"menu in from 200", [](Viewer& t) { t.action("pmZoomIn")->trigger(); }, 400, 0},
      {"menu in above 200 does nothing", [](Viewer& t) { t.action("pmZoomIn")->trigger(); }, 400, 0},
      {"Ctrl + at 400 does nothing", [](Viewer& t) { t.key(Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier); }, 400, 0},
      {"Ctrl -", [](Viewer& t) { t.key(Qt::Key_Minus, Qt::ControlModifier); }, 200, 0},
      {"actual size", [](Viewer& t) { t.action("pmZoomR")->trigger(); }, 100, 0},
      {"300 percent", [](Viewer& t) { t.view()->SetZoom(300); }, 300, 0},
      {"Ctrl + at 300 gives 400", [](Viewer& t) { t.key(Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier); }, 400, 0},
      {"40 percent", [](Viewer& t) { t.view()->SetZoom(40); }, 40, 0},
      {"menu out below 50 does nothing", [](Viewer& t) { t.action("pmZoomOut")->trigger(); }, 40, 0},
      {"Ctrl - at 40 gives 20", [](Viewer& t) { t.key(Qt::Key_Minus, Qt::ControlModifier); }, 20, 0},
      {"Ctrl - at 20 does nothing", [](Viewer& t) { t.key(Qt::Key_Minus, Qt::ControlModifier); }, 20, 0},
      {"a zoom chosen stays for the next picture", [](Viewer& t) { t.key(Qt::Key_Right); }, 20, 0},
      {"fit to window (Ctrl+F)", [](Viewer& t) { t.key(Qt::Key_F, Qt::ControlModifier); }, 200, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(view()->Zoom, s.zoom);
    EXPECT_EQ(view()->AutoFit, s.autoFit);
  }
}

TEST_F(Viewer, MovesThroughTheAlbumByMenuKeysAndButtons) {
  addSolid(4);
  workspace::Flames->SelectAll(false);
  workspace::Flames->Cell(2)->Select(true);
  open();  // on the first selected picture
  EXPECT_EQ(view()->Index, 2);
  auto* b = bar();
  ASSERT_TRUE(b->isVisible());
  // The bar sits at the viewer's lower left corner.
  EXPECT_EQ(b->frameGeometry().left(), view()->frameGeometry().left());
  EXPECT_EQ(b->frameGeometry().bottom(), view()->frameGeometry().bottom());

  struct Step {
    const char* what;
    std::function<void(Viewer&)> act;
    int index;
  };
  const Step steps[] = {
      {"Up: the first", [](Viewer& t) { t.key(Qt::Key_Up); }, 0},
      {"Left at the first does nothing", [](Viewer& t) { t.key(Qt::Key_Left); }, 0},
      {"Enter", [](Viewer& t) { t.key(Qt::Key_Return); }, 1},
      {"Space", [](Viewer& t) { t.key(Qt::Key_Space); }, 2},
      {"Left", [](Viewer& t) { t.key(Qt::Key_Left); }, 1},
      {"Down: the last", [](Viewer& t) { t.key(Qt::Key_Down); }, 3},
      {"Right at the last does nothing", [](Viewer& t) { t.key(Qt::Key_Right); }, 3},
      {"F9: the first", [](Viewer& t) { t.key(Qt::Key_F9); }, 0},
      {"F11: next", [](Viewer& t) { t.key(Qt::Key_F11); }, 1},
      {"F12: the last", [](Viewer& t) { t.key(Qt::Key_F12); }, 3},
      {"F10: previous", [](Viewer& t) { t.key(Qt::Key_F10); }, 2},
      {"btnPrev", [](Viewer& t) { QTest::mouseClick(t.bar()->Button("btnPrev"), Qt::LeftButton); }, 1},
      {"btnLast", [](Viewer& t) { QTest::mouseClick(t.bar()->Button("btnLast"), Qt::LeftButton); }, 3},
      {"btnFirst", [](Viewer& t) { QTest::mouseClick(t.bar()->Button("btnFirst"), Qt::LeftButton); }, 0},
      {"btnNext", [](Viewer& t) { QTest::mouseClick(t.bar()->Button("btnNext"), Qt::LeftButton); }, 1},
      {"Right on btnFirst is next, not a click", [](Viewer& t) { QTest::keyClick(t.bar()->Button("btnFirst"), Qt::Key_Right); }, 2},
      {"Space on btnFirst too", [](Viewer& t) { QTest::keyClick(t.bar()->Button("btnFirst"), Qt::Key_Space); }, 3},
      {"Up on btnFirst", [](Viewer& t) { QTest::keyClick(t.bar()->Button("btnFirst"), Qt::Key_Up); }, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(view()->Index, s.index);
    const bool first = s.index == 0, last = s.index == 3;
    EXPECT_EQ(action("pmFirst")->isEnabled(), !first);
    EXPECT_EQ(action("pmPrevious")->isEnabled(), !first);
    EXPECT_EQ(b->Button("btnFirst")->isEnabled(), !first);
    EXPECT_EQ(b->Button("btnPrev")->isEnabled(), !first);
    EXPECT_EQ(action("pmNext")->isEnabled(), !last);
    EXPECT_EQ(action("pmLast")->isEnabled(), !last);
    EXPECT_EQ(b->Button("btnNext")->isEnabled(), !last);
    EXPECT_EQ(b->Button("btnLast")->isEnabled(), !last);
    EXPECT_EQ(view()->windowTitle().toStdString(),
              msg("TI_VEWER") + " [ Image00" + std::to_string(s.index + 1) + " " + std::to_string(view()->Zoom) + "% ]");
  }
}

TEST_F(Viewer, DoubleClickOpensTheViewerRestoredOnThatPicture) {
  addSolid(3);
  open();
  view()->showMinimized();
  QTest::mouseClick(workspace::Flames->Cell(1)->panel(), Qt::LeftButton, {}, QPoint(50, 50));
  QTest::mouseDClick(workspace::Flames->Cell(1)->panel(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_TRUE(view()->isVisible());
  EXPECT_FALSE(view()->isMinimized());
  EXPECT_EQ(view()->Index, 1);
  EXPECT_TRUE(view()->HasPicture());
}

TEST_F(Viewer, SlideShowTicksOnTheClockWrapsAndStopsOnTheUser) {
  addSolid(3);
  open();
  key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(view()->SlideShowRunning, 1);
  EXPECT_TRUE(bar()->ShowsRunning());
  EXPECT_EQ(view()->Timer1()->Interval(), 5000ms);
  struct Tick {
    std::chrono::milliseconds after;
    int index;
  };
  // The interval counts from the end of each load; the last picture is followed by the first.
  for (const Tick& t : {Tick{4999ms, 0}, Tick{1ms, 1}, Tick{4999ms, 1}, Tick{1ms, 2}, Tick{5000ms, 0}, Tick{5000ms, 1}}) {
    tick(t.after);
    EXPECT_EQ(view()->Index, t.index);
    EXPECT_EQ(view()->SlideShowRunning, 1);
  }

  struct Stop {
    const char* what;
    std::function<void(Viewer&)> act;
  };
  const Stop stops[] = {
      {"a mouse button on the picture",
       [](Viewer& t) { QTest::mousePress(t.view()->imgView(), Qt::LeftButton, {}, QPoint(5, 5)); }},
      {"a mouse button beside the picture",
       [](Viewer& t) { QTest::mousePress(t.view()->sbView()->viewport(), Qt::RightButton, {}, QPoint(1, 1)); }},
      {"another window activated", [](Viewer&) { QApplication::setActiveWindow(workspace::frmMain); }},
      {"navigation", [](Viewer& t) { t.key(Qt::Key_Right); }},
      {"btnStop", [](Viewer& t) { QTest::mouseClick(t.bar()->Button("btnStop"), Qt::LeftButton); }},
      {"the viewer disabled by a long command", [](Viewer& t) {
         t.view()->setEnabled(false);
         t.tick(5000ms);
         t.view()->setEnabled(true);
       }},
      {"closing", [](Viewer& t) { t.view()->close(); }},
  };
  for (const Stop& s : stops) {
    SCOPED_TRACE(s.what);
    if (!view()->isVisible()) open();
    QApplication::setActiveWindow(view());
    QTest::mouseClick(bar()->Button("btnSS"), Qt::LeftButton);  // starts again
    ASSERT_EQ(view()->SlideShowRunning, 1);
    const int index = view()->Index;
    s.act(*this);
    EXPECT_EQ(view()->SlideShowRunning, 0);
    EXPECT_FALSE(bar()->ShowsRunning());
    EXPECT_FALSE(view()->Timer1()->Enabled());
    const int after = view()->Index;
    tick(10s);
    EXPECT_EQ(view()->Index, after);
    if (std::string(s.what) != "navigation") {
      EXPECT_EQ(after, index);
    }
  }
  EXPECT_FALSE(bar()->isVisible()) << "the bar closes with the viewer";
}

TEST_F(Viewer, OnePictureHasNoSlideShowAndNoNavigation) {
  addSolid(1);
  open();
  view()->PopupMenu1()->popup(view()->mapToGlobal(QPoint(10, 10)));
  EXPECT_FALSE(view()->findChild<QMenu*>("pmSlideShow")->menuAction()->isEnabled());
  view()->PopupMenu1()->hide();
  for (const char* name : {"pmFirst", "pmPrevious", "pmNext", "pmLast"}) EXPECT_FALSE(action(name)->isEnabled()) << name;
  action("pmSSAuto")->trigger();
  key(Qt::Key_S, Qt::ControlModifier);
  QTest::mouseClick(bar()->Button("btnSS"), Qt::LeftButton);
  EXPECT_EQ(view()->SlideShowRunning, 0);
  addSolid(1);
  view()->PopupMenu1()->popup(view()->mapToGlobal(QPoint(10, 10)));
  EXPECT_TRUE(view()->findChild<QMenu*>("pmSlideShow")->menuAction()->isEnabled());
  view()->PopupMenu1()->hide();
}

TEST_F(Viewer, StaysWithinAnAlbumThatShrinksUnderIt) {
  addSolid(5);
  open();
  key(Qt::Key_Down);
  ASSERT_EQ(view()->Index, 4);
  view()->StartSlideShow();
  // Pictures 2 to 4 are deleted from the main window while the viewer shows picture 4.
  workspace::Flames->SelectAll(false);
  for (int i = 2; i < 5; ++i) workspace::Flames->Cell(i)->Select(true);
  boxes.queue(platform::MsgAnswer::Yes);
  mainAction("mnuDelete")->trigger();
  ASSERT_EQ(workspace::Flames->Count(), 2);
  tick(5000ms);  // the show goes on with the first picture
  EXPECT_EQ(view()->Index, 0);
  view()->Index = 4;
  key(Qt::Key_Right);  // nothing after the last
  EXPECT_EQ(view()->Index, 4);
  key(Qt::Key_Left);
  EXPECT_EQ(view()->Index, 1);
  view()->ShowPicture(7);
  EXPECT_EQ(view()->Index, 1);
  // An album emptied under a running show: nothing is shown and the show stops.
  view()->StartSlideShow();
  workspace::Flames->SelectAll(true);
  boxes.queue(platform::MsgAnswer::Yes);
  mainAction("mnuDelete")->trigger();
  ASSERT_EQ(workspace::Flames->Count(), 0);
  tick(5000ms);
  EXPECT_FALSE(view()->HasPicture());
  EXPECT_EQ(view()->SlideShowRunning, 0);
  EXPECT_TRUE(view()->imgView()->size().isEmpty());
}

TEST_F(Viewer, IntervalComesFromTheSettingsAndTheIntervalDialog) {
  addSolid(2);
  struct Case {
    const char* stored;  // nullptr: none
    int seconds;
  };
  for (const Case& c : {Case{nullptr, 5}, Case{"0", 5}, Case{"61", 5}, Case{"x", 5}, Case{"1", 1}, Case{"60", 60}}) {
    SCOPED_TRACE(c.stored ? c.stored : "none");
    if (c.stored) workspace::Profile->WriteString("INIT", "SLIDESHOW", c.stored);
    open();
    EXPECT_EQ(view()->IntervalSeconds, c.seconds);
    view()->StartSlideShow();
    EXPECT_EQ(view()->Timer1()->Interval(), std::chrono::milliseconds(c.seconds * 1000));
    view()->close();
  }

  open();
  exporters::TfrmSSTime* dialog = exporters::SSTimeForm();
  auto runDialog = [&](const char* typed, const char* button) {
    QTimer::singleShot(0, dialog, [=, this] {
      EXPECT_EQ(dialog->csTime()->value(), view()->IntervalSeconds);
      dialog->csTime()->selectAll();
      QTest::keyClicks(dialog->csTime(), typed);
      QTest::mouseClick(dialog->component<QPushButton>(button), Qt::LeftButton);
    });
    action("pmSSSet")->trigger();
  };
  runDialog("12", "btnOk");
  EXPECT_EQ(view()->IntervalSeconds, 12);
  int32_t stored = 0;
  EXPECT_TRUE(workspace::Profile->ReadInt("INIT", "SLIDESHOW", stored));
  EXPECT_EQ(stored, 12);
  runDialog("30", "btnCancel");
  EXPECT_EQ(view()->IntervalSeconds, 12);
  EXPECT_TRUE(workspace::Profile->ReadInt("INIT", "SLIDESHOW", stored));
  EXPECT_EQ(stored, 12);
}

TEST_F(Viewer, BackgroundFrameAndPlaceAreKept) {
  addSolid(1, 40, 30);
  open();
  view()->SetZoom(100);
  ChosenColour colours;
  colours.answer = QColor(10, 20, 30);
  action("pmColor")->trigger();
  EXPECT_EQ(view()->Background(), QColor(10, 20, 30));
  EXPECT_EQ(view()->sbView()->viewport()->grab().toImage().pixel(2, 2), qRgb(10, 20, 30));
  int32_t stored = 0;
  ASSERT_TRUE(workspace::Profile->ReadInt("INIT", "VIEW_BG", stored));
  EXPECT_EQ(stored, 0x1E140A);
  colours.answer = QColor();  // cancelled
  action("pmColor")->trigger();
  EXPECT_EQ(colours.shown, 2);
  EXPECT_EQ(view()->Background(), QColor(10, 20, 30));

  QAction* frame = action("pmFrm");
  frame->trigger();
  EXPECT_EQ(view()->borderStyle(), platform::BorderStyle::None);
  EXPECT_EQ(platform::tagOf(frame), 1);
  EXPECT_EQ(frame->text().toStdString(), msg("PM_SHOWFRM"));
  EXPECT_TRUE(view()->isVisible());
  frame->trigger();
  EXPECT_EQ(view()->borderStyle(), platform::BorderStyle::Sizeable);
  EXPECT_EQ(platform::tagOf(frame), 0);
  EXPECT_EQ(frame->text().toStdString(), msg("PM_HIDEBTN"));

  view()->move(60, 70);
  view()->resize(333, 222);
  view()->close();
  EXPECT_FALSE(view()->HasPicture());
  int32_t v = 0;
  for (auto [key, value] : {std::pair{"Left", 60}, {"Top", 70}, {"Width", 333}, {"Height", 222}}) {
    EXPECT_TRUE(workspace::Profile->ReadInt("frmView", key, v)) << key;
    EXPECT_EQ(v, value) << key;
  }
  // The next showing restores the place and the colour.
  mainAction("mnuView")->trigger();
  EXPECT_EQ(view()->pos(), QPoint(60, 70));
  EXPECT_EQ(view()->size(), QSize(333, 222));
  EXPECT_EQ(view()->Background(), QColor(10, 20, 30));
}

TEST_F(Viewer, CaptureFramesAreDecodedForShowingWithoutLeftovers) {
  add(enginetest::yuvFile("frame.yuv", 360, 240, 180, 128, 128));
  ASSERT_EQ(workspace::Flames->Record(0)->type, workspace::kTypeYuvFrame);
  open();
  // The frame is shown as the capture reader makes it: stretched to 4:3.
  EXPECT_EQ(view()->PictureWidth, 360);
  EXPECT_EQ(view()->PictureHeight, 270);
  ASSERT_TRUE(view()->HasPicture());
  const QRgb centre = view()->Painted().pixel(view()->Painted().width() / 2, view()->Painted().height() / 2);
  EXPECT_NEAR(qRed(centre), 180, 3);
  EXPECT_NEAR(qGreen(centre), 180, 3);
  EXPECT_NEAR(qBlue(centre), 180, 3);
  EXPECT_FALSE(fs::exists(workspace::WorkDir + "zbmview.bmp"));
  EXPECT_FALSE(fs::exists(workspace::WorkDir + "tmp.bmp"));
}

TEST_F(Viewer, GreyPicturesAreShownInColourDepth) {
  QImage grey(64, 48, QImage::Format_Grayscale8);
  grey.fill(90);
  const std::string path = (adtest::testDir() / "src" / "grey.jpg").string();
  fs::create_directories(adtest::testDir() / "src");
  ASSERT_TRUE(grey.save(QString::fromStdString(path), "JPG", 95));
  add(path);
  ImageFileInfoRecord info{};
  ASSERT_TRUE(ImageFileInfo(workspace::Flames->Record(0)->workPath.c_str(), &info));
  ASSERT_EQ(info.bitCount, 8) << "the toolkit reads it as 8-bit grey";
  open();
  ASSERT_TRUE(view()->HasPicture());
  view()->SetZoom(100);
  const QRgb centre = view()->sbView()->viewport()->grab().toImage().pixel(200, 150);
  EXPECT_NEAR(qRed(centre), 90, 2);
  EXPECT_EQ(qRed(centre), qGreen(centre));
  EXPECT_EQ(qRed(centre), qBlue(centre));
}

// What paint copies from, as pixels.
pictest::Pixels pixelsOf(const QImage& image) {
  pictest::Pixels p;
  p.width = image.width();
  p.height = image.height();
  p.bits = 24;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const QRgb c = image.pixel(x, y);
      p.rgb.push_back(pictest::Rgb{uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
    }
  return p;
}

// A large JPEG fitted to at most half its size is shown from a reading reduced in the
// decoder, looking as the whole picture reduced would; zooms within what that holds
// keep it, a zoom past it (or to 1:1) reads the whole picture, and the next fitted
// picture is read reduced again.
TEST_F(Viewer, LargeJpegIsFirstShownFromAReducedReading) {
  // The quarters shaded across, with a disc and a fine grain.
  QImage picture = viewertest::quarters(1600, 1200);
  for (int y = 0; y < 1200; ++y) {
    for (int x = 0; x < 1600; ++x) {
      const QRgb q = picture.pixel(x, y);
      const int disc = (x - 500) * (x - 500) + (y - 700) * (y - 700) < 250 * 250 ? 60 : 0;
      const int grain = ((x * 7 + y * 13) ^ (x * y)) % 9;
      picture.setPixel(x, y, qRgb(qRed(q) / 2 + x * 100 / 1600 + grain, qGreen(q) / 2 + disc + grain,
                                  qBlue(q) / 2 + y * 100 / 1200 + grain));
    }
  }
  const std::string jpeg = viewertest::writeImage("large.jpg", picture);
  add(jpeg);
  add(jpeg);
  add(viewertest::writeImage("small.jpg", viewertest::quarters(700, 500)));  // fitted to more than half
  open(400, 300);
  ASSERT_EQ(view()->Zoom, 25);
  EXPECT_EQ(view()->HeldSize(), QSize(400, 300)) << "reduced by 4 in the decoder";
  EXPECT_EQ(view()->PictureWidth, 1600);
  EXPECT_EQ(view()->PictureHeight, 1200);
  QmHandle whole = ImageFileLoad(workspace::Flames->Record(0)->workPath.c_str());
  QmHandle reduced = ImageResize(whole, 400, 300);
  const double psnr = pictest::psnr(pictest::read(reduced), pixelsOf(view()->Painted()));
  std::printf("shown from the reduced reading: PSNR %.2f dB against the whole picture reduced\n", psnr);
  EXPECT_GE(psnr, 40.0);
  ImageFree(reduced);
  ImageFree(whole);

  struct Step {
    const char* what;
    std::function<void(Viewer&)> act;
    int zoom;
    QSize held;
  };
  const Step steps[] = {
      {"Ctrl - stays within the reduced picture", [](Viewer& t) { t.key(Qt::Key_Minus, Qt::ControlModifier); }, 20,
       QSize(400, 300)},
      {"Ctrl + past it reads the whole picture", [](Viewer& t) { t.key(Qt::Key_Plus, Qt::ControlModifier); }, 40,
       QSize(1600, 1200)},
      {"fitted again, the whole picture is kept", [](Viewer& t) { t.key(Qt::Key_F, Qt::ControlModifier); }, 25,
       QSize(1600, 1200)},
      {"the next picture fitted is read reduced", [](Viewer& t) { t.key(Qt::Key_Right); }, 25, QSize(400, 300)},
      {"1:1 reads it whole", [](Viewer& t) { t.action("pmZoomR")->trigger(); }, 100, QSize(1600, 1200)},
      {"not fitted: read whole", [](Viewer& t) { t.key(Qt::Key_Left); }, 100, QSize(1600, 1200)},
      {"fitted to more than half: read whole", [](Viewer& t) {
         t.key(Qt::Key_F, Qt::ControlModifier);
         t.key(Qt::Key_Down);
       }, 57, QSize(700, 500)},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(view()->Zoom, s.zoom);
    EXPECT_EQ(view()->HeldSize(), s.held);
    EXPECT_EQ(view()->Painted().size(), s.zoom < 100 ? QSize(view()->PictureWidth * s.zoom / 100,
                                                             view()->PictureHeight * s.zoom / 100)
                                                       : s.held);
  }
  // Painted at 1:1 from the whole picture.
  key(Qt::Key_Up);
  action("pmZoomR")->trigger();
  EXPECT_EQ(view()->Painted().size(), QSize(1600, 1200));
}

TEST_F(Viewer, UnreadablePictureShowsNothing) {
  addSolid(2);
  adtest::writeFile(workspace::Flames->Record(1)->workPath, "not a picture");
  open();
  key(Qt::Key_Right);
  EXPECT_EQ(view()->Index, 1);
  EXPECT_FALSE(view()->HasPicture());
  EXPECT_TRUE(view()->Painted().isNull());
  view()->sbView()->viewport()->grab();  // painting draws nothing, and does not fail
  key(Qt::Key_Left);
  EXPECT_TRUE(view()->HasPicture());
}

}  // namespace
