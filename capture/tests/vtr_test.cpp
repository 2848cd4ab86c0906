// The play device's transport: status decoding, the detailed status, transport commands,
// the passes of the polling thread (detailed status, presence check, reports) and the
// starting and stopping of the thread.
#include <thread>

#include "capture/varn_vtr.h"
#include "platform/testsupport/testsupport.h"
#include "scripted_port.h"
#include "testkit.h"

using namespace std::chrono_literals;
using namespace capture;
using captest::HexBytes;
using captest::ReplyBytes;
using Bytes = std::vector<uint8_t>;

namespace {

struct Link {
  platform::ManualClock clock;
  captest::ScriptedPort port{clock};
  CVarnIO io{port, clock, [](int) { return std::string("/dev/x"); }};
  VarnVtr vtr{io};
  Link() {
    io.Open(1);
    io.SetupVarn();
    vtr.SetDevice(6);
  }
};

VarnReply replyOf(uint8_t status, Bytes p) {
  VarnReply r;
  Bytes b = ReplyBytes(status, p);
  std::copy(b.begin(), b.end(), r.rx.begin());
  return r;
}

std::string text(const VtrStatus& s) { return std::string(s.timeCode.data()); }

// The simulator's camcorder with the program's transport on it, on virtual time.
struct SimLink {
  std::unique_ptr<captest::Rig> rig;
  std::unique_ptr<VarnVtr> vtr;
  VarnVtr::PollCounters counters;
  std::vector<std::pair<int, int>> reports;
  explicit SimLink(const std::vector<std::string>& args = {}) {
    rig = captest::InProcessRig(args);
    vtr = std::make_unique<VarnVtr>(rig->io());
    vtr->SetDevice(6);
    vtr->SetNotify([this](int mode, int bits) { reports.emplace_back(mode, bits); });
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) vtr->PollPass(counters);
  }
  int sent(const std::string& what) {
    rig->Finish();
    return captest::Count(rig->logText, what);
  }
};

}  // namespace

