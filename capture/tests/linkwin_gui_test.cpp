// The link's windows on offscreen widgets, in the whole program as its start-up makes it,
// over the simulated camcorder on virtual time: the device window's scan, choices and ID
// change; the panel's link start, transport buttons, time code and capture into the
// album; the automatic-capture dialog and a run from the panel.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "capture/frmauto.h"
#include "capture/frmavctl.h"
#include "capture/frmvarndev.h"
#include "capture/link_objects.h"
#include "capture/panel_art.h"
#include "capture/varn_cpt.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/registry_store.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"
#include "linkwin_testkit.h"
#include "testkit.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/later_forms.h"
#include "workspace/profile.h"
#include "workspace/program.h"

using namespace capture;
using namespace std::chrono_literals;

namespace {

const char* const kVarnKey = "Software\\ZEB\\VARN\\INIT";

class LinkWindows : public ::testing::Test, protected captest::SimLine, protected captest::Program {
 protected:
  ~LinkWindows() override {
    workspace::DestroyForms();  // before the simulator goes
  }

  // The program with its link on the simulator (given camsim's options).
  void start(const std::vector<std::string>& args) {
    Use(args);
    Start();
  }

  // Shows the panel from the main window's capture command and waits for its link.
  void showPanel() {
    QAction* capture = workspace::frmMain->component<QAction>("mnuCapture");
    ASSERT_TRUE(capture->isEnabled());
    capture->trigger();
    ASSERT_TRUE(panel->isVisible());
    ASSERT_TRUE(captest::WaitFor([&] { return !panel->TimerShow()->isActive() && Vtr->PollRunning(); }));
  }

  // What the simulator saw; only once nothing else uses it (the panel is closed).
  std::string simLog() { return sim->log().Text(); }

  template <class T>
  T* in(platform::Form* f, const char* name) {
    T* c = f->component<T>(name);
    EXPECT_TRUE(c) << name;
    return c;
  }
  void fillAlbum(int count) {
    for (int i = workspace::Flames->Count(); i < count; ++i) workspace::Flames->AddItem(i, "");
  }

  platform::ScriptedMessageBoxes boxes;
};

}  // namespace

TEST(PanelButtons, HitAreasAreEllipsesAndHalfEllipses) {
  struct Row {
    const char* name;
    int x, y;
    bool inside;
  } rows[] = {
      {"imgRev", 15, 12, true},   {"imgRev", 0, 0, false},   {"imgRev", 1, 12, true},   {"imgRev", 15, 1, true},
      {"imgRev", 30, 24, false},  {"imgPlay", 26, 14, true}, {"imgPlay", 1, 14, true},  {"imgPlay", 2, 2, false},
      {"imgCpt", 52, 33, true},   {"imgCpt", 4, 33, true},   {"imgCpt", 2, 33, false},  {"imgCpt", 52, 57, true},
      {"imgCpt", 30, 5, false},   {"imgAuto", 0, 33, true},  {"imgAuto", 49, 33, true}, {"imgAuto", 30, 57, false},
  };
  const std::map<std::string, QSize> sizes{{"imgRev", {31, 25}}, {"imgPlay", {53, 29}}, {"imgCpt", {53, 60}},
                                           {"imgAuto", {50, 60}}};
  for (const Row& r : rows) {
    const QSize s = sizes.at(r.name);
    EXPECT_EQ(InHitArea(HitAreaOf(r.name), r.x, r.y, s.width(), s.height()), r.inside)
        << r.name << " " << r.x << "," << r.y;
  }
}

