// Lists of files on the clipboard and in drag and drop.
#include "workspace/file_lists.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "engine_fixture.h"

namespace {

using namespace enginetest;
using workspace::ListedPicture;

std::string captureFixture(const std::string& name) {
  return std::string(AD_SOURCE_DIR) + "/tests/data/capture/" + name;
}

// Pictures leave the album as their working copies; frames as BMP files beside them.
TEST_F(EngineTest, FilesForOutsideAreWorkingCopiesOrBmpsBesideThem) {
  album.count = 0;
  ASSERT_TRUE(engine->LoadImage(pictest::fixture("jpeg_baseline.jpg"), 0));
  album.count = 1;
  ASSERT_TRUE(engine->LoadImage(captureFixture("ntsc_4x3.dvf"), 1));
  album.count = 2;
  ASSERT_TRUE(engine->LoadImage(captureFixture("grey_16x4.yuv"), 2));
  ASSERT_EQ(mainWindow.received.size(), 3u);
  std::vector<ListedPicture> pictures;
  for (const Reported& r : mainWindow.received) pictures.push_back({r.type, r.working});
  // A frame whose working copy is damaged gives no file and is left out.
  const std::string broken = work + "zbm1003.dvf";
  adtest::writeFile(broken, "DVF but nothing more");
  pictures.push_back({workspace::CImageOpe::kTypeDv, broken});

  const std::vector<std::string> files = workspace::FilesForOutside(*engine, pictures);
  ASSERT_EQ(files, (std::vector<std::string>{work + "zbm1000.jpg", work + "zbm1001.bmp", work + "zbm1002.bmp"}));
  EXPECT_EQ(filePixels(files[1]).width, 640);
  EXPECT_EQ(filePixels(files[2]).width, 16);
  EXPECT_EQ(filePixels(files[2]).height, 12);
  EXPECT_FALSE(workspace::FileName(work + "zbm1003.bmp").Exists());
}

// Paths go out as file URLs, percent-encoded where they must be, and come back as they were.
TEST(FileLists, UriListsAndTheFileManagersList) {
  const std::vector<std::string> files = {"/tmp/a b/Été #1.jpg", "/work/zbm1000.bmp", "/x/100%.png"};
  std::unique_ptr<QMimeData> data(workspace::MakeFileListData(files, true));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->data("text/uri-list").toStdString(),
            "file:///tmp/a%20b/%C3%89t%C3%A9%20%231.jpg\r\nfile:///work/zbm1000.bmp\r\nfile:///x/100%25.png\r\n");
  EXPECT_EQ(data->data("x-special/gnome-copied-files").toStdString(),
            "copy\nfile:///tmp/a%20b/%C3%89t%C3%A9%20%231.jpg\nfile:///work/zbm1000.bmp\nfile:///x/100%25.png");
  EXPECT_EQ(workspace::GetDropFiles(data.get()), files);

  std::unique_ptr<QMimeData> dragged(workspace::MakeFileListData(files, false));
  EXPECT_FALSE(dragged->hasFormat("x-special/gnome-copied-files")) << "only the clipboard carries it";
  EXPECT_EQ(workspace::MakeFileListData({}, true), nullptr);

  struct Case {
    const char* format;
    const char* bytes;
    std::vector<std::string> files;
  } cases[] = {
      {"text/uri-list", "# a comment\r\nhttp://example.org/a.jpg\r\nfile:///b/c.jpg\r\n\r\nfile:///d.png", {"/b/c.jpg", "/d.png"}},
      {"x-special/gnome-copied-files", "cut\nfile:///b/c.jpg\nfile:///d%20e.png\n", {"/b/c.jpg", "/d e.png"}},
      {"text/plain", "/b/c.jpg", {}},
  };
  for (const Case& c : cases) {
    QMimeData in;
    in.setData(c.format, c.bytes);
    EXPECT_EQ(workspace::GetDropFiles(&in), c.files) << c.format;
    EXPECT_EQ(workspace::OffersFiles(&in), !c.files.empty()) << c.format;
  }
}

