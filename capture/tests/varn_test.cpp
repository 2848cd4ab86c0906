// The control protocol: golden packets, reply checks, the status verdicts, result codes,
// pacing, and the device commands against the simulator.
#include <cstring>
#include <thread>

#include "capture/varn.h"
#include "platform/testsupport/testsupport.h"
#include "scripted_port.h"
#include "testkit.h"

using namespace std::chrono_literals;
using namespace capture;
using captest::HexBytes;
using captest::ScriptedPort;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes reply(uint8_t status, Bytes data = Bytes(6, 0), uint8_t id = 6) { return captest::ReplyBytes(status, data, id); }

struct Link {
  platform::ManualClock clock;
  ScriptedPort port{clock};
  CVarnIO io{port, clock, [](int) { return std::string("/dev/x"); }};
  Link() {
    io.Open(1);
    io.SetupVarn();
  }
};

}  // namespace

TEST(Varn, GoldenPackets) {
  VarnTemplate changeTo7 = varn::kChangeId;
  changeTo7[2] = 7;
  VarnTemplate enter2 = varn::kEnter2;
  enter2[2] = 3;
  const VarnTemplate step{0x48, 0x46, 0x75, 0x01, 0, 0, 0};
  struct Row {
    const char* what;
    uint8_t id;
    VarnTemplate command;
    const char* wire;
  } rows[] = {
      {"presence to ID 5", 5, varn::kPresence, "FF FF 05 7C 4E 20 00 00 00 00 13"},
      {"power on", 6, varn::kPowerOn, "FF FF 06 3E 40 70 00 00 00 00 0E"},
      {"power off", 6, varn::kPowerOff, "FF FF 06 3E 40 60 00 00 00 00 1E"},
      {"power state", 6, varn::kPowerState, "FF FF 06 3E 4E 20 00 00 00 00 50"},
      {"presence", 6, varn::kPresence, "FF FF 06 7C 4E 20 00 00 00 00 12"},
      {"change ID to 7", 6, changeTo7, "FF FF 06 7C 41 07 00 00 00 00 38"},
      {"type", 6, varn::kType, "FF FF 06 7C 49 00 00 00 00 00 37"},
      {"version", 6, varn::kVersion, "FF FF 06 7C 45 00 00 00 00 00 3B"},
      {"name 1", 6, varn::kName1, "FF FF 06 7C 4C 00 00 00 00 00 34"},
      {"name 2", 6, varn::kName2, "FF FF 06 7C 4D 00 00 00 00 00 33"},
      {"broadcast presence", 127, varn::kPresence, "FF FF 7F 7C 4E 20 00 00 00 00 19"},
      {"stop", 6, varn::kStop, "FF FF 06 08 44 60 00 00 00 00 50"},
      {"pause", 6, varn::kPause, "FF FF 06 08 43 6D 00 00 00 00 44"},
      {"status", 6, varn::kStatus, "FF FF 06 08 4E 20 00 00 00 00 06"},
      {"frame step forward", 6, step, "FF FF 06 48 46 75 01 00 00 00 78"},
      {"standalone", 6, varn::kSelectStandalone, "FF FF 06 16 4C 60 00 00 00 00 3A"},
      {"capture prepare", 6, varn::kCapturePrepare, "FF FF 06 16 42 71 00 00 00 00 33"},
      {"capture status", 6, varn::kCaptureStatus, "FF FF 06 16 4E 20 00 00 00 00 78"},
      {"enter 1", 6, varn::kEnter1, "FF FF 06 7C 56 70 00 00 00 00 3A"},
      {"enter 2", 127, enter2, "FF FF 7F 7C 4F 03 00 00 00 00 35"},
      {"enter SPTP1", 6, varn::kEnterSptp, "FF FF 06 7C 70 53 50 54 50 31 18"},
      {"after leaving", 6, varn::kAfterLeave, "FF FF 06 18 49 60 00 00 00 00 3B"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    VarnPacket p = CVarnIO::Prepare(r.id, r.command);
    EXPECT_EQ(Bytes(p.begin(), p.end()), HexBytes(r.wire));
    // What goes on the wire is the same.
    Link l;
    l.io.Transact(p);
    ASSERT_EQ(l.port.writes.size(), 1u);
    EXPECT_EQ(l.port.writes[0].bytes, HexBytes(r.wire));
  }
}

TEST(Varn, ReplyChecks) {
  Bytes good = reply(0x03, {1, 2, 3, 4, 5, 6});
  Bytes head = good;
  head[1] = 0xFE;
  Bytes sum = good;
  sum[10] ^= 1;
  EXPECT_EQ(CheckVarnReply(good.data()), kLinkOk);
  EXPECT_EQ(CheckVarnReply(head.data()), kLinkBadHead);
  EXPECT_EQ(CheckVarnReply(sum.data()), kLinkBadChecksum);
  for (int v = 0; v < 256; ++v) {
    Bytes b(10, uint8_t(v));
    EXPECT_LE(VarnChecksum(b.data()), 0x7F);
  }
}

// TransactRetry(5) against a device that answers every attempt the same way.
TEST(Varn, StatusVerdictTable) {
  struct Row {
    const char* answer;  // "reply", "none", "badhead", "badsum"
    uint8_t status;
    bool ok;
    int attempts;
    uint32_t code;
  } rows[] = {
      {"reply", 0x00, false, 5, kLinkOk},   {"reply", 0x01, false, 1, kLinkOk}, {"reply", 0x02, true, 1, kLinkOk},
      {"reply", 0x03, true, 1, kLinkOk},    {"reply", 0x04, true, 1, kLinkOk},  {"reply", 0x05, false, 5, kLinkOk},
      {"reply", 0x06, false, 5, kLinkOk},   {"reply", 0x07, false, 5, kLinkOk}, {"reply", 0x40, true, 1, kLinkOk},
      {"reply", 0x41, false, 1, kLinkOk},   {"reply", 0x42, true, 1, kLinkOk},  {"reply", 0x45, true, 1, kLinkOk},
      {"reply", 0x47, true, 1, kLinkOk},    {"reply", 0x0B, true, 1, kLinkOk},  {"none", 0, false, 5, kLinkNoReply},
      {"badhead", 0x03, false, 1, kLinkBadHead}, {"badsum", 0x03, false, 1, kLinkBadChecksum},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.answer) + " status " + std::to_string(r.status));
    Link l;
    for (int i = 0; i < 6; ++i) {
      Bytes a = reply(r.status);
      if (std::string(r.answer) == "none") a.clear();
      if (std::string(r.answer) == "badhead") a[0] = 0xFD;
      if (std::string(r.answer) == "badsum") a[10] ^= 1;
      l.port.Answer(a);
    }
    VarnReply got = l.io.TransactRetry(CVarnIO::Prepare(6, varn::kType), 5);
    EXPECT_EQ(got.ok, r.ok);
    EXPECT_EQ(got.attempts, r.attempts);
    EXPECT_EQ(l.port.writes.size(), size_t(r.attempts));
    EXPECT_EQ(got.code, r.code);
    if (r.code != kLinkOk) {
      EXPECT_EQ(got.rx, VarnPacket{}) << "a failed reply reads as all zero";
    }
  }
  Link l;
  EXPECT_FALSE(l.io.TransactRetry(CVarnIO::Prepare(6, varn::kType), 0).ok);
  EXPECT_TRUE(l.port.writes.empty());
}

