// The program's main window on offscreen widgets, made and driven as the program does
// it: the forms made at start-up, the window's components by name, keys and the mouse,
// questions answered by script, and the picture engine reading pictures made here.
#include "workspace/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "album_fixtures.h"
#include "main_window_fixture.h"
#include "engine_fixture.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/registry_store.h"
#include "platform/scripted.h"
#include "platform/single_instance.h"
#include "workspace/frmimgprop.h"
#include "workspace/frmtitle.h"
#include "workspace/frmwait.h"
#include "workspace/icons.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

using namespace workspace;
using platform::MsgAnswer;
namespace fs = std::filesystem;

namespace {

// Notes when its object is shown.
struct ShowSpy : QObject {
  bool* shown;
  ShowSpy(QObject* parent, bool* flag) : QObject(parent), shown(flag) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) *shown = true;
    return false;
  }
};

const char* const kForms[] = {"frmMain",   "frmView",   "frmViewBtn",  "frmTitle", "frmAuto",   "frmWait",
                              "frmAvCtl",  "frmVarnDev", "frmImgFmt",  "frmMovie", "frmHTML",   "frmTiView",
                              "frmAutoSave", "frmSSTime", "frmImgProp", "frmMltImg"};

TEST_F(MainWindow, StartsWithTheSixteenFormsInOrderAndTheExportPage) {
  start();
  EXPECT_EQ(order, std::vector<std::string>(std::begin(kForms), std::end(kForms)));
  // Every later form found its texts: the about window is dressed from the table.
  EXPECT_EQ(frmTitle->findChild<QLabel*>("lblVerNum")->text(), Lang->GetMsg("frmTitle") + "Version 1.5.0.2");
  EXPECT_EQ(ProgramWindows().frmMain, frmMain);
  EXPECT_EQ(ProgramWindows().frmAvCtl, frmAvCtl);
  EXPECT_EQ(frmMain->windowTitle(), Lang->GetMsg("TI_MAIN"));
  EXPECT_EQ(platform::applicationTitle(), msg("TI_MAIN"));
  EXPECT_FALSE(frmTitle->isVisible());
  EXPECT_EQ(frmMain->size(), QSize(600, 450));
  EXPECT_EQ(frmMain->IconPage, 0);
  EXPECT_FALSE(frmMain->ImportIcons().Icon(0)->image()->isVisible());
  EXPECT_TRUE(frmMain->ExportIcons().Icon(7)->image()->isVisible());
  EXPECT_EQ(frmMain->ExportIcons().Icon(2)->label()->text(), Lang->GetMsg("IC_MAIL"));
  EXPECT_EQ(frmMain->Modified, 0);
  EXPECT_EQ(WorkDir, (adtest::testDir() / "Documents/ZEB").string() + "/");
  EXPECT_TRUE(fs::is_directory(WorkDir));
  // Commands of later parts of the program are there, disabled.
  for (const char* name : {"mnuCapture", "mnuMulti", "mnuHTML", "mnuMovie", "mnuFmt",
                           "mnuTitleImage", "mnuView"}) {
    EXPECT_FALSE(action(name)->isEnabled()) << name;
  }
  for (const char* name : {"mnuExit", "mnuDelete", "mnuAllSel", "mnuInv", "mnuKey", "mnuAbout", "mnuNew",
                           "mnuAlbumOpen", "mnuImgOpen", "mnuAlbumSave", "mnuImgSave", "mnuMail", "mnuCut", "mnuCopy", "mnuPaste"})
    EXPECT_TRUE(action(name)->isEnabled()) << name;
}

