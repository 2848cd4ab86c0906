#include "desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "testsupport.h"

namespace adtest {

namespace {

using namespace std::chrono_literals;

// How long each step of the start may take: Xvfb naming its display, openbox managing it.
constexpr std::chrono::seconds kStartLimit = 60s;

std::string seconds(std::chrono::seconds s) { return std::to_string(s.count()); }

std::string g_display;

// Starts a helper program that ends with this process, whatever way this process ends
// (a crash or a time-out's kill included). Its output goes to `log`; `keepFd` stays open
// in it.
pid_t spawnHelper(const std::vector<std::string>& argv, int logFd, int keepFd = -1) {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(logFd, 1);
  ::dup2(logFd, 2);
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != keepFd) ::close(fd);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execvp(args[0], args.data());
  ::_exit(127);
}

bool exited(pid_t pid) {
  int status;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

void end(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (exited(pid)) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  ::kill(pid, SIGKILL);
  int status;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

std::string tail(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

// The value of a window property as xprop prints it after " = " or "# ", or "".
std::string property(const std::string& display, const std::string& window, const std::string& name) {
  std::string out;
  std::vector<std::string> argv{"xprop", "-display", display};
  if (window.empty()) {
    argv.push_back("-root");
  } else {
    argv.insert(argv.end(), {"-id", window});
  }
  argv.push_back(name);
  if (runProgram(argv, &out) != 0) return {};
  for (const char* mark : {" = ", "# "}) {
    const size_t at = out.find(mark);
    if (at != std::string::npos) {
      std::string value = out.substr(at + std::strlen(mark));
      while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
      return value;
    }
  }
  return {};
}

}  // namespace

std::string windowProperty(unsigned long window, const std::string& name) {
  return property(desktopDisplay(), std::to_string(window), name);
}

std::string allowedActions(unsigned long window) {
  const auto limit = std::chrono::steady_clock::now() + 20s;
  std::string actions;
  while ((actions = windowProperty(window, "_NET_WM_ALLOWED_ACTIONS")).empty() &&
         std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(100ms);
  return actions;
}

std::string windowManagerName(const std::string& display) {
  // A window manager that follows the desktop conventions names a window of its own on the
  // root window, and names it again on that window itself; a stale value left by a window
  // manager that has gone names a window that no longer exists.
  const std::string check = property(display, "", "_NET_SUPPORTING_WM_CHECK");
  if (check.empty() || property(display, check, "_NET_SUPPORTING_WM_CHECK") != check) return {};
  std::string name = property(display, check, "_NET_WM_NAME");
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return name;
}

const std::string& desktopDisplay() { return g_display; }

bool clickAt(int x, int y, int button) {
  return runProgram({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click",
                     std::to_string(button)}) == 0;
}

namespace {

// Sends a client message of the type named `type` about `window`: to the window itself,
// its first datum the atom named `atom`; or to the window manager (on the root window),
// its first datum the time. Returns once the X server has handled it.
bool sendClientMessage(unsigned long window, const char* type, const char* atom, bool toWindowManager) {
  xcb_connection_t* c = xcb_connect(desktopDisplay().c_str(), nullptr);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  auto intern = [c](const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return a;
  };
  xcb_client_message_event_t e{};
  e.response_type = XCB_CLIENT_MESSAGE;
  e.format = 32;
  e.window = static_cast<xcb_window_t>(window);
  e.type = intern(type);
  xcb_window_t to = e.window;
  uint32_t mask = XCB_EVENT_MASK_NO_EVENT;
  if (toWindowManager) {
    to = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    e.data.data32[0] = XCB_CURRENT_TIME;
    e.data.data32[1] = 2;  // from a pager or a task bar, on the user's behalf
  } else {
    e.data.data32[0] = intern(atom);
    e.data.data32[1] = XCB_CURRENT_TIME;
  }
  bool sent = e.type != XCB_ATOM_NONE && (toWindowManager || e.data.data32[0] != XCB_ATOM_NONE);
  if (sent) {
    xcb_send_event(c, 0, to, mask, reinterpret_cast<const char*>(&e));
    // A round trip: the server has handled the request when the reply comes.
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), &error));
    sent = error == nullptr;
    std::free(error);
  }
  xcb_disconnect(c);
  return sent;
}

}  // namespace

bool askWindowManagerToClose(unsigned long window) {
  return sendClientMessage(window, "_NET_CLOSE_WINDOW", nullptr, true);
}

bool sendCloseRequest(unsigned long window) {
  return sendClientMessage(window, "WM_PROTOCOLS", "WM_DELETE_WINDOW", false);
}

bool VirtualDesktop::start(std::string* why) {
  for (const char* tool : {"Xvfb", "openbox", "xprop"}) {
    if (!haveTool(tool)) {
      *why = std::string("outside tool missing: ") + tool;
      return false;
    }
  }
  char logName[] = "/tmp/adtest-desktop-XXXXXX";
  const int logFd = ::mkstemp(logName);
  if (logFd < 0) {
    *why = "cannot make a log file";
    return false;
  }
  ::unlink(logName);
  const std::string log = "/proc/self/fd/" + std::to_string(logFd);
  auto fail = [&](const std::string& reason) {
    *why = reason + "\n" + tail(log);
    stop();
    ::close(logFd);
    return false;
  };

  // Xvfb picks a free display itself and writes its number to the pipe once it accepts
  // connections.
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return fail("cannot make a pipe");
  xvfb_ = spawnHelper({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1280x1024x24",
                       "-nolisten", "tcp", "-noreset"},
                      logFd, pipeFds[1]);
  ::close(pipeFds[1]);
  // When many desktops start at once (a whole test suite in parallel on a busy machine)
  // each step may take many seconds: every wait below is generous, and says what it
  // waited for when the time is up.
  const auto xvfbLimit = std::chrono::steady_clock::now() + kStartLimit;
  std::string number;
  bool ended = false;
  while (!ended) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(xvfbLimit - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{pipeFds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, int(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char c;
    if (::read(pipeFds[0], &c, 1) != 1 || c == '\n') ended = true;
    else number.push_back(c);
  }
  ::close(pipeFds[0]);
  if (number.empty() || !ended) {
    return fail(exited(xvfb_) ? "Xvfb ended at start"
                              : "Xvfb did not name its display within " + seconds(kStartLimit) + " s");
  }
  display_ = ":" + number;

  // openbox with the system's own settings, not those of the user running the tests.
  std::vector<std::string> wm{"openbox", "--sm-disable"};
  if (::access("/etc/xdg/openbox/rc.xml", R_OK) == 0) wm.insert(wm.end(), {"--config-file", "/etc/xdg/openbox/rc.xml"});
  ::setenv("DISPLAY", display_.c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");
  windowManager_ = spawnHelper(wm, logFd);
  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  while (windowManagerName(display_).empty()) {
    if (exited(windowManager_)) {
      windowManager_ = -1;
      return fail("openbox ended at start");
    }
    if (std::chrono::steady_clock::now() > limit) {
      return fail("openbox did not name itself on the root window of " + display_ +
                  " (_NET_SUPPORTING_WM_CHECK) within " + seconds(kStartLimit) + " s");
    }
    std::this_thread::sleep_for(100ms);
  }
  ::close(logFd);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  g_display = display_;
  return true;
}

void VirtualDesktop::stop() {
  end(windowManager_);
  end(xvfb_);
  if (g_display == display_) g_display.clear();
  display_.clear();
}

}  // namespace adtest
