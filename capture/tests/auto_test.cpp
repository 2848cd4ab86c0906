// Automatic capture against the simulated camcorder on virtual time: the polling passes
// decode the statuses, each decoded status runs one decision step, and each capture is a
// whole capture sequence with the picture transfer.
#include "capture/varn_vtr.h"
#include "platform/testsupport/testsupport.h"
#include "testkit.h"

using namespace capture;

namespace {

struct AutoRun final : AutoHost {
  std::unique_ptr<captest::Rig> rig;
  std::unique_ptr<VarnVtr> vtr;
  VarnVtr::PollCounters counters;
  bool abort = false, shown = false;
  int album = 0;
  int errors = 0;
  bool ended = false;
  std::vector<int> panel;        // commands through the panel
  std::vector<int32_t> capturedAt;  // the tape position each capture began at
  int failCaptureAt = -1;        // this capture (0-based) fails

  explicit AutoRun(std::vector<std::string> args) {
    args.insert(args.end(), {"--yuv", "64x48"});
    rig = captest::InProcessRig(args);
    vtr = std::make_unique<VarnVtr>(rig->io());
    vtr->SetDevice(6);
    vtr->SetAutoHost(this);
    vtr->SetAutoStep([this](AutoStep s, std::stop_token) {
      if (s == AutoStep::Check) vtr->AutoCheck();
      else vtr->DeviceLost();
    });
    rig->cpt().SetId(6);
    rig->cpt().settings().havePlayDevice = true;
    rig->cpt().settings().playId = 6;
  }

  bool CaptureOne() override {
    // Where the tape is as the capture begins (the run itself knows the last status only).
    vtr->PollStatus();
    const VtrStatus s = vtr->Snapshot();
    capturedAt.push_back(s.position);
    if (int(capturedAt.size()) - 1 == failCaptureAt) return false;
    rig->cpt().settings().tape = {s.position, s.mode, s.frameRate};
    if (rig->cpt().CaptureSequence() != kCaptured) return false;
    ++album;
    return true;
  }
  bool PanelCommand(int code) override {
    panel.push_back(code);
    return vtr->Command(code, false);
  }
  bool AbortFlag() override { return abort; }
  void SetAbortFlag(bool on) override { abort = on; }
  bool WaitShown() override { return shown; }
  void ShowWait() override { shown = true; }
  void CloseWait() override { shown = false; }
  int AlbumCount() override { return album; }
  void ReportAutoError() override { ++errors; }
  void RunEnded() override { ended = true; }

  // Plays the tape for a while, then pauses it, as the panel does before the dialog.
  void cueUp(int playPasses = 40) {
    ASSERT_TRUE(vtr->Command(kTransportPlay, true));
    passes(playPasses);
    ASSERT_TRUE(vtr->Command(kTransportPause, true));
    passes(3);
    ASSERT_EQ(vtr->Snapshot().mode, kTransportPause);
    ASSERT_EQ(vtr->Snapshot().online, 1);
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) vtr->PollPass(counters);
  }
  // Polls until the run ends; false when it does not end in `limit` passes.
  bool runToEnd(int limit = 40000) {
    vtr->SetAutoOn(true);
    for (int i = 0; i < limit && vtr->AutoOn(); ++i) vtr->PollPass(counters);
    return !vtr->AutoOn();
  }
};

}  // namespace

