// The camcorder panel on a desktop as a user has one (the test's virtual display with its
// window manager), the program's windows made by this process on it, the link on the
// simulator. The panel stays above the other windows; every dialog that its work
// opens must come above it, clear of it and on the screen, as the X server and the window
// manager report it, even after the panel is raised.
#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <sstream>

#include "linkwin_testkit.h"
#include "platform/scripted.h"
#include "platform/testsupport/desktop.h"
#include "platform/testsupport/testsupport.h"

using namespace std::chrono_literals;

namespace {

std::string run(const std::vector<std::string>& argv) {
  std::string out;
  adtest::runProgram(argv, &out);
  return out;
}

// A window's frame on the screen as the X server and the window manager give it: the
// client's place and size widened by the frame extents the window manager set.
QRect frameOnScreen(WId id) {
  const std::string info = run({"xwininfo", "-id", std::to_string(id)});
  auto value = [&](const std::string& key) {
    const size_t at = info.find(key);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + key.size());
  };
  int l = 0, r = 0, t = 0, b = 0;
  const std::string extents = run({"xprop", "-id", std::to_string(id), "_NET_FRAME_EXTENTS"});
  if (const size_t eq = extents.find('='); eq != std::string::npos)
    std::sscanf(extents.c_str() + eq + 1, " %d, %d, %d, %d", &l, &r, &t, &b);
  return QRect(value("Absolute upper-left X:") - l, value("Absolute upper-left Y:") - t,
               value("Width:") + l + r, value("Height:") + t + b);
}

// Whether the window manager has framed the window (and so set its frame extents).
bool framed(WId id) {
  return run({"xprop", "-id", std::to_string(id), "_NET_FRAME_EXTENTS"}).find('=') != std::string::npos;
}

// The managed windows from the bottom of the stack to its top.
std::vector<WId> stackingOrder() {
  const std::string out = run({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"});
  std::vector<WId> ids;
  const size_t hash = out.find('#');
  if (hash == std::string::npos) return ids;
  std::istringstream in(out.substr(hash + 1));
  for (std::string item; std::getline(in, item, ',');) ids.push_back(WId(std::stoul(item, nullptr, 16)));
  return ids;
}

bool above(WId upper, WId lower) {
  const auto ids = stackingOrder();
  const auto u = std::find(ids.begin(), ids.end(), upper), l = std::find(ids.begin(), ids.end(), lower);
  return u != ids.end() && l != ids.end() && u > l;
}

}  // namespace

TEST(PanelOnADesktop, DialogsOpenAboveThePanelClearOfItAndStayAbove) {
  for (const char* tool : {"xprop", "xwininfo", "xdotool"}) AD_REQUIRE_TOOL(tool);
  ASSERT_FALSE(adtest::desktopDisplay().empty()) << "no desktop";
  {
    captest::SimLine line;
    line.Use({"--yuv", "64x48"});
    captest::Program program;
    program.Start();
    platform::ScriptedMessageBoxes boxes;
    capture::TfrmAvCtl* panel = program.panel;
    workspace::frmMain->component<QAction>("mnuCapture")->trigger();
    ASSERT_TRUE(captest::WaitFor([&] { return !panel->TimerShow()->isActive() && capture::Vtr->PollRunning(); }));
    ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
    ASSERT_TRUE(captest::WaitFor([&] { return panel->windowHandle()->isExposed(); }, 10s));
    const QRect screen(0, 0, 1280, 1024);
    // The window manager takes the panel in and places it in steps: its place is read once
    // it is framed and has stopped moving.
    QRect p = frameOnScreen(panel->winId());
    captest::WaitFor([&] {
      captest::WaitFor([] { return false; }, 150ms);
      const QRect now = frameOnScreen(panel->winId());
      const bool settled = now == p && framed(panel->winId());
      p = now;
      return settled;
    }, 20s);
    // Where it stands at first: in the middle of the screen, where dialogs are centred.
    ASSERT_TRUE(p.contains(screen.center())) << captest::RectText(p);

    int checked = 0;
    captest::ForEachDialogOverThePanel(program, [&](QWidget* d, const std::string& what) {
      SCOPED_TRACE(what);
      ++checked;
      // Mapped, framed and placed by the window manager.
      ASSERT_TRUE(captest::WaitFor([&] { return d->windowHandle() && d->windowHandle()->isExposed(); }, 10s));
      // The window manager frames and places a new window in steps of its own; the place
      // is judged once it has settled (or the time is up).
      QRect f;
      auto placed = [&] {
        f = frameOnScreen(d->winId());
        return framed(d->winId());
      };
      ASSERT_TRUE(captest::WaitFor(placed, 20s));
      captest::WaitFor([&] { return placed() && !f.intersects(p) && screen.contains(f); }, 5s);
      EXPECT_FALSE(f.intersects(p)) << captest::RectText(f) << " meets the panel at " << captest::RectText(p);
      EXPECT_TRUE(screen.contains(f)) << captest::RectText(f);
      EXPECT_TRUE(captest::WaitFor([&] { return above(d->winId(), panel->winId()); }, 5s)) << "stacked above the panel";
      // The user brings the panel forward: the dialog stays above it.
      run({"xdotool", "windowraise", std::to_string(panel->winId())});
      captest::WaitFor([] { return false; }, 200ms);
      EXPECT_TRUE(captest::WaitFor([&] { return above(d->winId(), panel->winId()); }, 5s))
          << "still above the raised panel";
    });
    EXPECT_EQ(checked, 5);
    panel->closeForm();
    workspace::DestroyForms();
  }
}