TEST_F(MainWindow, MailCounterIsResetOnlyWhenItsKeyExists) {
  platform::RegistryStore store;
  start();
  EXPECT_FALSE(store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM"));  // never made
  store.create(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")->writeDword("TIMES", 3);
  restart();
  EXPECT_EQ(store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")->readDword("TIMES"), 0u);
}

TEST_F(MainWindow, ModelTextHidesCaptureAndTitlePictures) {
  struct Case {
    const char* model;  // nullptr: no row
    bool capture, title, diagnostic;
  };
  for (const Case& c : {Case{"K1", false, true, false}, Case{"K2", true, false, false}, Case{"KMS", false, false, false},
                        Case{"K9", true, true, true}, Case{"k1", true, true, false}, Case{"K0", true, true, false},
                        Case{nullptr, true, true, false}}) {
    SCOPED_TRACE(c.model ? c.model : "(none)");
    restart([&] {
      Lang->ParseCaptions(c.model ? std::string("PrgLevel\tMODEL_ID\t") + c.model + "\r\n" : std::string());
    });
    EXPECT_EQ(action("mnuCapture")->isVisible(), c.capture);
    EXPECT_EQ(frmMain->ImportIcons().Icon(2)->available, c.capture);
    EXPECT_EQ(action("mnuTitleImage")->isVisible(), c.title);
    EXPECT_EQ(frmMain->ExportIcons().Icon(7)->available, c.title);
    EXPECT_EQ(frmMain->ExportIcons().Icon(7)->image()->isVisible(), c.title);
    EXPECT_EQ(DiagnosticFlag.load(), c.diagnostic ? 1 : 0);
    frmMain->ShowIconPage(1);
    EXPECT_EQ(frmMain->ImportIcons().Icon(2)->image()->isVisible(), c.capture);
  }
}

TEST_F(MainWindow, HelpFileFollowsTheLanguage) {
  struct Case {
    int language;
    const char* file;
  };
  for (const Case& c : {Case{kJapanese, "wro10j35.chm"}, Case{kFrench, "wro10f35.chm"}, Case{kEnglish, "wro10e35.chm"},
                        Case{0x0411, "wro10j35.chm"}}) {
    SCOPED_TRACE(c.file);
    restart([&] {
      Lang->SetLanguage(c.language);
      AppDir = adtest::testDir().string() + "/";
    });
    EXPECT_EQ(frmMain->HelpFile, AppDir + c.file);
    action("mnuKey")->trigger();  // no such file: nothing happens
    EXPECT_TRUE(launcher.documents().empty());
    adtest::writeFile(frmMain->HelpFile, "help");
    action("mnuKey")->trigger();
    ASSERT_EQ(launcher.documents().size(), 1u);
    EXPECT_EQ(launcher.documents()[0], frmMain->HelpFile);
    fs::remove(frmMain->HelpFile);
    const_cast<std::vector<std::string>&>(launcher.documents()).clear();
  }
}

// A help file that is there goes to the desktop's opener (a stand-in first on PATH); when
// nothing opens it the user is told, with the file named.
TEST_F(MainWindow, HelpThatNothingOpensIsTold) {
  start();
  platform::Launcher* recording = platform::setLauncher(nullptr);  // the system's own
  adtest::StandInProgram opener("xdg-open");
  frmMain->HelpFile = (adtest::testDir() / "wro10e35.chm").string();
  action("mnuKey")->trigger();  // no such file: nothing happens
  QTest::qWait(200);
  EXPECT_TRUE(opener.runs().empty());
  adtest::writeFile(frmMain->HelpFile, "help");
  struct Case {
    const char* commands;
    const char* told;  // the message key of the box; nullptr: none
  };
  const Case cases[] = {{"exit 0", nullptr}, {"exit 3", "MSG_OPEN_NOPROGRAM"}, {"exit 4", "MSG_OPEN_FAILED"}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].commands);
    opener.then(cases[i].commands);
    if (cases[i].told) boxes.queue(platform::MsgAnswer::Ok);
    const size_t shown = boxes.shown().size();
    action("mnuKey")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opener.runs().size() == i + 1; }, 30000)) << "the opener never ran";
    EXPECT_EQ(opener.runs().back(), std::vector<std::string>{frmMain->HelpFile});
    if (cases[i].told) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown().size() == shown + 1; }, 30000)) << "nothing was told";
      EXPECT_EQ(boxes.shown().back().text, msg(cases[i].told) + "\n" + frmMain->HelpFile);
      EXPECT_EQ(boxes.shown().back().icon, platform::MsgIcon::Stop);
    } else {
      QTest::qWait(300);
      EXPECT_EQ(boxes.shown().size(), shown);
    }
  }
  EXPECT_EQ(boxes.unanswered(), 0);
  platform::setLauncher(recording);
}

TEST_F(MainWindow, StoredPlaceIsUsedAndClosingSavesIt) {
  start([] {
    Profile->WriteInt("frmMain", "Top", 40);
    Profile->WriteInt("frmMain", "Left", 30);
    Profile->WriteInt("frmMain", "Width", 500);
    Profile->WriteInt("frmMain", "Height", 380);
  });
  EXPECT_EQ(QRect(frmMain->pos(), frmMain->size()), QRect(30, 40, 500, 380));
  frmMain->resize(520, 400);
  fs::remove(Profile->SettingsPath());
  boxes.queue(MsgAnswer::Yes);
  frmMain->closeForm();
  int32_t v = 0;
  ASSERT_TRUE(Profile->ReadInt("frmMain", "Width", v));
  EXPECT_EQ(v, 520);
  const std::string ini = adtest::readFile(Profile->SettingsPath());
  EXPECT_LT(ini.find("Top="), ini.find("Left="));
  EXPECT_LT(ini.find("Left="), ini.find("Height="));
  EXPECT_LT(ini.find("Height="), ini.find("Width="));
}

