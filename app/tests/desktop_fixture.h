// The program on the test's desktop (a virtual display with a window manager, started by
// the common test main), started and driven from outside as a user would drive it, with
// xdotool.
#pragma once

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/desktop.h"
#include "platform/testsupport/testsupport.h"

// Places and sizes in test messages.
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << "(" << p.x() << ", " << p.y() << ")"; }
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << "x" << s.height(); }
inline void PrintTo(const QRect& r, std::ostream* os) {
  *os << r.width() << "x" << r.height() << " at (" << r.x() << ", " << r.y() << ")";
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kProgram = std::string(AD_BIN_DIR) + "/albumdesk";

// Polls until `done` holds or the time is up; true when it held.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = 30s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);)
    if (!l.empty()) out.push_back(l);
  return out;
}

// Saves the window's picture and reads it back.
inline QImage screenshot(const std::string& window, const fs::path& file) {
  fs::remove(file);
  if (adtest::runProgram({"import", "-window", window, file.string()}) != 0) return {};
  return QImage(QString::fromStdString(file.string()));
}

// A JPEG picture of one colour, written to `path`; its bytes.
inline std::string jpeg(const fs::path& path, QColor colour) {
  QImage image(320, 240, QImage::Format_RGB32);
  image.fill(colour);
  fs::create_directories(path.parent_path());
  image.save(QString::fromStdString(path.string()), "JPG", 90);
  return adtest::readFile(path);
}