TEST(Transport, StatusRepliesDecode) {
  struct Row {
    const char* what;
    uint8_t status;
    Bytes p;
    bool result;
    uint8_t mode, rawMode;
    int32_t position;
    uint32_t rate;
    const char* text;
    uint8_t changes;
  } rows[] = {
      {"25 fps, negative", 0x03, {0x05, 0x04, 1, 0x42, 3, 4}, true, 5, 5, -93079, 25, "-01:02:03:04", 2 | 4 | 1},
      {"30 fps, last frame of the day", 0x03, {0x01, 0, 23, 59, 59, 29}, true, 1, 1, 2591999, 30, " 23:59:59:29", 7},
      {"executing: nothing decoded", 0x43, {0x05, 0x04, 1, 2, 3, 4}, true, kModeNone, 0, 0, 30, "", 0},
      {"no time code: the mode only", 0x03, {0x02, 0, 1, 2, 0x43, 4}, false, 2, 2, 0, 30, "", 4},
      {"play family: mode waits for the detail", 0x03, {0x06, 0, 0, 0, 1, 0}, true, kModeNone, 6, 30, 30, " 00:00:01:00", 3},
      {"same position: no news", 0x03, {0x05, 0, 0, 0, 0, 0}, false, 5, 5, 0, 30, "", 4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Link l;
    EXPECT_EQ(l.vtr.DecodeStatus(replyOf(r.status, r.p)), r.result);
    const VtrStatus s = l.vtr.Snapshot();
    EXPECT_EQ(s.mode, r.mode);
    EXPECT_EQ(s.rawMode, r.rawMode);
    EXPECT_EQ(s.position, r.position);
    EXPECT_EQ(s.frameRate, r.rate);
    EXPECT_EQ(text(s), r.text);
    EXPECT_EQ(l.vtr.Changes(), r.changes);
    EXPECT_EQ(s.online, (r.changes & kLinkChanged) ? 1 : 0);
    EXPECT_EQ(s.detailDue, r.rawMode == 6 ? 1 : 0);
  }
  // The same position a second time is no news: idle, and nothing new to report.
  Link l;
  l.vtr.DecodeStatus(replyOf(0x03, {0x05, 0, 0, 0, 2, 0}));
  l.vtr.ClearChanges(0xFF);
  EXPECT_FALSE(l.vtr.DecodeStatus(replyOf(0x03, {0x05, 0, 0, 0, 2, 0})));
  EXPECT_EQ(l.vtr.Snapshot().idle, 1);
  EXPECT_EQ(l.vtr.Changes(), 0);
}

TEST(Transport, DetailedStatusRefinesThePlayModes) {
  struct Row {
    uint8_t raw;
    Bytes p;
    bool result;
    uint8_t mode;
  } rows[] = {
      {6, {0x75, 9, 9, 9, 0, 0}, true, 6},  {6, {0x77, 1, 0, 0, 0, 0}, true, 38}, {7, {0x67, 0, 2, 0, 0, 0}, true, 39},
      {6, {0x77, 0, 0, 5, 0, 0}, true, 22}, {7, {0x67, 0, 0, 5, 0, 0}, true, 23}, {6, {0x77, 0, 0, 0, 0, 0}, true, 38},
      {7, {0x67, 0, 0, 0, 0, 0}, true, 39}, {6, {0x77, 0, 1, 0, 0, 0}, true, 6},  {7, {0x67, 0, 1, 0, 0, 0}, true, 7},
      {7, {0x67, 0, 1, 3, 0, 0}, true, 7},  {6, {0x12, 0, 0, 0, 0, 0}, false, kModeNone},
      {5, {0x75, 0, 0, 0, 0, 0}, false, kModeNone},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(int(r.p[0]) * 1000 + r.p[1] * 100 + r.p[2] * 10 + r.p[3]);
    Link l;
    l.port.Answer(ReplyBytes(0x03, r.p));
    EXPECT_EQ(l.vtr.DetailedStatus(r.raw), r.result);
    EXPECT_EQ(l.vtr.Snapshot().mode, r.mode);
    EXPECT_EQ(l.vtr.Changes(), r.mode == kModeNone ? 0 : kModeChanged);
    if (r.raw == 6 || r.raw == 7) {
      ASSERT_EQ(l.port.writes.size(), 1u);
      EXPECT_EQ(l.port.writes[0].bytes, HexBytes("FF FF 06 48 4E 20 00 00 00 00 46"));
    }
  }
}

TEST(Transport, CommandsGoOutAsTheirPacketsUnlessTheBusIsTaken) {
  struct Row {
    int code;
    const char* wire;
  } rows[] = {
      {1, "FF FF 06 08 44 60 00 00 00 00 50"},  {2, "FF FF 06 08 44 75 00 00 00 00 3B"},
      {3, "FF FF 06 08 44 65 00 00 00 00 4B"},  {5, "FF FF 06 08 43 6D 00 00 00 00 44"},
      {6, "FF FF 06 08 43 75 00 00 00 00 3C"},  {22, "FF FF 06 08 43 20 00 00 00 00 11"},
      {23, "FF FF 06 08 43 24 00 00 00 00 0D"}, {38, "FF FF 06 08 43 21 00 00 00 00 10"},
      {39, "FF FF 06 08 43 25 00 00 00 00 0C"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    Link l;
    l.port.Answer(ReplyBytes(0x03, {uint8_t(r.code & 0x0F), 0, 0, 0, 1, 0}));
    EXPECT_TRUE(l.vtr.Command(r.code, false));
    ASSERT_EQ(l.port.writes.size(), 1u);
    EXPECT_EQ(l.port.writes[0].bytes, HexBytes(r.wire));
    EXPECT_FALSE(l.io.BusBusy());
  }
  Link l;
  l.io.BusBusy() = true;
  EXPECT_FALSE(l.vtr.Command(6, false));
  EXPECT_FALSE(l.vtr.FrameStep(true));
  EXPECT_TRUE(l.port.writes.empty());
  l.io.BusBusy() = false;
  EXPECT_FALSE(l.vtr.Command(4, false)) << "no command has code 4";
  l.port.Answer(ReplyBytes(0x03, {0x05, 0, 0, 0, 1, 1}));
  l.port.Answer(ReplyBytes(0x03, {0x05, 0, 0, 0, 1, 0}));
  EXPECT_TRUE(l.vtr.FrameStep(true));
  EXPECT_TRUE(l.vtr.FrameStep(false));
  EXPECT_EQ(l.port.writes[0].bytes, HexBytes("FF FF 06 48 46 75 01 00 00 00 78"));
  EXPECT_EQ(l.port.writes[1].bytes, HexBytes("FF FF 06 48 46 65 01 00 00 00 08"));
  EXPECT_EQ(text(l.vtr.Snapshot()), " 00:00:01:00") << "a frame step's reply is decoded";
}

TEST(Transport, CommandWaitsUntilTheDeviceIsDone) {
  struct Row {
    int executing;  // status replies with the executing bit before a clear one
    bool lost;      // the reply after them is missing
    bool result;
    size_t exchanges;
  } rows[] = {{0, false, true, 2}, {3, false, true, 5}, {201, false, true, 203}, {202, false, false, 203},
              {2, true, false, 4}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.executing);
    Link l;
    l.port.Answer(ReplyBytes(0x43));
    for (int i = 0; i < r.executing; ++i) l.port.Answer(ReplyBytes(0x43));
    l.port.Answer(r.lost ? Bytes{} : ReplyBytes(0x03, {0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(l.vtr.Command(1, true), r.result);
    EXPECT_EQ(l.port.writes.size(), r.exchanges);
    EXPECT_FALSE(l.io.BusBusy());
  }
}

TEST(Transport, DamagedAndMissingStatusRepliesAreNoNews) {
  for (const char* damage : {"none", "badhead", "badsum", "class5"}) {
    SCOPED_TRACE(damage);
    Link l;
    l.port.Answer(ReplyBytes(0x03, {0x05, 0, 0, 0, 7, 0}));
    EXPECT_TRUE(l.vtr.PollStatus());
    l.vtr.ClearChanges(0xFF);
    Bytes a = ReplyBytes(0x03, {0x01, 0, 0, 0, 0, 0});
    if (std::string(damage) == "none") a.clear();
    if (std::string(damage) == "badhead") a[1] = 0xFE;
    if (std::string(damage) == "badsum") a[10] ^= 1;
    if (std::string(damage) == "class5") a = ReplyBytes(0x05, {0x01, 0, 0, 0, 0, 0});
    l.port.Answer(a);
    EXPECT_FALSE(l.vtr.PollStatus());
    const VtrStatus s = l.vtr.Snapshot();
    EXPECT_EQ(s.idle, 1);
    EXPECT_EQ(s.mode, 5) << "not a stopped tape at zero";
    EXPECT_EQ(text(s), " 00:00:07:00");
    EXPECT_EQ(l.vtr.Changes(), 0);
  }
}

TEST(Transport, APollsNewsDependsOnTheStatusClassInTheLowThreeBits) {
  // Class 5 is no news whatever the bits above it; every other class is decoded, and a
  // reply still executing (bit 6) decodes nothing.
  struct Row {
    uint8_t status;
    bool result;
    int32_t position;
    uint8_t idle;
  } rows[] = {
      {0x05, false, 0, 1},  {0x0D, false, 0, 1},  {0x15, false, 0, 1},  {0x25, false, 0, 1},
      {0x45, false, 0, 1},  {0x4D, false, 0, 1},  {0x7D, false, 0, 1},  {0x00, true, 210, 0},
      {0x08, true, 210, 0}, {0x09, true, 210, 0}, {0x0A, true, 210, 0}, {0x0B, true, 210, 0},
      {0x0C, true, 210, 0}, {0x0E, true, 210, 0}, {0x0F, true, 210, 0}, {0x33, true, 210, 0},
      {0x02, true, 210, 0}, {0x43, true, 0, 0},   {0x4B, true, 0, 0},   {0x4E, true, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "status 0x" << std::hex << int(r.status));
    Link l;
    l.port.Answer(ReplyBytes(r.status, {0x05, 0, 0, 0, 7, 0}));
    EXPECT_EQ(l.vtr.PollStatus(), r.result);
    const VtrStatus s = l.vtr.Snapshot();
    EXPECT_EQ(s.position, r.position);
    EXPECT_EQ(s.idle, r.idle);
    EXPECT_EQ(s.mode, r.position ? 5 : kModeNone);
  }
}

TEST(Transport, PollingAsksTheDetailedStatusWhenPlayStartsAndThenEvery31Passes) {
  SimLink s;
  s.passes(3);
  ASSERT_TRUE(s.vtr->Command(kTransportPlay, true));
  s.passes(1);
  EXPECT_EQ(s.sent("varn 6 484E20"), 1) << "play begins: the detail at the next pass";
  EXPECT_EQ(s.vtr->Snapshot().mode, kTransportPlay);
  s.passes(30);
  EXPECT_EQ(s.sent("varn 6 484E20"), 1);
  s.passes(1);
  EXPECT_EQ(s.sent("varn 6 484E20"), 2) << "the 31st pass in a play mode";
  s.passes(31);
  EXPECT_EQ(s.sent("varn 6 484E20"), 3);
  // Cue forward keeps the raw mode; the command itself makes the detail come next.
  ASSERT_TRUE(s.vtr->Command(kTransportCueForward, true));
  s.passes(2);
  EXPECT_EQ(s.vtr->Snapshot().mode, kTransportCueForward);
  ASSERT_TRUE(s.vtr->Command(kTransportSlowForward, true));
  s.passes(2);
  EXPECT_EQ(s.vtr->Snapshot().mode, kTransportSlowForward);
}

TEST(Transport, PollingReportsChangesOnceUntilTheyAreTaken) {
  SimLink s;
  ASSERT_TRUE(s.vtr->Command(kTransportPlay, true));
  s.passes(5);
  ASSERT_EQ(s.reports.size(), 1u) << "one report until the window takes it";
  EXPECT_EQ(s.reports[0].second & (kLinkChanged | kOnlineBit), kLinkChanged | kOnlineBit);
  // The window takes the link change first; the time code waits for the next report.
  s.vtr->NotifyTaken();
  EXPECT_TRUE(s.vtr->ClearChanges(kLinkChanged) & kTimeCodeChanged);
  s.passes(1);
  ASSERT_EQ(s.reports.size(), 2u);
  EXPECT_EQ(s.reports[1].second & (kLinkChanged | kTimeCodeChanged), kTimeCodeChanged);
  EXPECT_EQ(s.reports[1].first, kTransportPlay);
}

TEST(Transport, APausedTapeComesOnlineByThePresenceCheckAndALostOneGoesOffline) {
  // A tape in pause never changes its time code: the presence check after 31 idle passes
  // tells that the camcorder is there. Later it disappears: the next check says so.
  SimLink s({"--fault", "gone,cmd=08,at=80,times=0"});
  ASSERT_TRUE(s.vtr->Command(kTransportPause, true));
  s.passes(30);
  EXPECT_EQ(s.vtr->Snapshot().online, 0);
  EXPECT_EQ(s.sent("varn 6 3E4E20"), 0);
  s.vtr->NotifyTaken();
  s.vtr->ClearChanges(0xFF);
  s.reports.clear();
  s.passes(1);
  EXPECT_EQ(s.sent("varn 6 3E4E20"), 1);
  EXPECT_EQ(s.vtr->Snapshot().online, 1);
  ASSERT_EQ(s.reports.size(), 1u);
  EXPECT_EQ(s.reports[0].second, kLinkChanged | kOnlineBit);
  s.vtr->NotifyTaken();
  s.vtr->ClearChanges(0xFF);
  s.reports.clear();
  s.passes(100);
  EXPECT_EQ(s.vtr->Snapshot().online, 0);
  ASSERT_EQ(s.reports.size(), 1u);
  EXPECT_EQ(s.reports[0].second, kLinkChanged) << "bit 1 set, bit 8 clear";
}

TEST(Transport, AfterTheLinkIsStoppedThePresenceCheckReportsWhatItFinds) {
  // The camcorder, paused, came online by a presence check. The link is stopped (online
  // cleared by the program) and the camcorder disappears: the first presence check on the
  // restarted link reports it offline, though that matches the cleared flag.
  SimLink s({"--fault", "gone,cmd=3E4E20,at=1,times=0"});
  ASSERT_TRUE(s.vtr->Command(kTransportPause, true));
  s.passes(31);
  ASSERT_EQ(s.vtr->Snapshot().online, 1);
  s.vtr->SetOnline(false);
  s.vtr->NotifyTaken();
  s.vtr->ClearChanges(0xFF);
  s.reports.clear();
  s.passes(31);
  EXPECT_EQ(s.sent("varn 6 3E4E20"), 1 + 5) << "the second check finds nobody";
  ASSERT_EQ(s.reports.size(), 1u);
  EXPECT_EQ(s.reports[0].second, kLinkChanged) << "offline, reported";
  EXPECT_EQ(s.vtr->Snapshot().online, 0);
}

TEST(Transport, WindingBackStopsAtTheStartOfTheTape) {
  // The camcorder stops by itself where the tape begins (at zero, or where a tape that
  // begins before zero stood) and reports a stopped transport there.
  struct Row {
    int command;
    const char* start;
    int32_t stopsAt;
    const char* text;
  } rows[] = {{kTransportRewind, "5400", 0, " 00:00:00:00"},
              {kTransportCueReverse, "90", 0, " 00:00:00:00"},
              {kTransportSlowReverse, "30", 0, " 00:00:00:00"},
              {kTransportRewind, "-45", -45, "-00:00:01:15"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.command);
    SimLink s({"--tape-start", r.start});
    if (r.command != kTransportRewind) {
      ASSERT_TRUE(s.vtr->Command(kTransportPlay, true));
    }
    ASSERT_TRUE(s.vtr->Command(r.command, true));
    for (int i = 0; i < 5000 && s.vtr->Snapshot().rawMode != kTransportStop; ++i) s.passes(1);
    s.passes(40);
    const VtrStatus st = s.vtr->Snapshot();
    EXPECT_EQ(st.rawMode, kTransportStop);
    EXPECT_EQ(st.mode, kTransportStop);
    EXPECT_EQ(st.position, r.stopsAt);
    EXPECT_EQ(text(st), r.text);
    // Play from there moves the tape on; a further rewind stays at the start.
    ASSERT_TRUE(s.vtr->Command(kTransportPlay, true));
    s.passes(40);
    EXPECT_GT(s.vtr->Snapshot().position, r.stopsAt);
    ASSERT_TRUE(s.vtr->Command(kTransportRewind, true));
    s.passes(100);
    EXPECT_EQ(s.vtr->Snapshot().position, r.stopsAt);
    EXPECT_EQ(s.vtr->Snapshot().rawMode, kTransportStop);
  }
}

TEST(Transport, PollingWaitsWhileAGuiSequenceHoldsTheBus) {
  SimLink s;
  s.vtr->StartPolling();
  EXPECT_TRUE(s.vtr->PollRunning());
  // The thread never sends while the bus is held: what the GUI sends is all that goes.
  s.rig->io().BusBusy() = true;
  std::this_thread::sleep_for(20ms);
  s.rig->Finish();
  const size_t before = s.rig->logText.size();
  std::this_thread::sleep_for(50ms);
  s.rig->Finish();
  EXPECT_EQ(s.rig->logText.size(), before);
  s.rig->io().BusBusy() = false;
  s.vtr->StopPolling();
  EXPECT_FALSE(s.vtr->PollRunning());
}

TEST(Transport, APollingThreadStoppedAtOnceNeverPollsAfterwards) {
  // A stop right after a start finds the thread and waits for it; nothing is sent
  // after the stop returns, and a second start makes one thread, not two.
  Link l;
  for (int i = 0; i < 50; ++i) {
    l.vtr.StartPolling();
    l.vtr.StartPolling();
    l.vtr.StopPolling();
    EXPECT_FALSE(l.vtr.PollRunning());
    const size_t sent = l.port.writes.size();
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(l.port.writes.size(), sent);
  }
}