// (Who owns the clipboard, and its clearing, need a real display: the desktop tests.)
TEST(FileLists, ClipboardHoldsTheList) {
  ASSERT_TRUE(workspace::PutFilesOnClipboard({"/a/b.jpg", "/a/c.jpg"}));
  EXPECT_TRUE(workspace::ClipboardOffersFiles());
  EXPECT_EQ(workspace::FilesOnClipboard(), (std::vector<std::string>{"/a/b.jpg", "/a/c.jpg"}));
  EXPECT_FALSE(workspace::PutFilesOnClipboard({})) << "nothing to put there";
  EXPECT_EQ(workspace::FilesOnClipboard(), (std::vector<std::string>{"/a/b.jpg", "/a/c.jpg"})) << "what was there stays";
  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(workspace::ClipboardOffersFiles());
}

// ---- the drop target ------------------------------------------------------------------------

class Host : public workspace::DropTargetHost {
 public:
  bool DropsRefused() const override { return refused; }
  void DragAutoScroll(QPoint p) override { scrolled.push_back(p); }
  bool refused = false;
  std::vector<QPoint> scrolled;
};

class DropTarget : public ::testing::Test {
 protected:
  DropTarget() {
    window.resize(300, 200);
    receiver.onMessage(platform::WM_INSERT_FILES, [this](platform::WPARAM w, platform::LPARAM l) {
      posted.push_back({w, l});
      return platform::LRESULT{0};
    });
  }
  // A drag that enters the window, moves to `at` and is dropped there; whether each
  // step was accepted.
  std::array<bool, 3> dragAndDrop(const QMimeData& data, QPoint at) {
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCoreApplication::processEvents();  // the posted message
    return {enter.isAccepted(), move.isAccepted() && move.dropAction() == Qt::CopyAction,
            drop.isAccepted() && drop.dropAction() == Qt::CopyAction};
  }

  QWidget window;
  platform::MessageReceiver receiver;
  Host host;
  std::vector<std::pair<platform::WPARAM, platform::LPARAM>> posted;
};

// Files dropped from elsewhere are taken as a copy and handed on for the end of the
// album, unless the window refuses drops now; other data is not taken.
TEST_F(DropTarget, TakesFilesUnlessRefused) {
  workspace::CDropTarget target(&window, &receiver, host);
  EXPECT_TRUE(window.acceptDrops());
  std::unique_ptr<QMimeData> files(workspace::MakeFileListData({"/p/c.jpg", "/p/a.jpg", "/p/b.png"}, false));
  QMimeData text;
  text.setText("no files");
  struct Case {
    const char* name;
    const QMimeData* data;
    bool refused;
    std::array<bool, 3> accepted;
    bool posted;
  } cases[] = {
      {"files", files.get(), false, {true, true, true}, true},
      {"refused", files.get(), true, {true, false, false}, false},
      {"no_files", &text, false, {false, false, false}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.refused = c.refused;
    posted.clear();
    workspace::DropFiles.clear();
    EXPECT_EQ(dragAndDrop(*c.data, QPoint(40, 50)), c.accepted);
    if (c.posted) {
      ASSERT_EQ(posted.size(), 1u);
      EXPECT_EQ(posted[0], std::make_pair(platform::WPARAM{-1}, platform::LPARAM{3}));
      EXPECT_EQ(workspace::DropFiles, (std::vector<std::string>{"/p/c.jpg", "/p/a.jpg", "/p/b.png"}));
    } else {
      EXPECT_TRUE(posted.empty());
      EXPECT_TRUE(workspace::DropFiles.empty());
    }
  }
  host.refused = false;
  host.scrolled.clear();
  dragAndDrop(*files, QPoint(40, 50));
  ASSERT_FALSE(host.scrolled.empty()) << "the grid scrolls while something is dragged over it";
  EXPECT_EQ(host.scrolled[0], window.mapToGlobal(QPoint(40, 50)));
}

TEST_F(DropTarget, RegistrationEndsWithTheTarget) {
  { workspace::CDropTarget target(&window, &receiver, host); }
  EXPECT_FALSE(window.acceptDrops());
  std::unique_ptr<QMimeData> files(workspace::MakeFileListData({"/p/a.jpg"}, false));
  dragAndDrop(*files, QPoint(5, 5));
  EXPECT_TRUE(posted.empty());
}

}  // namespace
