// The transfer protocol: golden command frames, acknowledgements and pacing, unstuffing,
// and the judging of raw data blocks.
#include "capture/sptp.h"
#include "capture/sptp_block.h"
#include "platform/testsupport/testsupport.h"
#include "scripted_port.h"

using namespace std::chrono_literals;
using namespace capture;
using captest::HexBytes;
using captest::ScriptedPort;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ack(uint8_t id, char verdict) {
  return {0x10, 0x16, id, 0x10, 0x02, 0x00, uint8_t(verdict), 0x10, 0x03, 0x00, 0x00};
}

void stuff(Bytes& out, const Bytes& data) {
  for (uint8_t b : data) {
    out.push_back(b);
    if (b == 0x10) out.push_back(0x10);
  }
}

struct BlockSpec {
  uint16_t number = 0;
  uint32_t size = 3 * 2048;
  uint8_t type = 0x00;
  uint16_t width = 64, height = 64;
  size_t payload = 2048;  // unstuffed payload bytes
  uint8_t fill = 0x41;
  uint8_t end = 0x03;
  uint8_t head4 = 0x01;
  size_t rawSize = 0;  // cut the frame to this many bytes inside the payload
};

Bytes block(const BlockSpec& s) {
  Bytes raw{0xAA, 0xBB, 0x06, 0x10, s.head4};
  Bytes h{uint8_t(s.number >> 8), uint8_t(s.number), 0x10, uint8_t(s.size >> 24), uint8_t(s.size >> 16),
          uint8_t(s.size >> 8),   uint8_t(s.size),   s.type, 0x10, 0x10, uint8_t(s.width >> 8), uint8_t(s.width),
          uint8_t(s.height >> 8), uint8_t(s.height)};
  stuff(raw, h);
  raw.push_back(0x10);
  raw.push_back(0x02);
  Bytes payload(s.payload);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(s.fill + i * (s.fill == 0x10 ? 0 : 1));
  stuff(raw, payload);
  raw.insert(raw.end(), {0x10, s.end, 0x10, 0x10});
  if (s.rawSize) raw.erase(raw.begin() + 100, raw.begin() + 100 + long(raw.size() - s.rawSize));
  return raw;
}

struct Link {
  platform::ManualClock clock;
  ScriptedPort port{clock};
  CComm comm{port, clock, [](int) { return std::string("/dev/x"); }};
  CSptpIO io{comm};
  Link() {
    comm.Open(1);
    comm.SetupTransfer();
  }
};

}  // namespace

TEST(Sptp, GoldenFrames) {
  struct Row {
    uint8_t id;
    SptpCommand command;
    const char* wire;
  } rows[] = {
      {1, sptp::kStart, "10 16 01 10 02 00 3A 00 10 03 00 86"},
      {2, sptp::kRate115200, "10 16 02 10 02 00 32 11 52 10 03 00 E2"},
      {6, sptp::kRate9600, "10 16 06 10 02 00 32 00 96 10 03 01 19"},
      {6, sptp::kRate19200, "10 16 06 10 02 00 32 01 92 10 03 01 16"},
      {6, sptp::kRate38400, "10 16 06 10 02 00 32 03 84 10 03 01 0A"},
      {6, sptp::kRate115200, "10 16 06 10 02 00 32 11 52 10 03 00 E6"},
      {6, sptp::kStart, "10 16 06 10 02 00 3A 00 10 03 00 8B"},
      {6, sptp::kNext, "10 16 06 10 02 00 31 10 03 00 82"},
      {6, sptp::kResend, "10 16 06 10 02 00 35 10 03 00 86"},
      {6, sptp::kEnd, "10 16 06 10 02 00 3B 10 03 00 8C"},
      {16, sptp::kEnd, "10 16 10 10 02 00 3B 10 03 00 96"},
  };
  for (const auto& r : rows) {
    SptpFrame f = BuildSptpFrame(r.id, r.command);
    EXPECT_EQ(Bytes(f.bytes.begin(), f.bytes.begin() + f.length), HexBytes(r.wire)) << r.wire;
  }
}