// An album file (.qla) holding the JPEG pictures given by their bytes, in that order.
inline void writeAlbum(const fs::path& path, const std::vector<std::string>& jpegs) {
  auto le32 = [](uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  std::string album = std::string("QLA\0", 4) + le32(uint32_t(jpegs.size())) + std::string(8, '\0');
  for (size_t i = 0; i < jpegs.size(); ++i) {
    album += le32(uint32_t(i)) + le32(uint32_t(jpegs[i].size())) + std::string("jpg\0\0\0\0\0", 8) + jpegs[i];
  }
  adtest::writeFile(path, album);
}

inline bool near(QColor a, QColor b, int tolerance = 24) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xdotool", "xwininfo", "xprop", "import"}) AD_REQUIRE_TOOL(tool);
    display = adtest::desktopDisplay();
    ASSERT_FALSE(display.empty()) << "no desktop";
    ASSERT_EQ(adtest::windowManagerName(display), "Openbox") << "no window manager manages " << display;
    workDir = adtest::testDir() / "Documents/ZEB";
  }
  void TearDown() override {
    if (program.state() != QProcess::NotRunning) {
      program.kill();
      program.waitForFinished(5000);
    }
  }

  QProcessEnvironment programEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromStdString(display));
    env.remove("WAYLAND_DISPLAY");
    // Under the leak checker, what the desktop's libraries keep is not the program's.
    env.insert("LSAN_OPTIONS", QString("suppressions=%1/tests/lsan.supp").arg(AD_SOURCE_DIR));
    return env;
  }

  void startProgram(const QStringList& args = {}) {
    program.setProcessEnvironment(programEnvironment());
    program.start(QString::fromStdString(kProgram), args);
    ASSERT_TRUE(program.waitForStarted(10000));
  }

  std::string xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    adtest::runProgram(argv, &out);
    return out;
  }

  // The main window: the one visible window named after the program that is a normal
  // window to the window manager (the splash has no name; the wait window, which may carry
  // the program's name too, is not a normal window).
  std::vector<std::string> mainWindows() {
    std::vector<std::string> out;
    for (const std::string& id : lines(xdotool({"search", "--onlyvisible", "--name", "^albumdesk$"}))) {
      std::string type;
      adtest::runProgram({"xprop", "-id", id, "_NET_WM_WINDOW_TYPE"}, &type);
      if (type.find("_NET_WM_WINDOW_TYPE_NORMAL") != std::string::npos) out.push_back(id);
    }
    return out;
  }
  // Waits for the program's one main window, framed and placed by the window manager; its
  // id, or "" when none came. (A program starting beside many others on a busy machine may
  // take long to show its first window.)
  std::string waitForMainWindow(std::chrono::seconds limit = 60s) {
    std::string id;
    waitFor([&] {
      const std::vector<std::string> found = mainWindows();
      id = found.size() == 1 ? found[0] : std::string();
      return !id.empty();
    }, limit);
    if (!id.empty()) settledFrame(id);
    return id;
  }

  // Where a window's client area lies on the screen. (xdotool's getwindowgeometry counts
  // the frame's offset twice under a window manager that reparents.)
  QRect geometry(const std::string& id) {
    std::string out;
    adtest::runProgram({"xwininfo", "-id", id}, &out);
    auto value = [&](const std::string& key) {
      const size_t at = out.find(key);
      return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
    };
    return QRect(value("Absolute upper-left X:"), value("Absolute upper-left Y:"), value("Width:"),
                 value("Height:"));
  }

  // The frame's corner and size: the client area and the frame's extents
  // (_NET_FRAME_EXTENTS: left, right, top, bottom) that the window manager drew. *framed
  // tells whether the window manager has set the extents yet.
  QRect frame(const std::string& id, bool* framed = nullptr) {
    std::string out;
    adtest::runProgram({"xprop", "-id", id, "_NET_FRAME_EXTENTS"}, &out);
    int l = 0, r = 0, t = 0, b = 0;
    const size_t at = out.find(" = ");
    const bool has = at != std::string::npos && std::sscanf(out.c_str() + at + 3, "%d, %d, %d, %d", &l, &r, &t, &b) == 4;
    if (framed) *framed = has;
    return geometry(id).adjusted(-l, -t, r, b);
  }
  // The frame once the window manager has taken the window in: it frames and places a new
  // window in steps, so a single reading may catch a passing place. Waits until the frame's
  // extents are set and two readings a moment apart agree; the last reading when that does
  // not come within the limit.
  QRect settledFrame(const std::string& id, std::chrono::seconds limit = 20s) {
    bool framed = false;
    QRect last = frame(id, &framed);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(150ms);
      const QRect now = frame(id, &framed);
      const bool same = framed && now == last && now.width() > 0;
      last = now;
      if (same) break;
    }
    return last;
  }
  // The client area once the window has settled in its frame.
  QRect settledGeometry(const std::string& id) {
    settledFrame(id);
    return geometry(id);
  }

  // The program's visible windows, and a window's title.
  std::vector<std::string> programWindows() {
    return lines(xdotool({"search", "--onlyvisible", "--pid", std::to_string(program.processId())}));
  }
  std::string windowName(const std::string& id) {
    std::string name = xdotool({"getwindowname", id});
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
  }
  // Waits for a visible window of the program that is not among `known`; "" when none came.
  std::string newWindow(const std::vector<std::string>& known, std::chrono::seconds limit = 30s) {
    std::string found;
    waitFor([&] {
      for (const auto& w : programWindows()) {
        if (std::find(known.begin(), known.end(), w) == known.end()) {
          found = w;
          return true;
        }
      }
      return false;
    }, limit);
    return found;
  }

  // Presses keys on a window once it is the active one (a window that opens at the same
  // time may take the focus first). False when it never became active.
  bool pressOn(const std::string& window, const std::string& keys) {
    const bool active = waitFor([&] {
      xdotool({"windowactivate", "--sync", window});
      std::string id = xdotool({"getactivewindow"});
      return std::atol(id.c_str()) == std::atol(window.c_str());
    }, 10s);
    if (active) xdotool({"key", keys});
    return active;
  }
  bool shown(const std::string& window) {
    const auto all = programWindows();
    return std::find(all.begin(), all.end(), window) != all.end();
  }
  // Closes a window by the window manager (Alt+F4 under openbox), as a user does with
  // its close box; true when it closed.
  bool closeByWindowManager(const std::string& window) {
    return waitFor([&] {
      if (!shown(window)) return true;
      pressOn(window, "alt+F4");
      return waitFor([&] { return !shown(window); }, 3s);
    }, 20s);
  }

  // Closes the main window as a user does, by the window manager (Alt+F4 under openbox):
  // No to saving a changed album, Yes to quitting; the program ends.
  void quitByWindowManager(const std::string& mainWindow, bool albumChanged) {
    std::vector<std::string> known = programWindows();
    ASSERT_TRUE(pressOn(mainWindow, "alt+F4"));
    for (const char* answer : albumChanged ? std::vector<const char*>{"Escape", "Return"}
                                           : std::vector<const char*>{"Return"}) {
      const std::string box = newWindow(known);
      ASSERT_FALSE(box.empty()) << "no question appeared";
      known.push_back(box);
      ASSERT_TRUE(pressOn(box, answer));
    }
    ASSERT_TRUE(program.waitForFinished(20000)) << "the program did not end";
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  }

  // The thumbnails the program has made in its work folder, one for each picture it holds.
  int thumbnails() {
    int n = 0;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(workDir, error)) {
      const std::string name = e.path().filename().string();
      n += name.rfind("zbm1", 0) == 0 && name.size() > 6 && name.substr(name.size() - 6) == "TN.bmp";
    }
    return n;
  }

  QProcess program;
  std::string display;
  fs::path workDir;
};

}  // namespace
