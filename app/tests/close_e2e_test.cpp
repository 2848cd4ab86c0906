// Closing the program while it works. While the wait window is up (an import, an album
// save, an HTML album), the main window takes no close however the user asks for one: its
// close box, Alt+F4, the window manager's close (as a task bar asks for it) and the Quit
// command from the keyboard do nothing, nothing is asked and no file goes. Once the work
// is done, the close the user then asks for ends the program and its working copies go.
#include <signal.h>

#include <QImage>
#include <random>

#include "desktop_fixture.h"

namespace {

constexpr size_t kPictures = 12;

class CloseDuringWork : public Desktop {
 protected:
  void TearDown() override {
    if (program.state() != QProcess::NotRunning) ::kill(static_cast<pid_t>(program.processId()), SIGCONT);
    Desktop::TearDown();
  }

  // An album file of kPictures copies of one JPEG picture of noise: large in bytes, and
  // each picture a moment's work to read in full and to write.
  void makeAlbum() {
    QImage noise(4000, 3000, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < noise.height(); ++y) {
      auto* line = reinterpret_cast<uint32_t*>(noise.scanLine(y));
      for (int x = 0; x < noise.width(); ++x) line[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    }
    const fs::path picture = adtest::testDir() / "noise.jpg";
    ASSERT_TRUE(noise.save(QString::fromStdString(picture.string()), "JPG", 90));
    pictureBytes = adtest::readFile(picture);
    albumFile = adtest::testDir() / "noise.qla";
    writeAlbum(albumFile, std::vector<std::string>(kPictures, pictureBytes));
  }

  // The first window type a window names ("NORMAL", "SPLASH", "DIALOG"), and the
  // program's visible windows of that type and of the program's name.
  std::string typeOf(const std::string& window) {
    const std::string types = adtest::windowProperty(std::stoul(window), "_NET_WM_WINDOW_TYPE");
    const std::string prefix = "_NET_WM_WINDOW_TYPE_";
    return types.rfind(prefix, 0) == 0 ? types.substr(prefix.size(), types.find(',') - prefix.size()) : types;
  }
  std::string programWindow(const std::string& type) {
    for (const std::string& w : programWindows())
      if (windowName(w) == "albumdesk" && typeOf(w) == type) return w;
    return {};
  }
  std::string theMainWindow() { return programWindow("NORMAL"); }
  std::string waitWindow() { return programWindow("SPLASH"); }
  // The program's visible windows besides the main window and the wait window: the
  // questions it asks, its dialogs.
  std::vector<std::string> otherWindows(const std::string& mainWindow) {
    std::vector<std::string> out;
    for (const std::string& w : programWindows())
      if (w != mainWindow && typeOf(w) != "SPLASH") out.push_back(w);
    return out;
  }

  // The names of the files in a folder that begin with `prefix`.
  std::vector<std::string> files(const fs::path& folder, const std::string& prefix = "") {
    std::vector<std::string> out;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(folder, error)) {
      const std::string name = e.path().filename().string();
      if (name.rfind(prefix, 0) == 0) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The program's working files in the work folder, and of them the pictures' working
  // copies and thumbnails ("zbm1000.jpg", "zbm1000TN.bmp", ...).
  std::vector<std::string> workFiles() { return files(workDir, "zbm"); }
  std::vector<std::string> workingCopies() { return files(workDir, "zbm1"); }

  // The album of the command line read: a working copy and a thumbnail for each picture,
  // the wait window gone.
  std::string startWithTheAlbum() {
    startProgram({QString::fromStdString(albumFile.string())});
    EXPECT_TRUE(waitFor([&] { return workingCopies().size() == 2 * kPictures && waitWindow().empty(); }, 120s))
        << workingCopies().size() << " working copies and thumbnails";
    const std::string window = theMainWindow();
    EXPECT_FALSE(window.empty()) << "no main window";
    if (!window.empty()) settledFrame(window);
    return window;
  }

  // Once `started` holds (the work has begun: the wait window was shown before it), the
  // program is held still while the user asks for the main window's close every way
  // there is, so that every request reaches it while its work runs. Then the work goes on.
  void closeWhileWorking(const std::function<bool()>& started) {
    const auto limit = std::chrono::steady_clock::now() + 120s;
    while (!started() && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(started()) << "the work did not begin";
    const pid_t pid = static_cast<pid_t>(program.processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    struct GoOn {
      pid_t pid;
      ~GoOn() { ::kill(pid, SIGCONT); }
    } goOn{pid};
    ASSERT_TRUE(waitFor([&] { return !waitWindow().empty(); }, 20s)) << "no wait window while the work runs";
    const std::string mainWindow = theMainWindow();
    ASSERT_FALSE(mainWindow.empty());
    // Alt+F4 and Alt+F, Q reach the window that has the keyboard.
    ASSERT_EQ(std::atol(xdotool({"getactivewindow"}).c_str()), std::atol(mainWindow.c_str()));
    xdotool({"key", "alt+F4"});
    xdotool({"key", "alt+f", "q"});
    // The close box at the right end of the window manager's title bar.
    const QRect outer = frame(mainWindow);
    ASSERT_TRUE(adtest::clickAt(outer.right() - 12, outer.top() + 10));
    ASSERT_TRUE(adtest::askWindowManagerToClose(std::stoul(mainWindow)));
    ASSERT_TRUE(adtest::sendCloseRequest(std::stoul(mainWindow)));
    // The window manager passes its requests on.
    std::this_thread::sleep_for(1s);
  }

  // Watches the program until the wait window has gone: true when it asked something
  // (showed any other window) while the wait window was still up.
  bool askedDuringTheWork(const std::string& mainWindow) {
    bool asked = false;
    EXPECT_TRUE(waitFor([&] {
      const bool other = !otherWindows(mainWindow).empty();
      const bool working = !waitWindow().empty();
      asked = other && working;
      return asked || !working;
    }, 120s)) << "the work did not end";
    return asked;
  }

  // No question comes after the work either: the program runs on with its main window.
  void nothingAskedAfterTheWork(const std::string& mainWindow) {
    EXPECT_FALSE(waitFor([&] { return !otherWindows(mainWindow).empty(); }, 3s)) << "a question came";
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(theMainWindow(), mainWindow);
  }

  // Every working copy is there, whole, with its thumbnail.
  void workingCopiesKept() {
    const std::vector<std::string> kept = workingCopies();
    EXPECT_EQ(kept.size(), 2 * kPictures);
    for (const std::string& name : kept) {
      if (fs::path(name).extension() == ".jpg") {
        EXPECT_EQ(adtest::readFile(workDir / name), pictureBytes) << name;
      }
    }
  }

  // The user's own close once the work is done: one question, Yes, and the program ends,
  // its working copies gone.
  void closeEndsTheProgram(const std::string& mainWindow) {
    quitByWindowManager(mainWindow, false);
    EXPECT_EQ(workFiles(), std::vector<std::string>{});
  }

  // Types a path into the save dialog that opens now, and takes it.
  void saveAs(const std::vector<std::string>& known, const fs::path& path) {
    const std::string dialog = newWindow(known);
    ASSERT_FALSE(dialog.empty()) << "no save dialog";
    ASSERT_TRUE(pressOn(dialog, "ctrl+a"));
    xdotool({"type", path.string()});
    xdotool({"key", "Return"});
  }

  fs::path albumFile;
  std::string pictureBytes;
};

TEST_F(CloseDuringWork, ImportTakesNoClose) {
  ASSERT_NO_FATAL_FAILURE(makeAlbum());
  startProgram({QString::fromStdString(albumFile.string())});
  // The album of the command line is read under the wait window.
  ASSERT_NO_FATAL_FAILURE(closeWhileWorking([&] { return !workingCopies().empty(); }));
  const std::string mainWindow = theMainWindow();
  EXPECT_FALSE(askedDuringTheWork(mainWindow)) << "a question came while the album was read";
  nothingAskedAfterTheWork(mainWindow);
  workingCopiesKept();
  closeEndsTheProgram(mainWindow);
}

TEST_F(CloseDuringWork, AlbumSaveTakesNoClose) {
  ASSERT_NO_FATAL_FAILURE(makeAlbum());
  const std::string mainWindow = startWithTheAlbum();
  ASSERT_FALSE(mainWindow.empty());
  const fs::path folder = adtest::testDir() / "saved";
  fs::create_directories(folder);
  // Export, Album.
  const std::vector<std::string> known = programWindows();
  ASSERT_TRUE(pressOn(mainWindow, "alt+x"));
  xdotool({"key", "a"});
  ASSERT_NO_FATAL_FAILURE(saveAs(known, folder / "trip.qla"));
  // The album is written beside its name first.
  ASSERT_NO_FATAL_FAILURE(closeWhileWorking([&] { return !files(folder).empty(); }));
  EXPECT_FALSE(askedDuringTheWork(mainWindow)) << "a question came while the album was saved";
  nothingAskedAfterTheWork(mainWindow);
  EXPECT_EQ(files(folder), std::vector<std::string>{"trip.qla"});
  EXPECT_EQ(fs::file_size(folder / "trip.qla"), 16 + kPictures * (16 + pictureBytes.size()));
  workingCopiesKept();
  closeEndsTheProgram(mainWindow);
  EXPECT_EQ(fs::file_size(folder / "trip.qla"), 16 + kPictures * (16 + pictureBytes.size()));
}

TEST_F(CloseDuringWork, HtmlAlbumTakesNoClose) {
  ASSERT_NO_FATAL_FAILURE(makeAlbum());
  const std::string mainWindow = startWithTheAlbum();
  ASSERT_FALSE(mainWindow.empty());
  const fs::path folder = adtest::testDir() / "web";
  fs::create_directories(folder);
  // Select All; Export, HTML Album; OK to the options.
  std::vector<std::string> known = programWindows();
  ASSERT_TRUE(pressOn(mainWindow, "ctrl+a"));
  xdotool({"key", "alt+x", "h"});
  const std::string options = newWindow(known);
  ASSERT_FALSE(options.empty()) << "no options";
  known.push_back(options);
  ASSERT_TRUE(pressOn(options, "Return"));
  ASSERT_NO_FATAL_FAILURE(saveAs(known, folder / "page.htm"));
  // The pictures are written into the album's picture folder one by one.
  ASSERT_NO_FATAL_FAILURE(closeWhileWorking([&] { return !files(folder / "page").empty(); }));
  EXPECT_FALSE(askedDuringTheWork(mainWindow)) << "a question came while the album was written";

  // The album was written whole; the question to show it, No.
  const std::string question = newWindow({mainWindow});
  ASSERT_FALSE(question.empty()) << "no question to show the album";
  ASSERT_TRUE(pressOn(question, "Escape"));
  nothingAskedAfterTheWork(mainWindow);
  EXPECT_TRUE(fs::exists(folder / "page.htm"));
  const std::vector<std::string> written = files(folder / "page");
  EXPECT_EQ(files(folder / "page", "fs").size(), kPictures) << "a picture each";
  EXPECT_EQ(files(folder / "page", "tn").size(), kPictures) << "a thumbnail each";
  workingCopiesKept();
  closeEndsTheProgram(mainWindow);
  EXPECT_EQ(files(folder / "page"), written);
}

}  // namespace