TEST_F(MainWindow, SelectionByClickShiftCtrlAndRubberBand) {
  start();
  addPictures(9);  // three columns in a 450-pixel view
  QWidget* box = named("sbTNBox");
  auto click = [&](int i, Qt::KeyboardModifiers m) { QTest::mouseClick(cell(i), Qt::LeftButton, m, QPoint(40, 40)); };
  auto band = [&](QPoint from, QPoint to) {
    QTest::mousePress(box, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), box->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    QTest::mouseRelease(box, Qt::LeftButton, {}, to);
  };
  struct Case {
    const char* name;
    std::function<void()> gesture;
    std::set<int> expected;
  };
  const Case cases[] = {
      {"click", [&] { click(4, Qt::NoModifier); }, {4}},
      {"shift", [&] { click(6, Qt::ShiftModifier); }, {4, 5, 6}},
      {"ctrl", [&] { click(0, Qt::ControlModifier); }, {0, 4, 5, 6}},
      {"ctrl again", [&] { click(5, Qt::ControlModifier); }, {0, 4, 6}},
      // Centres lie at x 60, 178, 296 and y 55, 163, 271.
      {"band from the lower right", [&] { band(QPoint(358, 270), QPoint(150, 50)); }, {1, 2, 4, 5}},
      {"band across one row", [&] { band(QPoint(358, 270), QPoint(150, 100)); }, {4, 5}},
      {"band over nothing", [&] { band(QPoint(358, 330), QPoint(358, 340)); }, {}},
      {"band beyond the view stops at its edge", [&] { band(QPoint(10, 10), QPoint(200, 2000)); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.gesture();
    EXPECT_EQ(selected(), c.expected);
    EXPECT_EQ(album().SelectedCount(), static_cast<int>(c.expected.size()));
    EXPECT_FALSE(named("shRect")->isVisible());
  }
}

TEST_F(MainWindow, DeleteKeyAsksAndRemovesThePicturesWithTheirFiles) {
  start();
  addPictures(5);
  std::vector<FlameInfo> before;
  for (int i = 0; i < 5; ++i) before.push_back(*album().Record(i));
  frmMain->Modified = 0;

  QTest::keyClick(frmMain, Qt::Key_Delete);  // nothing selected: nothing asked
  EXPECT_TRUE(boxes.shown().empty());

  album().SelectRange(1, 2);
  boxes.queue(MsgAnswer::No);
  QTest::keyClick(frmMain, Qt::Key_Delete);
  ASSERT_EQ(boxTexts(), (std::vector<std::string>{msg("MSG_DEL1") + "2" + msg("MSG_DEL2")}));
  EXPECT_EQ(boxes.shown()[0].icon, platform::MsgIcon::Question);
  EXPECT_EQ(album().Count(), 5);

  boxes.queue(MsgAnswer::Yes);
  QTest::keyClick(frmMain, Qt::Key_Delete);
  ASSERT_EQ(album().Count(), 3);
  EXPECT_EQ(*album().Record(1), before[3]);
  for (int gone : {1, 2}) {
    EXPECT_FALSE(fs::exists(before[static_cast<size_t>(gone)].workPath));
    EXPECT_FALSE(fs::exists(before[static_cast<size_t>(gone)].thumbPath));
  }
  EXPECT_TRUE(fs::exists(before[3].thumbPath));
  EXPECT_EQ(frmMain->Modified, 1);
  EXPECT_TRUE(frmMain->isEnabled());
}

TEST_F(MainWindow, ShortcutsTestTheirOwnConditionsWhateverTheMenuShowedLast) {
  start();
  QTest::keyClick(frmMain, Qt::Key_A, Qt::ControlModifier);  // an empty album: nothing to select
  addPictures(4);
  auto* edit = named<QMenu>("mnuEdit");
  edit->popup(frmMain->mapToGlobal(QPoint(10, 10)));  // opened with nothing selected
  EXPECT_FALSE(action("mnuDelete")->isEnabled());
  EXPECT_FALSE(action("mnuInv")->isEnabled());
  EXPECT_TRUE(action("mnuAllSel")->isEnabled());
  edit->hide();
  EXPECT_TRUE(action("mnuDelete")->isEnabled());

  QTest::keyClick(frmMain, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(selected(), (std::set<int>{0, 1, 2, 3}));
  boxes.queue(MsgAnswer::No);
  QTest::keyClick(frmMain, Qt::Key_Delete);  // reaches Delete although the menu showed it disabled
  EXPECT_EQ(boxes.shown().size(), 1u);

  edit->popup(frmMain->mapToGlobal(QPoint(10, 10)));  // opened with a selection
  album().SelectAll(false);
  edit->hide();
  QTest::keyClick(frmMain, Qt::Key_Delete);  // enabled when it was opened, nothing selected now
  EXPECT_EQ(boxes.shown().size(), 1u);
  action("mnuInv")->trigger();
  EXPECT_TRUE(selected().empty());

  auto* exportMenu = named<QMenu>("mnuExport");
  exportMenu->popup(frmMain->mapToGlobal(QPoint(10, 10)));
  EXPECT_FALSE(action("mnuMovie")->isEnabled());  // a later command stays disabled
  exportMenu->hide();
  EXPECT_FALSE(action("mnuMovie")->isEnabled());
}

TEST_F(MainWindow, WheelScrollsOneStepPerNotchAndStopsAtTheEnds) {
  start();
  addPictures(30);
  QScrollBar* bar = named<QScrollArea>("sbTN")->verticalScrollBar();
  ASSERT_TRUE(bar->isVisible());
  ASSERT_GT(bar->maximum(), 300);
  QWidget* view = named<QScrollArea>("sbTN")->viewport();
  auto wheel = [&](int delta) {
    QWheelEvent e(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &e);
  };
  struct Case {
    const char* name;
    int start;
    std::vector<int> deltas;
    int expected;  // -1: the range
  };
  const Case cases[] = {
      {"one notch down", 0, {-120}, 60},
      {"one notch up", 120, {120}, 60},
      {"small steps add up to one notch", 0, {-40, -40, -40}, 60},
      {"small steps short of a notch", 0, {-40, -40}, 0},
      {"a turn back starts afresh", 0, {-60, 60, -60}, 0},
      {"no movement", 60, {0}, 60},
      {"up at the top", 0, {120}, 0},
      {"up near the top", 30, {120}, 0},
      {"down at the end", -1, {-120}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    frmMain->CMMouseWheel(c.deltas.front() > 0 ? -1000 : 1000);  // forget any rest
    bar->setValue(c.start < 0 ? bar->maximum() : c.start);
    for (int d : c.deltas) wheel(d);
    EXPECT_EQ(bar->value(), c.expected < 0 ? bar->maximum() : c.expected);
  }
  // The wheel over the icon bar scrolls the grid too.
  bar->setValue(0);
  QWheelEvent e(QPointF(50, 300), named("pnlIco")->mapToGlobal(QPointF(50, 300)), QPoint(), QPoint(0, -120),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(named("imgPageR"), &e);
  EXPECT_EQ(bar->value(), 60);
}

TEST_F(MainWindow, ClosingAsksToSaveAModifiedAlbumThenWhetherToQuit) {
  struct Case {
    const char* name;
    bool modified;
    int pictures;
    std::vector<MsgAnswer> answers;
    std::vector<const char*> asked;
    bool closed;
    bool saved = false;  // the save dialog names a file (else it is cancelled)
  };
  const Case cases[] = {
      {"modified: no, no", true, 1, {MsgAnswer::No, MsgAnswer::No}, {"save", "close"}, false},
      // The save asked for did not happen: closing would delete the only copies.
      {"modified: yes, cancelled", true, 1, {MsgAnswer::Yes}, {"save"}, false},
      {"modified: yes, saved, no", true, 1, {MsgAnswer::Yes, MsgAnswer::No}, {"save", "close"}, false, true},
      {"modified: yes, saved, yes", true, 1, {MsgAnswer::Yes, MsgAnswer::Yes}, {"save", "close"}, true, true},
      {"modified: no, yes", true, 2, {MsgAnswer::No, MsgAnswer::Yes}, {"save", "close"}, true},
      {"unchanged: yes", false, 2, {MsgAnswer::Yes}, {"close"}, true},
      {"modified but empty: yes", true, 0, {MsgAnswer::Yes}, {"close"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    restart();
    addPictures(c.pictures);
    frmMain->Modified = c.modified ? 1 : 0;
    for (MsgAnswer a : c.answers) boxes.queue(a);
    const fs::path saveTo = adtest::testDir() / (std::to_string(&c - cases) + ".qla");
    if (c.saved) dialogs.queue({saveTo.string()});
    const size_t before = boxes.shown().size();
    action("mnuExit")->trigger();
    std::vector<std::string> asked;
    for (size_t i = before; i < boxes.shown().size(); ++i) asked.push_back(boxes.shown()[i].text);
    std::vector<std::string> expected;
    for (const char* a : c.asked)
      expected.push_back(std::string(a) == "save" ? msg("MSG_SAVE1") + "\n" + msg("MSG_SAVE2") : msg("MSG_CLOSE"));
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(frmMain->isVisible(), !c.closed);
    EXPECT_EQ(boxes.answersLeft(), 0u);
    EXPECT_EQ(album().Count(), c.pictures);
  }
}

TEST_F(MainWindow, ShutDownLeavesNoWorkingFilesAndReleasesTheLock) {
  start();
  addPictures(3);
  adtest::writeFile(WorkDir + "ZBMupper.jpg", "x");
  adtest::writeFile(WorkDir + "kbx40.ini.keep", "keep");
  fs::create_directories(WorkDir + "zbmfolder");
  fs::copy_file(enginetest::yuvFile("frame.yuv", 720, 480, 90, 128, 128), WorkDir + "temp.yuv");
  platform::sendMessage(frmMain, platform::WM_CAPTURE_FRAME, 1, 0);
  ASSERT_EQ(album().Count(), 4);
  QGuiApplication::clipboard()->setText("ours");
  boxes.queue(MsgAnswer::No);
  boxes.queue(MsgAnswer::Yes);
  action("mnuExit")->trigger();
  ASSERT_FALSE(frmMain->isVisible());
  for (const auto& e : fs::directory_iterator(WorkDir)) {
    const std::string name = e.path().filename().string();
    EXPECT_FALSE(e.is_regular_file() && (name.rfind("zbm", 0) == 0 || name.rfind("ZBM", 0) == 0)) << name;
  }
  EXPECT_TRUE(fs::exists(WorkDir + "kbx40.ini.keep"));
  EXPECT_TRUE(fs::is_directory(WorkDir + "zbmfolder"));
  EXPECT_FALSE(fs::exists(WorkDir + "temp.yuv"));  // the last capture file
  EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard() && QGuiApplication::clipboard()->text() == "ours");
  platform::SingleInstanceLock next;
  EXPECT_EQ(next.acquire(), platform::SingleInstanceLock::Result::Acquired);
}

TEST_F(MainWindow, StartUpRemovesWhatKilledSavesLeftInTheWorkFolder) {
  const std::string work = platform::workDir();
  fs::create_directories(work);
  adtest::writeFile(work + "notes.tmp", "the user's");
  // A capture file whose save was killed half-way, and a save still at work (another
  // program's, or one of this program's that outlives it).
  adtest::ChildSave killed(work + "temp.dvf");
  ASSERT_FALSE(killed.temporary().empty());
  killed.kill();
  adtest::ChildSave live(work + "zbm1000.jpg", 4096);
  ASSERT_TRUE(fs::exists(killed.temporary()));
  start();
  EXPECT_FALSE(fs::exists(killed.temporary()));
  EXPECT_TRUE(fs::exists(live.temporary()));
  EXPECT_EQ(adtest::readFile(work + "notes.tmp"), "the user's");
  EXPECT_TRUE(live.finish());
}

// A copy of the program that was killed leaves its working copies, thumbnails and other
// work files; enough of them take every working name. The next start removes them, so
// pictures can be added again; any other file in the work folder stays, however alike its
// name.
TEST_F(MainWindow, StartUpRemovesWhatEndedCopiesLeftAndNothingElse) {
  const std::string work = platform::workDir();
  fs::create_directories(work);
  for (int i = 0; i < 1000; ++i) {
    const std::string base = work + "zbm1" + std::to_string(1000 + i).substr(1);
    adtest::writeFile(base + ".jpg", "");
    adtest::writeFile(base + "TN.bmp", "");
  }
  const char* const left[] = {"zbm1042.DVF", "zbm1043.bmp", "zbmt.jpg", "zbmt.", "zbmt0007.dvf",
                              "zbmA1b2C3.jpg", "zbmview.bmp", "MVTMP001.BMP", "MVTMP999.BMP", "tmp.bmp",
                              "tn.jpg", "temp.jpg", "temp.dvf", "temp.yuv"};
  const char* const kept[] = {"zbm1000 (2).jpg", "zbm1000.jpeg", "zbm10000.jpg", "zbm1000TN.bmp.bak",
                              "zbm1000TN.png", "zbm1000.j", "zbmt.jpeg", "zbmt007.dvf", "zbmview.png",
                              "mvtmp001.bmp", "MVTMP0001.BMP", "MVTMP001.BMP.txt", "temp.jpeg", "Temp.dvf",
                              "kbx40.ini", "IMG_LIST.DAT", "WRO_TI.DAT", "err_pct.dat", "notes.txt"};
  for (const char* name : left) adtest::writeFile(work + name, "left");
  for (const char* name : kept) adtest::writeFile(work + name, "the user's");
  fs::create_directories(work + "zbmt.dir");  // a folder is no work file
  ASSERT_EQ(CImageOpe(nullptr, nullptr).MakeTempName(0), "") << "a working name is free";
  start();
  std::set<std::string> stays(std::begin(kept), std::end(kept));
  stays.insert({"ZEBStillImageApp4", "zbmt.dir"});
  for (const auto& e : fs::directory_iterator(work)) {
    EXPECT_TRUE(stays.count(e.path().filename().string())) << e.path().filename() << " was left";
  }
  for (const char* name : kept) EXPECT_EQ(adtest::readFile(work + name), "the user's") << name;
  EXPECT_TRUE(fs::is_directory(work + "zbmt.dir"));
  addPictures(2);
  EXPECT_EQ(album().Count(), 2);
  EXPECT_TRUE(fs::exists(work + "zbm1001TN.bmp"));
}

// Movie frames are work files too: a normal quit removes any that a movie left.
TEST_F(MainWindow, QuitRemovesMovieFrames) {
  start();
  adtest::writeFile(WorkDir + "MVTMP001.BMP", "a frame");
  adtest::writeFile(WorkDir + "MVTMP002.BMP", "a frame");
  boxes.queue(MsgAnswer::Yes);
  action("mnuExit")->trigger();
  ASSERT_FALSE(frmMain->isVisible());
  EXPECT_FALSE(fs::exists(WorkDir + "MVTMP001.BMP"));
  EXPECT_FALSE(fs::exists(WorkDir + "MVTMP002.BMP"));
}

TEST_F(MainWindow, PictureReportsFillTheAlbumWithoutGaps) {
  start();
  addPictures(2);
  const std::string refreshed = adtest::writePicture(adtest::testDir() / "new" / "zbm1900TN.bmp", Qt::magenta);
  ImageOpe->ThumbnailPath = refreshed;
  ImageOpe->TitleNumber = 7;
  // An index that holds a picture: its record and thumbnail are replaced.
  platform::sendMessage(frmMain, platform::WM_IMAGE_INFO, 1, 0);
  EXPECT_EQ(album().Count(), 2);
  EXPECT_EQ(album().Record(1)->titleNo, 7);
  EXPECT_EQ(album().Cell(1)->picture()->pixmap().toImage().pixel(5, 5), QColor(Qt::magenta).rgb());
  // An index beyond the end: the picture goes to the end.
  platform::sendMessage(frmMain, platform::WM_IMAGE_INFO, 9, 0);
  ASSERT_EQ(album().Count(), 3);
  EXPECT_EQ(album().Record(2)->thumbPath, refreshed);
  platform::sendMessage(frmMain, platform::WM_IMAGE_INFO, kAlbumLimit, 0);
  platform::sendMessage(frmMain, platform::WM_IMAGE_INFO, -1, 0);
  EXPECT_EQ(album().Count(), 3);
  // The last picture is scrolled to.
  addPictures(20);
  QScrollBar* bar = named<QScrollArea>("sbTN")->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindow, CaptureFilesAreAddedAtTheEnd) {
  start();
  addPictures(2);
  struct Case {
    platform::WPARAM which;
    const char* file;
    bool valid;
  };
  for (const Case& c : {Case{1, "temp.yuv", true}, Case{7, "temp.yuv", true}, Case{0, "temp.dvf", false}}) {
    SCOPED_TRACE(std::string(c.file) + (c.valid ? "" : " (not a frame)"));
    if (c.valid) {
      fs::copy_file(enginetest::yuvFile("frame.yuv", 720, 480, 200, 128, 128), WorkDir + c.file,
                    fs::copy_options::overwrite_existing);
    } else {
      adtest::writeFile(WorkDir + c.file, "not a frame");
    }
    const int count = album().Count();
    EXPECT_EQ(platform::sendMessage(frmMain, platform::WM_CAPTURE_FRAME, c.which, 0), c.valid ? 1 : 0)
        << "says whether the album took it";
    EXPECT_EQ(frmMain->LastCaptureFile, WorkDir + c.file);
    ASSERT_EQ(album().Count(), count + (c.valid ? 1 : 0));
    if (c.valid) {
      const FlameInfo& r = *album().Record(count);
      EXPECT_EQ(r.type, kTypeYuvFrame);
      EXPECT_EQ(QSize(r.width, r.height), QSize(720, 480));
      EXPECT_TRUE(fs::exists(r.thumbPath));
      EXPECT_EQ(album().Cell(count)->picture()->pixmap().size(), QSize(100, 66));  // 720 x 480 at 100 wide
    }
  }
}

TEST_F(MainWindow, CommandLineFileIsOpenedOnceTheWindowIsShown) {
  struct Case {
    const char* name;
    std::string cmdLine;
    int pictures;
    bool waitShown;
  };
  const std::string picture = adtest::writePicture(adtest::testDir() / "My Pictures" / "trip one.bmp", Qt::green);
  const Case cases[] = {
      {"a path with blanks", picture, 1, true},
      {"the same path in quotes names no file", "\"" + picture + "\"", 0, true},
      {"none", "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool waitShown = false;
    const size_t shown = boxes.shown().size();
    restart([&] {
      CmdLine = c.cmdLine;
      frmWait->installEventFilter(new ShowSpy(frmWait, &waitShown));
      EXPECT_EQ(album().Count(), 0);  // nothing before the window is shown
    });
    EXPECT_EQ(album().Count(), c.pictures);
    EXPECT_EQ(waitShown, c.waitShown);
    EXPECT_FALSE(frmWait->isVisible());
    if (c.pictures) {
      EXPECT_EQ(album().Record(0)->sourceSize, fs::file_size(picture));
    }
    // A file that cannot be opened is named.
    std::vector<std::string> named;
    if (!c.cmdLine.empty() && !c.pictures) named.push_back(msg("MSG_NOTADDED") + "\n" + c.cmdLine);
    const std::vector<std::string> texts = boxTexts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(shown), texts.end()), named);
    EXPECT_EQ(frmMain->Modified, c.pictures);  // the engine marked it
  }
}

TEST_F(MainWindow, SelectionTestOfTheExportsAndTheAlbumFullMessage) {
  start();
  EXPECT_FALSE(frmMain->CheckSelection());  // empty: silently
  EXPECT_TRUE(boxes.shown().empty());
  addPictures(3);
  boxes.queue(MsgAnswer::No);
  EXPECT_FALSE(frmMain->CheckSelection());
  EXPECT_EQ(boxTexts().back(), msg("MSG_NOSELECT1") + "\n" + msg("MSG_NOSELECT2"));
  EXPECT_TRUE(selected().empty());
  boxes.queue(MsgAnswer::Yes);
  EXPECT_TRUE(frmMain->CheckSelection());
  EXPECT_EQ(selected(), (std::set<int>{0, 1, 2}));
  EXPECT_TRUE(frmMain->CheckSelection());
  EXPECT_EQ(boxes.shown().size(), 2u);

  QString caption = "working";
  platform::sendMessage(frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 1);
  ASSERT_TRUE(frmWait->isVisible());
  frmMain->ShowFrameOver(frmMain);
  EXPECT_FALSE(frmWait->isVisible());
  EXPECT_EQ(frmWait->AbortFlag.load(), 1);
  const auto& box = boxes.shown().back();
  EXPECT_EQ(box.text, msg("MSG_FRMOVER1") + "200" + msg("MSG_FRMOVER2"));
  EXPECT_EQ(box.icon, platform::MsgIcon::Stop);
  EXPECT_EQ(box.buttons, platform::MsgButtons::Ok);
  EXPECT_EQ(box.owner, frmMain);
  EXPECT_EQ(box.caption, msg("TI_MAIN"));
}

TEST_F(MainWindow, PopupOffersPropertiesForTheCellItWasOpenedOn) {
  start();
  addPictures(4);
  album().SelectRange(0, 1);
  QContextMenuEvent onCell(QContextMenuEvent::Mouse, QPoint(30, 30), cell(2)->mapToGlobal(QPoint(30, 30)));
  QTest::mousePress(cell(2), Qt::RightButton, {}, QPoint(30, 30));
  QApplication::sendEvent(cell(2), &onCell);
  QMenu* popup = frmMain->pmMain();
  ASSERT_TRUE(popup->isVisible());
  EXPECT_TRUE(action("pmProp")->isEnabled());
  EXPECT_TRUE(action("pmDelete")->isEnabled());
  EXPECT_FALSE(action("pmPaste")->isEnabled());
  EXPECT_EQ(frmImgProp->Index, 2);
  EXPECT_EQ(selected(), (std::set<int>{0, 1}));  // a right click keeps the selection
  popup->hide();

  // Properties shows the picture chosen.
  QTimer::singleShot(0, [] { frmImgProp->closeForm(); });
  bool shown = false;
  QTimer::singleShot(0, [&] { shown = frmImgProp->isVisible(); });
  action("pmProp")->trigger();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(frmImgProp->windowTitle().endsWith("[ Image003  ]"));

  // On the empty grid: everything deselected, no Properties.
  QWidget* box = named("sbTNBox");
  QTest::mousePress(box, Qt::RightButton, {}, QPoint(300, 300));
  QContextMenuEvent onGrid(QContextMenuEvent::Mouse, QPoint(300, 300), box->mapToGlobal(QPoint(300, 300)));
  QApplication::sendEvent(box, &onGrid);
  ASSERT_TRUE(popup->isVisible());
  EXPECT_FALSE(action("pmProp")->isEnabled());
  EXPECT_FALSE(action("pmDelete")->isEnabled());
  EXPECT_TRUE(selected().empty());
  popup->hide();

  // While the multi-image sheet is shown, the popup edits nothing.
  frmMltImg->show();
  album().SelectRange(1, 1);
  QApplication::sendEvent(cell(1), &onCell);
  EXPECT_TRUE(action("pmProp")->isEnabled());
  EXPECT_FALSE(action("pmDelete")->isEnabled());
  popup->hide();
  frmMltImg->hide();
}

TEST_F(MainWindow, IconBarTabsAndIcons) {
  start();
  QWidget* panel = named("pnlIco");
  struct Press {
    QPoint at;
    int page;
  };
  // The tab strip is the top 60 rows: up to x 75 the import tab, from 76 on the export tab.
  for (const Press& p : {Press{{75, 60}, 1}, Press{{76, 60}, 0}, Press{{1, 1}, 1}, Press{{149, 30}, 0},
                         Press{{20, 61}, 0}}) {
    QTest::mousePress(panel, Qt::LeftButton, {}, p.at);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, p.at);
    EXPECT_EQ(frmMain->IconPage, p.page) << p.at.x() << "," << p.at.y();
  }
  QTest::mouseClick(named("lblImp"), Qt::LeftButton);
  EXPECT_EQ(frmMain->IconPage, 1);
  EXPECT_TRUE(frmMain->ImportIcons().Icon(0)->image()->isVisible());

  // Pressing an icon sinks it; the pointer leaving the bar leaves every icon flat.
  const QPoint icon1(110, 100);
  QTest::mousePress(panel, Qt::LeftButton, {}, icon1);
  EXPECT_EQ(frmMain->ImportIcons().Icon(1)->state, CIcon::Pressed);
  QTest::mouseRelease(panel, Qt::LeftButton, {}, icon1);  // its command comes later: nothing happens
  EXPECT_EQ(frmMain->ImportIcons().Icon(1)->state, CIcon::Hot);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(panel, &leave);
  EXPECT_EQ(frmMain->ImportIcons().Icon(1)->state, CIcon::Normal);

  // While the multi-image sheet is shown the bar does not react; the tab labels do.
  frmMltImg->show();
  QTest::mousePress(panel, Qt::LeftButton, {}, icon1);
  EXPECT_EQ(frmMain->ImportIcons().Icon(1)->state, CIcon::Normal);
  QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(100, 30));
  EXPECT_EQ(frmMain->IconPage, 1);
  QTest::mouseClick(named("lblExp"), Qt::LeftButton);
  EXPECT_EQ(frmMain->IconPage, 0);
  frmMltImg->hide();

  frmMain->EnableMenus(false);
  EXPECT_FALSE(named<QMenu>("mnuExport")->menuAction()->isEnabled());
  EXPECT_TRUE(named<QMenu>("mnuHelp")->menuAction()->isEnabled());
  frmMain->EnableMenus(true);
  EXPECT_TRUE(named<QMenu>("mnuExport")->menuAction()->isEnabled());
}

TEST_F(MainWindow, AboutShowsTheTitleWindowAgain) {
  start();
  bool about = false;
  QTimer::singleShot(0, [&] {
    about = frmTitle->isVisible() && frmTitle->SplashFlag == 0 && frmTitle->height() == 246;
    frmTitle->closeForm();
  });
  action("mnuAbout")->trigger();
  EXPECT_TRUE(about);
}

}  // namespace
