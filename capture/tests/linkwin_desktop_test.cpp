// The camcorder panel on a desktop as a user has one (the test's virtual display with its
// window manager), the program's windows made by this process on it, the link on the
// simulator. The panel stays above the other windows; every dialog that its work
// opens must come above it, clear of it and on the screen, as the X server and the window
// manager report it, even after the panel is raised.
#include <QApplication>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <condition_variable>
#include <mutex>
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

// The simulator's line, with a gate on the picture transfer: while the gate is shut, the
// capture thread stands still when it asks for the next block (its wait window up, Stop
// enabled), until the gate opens.
class GatedPort final : public capture::SerialPort {
 public:
  explicit GatedPort(capture::SerialPort& line) : line_(line) {}
  bool open(const std::string& path) override { return line_.open(path); }
  void close() override { line_.close(); }
  bool isOpen() const override { return line_.isOpen(); }
  std::optional<capture::LineSettings> settings() override { return line_.settings(); }
  bool apply(const capture::LineSettings& s) override { return line_.apply(s); }
  bool write(const uint8_t* data, size_t n) override {
    // The transfer's "next block" command.
    if (n == 11 && data[0] == 0x10 && data[1] == 0x16 && data[6] == '1') {
      std::unique_lock lock(mutex_);
      held_ = shut_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !shut_; });
      held_ = false;
    }
    return line_.write(data, n);
  }
  bool waitReadable(platform::Clock::time_point deadline) override { return line_.waitReadable(deadline); }
  int queued() override { return line_.queued(); }
  int read(uint8_t* data, size_t n) override { return line_.read(data, n); }
  void flushInput() override { line_.flushInput(); }
  int error() const override { return line_.error(); }

  void Shut() {
    std::lock_guard lock(mutex_);
    shut_ = true;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    shut_ = false;
    changed_.notify_all();
  }
  bool Holding() {
    std::lock_guard lock(mutex_);
    return held_;
  }

 private:
  capture::SerialPort& line_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool shut_ = false;
  bool held_ = false;
};

// Opens the panel from the main window and waits until it is on the screen, the tape
// running and Capture ready to be pressed.
capture::TfrmAvCtl* openPanelReadyToCapture(captest::Program& program) {
  capture::TfrmAvCtl* panel = program.panel;
  workspace::frmMain->component<QAction>("mnuCapture")->trigger();
  const bool ready = captest::WaitFor([&] { return !panel->TimerShow()->isActive() && capture::Vtr->PollRunning(); }) &&
                     captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }) &&
                     captest::WaitFor([&] { return panel->windowHandle()->isExposed(); }, 10s);
  return ready ? panel : nullptr;
}

}  // namespace

TEST(PanelOnADesktop, StopOfACaptureTakesEnterAndSpaceAtOnce) {
  // The user captures and wants to stop: the wait window's Stop has the keyboard, so Enter
  // or Space ends the transfer without a click into the wait window first. The keys are
  // real key presses, sent to whatever window the window manager gave the focus.
  AD_REQUIRE_TOOL("xdotool");
  ASSERT_FALSE(adtest::desktopDisplay().empty()) << "no desktop";
  captest::SimLine line;
  line.Use({"--yuv", "96x64"});
  GatedPort gate(*line.port);
  capture::LinkLine gated{&gate, &line.clock, [](int n) { return n == 1 ? std::string("sim") : std::string(); }};
  capture::SetLinkLine(&gated);
  captest::Program program;
  program.Start();
  platform::ScriptedMessageBoxes boxes;
  capture::TfrmAvCtl* panel = openPanelReadyToCapture(program);
  ASSERT_NE(panel, nullptr) << "the panel never became ready to capture";
  workspace::TfrmWait* wait = workspace::frmWait;
  for (const char* key : {"Return", "space"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
    ASSERT_TRUE(captest::WaitFor([&] { return panel->windowHandle()->isExposed(); }, 10s));
    // The user works with the panel: it has the keyboard when the capture starts.
    panel->activateWindow();
    EXPECT_TRUE(captest::WaitFor([&] { return panel->isActiveWindow(); }, 10s));

    // While the capture runs (the test's steps run from its event loop): once the transfer
    // stands at the gate, the key goes to the desktop, then the gate opens.
    enum { kTransfer, kKeyboard, kStop, kDone } step = kTransfer;
    std::string keyboard;
    bool pressed = false;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    QTimer steps;
    steps.setInterval(20);
    QObject::connect(&steps, &QTimer::timeout, [&] {
      const bool late = std::chrono::steady_clock::now() > deadline;
      switch (step) {
        case kTransfer:
          if (!gate.Holding()) {
            if (late) step = kDone, gate.Open();
            return;
          }
          step = kKeyboard;
          deadline = std::chrono::steady_clock::now() + 10s;
          return;
        case kKeyboard:
          if (!(wait->isActiveWindow() && wait->btnAbort()->hasFocus()) && !late) return;
          if (QWidget* w = QApplication::activeWindow()) keyboard = w->objectName().toStdString();
          run({"xdotool", "key", key});
          step = kStop;
          deadline = std::chrono::steady_clock::now() + 10s;
          return;
        case kStop:
          if (wait->AbortFlag == 0 && !late) return;
          pressed = wait->AbortFlag != 0;
          step = kDone;
          gate.Open();
          return;
        case kDone:
          return;
      }
    });
    gate.Shut();
    steps.start();
    panel->btnCaptClick();
    steps.stop();
    gate.Open();
    EXPECT_NE(step, kTransfer) << "the transfer never began";
    EXPECT_EQ(keyboard, "frmWait") << "the window with the keyboard";
    EXPECT_TRUE(pressed) << "Stop was not pressed";
    EXPECT_FALSE(wait->isVisible());
    EXPECT_EQ(workspace::Flames->Count(), 0);
    EXPECT_TRUE(boxes.shown().empty()) << "a stopped capture says nothing";
  }
  panel->closeForm();
  workspace::DestroyForms();
}

TEST(PanelOnADesktop, DialogsOpenAboveThePanelClearOfItAndStayAbove) {
  for (const char* tool : {"xprop", "xwininfo", "xdotool"}) AD_REQUIRE_TOOL(tool);
  ASSERT_FALSE(adtest::desktopDisplay().empty()) << "no desktop";
  {
    captest::SimLine line;
    line.Use({"--yuv", "64x48"});
    captest::Program program;
    program.Start();
    platform::ScriptedMessageBoxes boxes;
    capture::TfrmAvCtl* panel = openPanelReadyToCapture(program);
    ASSERT_NE(panel, nullptr) << "the panel never became ready to capture";
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