TEST(PanelButtons, ModesLightTheirButtonsAndSetTheCaptureButtons) {
  using C = ModeView::Capture;
  struct Row {
    int mode;
    std::vector<std::string> lit;
    C capture;
  } rows[] = {{1, {"imgStop"}, C::ByDevice},          {15, {"imgStop"}, C::ByDevice},
              {2, {"imgFF"}, C::Off},                 {3, {"imgRev"}, C::Off},
              {5, {"imgPause"}, C::AfterDelay},       {7, {"imgPlay"}, C::AfterDelay},
              {22, {"imgPlay", "imgFSlow"}, C::AfterDelay}, {23, {"imgPlay", "imgRSlow"}, C::AfterDelay},
              {38, {"imgPlay", "imgFF"}, C::Off},     {39, {"imgRev", "imgPlay"}, C::Off}};
  for (const Row& r : rows) {
    auto v = ModeViewOf(r.mode);
    ASSERT_TRUE(v) << r.mode;
    EXPECT_EQ(std::vector<std::string>(v->lit.begin(), v->lit.end()), r.lit) << r.mode;
    EXPECT_EQ(v->capture, r.capture) << r.mode;
  }
  EXPECT_FALSE(ModeViewOf(4));
  EXPECT_FALSE(ModeViewOf(40));
  // Fast forward and rewind become cue while the tape plays or pauses.
  EXPECT_EQ(CommandOfButton("imgFF", 6), kTransportCueForward);
  EXPECT_EQ(CommandOfButton("imgFF", 22), kTransportCueForward);
  EXPECT_EQ(CommandOfButton("imgFF", 1), kTransportFastForward);
  EXPECT_EQ(CommandOfButton("imgRev", 5), kTransportCueReverse);
  EXPECT_EQ(CommandOfButton("imgRev", 15), kTransportRewind);
  EXPECT_EQ(CommandOfButton("imgFFrame", 5), 0);
}

TEST_F(LinkWindows, DeviceWindowScansChoosesAndKeepsItsChoice) {
  start({"--device", "3:deck", "--device", "6:camcorder", "--device", "10:capture", "--device",
         "12:printer,type=220E00000000"});
  dev->FillPortList();
  EXPECT_EQ(dev->UsablePorts, std::vector<int>{1});
  dev->show();
  auto* com = in<QComboBox>(dev, "cbCom");
  auto* grid = in<QTableWidget>(dev, "SG1");
  ASSERT_EQ(com->count(), 2);
  EXPECT_EQ(com->itemText(0), workspace::Lang->GetMsg("CB_NOUSE"));
  EXPECT_EQ(com->itemText(1), "COM1");
  EXPECT_EQ(dev->Edited.rate, 115200u) << "nothing stored";
  com->setCurrentIndex(1);
  EXPECT_EQ(dev->Edited.port, 1);
  ASSERT_TRUE(in<QPushButton>(dev, "btnScan")->isEnabled());

  std::vector<int> progress;
  QObject::connect(workspace::frmWait->Gauge1(), &QProgressBar::valueChanged, [&](int v) { progress.push_back(v); });
  QTest::mouseClick(in<QPushButton>(dev, "btnScan"), Qt::LeftButton);
  if (!progress.empty() && progress[0] == 0) progress.erase(progress.begin());
  EXPECT_EQ(progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
  EXPECT_FALSE(workspace::frmWait->isVisible());
  ASSERT_EQ(grid->rowCount(), 6);
  auto row = [&](int r) {
    std::vector<std::string> cells;
    for (int c = 0; c < 4; ++c) cells.push_back(grid->item(r, c) ? grid->item(r, c)->text().toStdString() : "");
    return cells;
  };
  const std::string movie = workspace::Lang->GetMsg("SG_MOVIE").toStdString();
  const std::string printer = workspace::Lang->GetMsg("SG_PRINTER").toStdString();
  EXPECT_EQ(row(0)[3], workspace::Lang->GetMsg("LB_NAME").toStdString());
  EXPECT_EQ(row(1)[3], workspace::Lang->GetMsg("LB_NOTCONN").toStdString());
  EXPECT_EQ(row(2), (std::vector<std::string>{"1", "03", "VCR", "DECK-3"}));
  EXPECT_EQ(row(3), (std::vector<std::string>{"2", "06", movie, "CAMCORDER-6"}));
  EXPECT_EQ(row(4), (std::vector<std::string>{"3", "10", "Capture", "CAPTURE-10"}));
  EXPECT_EQ(row(5), (std::vector<std::string>{"4", "12", printer, "PRINTER-12"}));
  // Chosen by themselves: the first deck or camcorder plays, the capture unit captures;
  // with a separate capture unit the fastest rate is not used.
  EXPECT_EQ(dev->Edited.playId, 3);
  EXPECT_EQ(dev->Edited.captureId, 10);
  EXPECT_EQ(dev->Edited.rate, 38400u);
  EXPECT_EQ(in<QLineEdit>(dev, "edVdev")->text(), "ID:03 DECK-3");
  EXPECT_EQ(in<QLineEdit>(dev, "edCdev")->text(), "ID:10 CAPTURE-10");

  // The camcorder captures itself: choosing it as the play device drops the capture unit.
  grid->setCurrentCell(3, 0);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(3, 0)).center());
  EXPECT_TRUE(in<QPushButton>(dev, "btnVsel")->isEnabled());
  EXPECT_FALSE(in<QPushButton>(dev, "btnCsel")->isEnabled()) << "not a capture unit";
  QTest::mouseClick(in<QPushButton>(dev, "btnVsel"), Qt::LeftButton);
  EXPECT_EQ(dev->Edited.playId, 6);
  EXPECT_EQ(dev->Edited.captureId, 0);
  EXPECT_FALSE(in<QPushButton>(dev, "btnCsel")->isEnabled());
  in<QComboBox>(dev, "cbRate")->setCurrentIndex(3);
  EXPECT_EQ(dev->Edited.rate, 115200u) << "the camcorder takes the fastest rate";
  QTest::mouseClick(in<QPushButton>(dev, "btnOk"), Qt::LeftButton);
  EXPECT_FALSE(dev->Cancelled);
  EXPECT_EQ(dev->Active, dev->Edited);

  platform::RegistryStore store;
  auto key = store.open(platform::RegRoot::LocalMachine, kVarnKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readDword("COM"), 1u);
  EXPECT_EQ(key->readDword("CurID"), 6u);
  EXPECT_EQ(key->readDword("SecID"), 0u);
  EXPECT_EQ(key->readDword("DEVICES"), 4u);
  EXPECT_EQ(key->readDword("BAUDRATE"), 115200u);
  EXPECT_EQ(key->readDword("ID3"), 12u);

  // Shown again: the devices are identified afresh and the choice made is kept.
  dev->hide();
  dev->show();
  EXPECT_EQ(com->currentIndex(), 1);
  EXPECT_EQ(grid->rowCount(), 6);
  EXPECT_EQ(dev->Edited.playId, 6);
  EXPECT_EQ(in<QLineEdit>(dev, "edVdev")->text(), "ID:06 CAMCORDER-6");
  dev->hide();
}

