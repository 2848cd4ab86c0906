// The program on a virtual display of its own (Xvfb), driven from outside as a user
// would: it starts with its splash and then its main window showing the picture of its
// command line, a second copy ends at once, and it quits by its menu, cleaning its work
// folder; its windows carry its own icon and the class of its desktop entry.
#include <sys/types.h>

#include <cstdlib>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <map>

#include <gtest/gtest.h>

#include "desktop_fixture.h"
#include "platform/testsupport/testsupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST_F(Desktop, StartsOnceShowsTheCommandLinePictureAndQuitsCleanly) {
  fs::create_directories(workDir);
  adtest::writeFile(workDir / "zbm1999.jpg", "a working copy left behind");
  // A JPEG picture in a folder with a blank; the shell splits such a path in two, and the
  // program takes its whole command line as one path again.
  const fs::path picture = adtest::testDir() / "My Pictures" / "trip 1.jpg";
  fs::create_directories(picture.parent_path());
  QImage red(400, 300, QImage::Format_RGB32);
  red.fill(QColor(220, 30, 30));
  ASSERT_TRUE(red.save(QString::fromStdString(picture.string()), "JPG", 95));
  const std::string path = picture.string();
  const size_t blank = path.rfind(' ');
  startProgram({QString::fromStdString(path.substr(0, blank)), QString::fromStdString(path.substr(blank + 1))});
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  EXPECT_EQ(geometry(window).size(), QSize(600, 450));

  // The picture is the album's first: its working copy, its thumbnail, its cell.
  ASSERT_TRUE(waitFor([&] { return fs::exists(workDir / "zbm1000TN.bmp"); })) << "the picture was not read";
  EXPECT_EQ(adtest::readFile(workDir / "zbm1000.jpg"), adtest::readFile(picture));
  const fs::path shot = adtest::artefactDir() / "albumdesk-main-window.png";
  QImage image;
  // The cell's picture lies 150 + 3 + 5 pixels from the left, 8 below the menu bar.
  const QPoint inThumbnail(150 + 8 + 50, 75);
  EXPECT_TRUE(waitFor([&] {
    image = screenshot(window, shot);
    return !image.isNull() && near(image.pixelColor(inThumbnail), QColor(220, 30, 30));
  }, 20s)) << "the thumbnail is not in the grid; see " << shot;
  ASSERT_EQ(image.size(), QSize(600, 450));
  EXPECT_EQ(image.pixelColor(60, 200), QColor(Qt::white));  // the icon bar's page
  EXPECT_NE(image.pixelColor(60, 25), QColor(Qt::white));   // and its tabs above

  // A second copy ends at once with code 0 and shows nothing.
  std::string err;
  EXPECT_EQ(adtest::runProgram({kProgram}, nullptr, &err), 0) << err;
  EXPECT_EQ(mainWindows(), std::vector<std::string>{window});
  EXPECT_EQ(program.state(), QProcess::Running);

  // File, Quit; No to saving the album, Yes to quitting.
  xdotool({"windowfocus", "--sync", window});
  xdotool({"key", "alt+f"});
  xdotool({"key", "q"});
  // A question box is the other window of the program's name, one not seen before.
  std::string lastBox;
  auto newBox = [&] {
    for (const auto& w : mainWindows()) {
      if (w != window && w != lastBox) {
        lastBox = w;
        return true;
      }
    }
    return false;
  };
  ASSERT_TRUE(waitFor(newBox)) << "the save question did not appear";
  xdotool({"key", "Escape"});
  ASSERT_TRUE(waitFor(newBox)) << "the quit question did not appear";
  xdotool({"key", "Return"});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  for (const char* file : {"zbm1999.jpg", "zbm1000.jpg", "zbm1000TN.bmp"}) EXPECT_FALSE(fs::exists(workDir / file)) << file;
  EXPECT_TRUE(fs::exists(picture));
  EXPECT_NE(adtest::readFile(workDir / "kbx40.ini").find("[frmMain]"), std::string::npos);
}

// The icons a window carries (_NET_WM_ICON: width, height, then the pixels as ARGB, for
// each size), by size; none when it carries none.
std::map<int, QImage> windowIcons(const std::string& window) {
  std::string out;
  adtest::runProgram({"xprop", "-len", "4000000", "-id", window, "-f", "_NET_WM_ICON", "32c", " $0+", "_NET_WM_ICON"}, &out);
  std::map<int, QImage> icons;
  const size_t at = out.find(' ');
  if (at == std::string::npos || out.find("not found") != std::string::npos) return icons;
  std::vector<uint32_t> values;
  std::istringstream list(out.substr(at + 1));
  for (std::string v; std::getline(list, v, ',');) values.push_back(static_cast<uint32_t>(std::stoul(v)));
  for (size_t i = 0; i + 2 <= values.size();) {
    const uint32_t w = values[i], h = values[i + 1];
    if (w == 0 || h == 0 || i + 2 + size_t(w) * h > values.size()) break;
    QImage image(int(w), int(h), QImage::Format_ARGB32);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) image.setPixel(int(x), int(y), values[i + 2 + y * w + x]);
    icons[int(w)] = image;
    i += 2 + size_t(w) * h;
  }
  return icons;
}

