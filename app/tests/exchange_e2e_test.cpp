// Pictures in and out of the program on a virtual display: an album file opened from the
// command line, Copy read back by xclip, a file list from xclip pasted, files dropped
// from another program, a picture dragged out to another program, and a picture dragged
// back onto its own album (which takes nothing).
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QProcess>

#include "desktop_fixture.h"

namespace {

const std::string kPeer = std::string(AD_BIN_DIR) + "/dnd_peer";

std::string fileUri(const fs::path& p) { return "file://" + p.string(); }

class Exchange : public Desktop {
 protected:
  // A press at `from`, a move in steps (the drag protocol follows the pointer) and a
  // release at `to`.
  void drag(QPoint from, QPoint to) {
    auto moveTo = [&](QPoint p) {
      xdotool({"mousemove", std::to_string(p.x()), std::to_string(p.y())});
      std::this_thread::sleep_for(60ms);
    };
    moveTo(from);
    xdotool({"mousedown", "1"});
    for (int i = 1; i <= 12; ++i) moveTo(from + (to - from) * i / 12);
    moveTo(to + QPoint(1, 1));
    moveTo(to);
    xdotool({"mouseup", "1"});
  }
  std::string peerWindow() {
    std::string id;
    waitFor([&] {
      const auto found = lines(xdotool({"search", "--onlyvisible", "--name", "^dnd-peer$"}));
      if (!found.empty()) id = found[0];
      return !id.empty();
    });
    return id;
  }
  // The working copy made from `bytes`, "" while there is none.
  std::string copyOf(const std::string& bytes) {
    for (const auto& e : fs::directory_iterator(workDir)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("zbm1", 0) == 0 && e.path().extension() == ".jpg" && adtest::readFile(e.path()) == bytes) {
        return e.path().string();
      }
    }
    return {};
  }
  std::string clipboard(const char* target) {
    std::string out;
    adtest::runProgram({"xclip", "-selection", "clipboard", "-t", target, "-o"}, &out);
    return out;
  }

  QProcess peer;
  void TearDown() override {
    if (peer.state() != QProcess::NotRunning) {
      peer.kill();
      peer.waitForFinished(5000);
    }
    Desktop::TearDown();
  }
  void startPeer(const QStringList& args) {
    if (peer.state() != QProcess::NotRunning) {
      peer.kill();
      peer.waitForFinished(5000);
    }
    peer.setProcessEnvironment(programEnvironment());
    peer.start(QString::fromStdString(kPeer), args);
    ASSERT_TRUE(peer.waitForStarted(10000));
  }
};

TEST_F(Exchange, ClipboardAndDragAndDropWithOtherPrograms) {
  AD_REQUIRE_TOOL("xclip");
  const fs::path src = adtest::testDir() / "pictures";
  const std::string red = jpeg(src / "red.jpg", QColor(220, 30, 30));
  const std::string green = jpeg(src / "green.jpg", QColor(30, 200, 30));
  const std::string blue = jpeg(src / "blue.jpg", QColor(30, 30, 220));
  std::vector<std::string> dropped;
  for (int i = 0; i < 3; ++i) dropped.push_back(jpeg(src / ("d" + std::to_string(i) + ".jpg"), QColor(200, 200, 40 * i)));
  // An album of two pictures, opened from the command line.
  const fs::path albumFile = adtest::testDir() / "two.qla";
  writeAlbum(albumFile, {red, green});
  startProgram({QString::fromStdString(albumFile.string())});
  const std::string window = waitForMainWindow();
  ASSERT_FALSE(window.empty()) << "no main window appeared";
  ASSERT_TRUE(waitFor([&] { return fs::exists(workDir) && thumbnails() == 2; })) << "the album was not read";
  const std::string redCopy = copyOf(red), greenCopy = copyOf(green);
  ASSERT_FALSE(redCopy.empty());
  ASSERT_FALSE(greenCopy.empty());

  // Copy: the clipboard offers the files as a list of URIs, and to file managers.
  xdotool({"windowfocus", "--sync", window});
  xdotool({"key", "ctrl+a", "ctrl+c"});
  ASSERT_TRUE(waitFor([&] { return clipboard("TARGETS").find("text/uri-list") != std::string::npos; }))
      << clipboard("TARGETS");
  EXPECT_NE(clipboard("TARGETS").find("x-special/gnome-copied-files"), std::string::npos);
  EXPECT_EQ(clipboard("text/uri-list"), fileUri(redCopy) + "\r\n" + fileUri(greenCopy) + "\r\n");

  // Paste: a list that xclip put on the clipboard.
  const fs::path list = adtest::testDir() / "list.txt";
  adtest::writeFile(list, fileUri(src / "blue.jpg") + "\r\n");
  ASSERT_EQ(adtest::runProgram({"xclip", "-selection", "clipboard", "-t", "text/uri-list", "-i", list.string()}), 0);
  xdotool({"windowfocus", "--sync", window});
  xdotool({"key", "ctrl+v"});
  ASSERT_TRUE(waitFor([&] { return !copyOf(blue).empty() && thumbnails() == 3; })) << "the list was not pasted";

  // Dragging the first picture (the pasted one, before the selected ones) out to another program.
  const QRect main = geometry(window);
  const QPoint cell0 = main.topLeft() + QPoint(150 + 8 + 50, 75);
  startPeer({"--sink", QString::fromStdString((adtest::testDir() / "sink.txt").string())});
  const std::string sinkWindow = peerWindow();
  ASSERT_FALSE(sinkWindow.empty());
  drag(cell0, settledGeometry(sinkWindow).center());
  ASSERT_TRUE(waitFor([&] { return fs::exists(adtest::testDir() / "sink.txt"); }, 20s)) << "nothing was dropped";
  EXPECT_EQ(adtest::readFile(adtest::testDir() / "sink.txt"), copyOf(blue) + "\n");

  // Dragged back onto its own album, the picture is not taken; files from another
  // program are, each once, at the album's end.
  drag(cell0, main.topLeft() + QPoint(450, 350));
  startPeer({"--source", QString::fromStdString((src / "d0.jpg").string()),
             QString::fromStdString((src / "d1.jpg").string()), QString::fromStdString((src / "d2.jpg").string())});
  const std::string sourceWindow = peerWindow();
  ASSERT_FALSE(sourceWindow.empty());
  drag(settledGeometry(sourceWindow).center(), main.topLeft() + QPoint(450, 350));
  ASSERT_TRUE(waitFor([&] { return !copyOf(dropped[2]).empty(); }, 30s)) << "the dropped files were not added";
  EXPECT_FALSE(copyOf(dropped[0]).empty());
  EXPECT_FALSE(copyOf(dropped[1]).empty());
  EXPECT_EQ(thumbnails(), 6) << "three pictures, then one pasted and three dropped; none from the album's own drag";
}

}  // namespace