TEST(Varn, BadIdsRefusedAtOnceAndBroadcastsNotAnswered) {
  Link l;
  for (uint8_t id : {uint8_t(0), uint8_t(128), uint8_t(255)})
    EXPECT_EQ(l.io.Transact(CVarnIO::Prepare(id, varn::kPresence)).code, kLinkBadId);
  EXPECT_TRUE(l.port.writes.empty());
  VarnReply b = l.io.TransactRetry(CVarnIO::Prepare(100, varn::kPresence), 5);
  EXPECT_TRUE(b.ok);
  EXPECT_EQ(l.port.writes.size(), 1u) << "a broadcast goes once";
  l.io.Close();
  EXPECT_EQ(l.io.Transact(CVarnIO::Prepare(6, varn::kPresence)).code, kLinkWriteRefused);
}

TEST(Varn, SendsAfterAnUnansweredOneWait80Ms) {
  Link l;
  l.port.Answer({});                   // none
  l.port.Answer({});                   // none
  l.port.Answer(reply(0x03), 5ms);     // good
  l.port.Answer(reply(0x03), 5ms);     // good
  l.port.Answer(Bytes(11, 0x00), 5ms); // bad head: something answered
  l.port.Answer(reply(0x03), 5ms);
  for (int i = 0; i < 6; ++i) l.io.Transact(CVarnIO::Prepare(6, varn::kPresence));
  auto gap = [&](int i) { return l.port.writes[size_t(i)].at - l.port.writes[size_t(i - 1)].at; };
  EXPECT_GE(gap(1), 80ms);
  EXPECT_GE(gap(2), 80ms);
  EXPECT_LT(gap(3), 20ms) << "after a good reply the next send goes at once";
  EXPECT_LT(gap(5), 20ms) << "a reply with a bad head still ends the pacing";
}

