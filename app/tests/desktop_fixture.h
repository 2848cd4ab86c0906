// The program on the test's desktop (a virtual display with a window manager, started by
// the common test main), started and driven from outside as a user would drive it, with
// xdotool.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <chrono>
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

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"xdotool", "xwininfo", "import"}) AD_REQUIRE_TOOL(tool);
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

  // The main window: the one visible window named after the program (the splash has no name).
  std::vector<std::string> mainWindows() { return lines(xdotool({"search", "--onlyvisible", "--name", "^albumdesk$"})); }

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

  QProcess program;
  std::string display;
  fs::path workDir;
};

}  // namespace