TEST(AutoCapture, IntervalRunTakesOnePictureAtOnceAndTheNextAtEachInterval) {
  // 1 min 30 s at 30 frames a second: targets start, start + 2700, start + 5400.
  AutoRun r({});
  r.cueUp();
  const int32_t start = r.vtr->Snapshot().position;
  AutoSettings& a = r.vtr->Settings();
  a.mode = 1;
  a.intervalSeconds = 90;
  a.intervalFrames = 90 * 30;
  a.count = 3;
  r.vtr->StartInterval(start);
  ASSERT_TRUE(r.runToEnd());
  EXPECT_EQ(r.album, 3);
  ASSERT_EQ(r.capturedAt.size(), 3u);
  EXPECT_EQ(r.capturedAt[0], start) << "the first picture at OK's position";
  for (int k = 1; k < 3; ++k) {
    const int32_t target = start + 2700 * k;
    EXPECT_GE(r.capturedAt[size_t(k)], target - 6) << k;
    EXPECT_LE(r.capturedAt[size_t(k)], target + 12) << k;
  }
  EXPECT_EQ(r.errors, 0);
  EXPECT_TRUE(r.ended);
  EXPECT_FALSE(r.shown) << "the wait window is closed at the end";
  r.passes(2);
  EXPECT_EQ(r.vtr->Snapshot().rawMode, kTransportStop) << "the run stops the tape";
}

TEST(AutoCapture, PhotoSearchTakesAPictureAtEachSceneAndStopsWithAnErrorPastTheLast) {
  // With the rewind, from a tape standing past every scene: the camcorder winds back to
  // the tape's start, stops there, and the search finds the scenes from the beginning.
  struct Row {
    uint32_t count;
    bool rewind;
    const char* tapeStart;
    int pictures;
    int errors;
  } rows[] = {{3, false, "0", 3, 0}, {4, false, "0", 3, 1}, {3, true, "3600", 3, 0}, {1, false, "3600", 0, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.count << (row.rewind ? " with rewind" : ""));
    AutoRun r({"--photo", "900", "--photo", "1800", "--photo", "2700", "--tape-start", row.tapeStart});
    r.cueUp();
    r.vtr->Settings().mode = 2;
    r.vtr->Settings().count = row.count;
    r.vtr->StartPhotoSearch(row.rewind);
    ASSERT_TRUE(r.runToEnd());
    EXPECT_EQ(r.album, row.pictures);
    EXPECT_EQ(r.errors, row.errors);
    ASSERT_EQ(r.capturedAt.size(), size_t(row.pictures));
    for (int k = 0; k < row.pictures; ++k) EXPECT_EQ(r.capturedAt[size_t(k)], 900 * (k + 1)) << "on the scene";
    // The tape first played (from the panel), then each search went out.
    const std::vector<int> prepared = row.rewind ? std::vector<int>{kTransportStop, kTransportRewind, kTransportPlay}
                                                 : std::vector<int>{kTransportPlay};
    ASSERT_GE(r.panel.size(), prepared.size());
    EXPECT_EQ(std::vector<int>(r.panel.begin(), r.panel.begin() + long(prepared.size())), prepared);
  }
}

TEST(AutoCapture, PhotoSearchWithRewindStopsAndRewindsFirst) {
  // The preparation's states, driven by statuses as the camcorder would give them.
  AutoRun r({});
  r.cueUp();
  r.vtr->SetAutoOn(true);
  r.vtr->StartPhotoSearch(true);
  auto status = [&](uint8_t raw) {
    VarnReply reply;
    reply.rx = VarnPacket{0xFC, 0xFF, 6, 0x03, raw, 0, 0, 0, 0, uint8_t(r.vtr->Snapshot().position % 30 + 1), 0};
    r.vtr->DecodeStatus(reply);
    if (raw == 6) r.vtr->SetMode(6);  // as the detailed status would tell
  };
  struct Step {
    uint8_t raw;
    int state;     // after PhotoPrepare
    int command;   // sent through the panel, 0 none
  } steps[] = {{5, 0, kTransportStop}, {1, 1, 0}, {1, 1, kTransportRewind}, {3, 2, 0}, {3, 2, 0}, {1, 3, 0},
               {1, 4, kTransportPlay}, {6, 5, 0}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.state);
    r.panel.clear();
    status(s.raw);
    EXPECT_FALSE(r.vtr->PhotoPrepare());
    EXPECT_EQ(r.vtr->Run().photoState, s.state);
    EXPECT_EQ(r.panel, s.command ? std::vector<int>{s.command} : std::vector<int>{});
  }
  r.rig->io().Pause(5001);
  EXPECT_TRUE(r.vtr->PhotoPrepare()) << "after five seconds of play";
  EXPECT_EQ(r.vtr->Run().photoState, 6);
}