TEST(Varn, ModelAndCapabilityTests) {
  struct Row {
    Bytes type, version;
    bool movie, printer, capture, g1, g2, at394;
  } rows[] = {
      {{0x07, 0x16, 0, 0, 0, 0}, {0, 1, 0, 4, 10, 0}, true, false, true, false, false, false},
      {{0x01, 0, 0, 0, 0, 0}, {0, 1, 0, 1, 92, 0}, true, false, false, true, false, true},
      {{0x09, 0, 0, 0, 0, 0x0E}, {0, 1, 0, 2, 44, 0}, true, true, false, false, true, true},
      {{0x3C, 0, 0, 0, 0, 0}, {0, 1, 0, 2, 45, 0}, false, false, true, false, false, true},
      {{0x00, 0x0E, 0, 0, 0, 0}, {0, 1, 0, 1, 0x92, 0}, false, true, false, false, false, true},
      {{0x02, 0, 0, 0, 0x16, 0}, {0, 1, 0, 3, 94, 0}, false, false, true, false, false, true},
      {{0x02, 0, 0, 0, 0, 0}, {0, 1, 0, 3, 95, 0}, false, false, false, false, false, false},
      {{0x02, 0, 0, 0, 0, 0}, {1, 1, 0, 1, 90, 0}, false, false, false, false, false, false},
  };
  for (const auto& r : rows) {
    VarnDev d;
    std::copy(r.type.begin(), r.type.end(), d.type.begin());
    std::copy(r.version.begin(), r.version.end(), d.version.begin());
    EXPECT_EQ(VarnSys::IsMovie(d), r.movie);
    EXPECT_EQ(VarnSys::IsPrinter(d), r.printer);
    EXPECT_EQ(VarnSys::IsCapture(d), r.capture);
    EXPECT_EQ(VarnSys::IsVersionGroup1(d), r.g1);
    EXPECT_EQ(VarnSys::IsVersionGroup2(d), r.g2);
    EXPECT_EQ(VarnSys::IsVersionAtMost394(d), r.at394);
  }
}

// One exchange per row against the simulator's fault plan: its result code and reply bytes.
TEST(Varn, ReplyFaultsGiveTheirCodes) {
  struct Row {
    const char* fault;
    uint32_t code;
    bool ok;
  } rows[] = {
      {"noreply", kLinkNoReply, false}, {"late,value=120", kLinkNoReply, false}, {"truncate,value=7", kLinkNoReply, false},
      {"badhead", kLinkBadHead, false}, {"badsum", kLinkBadChecksum, false},     {"garbage,value=3", kLinkBadHead, false},
      {"otherid", kLinkNoReply, false}, {"refuse", kLinkOk, false},              {"late,value=30", kLinkOk, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.fault);
    auto rig = captest::InProcessRig({"--fault", r.fault});
    VarnReply got = rig->io().TransactRetry(CVarnIO::Prepare(6, varn::kType), 1);
    EXPECT_EQ(got.code, r.code);
    EXPECT_EQ(got.ok, r.ok);
    if (r.code != kLinkOk) {
      EXPECT_EQ(got.rx, VarnPacket{});
    }
    // The next exchange is clean again (once the rest of a damaged answer has passed).
    rig->io().Pause(100);
    EXPECT_TRUE(rig->io().TransactRetry(CVarnIO::Prepare(6, varn::kType), 1).ok);
  }
  auto rig = captest::InProcessRig({"--fault", "notyet,times=2"});
  VarnReply got = rig->io().TransactRetry(CVarnIO::Prepare(6, varn::kType), 5);
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.attempts, 3);
}

// A packet that got no answer within the wait, then the next packet: the late answer to
// the first, whenever it comes, is never taken for the second's.
TEST(Varn, ALateAnswerIsNotTakenForTheNextPackets) {
  const VarnTemplate play{0x08, 0x43, 0x75, 0, 0, 0, 0};
  struct Row {
    const char* what;
    std::vector<std::string> args;
    uint8_t firstId;
    VarnTemplate first, next;  // the first packet; the next goes to ID 6
    uint8_t status, p0, p3;    // what the answer to the next one says
  } rows[] = {
      // The camcorder at 5 answers its presence check 100 ms late, while the deck at 6 is asked.
      {"from another device", {"--device", "5:camcorder", "--device", "6:deck", "--fault", "late,cmd=7C4E20,value=100"},
       5, varn::kPresence, varn::kVersion, 0x03, 0x00, 0x03},
      // A status answer still coming in when the play command goes out (the stopped tape's).
      {"still coming when the next packet goes", {"--fault", "late,cmd=084E20,value=60"}, 6, varn::kStatus, play, 0x43,
       0x06, 0x00},
      // A status answer that comes in the play command's wait, right ahead of its answer.
      {"right ahead of the next one's", {"--fault", "late,cmd=084E20,value=100"}, 6, varn::kStatus, play, 0x43, 0x06,
       0x00},
      // ... and still coming, with the play command's first answer behind it, when the
      // command goes again.
      {"ahead of an answer still coming", {"--fault", "late,cmd=084E20,value=140"}, 6, varn::kStatus, play, 0x43, 0x06,
       0x00},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    auto rig = captest::InProcessRig(r.args);
    EXPECT_EQ(rig->io().Transact(CVarnIO::Prepare(r.firstId, r.first)).code, kLinkNoReply) << "the answer is late";
    VarnReply got = rig->io().TransactRetry(CVarnIO::Prepare(6, r.next), 5);
    EXPECT_TRUE(got.ok) << "code " << got.code;
    EXPECT_EQ(got.rx[2], 6);
    EXPECT_EQ(got.status(), r.status);
    EXPECT_EQ(got.p(0), r.p0);
    EXPECT_EQ(got.p(3), r.p3);
  }
}

