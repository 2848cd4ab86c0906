// The whole program's camcorder link against the camsim program on a pseudo-terminal, in
// real time at 115200 baud: the panel starts, finds no camcorder at the factory ID and
// opens the device window, whose scan finds the bus; the tape plays and the panel shows
// its time code; a DV frame is captured into the album; an automatic run at an interval of
// tape time takes its pictures; and a photo search that first rewinds the tape takes its
// pictures at the scenes, with the scenes' time codes.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "capture/frmauto.h"
#include "capture/frmavctl.h"
#include "capture/frmvarndev.h"
#include "capture/link_objects.h"
#include "platform/registry_store.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"
#include "linkwin_testkit.h"
#include "testkit.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/lang.h"
#include "workspace/later_forms.h"
#include "workspace/profile.h"
#include "workspace/program.h"

using namespace capture;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class OnTheLine : public ::testing::Test, protected captest::Program {
 protected:
  ~OnTheLine() override {
    workspace::DestroyForms();
    camsim.Stop();
  }

  // camsim on its pseudo-terminal as COM1 (the other ports name nothing), and the program.
  void start(const std::vector<std::string>& args) {
    dir = adtest::testDir() / "camsim";
    fs::create_directories(dir);
    std::vector<std::string> all{"--log", (dir / "log").string(), "--save-frame", (dir / "frame").string()};
    all.insert(all.end(), args.begin(), args.end());
    std::string why;
    ASSERT_TRUE(camsim.Start(all, &why)) << why;
    platform::RegistryStore store;
    auto ports = store.create(platform::RegRoot::LocalMachine, kPortMapKey);
    ASSERT_TRUE(ports);
    ports->writeString("COM1", camsim.device());
    for (int n = 2; n <= 8; ++n) ports->writeString("COM" + std::to_string(n), (dir / "none").string());
    Start();
  }

  // The log camsim writes when it ends.
  std::string finish() {
    workspace::DestroyForms();
    camsim.Stop();
    return adtest::readFile(dir / "log");
  }

  captest::CamsimProcess camsim;
  fs::path dir;
  platform::ScriptedMessageBoxes boxes;
};

}  // namespace