TEST(AutoCapture, ARunEndsOnStopOnAFailedCaptureAndOnALostCamcorder) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int failCapture;
    bool stopPressed;
    int pictures, errors;
  } rows[] = {
      {"the user's Stop", {}, -1, true, 0, 0},
      {"a failed capture: its own message only", {}, 1, false, 1, 0},
      {"the camcorder disappears", {"--fault", "gone,cmd=08,at=200,times=0"}, -1, false, 1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    AutoRun r(row.args);
    r.cueUp();
    r.vtr->Settings().mode = 1;
    r.vtr->Settings().intervalFrames = 30 * 600;
    r.vtr->Settings().count = 5;
    r.vtr->StartInterval(r.vtr->Snapshot().position);
    r.failCaptureAt = row.failCapture;
    r.abort = row.stopPressed;
    ASSERT_TRUE(r.runToEnd());
    EXPECT_EQ(r.album, row.pictures);
    EXPECT_EQ(r.errors, row.errors);
    EXPECT_FALSE(r.abort) << "the abort flag is cleared for the next run";
    EXPECT_FALSE(r.vtr->AutoErrorStop());
  }
}

TEST(AutoCapture, SeekIgnoresAJumpOnceAndTreatsAStoppedTapeAsAnError) {
  AutoRun r({});
  r.cueUp();
  r.vtr->SetAutoOn(true);
  r.vtr->StartInterval(1000);
  // A status, and the detailed status's mode when given.
  auto status = [&](uint8_t raw, int32_t position, uint8_t detail = 0) {
    VarnReply reply;
    const int32_t s = position / 30, f = position % 30;
    reply.rx = VarnPacket{0xFC, 0xFF, 6, 0x03, raw, 0, 0, uint8_t(s / 60), uint8_t(s % 60), uint8_t(f), 0};
    r.vtr->DecodeStatus(reply);
    if (detail) r.vtr->SetMode(detail);
  };
  status(6, 1150, 6);  // 150 frames from the last position: taken only when confirmed
  EXPECT_FALSE(r.vtr->SeekAndCapture(5000));
  EXPECT_EQ(r.vtr->Run().lastPosition, 1150);
  auto cues = [&] {
    r.rig->Finish();
    return captest::Count(r.rig->logText, "varn 6 084321");
  };
  EXPECT_EQ(cues(), 0);
  status(6, 1160, 6);
  EXPECT_FALSE(r.vtr->SeekAndCapture(5000));
  EXPECT_EQ(cues(), 1) << "confirmed: cue forward to the far target";
  // Play resumed after a stop leaves the mode at stop until the detail comes: only a
  // status that says stop is an error.
  status(1, 1160);
  status(6, 1170);
  EXPECT_FALSE(r.vtr->SeekAndCapture(5000));
  EXPECT_FALSE(r.vtr->AutoErrorStop());
  status(1, 1170);
  EXPECT_FALSE(r.vtr->SeekAndCapture(5000));
  EXPECT_TRUE(r.vtr->AutoErrorStop());
  EXPECT_TRUE(r.abort) << "the next step ends the run";
}

TEST(AutoCapture, TimeCodeModeCapturesAtTheTargetAndEnds) {
  AutoRun r({});
  r.cueUp();
  r.vtr->Settings().mode = 0;
  r.vtr->Settings().targetFrames = 3000;
  r.vtr->StartInterval(r.vtr->Snapshot().position);
  ASSERT_TRUE(r.vtr->Command(kTransportPlay, true));
  ASSERT_TRUE(r.runToEnd());
  ASSERT_EQ(r.capturedAt.size(), 1u);
  EXPECT_GE(r.capturedAt[0], 3000 - 6);
  EXPECT_LE(r.capturedAt[0], 3000 + 12);
  EXPECT_EQ(r.errors, 0);
}
