// A window without a frame put back where it was left, under a window manager that frames
// windows. While the window manager takes such a window in, the program may be told a
// passing place for it (it reads the place from the X server while the window sits in a
// frame that is not yet where it belongs, mostly at (0,0)); the window manager then puts
// it where it was asked and, the window having kept that place, says nothing more. The
// window shows at its stored place, the program knows it is there, and saves that place,
// also when it is hidden before it was ever drawn.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTest>
#include <QWindow>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xcb/xproto.h>

#include "platform/form.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/form_position.h"
#include "workspace/profile.h"

using namespace workspace;

inline void PrintTo(const QPoint& p, std::ostream* os) { *os << "(" << p.x() << ", " << p.y() << ")"; }

namespace {

const QPoint kStored(900, 40);

// A panel without a frame that stays on top, placed from the settings when shown and saving
// its place when hidden.
class Panel : public platform::Form {
 public:
  explicit Panel(CProfile& profile) : profile_(profile) {
    setObjectName("frmAvCtl");
    setBorderStyle(platform::BorderStyle::None);
    setStayOnTop(true);
    setFixedSize(300, 200);
  }

 protected:
  void FormShow() override { LoadFormPosition(this, profile_); }
  void FormHide() override { SaveFormPosition(this, profile_); }

 private:
  CProfile& profile_;
};

// Between the X server and the program: turns the notice of the window's move to its stored
// place into the passing place (0,0), as the program reads it when it asks while the window
// manager frames the window; notes the other notices; and, when asked, keeps the window from
// being drawn.
class Between : public QAbstractNativeEventFilter {
 public:
  xcb_window_t window = 0;
  std::vector<QPoint> notices;
  bool toldPassingPlace = false;
  bool holdDrawing = false;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t" || !window) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_CONFIGURE_NOTIFY: {
        auto* moved = reinterpret_cast<xcb_configure_notify_event_t*>(event);
        if (moved->window != window) return false;
        notices.emplace_back(moved->x, moved->y);
        if (toldPassingPlace || notices.back() != kStored) return false;
        moved->response_type |= 0x80;  // a notice the program takes as it stands
        moved->x = 0;
        moved->y = 0;
        toldPassingPlace = true;
        return false;
      }
      case XCB_EXPOSE:
        return holdDrawing && reinterpret_cast<xcb_expose_event_t*>(event)->window == window;
      default:
        return false;
    }
  }
};

// Where the X server has the window.
QPoint placeOnScreen(QWidget* w) {
  std::string out;
  adtest::runProgram({"xwininfo", "-id", std::to_string(w->winId())}, &out);
  auto value = [&](const std::string& key) {
    const size_t at = out.find(key);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
  };
  return QPoint(value("Absolute upper-left X:"), value("Absolute upper-left Y:"));
}

TEST(PanelWithoutAFrame, StaysWhereItWasLeftAndSavesThatPlace) {
  AD_REQUIRE_TOOL("xwininfo");
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  struct Case {
    const char* name;
    std::optional<QPoint> before;  // where the window was before it was shown
    bool drawn;                    // drawn before it is hidden
  };
  const Case cases[] = {
      {"shown for the first time", {}, true},
      {"shown again, from another place", QPoint(300, 300), true},
      {"hidden before it was drawn", QPoint(300, 300), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProfile profile((adtest::testDir() / "ZEB").string() + "/", (adtest::testDir() / "app").string());
    profile.WriteInt("frmAvCtl", "Top", kStored.y());
    profile.WriteInt("frmAvCtl", "Left", kStored.x());
    Panel panel(profile);
    Between between;
    between.window = static_cast<xcb_window_t>(panel.winId());
    between.holdDrawing = !c.drawn;
    QCoreApplication::instance()->installNativeEventFilter(&between);
    if (c.before) {
      panel.windowHandle()->setPosition(*c.before);
      ASSERT_TRUE(QTest::qWaitFor([&] { return !between.notices.empty() && panel.pos() == *c.before; }, 10000));
    }

    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return between.toldPassingPlace; }, 10000)) << "no notice of the move came";
    ASSERT_TRUE(QTest::qWaitFor([&] { return placeOnScreen(&panel) == kStored; }, 10000))
        << "the window manager put the panel at " << ::testing::PrintToString(placeOnScreen(&panel));
    if (c.drawn) {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    }
    QTest::qWait(200);  // anything more the window manager says has come
    EXPECT_EQ(panel.pos(), kStored);
    EXPECT_EQ(panel.windowHandle()->position(), kStored);
    EXPECT_EQ(placeOnScreen(&panel), kStored);
    panel.hide();
    QCoreApplication::instance()->removeNativeEventFilter(&between);
    int32_t top = -1, left = -1;
    EXPECT_TRUE(profile.ReadInt("frmAvCtl", "Top", top) && profile.ReadInt("frmAvCtl", "Left", left));
    EXPECT_EQ(QPoint(left, top), kStored);
  }
}

}  // namespace