TEST_F(LinkWindows, AScanEndsWhereStopWasPressed) {
  start({"--device", "20:deck", "--device", "45:camcorder", "--device", "46:deck", "--device", "70:capture"});
  dev->FillPortList();
  dev->show();
  in<QComboBox>(dev, "cbCom")->setCurrentIndex(1);
  auto* grid = in<QTableWidget>(dev, "SG1");
  // Stop is pressed while the device at 45 is being identified.
  QObject::connect(grid->model(), &QAbstractItemModel::rowsInserted, [&] {
    if (dev->Records.size() && dev->Records.back()->id == 45) workspace::frmWait->btnAbort()->click();
  });
  dev->Scan();
  ASSERT_EQ(dev->Records.size(), 2u);
  EXPECT_EQ(dev->Records[1]->id, 45);
  EXPECT_EQ(dev->Edited.deviceCount, 2);
  dev->hide();
}

TEST_F(LinkWindows, AScanListsNobodyInPlaceOfADeviceThatAnswersLate) {
  // The camcorder at 5 answers its presence check 100 ms late, past the wait: it is not
  // heard, and its answer, coming while 6 is asked, makes no device of 6.
  start({"--device", "5:camcorder", "--fault", "late,cmd=7C4E20,value=100,times=0"});
  dev->FillPortList();
  dev->show();
  in<QComboBox>(dev, "cbCom")->setCurrentIndex(1);
  dev->Scan();
  for (const auto& r : dev->Records) ADD_FAILURE() << "listed: " << int(r->id) << " " << r->name;
  EXPECT_EQ(in<QTableWidget>(dev, "SG1")->rowCount(), 2);
  dev->hide();
}