TEST(Sptp, RateChoices) {
  struct Row {
    uint32_t configured, asked, pace;
  } rows[] = {{9600, 9600, 100}, {19200, 19200, 100}, {38400, 38400, 50}, {115200, 115200, 10}, {57600, 38400, 50}};
  for (const auto& r : rows) {
    RateChoice c = RateFor(r.configured);
    EXPECT_EQ(c.baud, r.asked);
    EXPECT_EQ(c.paceMs, r.pace);
  }
}

TEST(Sptp, AcknowledgementsAndPacing) {
  Link l;
  l.io.Build(3, sptp::kNext);
  EXPECT_EQ(l.io.Send(), kLinkOk) << "next is not acknowledged";
  l.io.Build(3, sptp::kResend);
  EXPECT_EQ(l.io.Send(), kLinkOk);
  EXPECT_EQ(l.clock.ticksMs(), 0u) << "neither waits for anything";

  l.port.Answer(ack(2, '1'));  // acknowledgement for ID 2 to a command for ID 3
  l.io.Build(3, sptp::kEnd);
  EXPECT_EQ(l.io.Send(), kLinkBadHead);
  EXPECT_EQ(l.io.ack(), (std::array<uint8_t, 11>{}));

  l.port.Answer(ack(3, '0'));
  l.port.Answer(ack(3, '1'));
  EXPECT_TRUE(l.io.SendRetry(3)) << "a verdict other than 1 is tried again";

  l.port.Answer({});
  l.port.Answer(ack(3, '1'));
  l.port.writes.clear();
  EXPECT_TRUE(l.io.SendRetry(2));
  ASSERT_EQ(l.port.writes.size(), 2u);
  EXPECT_GE(l.port.writes[1].at - l.port.writes[0].at, 2000ms) << "a send after a missing acknowledgement waits";

  l.io.Build(0, sptp::kEnd);
  EXPECT_EQ(l.io.Send(), kLinkBadId);
  l.io.Build(100, sptp::kEnd);
  EXPECT_EQ(l.io.Send(), kLinkBadId);
}

TEST(Sptp, Unstuffing) {
  struct Row {
    Bytes in, out;
    bool pending;
  } rows[] = {
      {{0x41, 0x10, 0x10, 0x42}, {0x41, 0x10, 0x42}, false},
      {{0x41, 0x10, 0x42, 0x10}, {0x41, 0x42, 0x10}, false},  // a lone 10 stays pending across 42
      {{0x10}, {}, true},
      {{0x10, 0x10, 0x10}, {0x10}, true},
  };
  for (const auto& r : rows) {
    Bytes out(8);
    bool pending = false;
    out.resize(Unstuff(r.in.data(), r.in.size(), out.data(), out.size(), pending));
    EXPECT_EQ(out, r.out);
    EXPECT_EQ(pending, r.pending);
  }
}