TEST_F(OnTheLine, ThePanelScansTheBusShowsTheTimeCodeAndCapturesADvFrame) {
  AD_REQUIRE_TOOL("ffmpeg");
  const std::string frame = captest::MakeDvFrameWithFfmpeg(10, adtest::testDir().string());
  ASSERT_FALSE(frame.empty());
  adtest::writeFile(adtest::testDir() / "source.dv", frame);
  start({"--device", "3:deck", "--device", "5:camcorder", "--dv", (adtest::testDir() / "source.dv").string(),
         "--tape-start", "5400"});

  // No camcorder answers at the factory ID: the device window opens, and its scan finds the bus.
  bool scanned = false;
  captest::WhenShown(dev, [&] {
    auto* grid = dev->component<QTableWidget>("SG1");
    // Nothing is stored yet: the user picks the port first.
    auto* com = dev->component<QComboBox>("cbCom");
    ASSERT_EQ(com->count(), 2);
    com->setCurrentIndex(1);
    QTest::mouseClick(dev->component<QPushButton>("btnScan"), Qt::LeftButton);
    scanned = grid->rowCount() == 4 && grid->item(2, 1)->text() == "03" && grid->item(3, 1)->text() == "05";
    grid->setCurrentCell(3, 0);
    QTest::mouseClick(dev->component<QPushButton>("btnVsel"), Qt::LeftButton);
    QTest::mouseClick(dev->component<QPushButton>("btnOk"), Qt::LeftButton);
  });
  workspace::frmMain->component<QAction>("mnuCapture")->trigger();
  ASSERT_TRUE(captest::WaitFor([&] { return !panel->TimerShow()->isActive() && !dev->isVisible(); }, 60s));
  EXPECT_TRUE(scanned);
  EXPECT_EQ(dev->Active.playId, 5);
  EXPECT_EQ(dev->Active.port, 1);
  EXPECT_EQ(dev->Active.rate, 115200u);
  ASSERT_TRUE(Vtr->PollRunning());

  // The tape plays: the time code runs on from where the tape stood.
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgPlay")->isEnabled(); }, 20s)) << "the camcorder is online";
  Press("imgPlay", QPoint(26, 14));
  auto* counter = panel->component<QLabel>("lblCounter");
  const QRegularExpression running("^ 00:03:0[0-9]:[0-9][0-9]$");
  ASSERT_TRUE(captest::WaitFor([&] { return running.match(counter->text()).hasMatch() && counter->text() != " 00:03:00:00"; }, 20s))
      << counter->text().toStdString();

  // Capture: the picture is in the album, with the time code of the frame taken.
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }, 20s));
  Press("imgCpt", QPoint(45, 33));
  EXPECT_TRUE(boxes.shown().empty()) << (boxes.shown().empty() ? "" : boxes.shown()[0].text);
  ASSERT_EQ(workspace::Flames->Count(), 1);
  const workspace::FlameInfo& r = *workspace::Flames->Record(0);
  EXPECT_EQ(r.type, 257) << "a DV frame";
  ASSERT_TRUE(fs::exists(r.workPath));
  const std::string albumFrame = adtest::readFile(r.workPath);
  const std::string timeCode(r.timeCode.data());
  EXPECT_TRUE(QRegularExpression("^00:03:[0-9][0-9]:[0-9][0-9]$").match(QString::fromStdString(timeCode)).hasMatch())
      << timeCode;
  EXPECT_TRUE(Vtr->PollRunning()) << "the link runs again";

  const std::string log = finish();
  // The frame camsim grabbed carries the time code the album shows.
  const std::string grabbed = adtest::readFile(dir / "frame");
  ASSERT_EQ(grabbed.size(), 120000u);
  const auto* pack = reinterpret_cast<const uint8_t*>(grabbed.data()) + 80 + 6 + 8 * 3;
  ASSERT_EQ(pack[0], 0x13);
  char expected[12];
  std::snprintf(expected, sizeof expected, "%02X:%02X:%02X:%02X", pack[4] & 0x3F, pack[3] & 0x7F, pack[2] & 0x7F,
                pack[1] & 0x3F);
  EXPECT_EQ(timeCode, expected);
  EXPECT_NE(log.find("line 115200 8N1"), std::string::npos);
  // The album holds the frame camsim sent, however many blocks had to come again (on a
  // busy machine a block may: the protocol asks for it once more).
  const auto codec = captest::CodecDvDecoder();
  const std::string sentPicture = codec->Decode(frame);
  ASSERT_FALSE(sentPicture.empty());
  EXPECT_TRUE(codec->Decode(captest::DvFrameFromDvf(albumFrame)) == sentPicture) << "the album's frame differs";
}

TEST_F(OnTheLine, AnAutomaticRunTakesAPictureAtEachInterval) {
  start({"--yuv", "64x48", "--tape-start", "900"});
  workspace::Profile->WriteInt("AUTO", "MODE", 1);
  workspace::Profile->WriteInt("AUTO", "INTERVALSEC", 3);
  workspace::Profile->WriteInt("AUTO", "NUM_PICT", 3);
  workspace::frmMain->component<QAction>("mnuCapture")->trigger();
  ASSERT_TRUE(captest::WaitFor([&] { return !panel->TimerShow()->isActive() && Vtr->PollRunning(); }, 30s));
  EXPECT_EQ(dev->Active.playId, 6) << "the factory set-up found the camcorder";
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }, 20s));

  captest::WhenShown(dialog, [&] {
    auto* ok = dialog->component<QPushButton>("btnExR");
    EXPECT_TRUE(dialog->component<QRadioButton>("rbInterval")->isChecked());
    EXPECT_EQ(dialog->component<QSpinBox>("seS2")->value(), 3);
    ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); }, 10s)) << "the tape is paused";
    ok->click();
  });
  panel->btnAutoClick();
  ASSERT_TRUE(Vtr->AutoOn());
  ASSERT_TRUE(captest::WaitFor([&] { return !Vtr->AutoOn(); }, 120s));
  EXPECT_EQ(workspace::Flames->Count(), 3);
  EXPECT_TRUE(boxes.shown().empty()) << (boxes.shown().empty() ? "" : boxes.shown()[0].text);
  EXPECT_EQ(panel->ControlsOn, 1);
  const std::string log = finish();
  EXPECT_EQ(captest::Requests(log, "varn 6 164271"), 3) << "one capture a picture";
  EXPECT_GE(captest::Count(log, "varn 6 084325"), 1) << "the tape was wound back to reach a target";
}