TEST_F(LinkWindows, DeviceIdsChangeInTheGrid) {
  start({"--device", "3:deck", "--device", "6:camcorder"});
  platform::RegistryStore().create(platform::RegRoot::LocalMachine, kVarnKey)->writeDword("COM", 1);
  dev->FillPortList();
  dev->show();
  dev->Scan();
  auto* grid = in<QTableWidget>(dev, "SG1");
  ASSERT_EQ(grid->rowCount(), 4);
  struct Row {
    const char* typed;
    const char* shown;  // what the editor holds
    const char* cell;   // the ID cell afterwards
    int id;             // the camcorder's ID afterwards
  } rows[] = {
      {"7a", "7", "07", 7},     // a letter is not taken
      {"123", "12", "12", 12},  // two characters at most
      {"03", "03", "12", 12},   // the deck has that ID
      {"0", "0", "12", 12},     // no device can be reached at 0
      {"", "", "12", 12},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.typed);
    grid->setCurrentCell(3, 0);
    dev->mnuChIDClick(nullptr);
    ASSERT_TRUE(dev->Editing());
    EXPECT_FALSE(in<QPushButton>(dev, "btnOk")->isEnabled());
    auto* edit = grid->findChild<QLineEdit*>("edID");
    ASSERT_TRUE(edit);
    edit->clear();
    QTest::keyClicks(edit, r.typed);
    EXPECT_EQ(edit->text(), r.shown);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(dev->Editing());
    EXPECT_TRUE(in<QPushButton>(dev, "btnOk")->isEnabled());
    EXPECT_EQ(grid->item(3, 1)->text(), r.cell);
    EXPECT_EQ(dev->Records[1]->id, r.id);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the editor is gone
  }
  EXPECT_EQ(dev->Edited.playId, 12) << "the changed device becomes the play device";
  platform::RegistryStore store;
  EXPECT_EQ(store.open(platform::RegRoot::LocalMachine, kVarnKey)->readDword("ID1"), 12u);
  // Escape ends the edit with nothing changed.
  grid->setCurrentCell(3, 0);
  dev->mnuChIDClick(nullptr);
  QTest::keyClicks(grid->findChild<QLineEdit*>("edID"), "5");
  QTest::keyClick(grid->findChild<QLineEdit*>("edID"), Qt::Key_Escape);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(grid->item(3, 1)->text(), "12");
  dev->hide();
  EXPECT_TRUE(DevSys->IsPresent(12));
  EXPECT_FALSE(DevSys->IsPresent(6));
}

TEST_F(LinkWindows, WithoutAPortTheWindowSaysSoAndDoesNotSearch) {
  // Each time the window had a port before it is shown without one: the factory check
  // opened COM1 and found nobody (so nothing was stored), or COM3 was stored and is gone.
  struct Row {
    const char* what;
    int stored;  // the port in the registry when the window is shown
  } rows[] = {{"after a factory check that found nobody", 0}, {"a stored port that is not there", 3}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    start({"--device", "9:deck"});
    dev->FillPortList();
    if (r.stored) {
      dev->show();
      in<QComboBox>(dev, "cbCom")->setCurrentIndex(1);
      dev->hide();
      platform::RegistryStore().create(platform::RegRoot::LocalMachine, kVarnKey)->writeDword("COM", uint32_t(r.stored));
    } else {
      EXPECT_FALSE(dev->FactorySetup());
    }
    dev->show();
    EXPECT_EQ(in<QComboBox>(dev, "cbCom")->currentIndex(), 0);
    EXPECT_EQ(in<QLineEdit>(dev, "edVdev")->text().toStdString(), workspace::Lang->GetMsg("LB_CANTUSE").toStdString());
    EXPECT_FALSE(in<QPushButton>(dev, "btnScan")->isEnabled());
    EXPECT_FALSE(in<QComboBox>(dev, "cbRate")->isEnabled());
    EXPECT_EQ(dev->Edited.port, r.stored) << "a stored port is kept until another is chosen";
    // Neither the button nor the grid's menu searches a port that is not open.
    const auto before = clock.now();
    QTest::mouseClick(in<QPushButton>(dev, "btnScan"), Qt::LeftButton);
    dev->component<QAction>("mnuScan")->trigger();
    EXPECT_LT(clock.now() - before, 1s) << "a search ran";
    EXPECT_FALSE(workspace::frmWait->isVisible());
    dev->hide();
    workspace::DestroyForms();
  }
}

TEST_F(LinkWindows, AFirstCamcorderOfTheFirstGroupGetsTheSlowerRate) {
  start({"--device", "6:camcorder,version=000100015C00"});
  dev->FillPortList();
  ASSERT_TRUE(dev->FactorySetup());
  EXPECT_EQ(dev->Edited.playId, 6);
  EXPECT_EQ(dev->Edited.rate, 38400u);
  EXPECT_EQ(in<QComboBox>(dev, "cbRate")->currentText().trimmed(), "38400");
  in<QComboBox>(dev, "cbRate")->setCurrentIndex(3);
  EXPECT_EQ(dev->Edited.rate, 38400u);
  EXPECT_EQ(in<QComboBox>(dev, "cbRate")->currentIndex(), 2);
}

