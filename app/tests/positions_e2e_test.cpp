// Remembered windows under a window manager: the program started and closed five times,
// each time with its viewer and camcorder panel open, shows every window where it was
// left, and the settings file keeps each frame's corner and client size.
#include <QColor>
#include <QImage>
#include <QRect>
#include <map>

#include "desktop_fixture.h"

namespace {

// The place stored for a window in the settings file.
QRect storedPlace(const std::string& ini, const std::string& section) {
  const size_t at = ini.find("[" + section + "]");
  if (at == std::string::npos) return {};
  auto value = [&](const std::string& key) {
    const size_t k = ini.find("\n" + key + "=", at);
    return k == std::string::npos ? -1 : std::atoi(ini.c_str() + k + key.size() + 2);
  };
  return QRect(value("Left"), value("Top"), value("Width"), value("Height"));
}

class RememberedWindows : public Desktop {};

TEST_F(RememberedWindows, OpenWhereTheyWereLeft) {
  // The viewer and the panel have stored places; the main window starts at its default.
  fs::create_directories(workDir);
  adtest::writeFile(workDir / "kbx40.ini",
                    "[frmView]\nTop=330\nLeft=430\nWidth=500\nHeight=360\n\n[frmAvCtl]\nTop=40\nLeft=900\n");
  const fs::path picture = adtest::testDir() / "red.jpg";
  QImage red(320, 240, QImage::Format_RGB32);
  red.fill(QColor(220, 30, 30));
  ASSERT_TRUE(red.save(QString::fromStdString(picture.string()), "JPG", 90));

  std::map<std::string, QRect> first;
  for (int run = 1; run <= 5; ++run) {
    SCOPED_TRACE("start " + std::to_string(run));
    startProgram({QString::fromStdString(picture.string())});
    const std::string main = waitForMainWindow();
    ASSERT_FALSE(main.empty()) << "no main window appeared";
    ASSERT_TRUE(waitFor([&] { return fs::exists(workDir / "zbm1000TN.bmp"); })) << "the picture was not read";
    std::map<std::string, QRect> seen;
    seen["frmMain"] = settledFrame(main);
    EXPECT_EQ(geometry(main).size(), QSize(600, 450));

    // The viewer, by a double click on the picture; closed by the window manager.
    const QPoint cell = geometry(main).topLeft() + QPoint(150 + 8 + 50, 75);
    xdotool({"mousemove", std::to_string(cell.x()), std::to_string(cell.y()), "click", "--repeat", "2", "--delay",
             "80", "1"});
    std::string viewer;
    ASSERT_TRUE(waitFor([&] {
      for (const auto& w : programWindows())
        if (windowName(w).rfind("Image Viewer", 0) == 0) viewer = w;
      return !viewer.empty();
    })) << "the viewer did not open";
    seen["frmView"] = settledFrame(viewer);
    ASSERT_TRUE(closeByWindowManager(viewer)) << "the viewer did not close";

    // The camcorder panel, by Import > Capture; no camcorder is there, so the device
    // window opens too, and is cancelled.
    ASSERT_TRUE(pressOn(main, "alt+i"));
    xdotool({"key", "c"});
    std::string panel, devices;
    ASSERT_TRUE(waitFor([&] {
      for (const auto& w : programWindows()) {
        const std::string name = windowName(w);
        if (name == "Camcorder control") panel = w;
        if (name == "Device selection") devices = w;
      }
      return !panel.empty() && !devices.empty();
    })) << "the panel did not open";
    seen["frmAvCtl"] = settledFrame(panel);
    ASSERT_TRUE(pressOn(devices, "Escape"));
    ASSERT_TRUE(waitFor([&] { return !shown(devices); })) << "the device window did not close";

    quitByWindowManager(main, true);
    if (HasFatalFailure()) return;

    EXPECT_EQ(seen["frmView"].topLeft(), QPoint(430, 330));
    EXPECT_EQ(seen["frmAvCtl"].topLeft(), QPoint(900, 40));
    if (run == 1) {
      first = seen;
    } else {
      for (const auto& [form, place] : first) EXPECT_EQ(seen[form].topLeft(), place.topLeft()) << form;
    }
    // The settings file holds each frame's corner and the main window's client size.
    const std::string ini = adtest::readFile(workDir / "kbx40.ini");
    EXPECT_EQ(storedPlace(ini, "frmMain"), QRect(seen["frmMain"].topLeft(), QSize(600, 450)));
    for (const char* form : {"frmView", "frmAvCtl"})
      EXPECT_EQ(storedPlace(ini, form).topLeft(), seen[form].topLeft()) << form;
  }
}

// A stored size larger than the screen (a settings file edited, or written on a larger
// screen): the window opens at its stored corner, its title bar on the screen, its client
// area cut to the screen's size, and that size is what quitting stores. (The frame the
// window manager adds may reach beyond the right and bottom edges, as any window whose
// corner is on the screen may.)
TEST_F(RememberedWindows, ASizeLargerThanTheScreenIsCutToIt) {
  fs::create_directories(workDir);
  adtest::writeFile(workDir / "kbx40.ini", "[frmMain]\nTop=20\nLeft=30\nWidth=4000\nHeight=3000\n");
  startProgram();
  const std::string main = waitForMainWindow();
  ASSERT_FALSE(main.empty()) << "no main window appeared";
  const QRect screen(0, 0, 1280, 1024);
  EXPECT_EQ(settledFrame(main).topLeft(), QPoint(30, 20));
  const QRect client = geometry(main);
  EXPECT_TRUE(screen.contains(client.topLeft()));
  EXPECT_LE(client.width(), screen.width());
  EXPECT_LE(client.height(), screen.height());
  quitByWindowManager(main, false);
  const QRect stored = storedPlace(adtest::readFile(workDir / "kbx40.ini"), "frmMain");
  EXPECT_LE(stored.width(), screen.width());
  EXPECT_LE(stored.height(), screen.height());
}

}  // namespace