// The windows of the program, the main window and a question over it, carry the program's
// own icon in the sizes it installs, pixel for pixel, and the class name of its desktop
// entry ("albumdesk", as the installed albumdesk.desktop is named), so that the task bar
// and window switcher show them with the installed entry's icon.
TEST_F(Desktop, WindowsCarryTheProgramsIconAndItsDesktopEntrysClass) {
  startProgram();
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  auto checkIdentity = [&](const std::string& w, const char* which) {
    SCOPED_TRACE(which);
    const std::map<int, QImage> icons = windowIcons(w);
    ASSERT_FALSE(icons.empty()) << "no icon";
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
      const auto icon = icons.find(size);
      ASSERT_NE(icon, icons.end()) << "no icon of " << size;
      const QImage installed =
          QImage(QString("%1/data/icons/albumdesk-%2.png").arg(AD_SOURCE_DIR).arg(size)).convertToFormat(QImage::Format_ARGB32);
      EXPECT_EQ(icon->second, installed) << "the icon of " << size << " is not the installed one";
    }
    std::string wmClass;
    adtest::runProgram({"xprop", "-id", w, "WM_CLASS"}, &wmClass);
    EXPECT_NE(wmClass.find("= \"albumdesk\", \"albumdesk\""), std::string::npos) << wmClass;
  };
  checkIdentity(window, "main window");

  // A close that reaches the program while it still settles after its start may be
  // refused; it is asked again until the question comes.
  const std::vector<std::string> known = programWindows();
  std::string question;
  waitFor([&] {
    if (!pressOn(window, "alt+F4")) return false;
    question = newWindow(known, 5s);
    return !question.empty();
  }, 40s);
  ASSERT_FALSE(question.empty()) << "the quit question did not appear";
  checkIdentity(question, "quit question");
  ASSERT_TRUE(pressOn(question, "Return"));
  ASSERT_TRUE(program.waitForFinished(20000)) << "the program did not end";
}

// Copies started with the same home share its work folder, whatever their runtime folder
// (another one, or none as from cron or su, with another temporary folder): a second copy
// ends at once, and the first keeps its working copies.
TEST_F(Desktop, ACopyWithAnotherRuntimeFolderEndsAtOnce) {
  fs::create_directories(workDir);
  const fs::path picture = adtest::testDir() / "blue.jpg";
  QImage blue(320, 240, QImage::Format_RGB32);
  blue.fill(QColor(30, 30, 220));
  ASSERT_TRUE(blue.save(QString::fromStdString(picture.string()), "JPG", 90));
  startProgram({QString::fromStdString(picture.string())});
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  ASSERT_TRUE(waitFor([&] { return fs::exists(workDir / "zbm1000TN.bmp"); })) << "the picture was not read";

  const fs::path otherRun = adtest::testDir() / "other-run", otherTmp = adtest::testDir() / "other-tmp";
  fs::create_directories(otherRun);
  fs::permissions(otherRun, fs::perms::owner_all);
  fs::create_directories(otherTmp);
  struct Case {
    const char* what;
    std::function<void(QProcessEnvironment&)> change;
  } cases[] = {
      {"another runtime folder",
       [&](QProcessEnvironment& env) { env.insert("XDG_RUNTIME_DIR", QString::fromStdString(otherRun.string())); }},
      {"no runtime folder",
       [&](QProcessEnvironment& env) {
         env.remove("XDG_RUNTIME_DIR");
         env.insert("TMPDIR", QString::fromStdString(otherTmp.string()));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QProcessEnvironment env = programEnvironment();
    c.change(env);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QString::fromStdString(kProgram), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    const bool ended = second.waitForFinished(60000);
    if (!ended) {
      EXPECT_EQ(mainWindows().size(), 2u) << "the second copy runs";
      second.kill();
      second.waitForFinished(10000);
    }
    EXPECT_TRUE(ended) << "the second copy did not end";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(mainWindows(), std::vector<std::string>{window});
    EXPECT_TRUE(fs::exists(workDir / "zbm1000.jpg"));
  }
  EXPECT_EQ(program.state(), QProcess::Running);
  quitByWindowManager(window, true);
  EXPECT_FALSE(fs::exists(workDir / "zbm1000.jpg"));
}

}  // namespace