TEST_F(LinkWindows, PanelStartsTheLinkAndDrivesTheTransport) {
  start({"--yuv", "64x48"});
  showPanel();
  EXPECT_EQ(dev->Active.playId, 6) << "the factory set-up found the camcorder";
  EXPECT_EQ(panel->OlderDevice, 0);
  EXPECT_FALSE(platform::hourglassShown());
  // A stopped tape: the camcorder comes online by the presence check.
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgPlay")->isEnabled(); }));
  EXPECT_TRUE(panel->Button("imgCpt")->isEnabled()) << "capture in stop";
  EXPECT_FALSE(panel->Button("imgAuto")->isEnabled());
  EXPECT_EQ(panel->ButtonState("imgStop"), kButtonLit);

  Press("imgPlay");
  EXPECT_EQ(panel->ShownMode, kTransportPlay);
  EXPECT_EQ(panel->ButtonState("imgPlay"), kButtonLit);
  EXPECT_FALSE(panel->Button("imgCpt")->isEnabled()) << "not before the tape has played a while";
  EXPECT_TRUE(panel->TimerCpt()->isActive());
  EXPECT_EQ(panel->TimerCpt()->interval(), 2000);
  auto* counter = in<QLabel>(panel, "lblCounter");
  ASSERT_TRUE(captest::WaitFor([&] {
    return QRegularExpression("^ \\d\\d:\\d\\d:\\d\\d:\\d\\d$").match(counter->text()).hasMatch() &&
           counter->text() != " 00:00:00:00";
  })) << counter->text().toStdString();

  // Fast forward while playing is cue forward, and takes the capture buttons away.
  Press("imgFF");
  EXPECT_EQ(panel->ShownMode, kTransportCueForward);
  EXPECT_EQ(panel->ButtonState("imgFF"), kButtonLit);
  EXPECT_EQ(panel->ButtonState("imgPlay"), kButtonLit);
  EXPECT_FALSE(panel->TimerCpt()->isActive());
  EXPECT_FALSE(panel->Button("imgCpt")->isEnabled());
  Press("imgStop");
  Press("imgFF");
  EXPECT_EQ(panel->ShownMode, kTransportFastForward) << "from stop it is fast forward";

  // Pause; frame steps only once the pause has settled.
  Press("imgPause");
  EXPECT_EQ(panel->ShownMode, kTransportPause);
  EXPECT_FALSE(panel->FrameStepReady);
  EXPECT_TRUE(panel->TimerPause()->isActive());
  Press("imgFFrame");
  Press("imgRFrame");
  panel->TimerCpt()->setInterval(0);
  panel->TimerPause()->setInterval(0);
  panel->TimerCpt()->start();
  panel->TimerPause()->start();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->FrameStepReady && panel->Button("imgCpt")->isEnabled(); }));
  EXPECT_TRUE(panel->Button("imgAuto")->isEnabled());
  Press("imgFFrame");

  // A press at a button's corner, outside its ellipse, moves the window instead.
  const QPoint before = panel->pos();
  QLabel* rev = panel->Button("imgRev");
  QTest::mousePress(rev, Qt::LeftButton, {}, QPoint(1, 0));
  QMouseEvent drag(QEvent::MouseMove, QPointF(10, 5), rev->mapToGlobal(QPointF(10, 5)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(rev, &drag);
  QTest::mouseRelease(rev, Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(panel->pos(), before + QPoint(9, 5)) << "by the pointer's way from where it was pressed";
  EXPECT_EQ(panel->ShownMode, kTransportPause);

  Press("imgClose", QPoint(15, 12));
  EXPECT_FALSE(panel->isVisible());
  EXPECT_FALSE(Vtr->PollRunning());
  EXPECT_FALSE(VarnIO->isOpen());
  const std::string log = simLog();
  for (const char* sent : {"varn 6 084375", "varn 6 084321", "varn 6 084460", "varn 6 084475", "varn 6 08436D",
                           "varn 6 48467501", "varn 6 485370"})
    EXPECT_NE(log.find(sent), std::string::npos) << sent;
  EXPECT_EQ(log.find("varn 6 084465"), std::string::npos) << "rewind was never pressed inside its area";
  EXPECT_EQ(captest::Count(log, "varn 6 48467501"), 1) << "no step before the pause had settled";
  EXPECT_EQ(captest::Count(log, "varn 6 48466501"), 0);
}

TEST_F(LinkWindows, TheCaptureButtonBringsAPictureIntoTheAlbum) {
  start({"--yuv", "64x48"});
  showPanel();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  Press("imgCpt", QPoint(45, 33));
  ASSERT_EQ(workspace::Flames->Count(), 1);
  EXPECT_EQ(workspace::Flames->Record(0)->type, 273) << "an uncompressed frame";
  EXPECT_EQ(workspace::frmMain->LastCaptureFile, workspace::WorkDir + "temp.yuv");
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(Vtr->PollRunning()) << "the link runs again";
  EXPECT_FALSE(workspace::frmWait->isVisible());
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgPlay")->isEnabled(); }));

  // A full album: the message, and nothing goes to the camcorder.
  fillAlbum(200);
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  panel->closeForm();
  const size_t sent = simLog().size();
  panel->show();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  panel->btnCaptClick();
  panel->btnAutoClick();
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_NE(boxes.shown()[0].text.find(workspace::Lang->GetMsg("MSG_FRMOVER1").toStdString()), std::string::npos);
  EXPECT_EQ(workspace::Flames->Count(), 200);
  panel->closeForm();
  EXPECT_EQ(captest::Count(simLog().substr(sent), "varn 6 164271"), 0);
  EXPECT_EQ(captest::Count(simLog().substr(sent), "varn 6 08436D"), 0);
}

TEST_F(LinkWindows, FailedCapturesShowTheirMessage) {
  struct Row {
    std::vector<std::string> args;
    const char* key;
    const char* code;
    size_t disk = 0;              // the work folder lies on a filesystem this small (0: as it is)
    const char* named = nullptr;  // the message names this file of the work folder
  } rows[] = {
      {{"--fault", "nosignal,cmd=164271"}, "MSG_NOSIG", ""},
      {{"--fault", "refuse,cmd=164271"}, "MSG_CANTCPT", ""},
      {{"--fault", "start-noack,times=0"}, "MSG_COMERR", "[144]"},
      // No room for the capture file.
      {{}, "MSG_SAVE_ERR", "", 4096},
      // Room for the DV frame's file, not for the pictures the album makes of it.
      {{"--layout", "70"}, "MSG_NOTADDED", "", 300 * 1024, "temp.dvf"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.key);
    std::vector<std::string> args{"--yuv", "64x48"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    start(args);
    showPanel();
    ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
    const size_t shown = boxes.shown().size();
    {
      std::optional<adtest::FullDisk> disk;
      if (r.disk) disk.emplace(workspace::WorkDir, r.disk);
      SCOPED_TRACE(disk ? disk->how() : "no full disk");
      panel->btnCaptClick();
    }
    std::string expected = (workspace::Lang->GetMsg(r.key) + r.code).toStdString();
    if (r.named) expected += "\n" + workspace::WorkDir + r.named;
    ASSERT_EQ(boxes.shown().size(), shown + 1);
    EXPECT_EQ(boxes.shown().back().text, expected);
    EXPECT_EQ(boxes.shown().back().icon, platform::MsgIcon::Warning);
    EXPECT_EQ(workspace::Flames->Count(), 0);
    workspace::DestroyForms();
  }
}

TEST_F(LinkWindows, AfterAFailedCaptureThePanelShowsWhetherTheCamcorderIsThere) {
  // The cable is pulled half-way through the transfer, or the tape gives no picture while
  // the camcorder stays: once a presence check has run on the restarted link, the panel
  // shows the one offline (everything disabled, grey counter) and the other online.
  struct Row {
    const char* fault;
    const char* key;
    bool there;
  } rows[] = {{"vanish,at=1", "MSG_COMERR", false}, {"nosignal,cmd=164271", "MSG_NOSIG", true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fault);
    start({"--yuv", "64x48", "--fault", r.fault});
    showPanel();
    ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
    panel->btnCaptClick();
    ASSERT_FALSE(boxes.shown().empty());
    EXPECT_EQ(boxes.shown().back().text.rfind(workspace::Lang->GetMsg(r.key).toStdString(), 0), 0u);
    ASSERT_TRUE(Vtr->PollRunning());
    // More than a presence check's worth of polling passes on the link's clock.
    const auto restarted = clock.now();
    ASSERT_TRUE(captest::WaitFor([&] { return clock.now() > restarted + 20s; }, 60s));
    ASSERT_TRUE(captest::WaitFor([&] { return Vtr->Changes() == 0; }));
    QCoreApplication::processEvents();
    auto* counter = in<QLabel>(panel, "lblCounter");
    for (const char* name : {"imgPlay", "imgStop", "imgRev", "imgFF", "imgPause", "imgFFrame", "imgCpt"})
      EXPECT_EQ(panel->Button(name)->isEnabled(), r.there) << name;
    EXPECT_EQ(Vtr->Snapshot().online, r.there ? 1 : 0);
    EXPECT_EQ(counter->styleSheet().contains("128, 128, 128"), !r.there) << counter->styleSheet().toStdString();
    workspace::DestroyForms();
  }
}

TEST_F(LinkWindows, DialogsOpenAboveThePanelAndClearOfIt) {
  // The panel stands where the dialogs would open (centred on the screen, on the main
  // window or on the panel itself), with room to its right. Each dialog opens as the
  // panel's transient, which the window manager keeps above it, clear of it and on the screen.
  start({"--yuv", "64x48"});
  showPanel();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  const QRect screen = panel->screen()->availableGeometry();
  panel->move(screen.left(), screen.center().y() - panel->height() / 2);
  int checked = 0;
  captest::ForEachDialogOverThePanel(*this, [&](QWidget* d, const std::string& what) {
    SCOPED_TRACE(what);
    ++checked;
    const QRect f = d->frameGeometry(), p = panel->frameGeometry();
    EXPECT_FALSE(f.intersects(p)) << captest::RectText(f) << " meets the panel at " << captest::RectText(p);
    EXPECT_TRUE(screen.contains(f)) << captest::RectText(f);
    ASSERT_TRUE(d->windowHandle());
    EXPECT_EQ(d->windowHandle()->transientParent(), panel->windowHandle());
  });
  EXPECT_EQ(checked, 5);
  // With the panel gone, a dialog belongs to its owner again.
  panel->closeForm();
  captest::WhenShown(dev, [&] {
    EXPECT_NE(dev->windowHandle()->transientParent(), panel->windowHandle());
    dev->closeForm();
  });
  dev->showModal();
}

TEST_F(LinkWindows, AutomaticCaptureDialogChecksItsValues) {
  start({"--yuv", "64x48"});
  showPanel();
  auto* ok = in<QPushButton>(dialog, "btnExR");
  auto* num = in<QSpinBox>(dialog, "seNum");
  fillAlbum(196);
  bool refused = false, accepted = false;
  captest::WhenShown(dialog, [&] {
    EXPECT_TRUE(in<QRadioButton>(dialog, "rbInterval")->isChecked()) << "interval by default";
    EXPECT_EQ(num->value(), 5);
    EXPECT_EQ(in<QSpinBox>(dialog, "seM2")->value(), 1);
    EXPECT_EQ(in<QSpinBox>(dialog, "seS2")->value(), 0);
    // The panel paused the tape; OK follows the transport as the panel forwards it.
    ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); }));
    Vtr->Command(kTransportStop, true);
    ASSERT_TRUE(captest::WaitFor([&] { return !ok->isEnabled(); })) << "not in stop";
    Vtr->Command(kTransportPlay, true);
    ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); })) << "in play";
    num->setValue(1);
    EXPECT_FALSE(ok->isEnabled()) << "two pictures at least at an interval";
    EXPECT_EQ(num->palette().color(QPalette::Text), QColor(Qt::red));
    in<QRadioButton>(dialog, "rbPhoto")->click();
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(in<QSpinBox>(dialog, "seM2")->isEnabled());
    in<QRadioButton>(dialog, "rbInterval")->click();
    EXPECT_EQ(num->value(), 2) << "raised to the interval's least";
    in<QSpinBox>(dialog, "seM2")->setValue(0);
    EXPECT_FALSE(ok->isEnabled()) << "no interval";
    in<QSpinBox>(dialog, "seM2")->setValue(1);
    in<QSpinBox>(dialog, "seS2")->setValue(30);
    EXPECT_EQ(dialog->Working.intervalFrames, 2700u);
    num->setValue(5);
    ok->click();  // 196 + 5 is more than the album holds
    refused = dialog->isVisible() && boxes.shown().size() == 1;
    num->setValue(4);
    ok->click();
    accepted = dialog->Confirmed == 1;
  });
  panel->btnAutoClick();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(accepted);
  EXPECT_TRUE(Vtr->AutoOn()) << "the run is on";
  EXPECT_EQ(Vtr->Settings().count, 4u);
  EXPECT_EQ(Vtr->Settings().intervalFrames, 2700u);
  EXPECT_EQ(panel->ControlsOn, 0);
  EXPECT_FALSE(panel->Button("imgPlay")->isEnabled());
  int32_t v = 0;
  EXPECT_TRUE(workspace::Profile->ReadInt("AUTO", "NUM_PICT", v) && v == 4);
  EXPECT_TRUE(workspace::Profile->ReadInt("AUTO", "INTERVALSEC", v) && v == 90);
  EXPECT_TRUE(workspace::Profile->ReadInt("AUTO", "MODE", v) && v == 1);
  // Closing the panel ends the run.
  panel->closeForm();
  EXPECT_FALSE(Vtr->AutoOn());
  EXPECT_EQ(panel->ControlsOn, 1);

  // Cancel leaves the run off.
  panel->show();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  captest::WhenShown(dialog, [&] { in<QPushButton>(dialog, "btnCancel")->click(); });
  panel->btnAutoClick();
  EXPECT_FALSE(Vtr->AutoOn());
  EXPECT_FALSE(dialog->Confirmed);
  EXPECT_EQ(panel->ControlsOn, 1);
  panel->closeForm();
}