// Each row: the blocks fed in order, the verdict of the last one, and the picture after it.
TEST(Sptp, BlockJudging) {
  struct Row {
    const char* what;
    std::vector<BlockSpec> blocks;
    BlockVerdict last;
    uint32_t received;
    bool complete;
  };
  BlockSpec b0, b1, b2;
  b1.number = 1;
  b2.number = 2;
  b2.end = 0x17;
  BlockSpec dv0;
  dv0.type = 0x40;
  dv0.size = 2 * 1920;
  dv0.payload = 1920;
  BlockSpec dvShort = dv0;
  dvShort.number = 1;
  dvShort.payload = 1919;
  dvShort.end = 0x17;
  BlockSpec dv1 = dvShort;
  dv1.payload = 1920;
  BlockSpec stuffed = b0;
  stuffed.fill = 0x10;  // the largest legal block: every payload byte stuffed
  BlockSpec tiny = b0;
  tiny.rawSize = 799;
  BlockSpec badEnd = b1;
  badEnd.end = 0x05;
  BlockSpec otherSize = b1;
  otherSize.size = 4 * 2048;
  BlockSpec beyond = b0;
  beyond.number = 400;
  BlockSpec longer = b1;
  longer.payload = 2049;
  BlockSpec sizeZero = b0;
  sizeZero.size = 0;
  sizeZero.end = 0x17;
  BlockSpec yuvShort = b0;
  yuvShort.size = 2048 + 1;  // two blocks, but the last one never comes
  yuvShort.end = 0x17;

  const Row rows[] = {
      {"three blocks in order", {b0, b1, b2}, BlockVerdict::Ok, 3 * 2048, true},
      {"a block sent again is taken", {b0, b1, b1, b2}, BlockVerdict::Ok, 3 * 2048, true},
      {"a block that skips ahead is refused", {b0, b2}, BlockVerdict::SkipsAhead, 2048, false},
      {"the first block must be block 0", {b1}, BlockVerdict::SkipsAhead, 0, false},
      {"a DV payload one short", {dv0, dvShort}, BlockVerdict::BadLength, 1920, false},
      {"a DV picture", {dv0, dv1}, BlockVerdict::Ok, 2 * 1920, true},
      {"a payload one long", {b0, longer}, BlockVerdict::BadLength, 2048, false},
      {"799 raw bytes", {tiny}, BlockVerdict::TooShort, 0, false},
      {"end code 05", {b0, badEnd}, BlockVerdict::BadEndCode, 2048, false},
      {"another picture size", {b0, otherSize}, BlockVerdict::Mismatch, 2048, false},
      {"beyond the picture buffer", {beyond}, BlockVerdict::SkipsAhead, 0, false},
      {"every byte stuffed", {stuffed}, BlockVerdict::Ok, 2048, false},
      {"picture size 0", {sizeZero}, BlockVerdict::Ok, 2048, false},
      {"the end announced before the last block", {yuvShort}, BlockVerdict::Ok, 2048, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    PictureAssembly a;
    a.Reset();
    BlockVerdict v = BlockVerdict::Ok;
    for (const auto& spec : r.blocks) {
      Bytes raw = block(spec);
      ASSERT_LE(raw.size(), kBlockBufferSize);
      v = a.ParseBlock(raw.data(), raw.size());
    }
    EXPECT_EQ(v, r.last);
    EXPECT_EQ(a.received(), r.received);
    EXPECT_EQ(a.Complete(), r.complete);
  }
  EXPECT_EQ(block(stuffed).size(), 5 + 17 + 2 + 4096 + 4u);
}

TEST(Sptp, AFailedBlockNeverChangesTheBytesAlreadyReceived) {
  PictureAssembly a;
  a.Reset();
  BlockSpec b0, b1;
  b1.number = 1;
  b1.fill = 0x20;
  Bytes r0 = block(b0), r1 = block(b1);
  ASSERT_EQ(a.ParseBlock(r0.data(), r0.size()), BlockVerdict::Ok);
  ASSERT_EQ(a.ParseBlock(r1.data(), r1.size()), BlockVerdict::Ok);
  Bytes before(a.picture().begin(), a.picture().begin() + 4096);
  BlockSpec again = b0;
  again.fill = 0x77;
  again.payload = 1500;  // block 0 sent again, but cut short
  Bytes bad = block(again);
  EXPECT_EQ(a.ParseBlock(bad.data(), bad.size()), BlockVerdict::BadLength);
  EXPECT_EQ(Bytes(a.picture().begin(), a.picture().begin() + 4096), before);
  EXPECT_EQ(a.received(), 2u * 2048);
}

TEST(Sptp, WholeBlockFrameIsSeenWhenItsLastByteIsIn) {
  BlockSpec dv;
  dv.type = 0x40;
  dv.size = 1920;
  dv.payload = 1920;
  dv.end = 0x17;
  for (const BlockSpec& s : {BlockSpec{}, dv}) {
    Bytes raw = block(s);
    EXPECT_TRUE(WholeBlockFrame(raw.data(), raw.size()));
    EXPECT_FALSE(WholeBlockFrame(raw.data(), raw.size() - 1)) << "the last tail byte is still to come";
    EXPECT_FALSE(WholeBlockFrame(raw.data(), raw.size() - 600)) << "cut inside the payload";
    Bytes longer = raw;
    longer.insert(longer.begin() + 100, 0x42);
    EXPECT_FALSE(WholeBlockFrame(longer.data(), longer.size())) << "a payload byte too many";
  }
}
