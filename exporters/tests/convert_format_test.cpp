// The format command run from the main window as the user runs it: the output settings
// dialog answered by script at each showing, the questions answered from a queue, and
// the album's records and files read back with the toolkit afterwards.
#include <sys/resource.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <deque>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "exporters/controls.h"
#include "exporters/frmimgfmt.h"
#include "picture_util.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/icons.h"
#include "workspace/program.h"

using platform::MsgAnswer;
using viewertest::Choice;
using viewertest::Conversion;

namespace {

using workspace::Flames;
namespace fs = std::filesystem;

// What a record should say after the command, and the colour of its picture's upper
// left part (which tells whether and how it was turned).
struct Rec {
  uint16_t type;
  int w, h;
  const char* ext;
  QRgb upperLeft;
};
constexpr QRgb kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;

TEST_F(Conversion, FlowsOfTheDialogAndTheQuestions) {
  struct Flow {
    const char* name;
    std::vector<viewertest::Source> pictures;
    std::set<int> selected;
    std::vector<Choice> dialog;  // what the user does at each showing (nullptr: Cancel)
    std::vector<MsgAnswer> answers;
    std::vector<Rec> expect;
    int showings;
    std::vector<const char*> boxes;
    uint8_t modified;
  };
  const Choice keep = [](exporters::TfrmImgFmt*) {};
  const Choice bitmap = [](exporters::TfrmImgFmt* d) { d->component<QComboBox>("cbFmt")->setCurrentIndex(1); };
  const Choice clockwise = [](exporters::TfrmImgFmt* d) { QTest::mouseClick(d->rgRotate()->Item(1), Qt::LeftButton); };
  const Choice preset160 = [](exporters::TfrmImgFmt* d) {
    QTest::mouseClick(d->component<QRadioButton>("rbGen"), Qt::LeftButton);
    auto* list = d->component<QComboBox>("cbSize");
    list->setCurrentIndex(1);
    emit list->activated(1);
  };
  const Choice turnedThenWide = [&](exporters::TfrmImgFmt* d) {
    clockwise(d);
    QTest::mouseClick(d->component<QRadioButton>("rbPDA"), Qt::LeftButton);
  };
  const viewertest::Source a{"a.bmp", 640, 480}, b{"b.jpg", 320, 240}, c{"c.bmp", 200, 300};
  const Rec aBmp{1, 640, 480, ".bmp", kRed}, bJpg{4, 320, 240, ".jpg", kRed};
  const Flow flows[] = {
      {"one picture: Cancel ends at once", {a}, {0}, {nullptr}, {}, {aBmp}, 1, {}, 0},
      {"one picture turned clockwise, as JPEG", {a}, {0}, {clockwise}, {}, {{4, 480, 640, ".jpg", kBlue}}, 1, {}, 1},
      {"one JPEG as BMP: no question after it", {b}, {0}, {bitmap}, {}, {{1, 320, 240, ".bmp", kRed}}, 1, {}, 1},
      {"JPEG to JPEG writes the same file", {b}, {0}, {keep}, {}, {bJpg}, 1, {}, 1},
      {"Cancel, then No: the dialog comes for the next picture", {a, a, b}, {0, 1, 2}, {nullptr, keep, bitmap},
       {MsgAnswer::No, MsgAnswer::No}, {aBmp, {4, 640, 480, ".jpg", kRed}, {1, 320, 240, ".bmp", kRed}}, 3,
       {"MSG_STOP_SAVE", "MSG_SAME_FMT"}, 1},
      {"Cancel, then Yes: nothing converted", {a, b}, {0, 1}, {nullptr}, {MsgAnswer::Yes}, {aBmp, bJpg}, 1,
       {"MSG_STOP_SAVE"}, 0},
      {"same for all, keeping sizes: each keeps its own", {a, b, c}, {0, 1, 2}, {keep}, {MsgAnswer::Yes},
       {{4, 640, 480, ".jpg", kRed}, bJpg, {4, 200, 300, ".jpg", kRed}}, 1, {"MSG_SAME_FMT"}, 1},
      {"same for all at a preset: each fitted into it", {a, b, c}, {0, 1, 2}, {preset160}, {MsgAnswer::Yes},
       {{4, 160, 120, ".jpg", kRed}, {4, 160, 120, ".jpg", kRed}, {4, 160, 120, ".jpg", 0}}, 1, {"MSG_SAME_FMT"}, 1},
      {"a picture smaller than the edits allow keeps its size", {{"t.bmp", 10, 10}}, {0}, {keep}, {},
       {{4, 10, 10, ".jpg", 0}}, 1, {}, 1},
      {"the wide format is never turned", {a}, {0}, {turnedThenWide}, {}, {{4, 720, 540, ".jpg", kRed}}, 1, {}, 1},
      {"only the selected pictures, in album order", {a, a, b, c}, {1, 3}, {keep, clockwise}, {MsgAnswer::No},
       {aBmp, {4, 640, 480, ".jpg", kRed}, bJpg, {4, 300, 200, ".jpg", kBlue}}, 2, {"MSG_SAME_FMT"}, 1},
  };
  for (const Flow& f : flows) {
    SCOPED_TRACE(f.name);
    reset();
    for (const auto& p : f.pictures) addQuarters(p);
    select(f.selected);
    for (MsgAnswer answer : f.answers) boxes.queue(answer);
    script.steps.assign(f.dialog.begin(), f.dialog.end());
    const std::vector<workspace::FlameInfo> before = records();

    workspace::frmMain->Modified = 0;
    mainAction("mnuFmt")->trigger();

    EXPECT_EQ(script.shown, f.showings);
    EXPECT_EQ(boxTexts(), texts(f.boxes));
    EXPECT_EQ(boxes.answersLeft(), 0u);
    EXPECT_EQ(workspace::frmMain->Modified, f.modified);
    EXPECT_FALSE(workspace::frmWait->isVisible());
    for (int i = 0; i < Flames->Count(); ++i) {
      SCOPED_TRACE(i);
      const workspace::FlameInfo& r = *Flames->Record(i);
      const Rec& e = f.expect[static_cast<size_t>(i)];
      EXPECT_EQ(r.type, e.type);
      EXPECT_EQ(r.width, e.w);
      EXPECT_EQ(r.height, e.h);
      EXPECT_EQ(workspace::FileName(r.workPath).RemoveExt(), workspace::FileName(before[i].workPath).RemoveExt());
      EXPECT_EQ(r.workPath.substr(r.workPath.size() - 4), e.ext);
      if (r == before[i]) continue;  // not converted: nothing more to see
      expectWritten(r, e.upperLeft);
    }
  }
}

TEST_F(Conversion, FailureOrStopEndsWithAnErrorAndWholeRecords) {
  struct Case {
    const char* name;
    int corrupt;      // the picture whose working copy cannot be read, -1 none
    bool stop;        // Stop is pressed as soon as the wait window shows
    int converted;    // pictures converted before the end
  };
  const Case cases[] = {
      {"the second picture cannot be read", 1, false, 1},
      {"the first picture cannot be read", 0, false, 0},
      {"Stop after the first picture", -1, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) addQuarters({n, 320, 240});
    if (c.corrupt >= 0) adtest::writeFile(Flames->Record(c.corrupt)->workPath, "not a picture");
    select({0, 1, 2});
    stopOnWait = c.stop;
    if (c.corrupt != 0) boxes.queue(MsgAnswer::Yes);  // same for all
    script.steps = {[](exporters::TfrmImgFmt*) {}};
    const std::vector<workspace::FlameInfo> before = records();
    workspace::frmMain->Modified = 0;
    mainAction("mnuFmt")->trigger();

    std::vector<const char*> expected;
    if (c.corrupt != 0) expected.push_back("MSG_SAME_FMT");
    expected.push_back("MSG_SAVE_ERR");
    EXPECT_EQ(boxTexts(), texts(expected));
    EXPECT_EQ(boxes.shown().back().icon, platform::MsgIcon::Stop);
    EXPECT_FALSE(workspace::frmWait->isVisible());
    EXPECT_EQ(workspace::frmMain->Modified, c.converted > 0 ? 1 : 0);
    for (int i = 0; i < 3; ++i) {
      const workspace::FlameInfo& r = *Flames->Record(i);
      if (i < c.converted) {
        EXPECT_EQ(r.type, 4) << i;
        expectWritten(r, kRed);
      } else {
        EXPECT_EQ(r, before[i]) << "picture " << i << " keeps its whole record";
      }
    }
  }
}

TEST_F(Conversion, AFailedRewriteOfTheSameFileKeepsTheWorkingCopy) {
  addQuarters({"big.jpg", 640, 480});
  select({0});
  script.steps = {[](exporters::TfrmImgFmt*) {}};
  const workspace::FlameInfo before = *Flames->Record(0);
  const std::string bytes = adtest::readFile(before.workPath);
  workspace::frmMain->Modified = 0;
  // Files may grow to 4 KB only, so the new JPEG (tens of KB) cannot be written.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  mainAction("mnuFmt")->trigger();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(boxTexts(), texts({"MSG_SAVE_ERR"}));
  EXPECT_EQ(*Flames->Record(0), before);
  EXPECT_EQ(adtest::readFile(before.workPath), bytes) << "the working copy is untouched";
  EXPECT_EQ(workspace::frmMain->Modified, 0);
}

// The work folder's disk is full: the new picture or its new thumbnail cannot be written.
// The error is shown, and the record, the working copy and the thumbnail stay as they
// were, with nothing new left in the folder.
TEST_F(Conversion, AFullWorkFolderKeepsRecordsAndFiles) {
  const Choice bitmap = [](exporters::TfrmImgFmt* d) { d->component<QComboBox>("cbFmt")->setCurrentIndex(1); };
  struct Case {
    const char* name;
    Choice choice;
  } cases[] = {
      {"the picture (a BMP of 230 KB) does not fit", bitmap},
      {"the picture (a small JPEG) fits, its thumbnail does not", [](exporters::TfrmImgFmt*) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    adtest::FullDisk disk(workspace::WorkDir, 2 << 20);
    addQuarters({"a.bmp", 320, 240});
    select({0});
    const workspace::FlameInfo before = *Flames->Record(0);
    const std::string copy = adtest::readFile(before.workPath), thumb = adtest::readFile(before.thumbPath);
    std::set<fs::path> files;
    for (const auto& e : fs::directory_iterator(workspace::WorkDir)) files.insert(e.path());
    disk.leave(8 << 10);
    SCOPED_TRACE(disk.how());
    workspace::frmMain->Modified = 0;
    script.steps = {c.choice};
    mainAction("mnuFmt")->trigger();
    EXPECT_EQ(boxTexts(), texts({"MSG_SAVE_ERR"}));
    EXPECT_EQ(*Flames->Record(0), before);
    EXPECT_EQ(adtest::readFile(before.workPath), copy);
    EXPECT_EQ(adtest::readFile(before.thumbPath), thumb);
    std::set<fs::path> after;
    for (const auto& e : fs::directory_iterator(workspace::WorkDir)) after.insert(e.path());
    files.insert(fs::path(workspace::WorkDir) / ".filler");
    after.insert(fs::path(workspace::WorkDir) / ".filler");
    EXPECT_EQ(after, files);
    EXPECT_EQ(workspace::frmMain->Modified, 0);
    EXPECT_FALSE(workspace::frmWait->isVisible());
    reset();  // the album's files go with the disk
  }
}

TEST_F(Conversion, NeedsASelectionAndAsksForOne) {
  addQuarters({"a.bmp", 64, 48});
  Flames->SelectAll(false);
  boxes.queue(MsgAnswer::No);
  mainAction("mnuFmt")->trigger();
  EXPECT_EQ(script.shown, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{msg("MSG_NOSELECT1") + "\n" + msg("MSG_NOSELECT2")});
  // The export icon runs the same command.
  boxes.queue(MsgAnswer::Yes);  // select all
  script.steps = {nullptr};
  workspace::frmMain->ShowIconPage(0);
  auto* panel = workspace::frmMain->component<QWidget>("pnlIco");
  QLabel* icon = workspace::frmMain->ExportIcons().Icon(6)->image();
  QTest::mouseClick(panel, Qt::LeftButton, {}, icon->mapTo(panel, icon->rect().center()));
  EXPECT_EQ(script.shown, 1);
}

}  // namespace