TEST_F(LinkWindows, AnAutomaticRunFromThePanelFillsTheAlbumAndGivesThePanelBack) {
  start({"--yuv", "64x48", "--photo", "600", "--photo", "1200"});
  workspace::Profile->WriteInt("AUTO", "MODE", 2);
  workspace::Profile->WriteInt("AUTO", "NUM_PICT", 2);
  showPanel();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  captest::WhenShown(dialog, [&] {
    auto* ok = in<QPushButton>(dialog, "btnExR");
    EXPECT_TRUE(in<QRadioButton>(dialog, "rbPhoto")->isChecked());
    ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); }));
    ok->click();
  });
  panel->btnAutoClick();
  ASSERT_TRUE(Vtr->AutoOn());
  ASSERT_TRUE(captest::WaitFor([&] { return !Vtr->AutoOn(); }, 60s));
  EXPECT_EQ(workspace::Flames->Count(), 2);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(panel->ControlsOn, 1);
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgPlay")->isEnabled(); }));
  panel->closeForm();
  const std::string log = simLog();
  EXPECT_EQ(captest::Count(log, "varn 6 485175"), 2) << "two photo searches";
  EXPECT_EQ(captest::Count(log, "varn 6 164271"), 2) << "two captures";
}

TEST_F(LinkWindows, AnAutomaticRunEndsWithTheMessageOfAPictureTheAlbumDidNotTake) {
  // An interval run of two pictures, the work folder with room for the DV frame's file but
  // not for the pictures the album makes of it: the first capture fails, and the run ends
  // there with the import's message, once.
  start({"--layout", "70"});
  workspace::Profile->WriteInt("AUTO", "MODE", 1);
  workspace::Profile->WriteInt("AUTO", "NUM_PICT", 2);
  workspace::Profile->WriteInt("AUTO", "INTERVALSEC", 5);
  showPanel();
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }));
  {
    adtest::FullDisk disk(workspace::WorkDir, 300 * 1024);
    captest::WhenShown(dialog, [&] {
      auto* ok = in<QPushButton>(dialog, "btnExR");
      EXPECT_TRUE(in<QRadioButton>(dialog, "rbInterval")->isChecked());
      ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); }));
      ok->click();
    });
    panel->btnAutoClick();
    ASSERT_TRUE(Vtr->AutoOn());
    ASSERT_TRUE(captest::WaitFor([&] { return !Vtr->AutoOn(); }, 60s));
  }
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text,
            workspace::Lang->GetMsg("MSG_NOTADDED").toStdString() + "\n" + workspace::WorkDir + "temp.dvf");
  EXPECT_EQ(workspace::Flames->Count(), 0);
  EXPECT_EQ(panel->ControlsOn, 1);
  panel->closeForm();
  EXPECT_EQ(captest::Count(simLog(), "varn 6 164271"), 1) << "one capture";
}

TEST_F(LinkWindows, AnAutomaticRunStoppedByAnErrorIsReported) {
  start({"--yuv", "64x48"});
  showPanel();
  platform::postMessage(panel, platform::WM_AUTO_ERROR, 0, 1);
  ASSERT_TRUE(captest::WaitFor([&] { return boxes.shown().size() == 1; }));
  EXPECT_EQ(boxes.shown()[0].text, workspace::Lang->GetMsg("MSG_AUTOERRSTOP").toStdString());
  EXPECT_EQ(boxes.shown()[0].icon, platform::MsgIcon::Warning);
  panel->closeForm();
}