TEST_F(OnTheLine, APhotoSearchRewindsTheTapeAndTakesAPictureAtEachScene) {
  // The tape stands past the first two scenes; the source frame was recorded with time-code
  // packs of its own. The run stops and rewinds the tape to its start, plays, searches,
  // and each picture in the album carries the time code of its scene.
  AD_REQUIRE_TOOL("ffmpeg");
  const std::string frame = captest::MakeDvFrameWithFfmpeg(10, adtest::testDir().string(), true);
  ASSERT_FALSE(frame.empty());
  adtest::writeFile(adtest::testDir() / "recorded.dv", frame);
  start({"--dv", (adtest::testDir() / "recorded.dv").string(), "--tape-start", "5400", "--photo", "600", "--photo",
         "1500", "--photo", "7000"});
  workspace::Profile->WriteInt("AUTO", "MODE", 2);
  workspace::Profile->WriteInt("AUTO", "NUM_PICT", 2);
  workspace::frmMain->component<QAction>("mnuCapture")->trigger();
  ASSERT_TRUE(captest::WaitFor([&] { return !panel->TimerShow()->isActive() && Vtr->PollRunning(); }, 30s));
  ASSERT_TRUE(captest::WaitFor([&] { return panel->Button("imgCpt")->isEnabled(); }, 20s));

  captest::WhenShown(dialog, [&] {
    auto* ok = dialog->component<QPushButton>("btnExR");
    EXPECT_TRUE(dialog->component<QRadioButton>("rbPhoto")->isChecked());
    dialog->component<QCheckBox>("cbRewind")->setChecked(true);
    ASSERT_TRUE(captest::WaitFor([&] { return ok->isEnabled(); }, 10s)) << "the tape is paused";
    ok->click();
  });
  panel->btnAutoClick();
  ASSERT_TRUE(Vtr->AutoOn());
  ASSERT_TRUE(captest::WaitFor([&] { return !Vtr->AutoOn(); }, 180s)) << "the run ends";
  EXPECT_TRUE(boxes.shown().empty()) << (boxes.shown().empty() ? "" : boxes.shown()[0].text);
  ASSERT_EQ(workspace::Flames->Count(), 2);
  EXPECT_EQ(std::string(workspace::Flames->Record(0)->timeCode.data()), "00:00:20:00") << "frame 600";
  EXPECT_EQ(std::string(workspace::Flames->Record(1)->timeCode.data()), "00:00:50:00") << "frame 1500";
  EXPECT_EQ(panel->ControlsOn, 1);
  const std::string log = finish();
  const size_t rewound = log.find("varn 6 084465");
  ASSERT_NE(rewound, std::string::npos);
  EXPECT_LT(rewound, log.find("tape at its start: stop"));
  EXPECT_LT(log.find("tape at its start: stop"), log.find("varn 6 485175")) << "the search comes after";
  EXPECT_EQ(captest::Requests(log, "varn 6 164271"), 2) << "one capture a picture";
}