TEST(VarnSys, IdentifySwitchesOnAndReadsTheDevice) {
  auto rig = captest::InProcessRig({"--device", "6:camcorder,off,powerup=500", "--device",
                                    "9:printer,name=ABC", "--device", "12:capture,name=TWELVECHARSX"});
  VarnSys& sys = rig->sys();
  VarnDev cam;
  cam.id = 6;
  std::strcpy(cam.name, "OLD LONG NAME");
  ASSERT_TRUE(sys.Identify(cam));
  EXPECT_EQ(cam.flags, 1 | 4);
  EXPECT_STREQ(cam.name, "CAMCORDER-6");
  EXPECT_EQ(cam.version, (std::array<uint8_t, 6>{0, 1, 0, 4, 10, 0}));
  VarnDev p;
  p.id = 9;
  ASSERT_TRUE(sys.Identify(p));
  EXPECT_EQ(p.flags, 2);
  EXPECT_STREQ(p.name, "ABC");
  VarnDev c;
  c.id = 12;
  ASSERT_TRUE(sys.Identify(c));
  EXPECT_EQ(c.flags, 4);
  EXPECT_STREQ(c.name, "TWELVECHARSX") << "a name that fills both parts";
  VarnDev none;
  none.id = 7;
  EXPECT_FALSE(sys.Identify(none));
  EXPECT_FALSE(sys.EnsureOn(0));
}

TEST(VarnSys, PowerWaitsForTheStateAndGivesUpAfter52Queries) {
  {
    auto rig = captest::InProcessRig({"--device", "6:camcorder,off,powerup=300"});
    rig->sys().SetTarget(6);
    EXPECT_TRUE(rig->sys().Power(true, true));
    EXPECT_FALSE(rig->io().BusBusy());
    EXPECT_TRUE(rig->sys().Power(false, true));
  }
  {
    // Each query takes about 30 ms of line time: 52 of them cannot outwait 5 s.
    auto rig = captest::InProcessRig({"--device", "6:camcorder,off,powerup=5000"});
    rig->sys().SetTarget(6);
    EXPECT_FALSE(rig->sys().Power(true, true));
    EXPECT_FALSE(rig->io().BusBusy());
    rig->Finish();
    size_t queries = 0;
    for (size_t at = 0; (at = rig->logText.find("varn 6 3E4E20", at)) != std::string::npos; ++at) ++queries;
    EXPECT_EQ(queries, size_t(VarnSys::kPowerQueries));
  }
}

TEST(VarnSys, ChangeIdMovesTheDevice) {
  auto rig = captest::InProcessRig({});
  EXPECT_TRUE(rig->sys().ChangeId(6, 7));
  EXPECT_FALSE(rig->sys().IsPresent(6));
  EXPECT_TRUE(rig->sys().IsPresent(7));
}

// Two threads on one link: each exchange holds the link, so every reply belongs to its packet.
TEST(Varn, ExchangesFromTwoThreadsNeverInterleave) {
  auto rig = captest::InProcessRig({"--device", "3:deck", "--device", "6:camcorder"});
  std::atomic<int> wrong{0};
  auto run = [&](uint8_t id, uint8_t t0) {
    for (int i = 0; i < 40; ++i) {
      VarnReply r = rig->io().TransactRetry(CVarnIO::Prepare(id, varn::kType), 1);
      if (!r.ok || r.rx[2] != id || r.p(0) != t0) ++wrong;
    }
  };
  std::thread a(run, uint8_t(3), uint8_t(0x01));
  std::thread b(run, uint8_t(6), uint8_t(0x07));
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
}
