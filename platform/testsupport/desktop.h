// A desktop of the test executable's own: a virtual display (Xvfb) with a real window
// manager (openbox) on it, as a user's desktop has one. The common main of desktop tests
// starts it before the application object and stops it when the tests are done, so that
// every window of the run, in this process or in programs it starts, is placed, framed
// and stacked by the window manager.
#pragma once

#include <string>
#include <sys/types.h>

namespace adtest {

class VirtualDesktop {
 public:
  VirtualDesktop() = default;
  VirtualDesktop(const VirtualDesktop&) = delete;
  VirtualDesktop& operator=(const VirtualDesktop&) = delete;
  ~VirtualDesktop() { stop(); }

  // Starts Xvfb on a display it picks itself (so parallel runs never collide), then
  // openbox, and waits until openbox manages the screen. Sets DISPLAY and points Qt at it.
  // On failure returns false with the reason in *why.
  bool start(std::string* why);
  void stop();

  const std::string& display() const { return display_; }

 private:
  pid_t xvfb_ = -1;
  pid_t windowManager_ = -1;
  std::string display_;
};

// The display of the running desktop (":N"), or "" when the executable runs without one.
const std::string& desktopDisplay();

// The name the window manager gives itself on the root window's supporting window
// (_NET_SUPPORTING_WM_CHECK), or "" when no window manager manages the display.
std::string windowManagerName(const std::string& display);

// A property of a window on the running desktop, as xprop prints it after " = " or "# ";
// "" when the window has none.
std::string windowProperty(unsigned long window, const std::string& name);

// What the window manager grants `window` (_NET_WM_ALLOWED_ACTIONS), waiting up to 20
// seconds for it to manage the window; "" when it never does.
std::string allowedActions(unsigned long window);

// A real click of the pointer's button at a point of the screen, as the X server sends
// it to whatever window lies there (xdotool). True when xdotool ran.
bool clickAt(int x, int y, int button = 1);

// Asks the window manager to close a window, as a task bar or a pager does
// (_NET_CLOSE_WINDOW); the window manager passes the request on to the window's program.
// True when the request was sent.
bool askWindowManagerToClose(unsigned long window);

// Sends a window the request a window manager sends when the user closes it
// (WM_DELETE_WINDOW), and returns once the X server has queued it for the window's
// program. True when it was sent.
bool sendCloseRequest(unsigned long window);

}  // namespace adtest
