// The DV frame rebuild, the time-code pack and the capture file heads.
#include <cstring>

#include "capture/dv_rebuild.h"
#include "capture/varn_cpt.h"
#include "platform/testsupport/testsupport.h"
#include "scripted_port.h"
#include "testkit.h"

using namespace capture;
using Bytes = std::vector<uint8_t>;

namespace {

// A standard frame whose every byte outside the block IDs says where it came from.
Bytes numberedFrame(int n) {
  Bytes f(size_t(n) * 12000);
  for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t((i * 13 + i / 80) & 0xFF);
  return f;
}

// The received picture of a layout, made by putting the frame's blocks where the layout
// carries them (fillers 0xEE).
Bytes encode(const Bytes& frame, uint8_t layout) {
  Bytes p;
  auto blk = [&](const uint8_t* seq, size_t b) { p.insert(p.end(), seq + b * 80, seq + b * 80 + 80); };
  auto filler = [&] { p.insert(p.end(), 80, 0xEE); };
  for (size_t s = 0; s < frame.size() / 12000; ++s) {
    const uint8_t* seq = frame.data() + s * 12000;
    if (layout == 0x70) {
      for (size_t k = 0; k < 135; ++k) blk(seq, 7 + k + k / 15);
      for (size_t b : {3, 4, 5, 1, 2}) blk(seq, b);
      for (int i = 0; i < 4; ++i) filler();
      continue;
    }
    for (size_t b = 0; b < 6; ++b) blk(seq, b);
    for (size_t g = 0; g < 9; ++g) {
      size_t a = 6 + 16 * g;
      auto video = [&](size_t from) {
        for (size_t k = 0; k < 5; ++k) blk(seq, a + from + k);
      };
      if (layout == 0x40) {
        video(1), blk(seq, a), video(6), filler(), video(11), filler();
      } else {
        blk(seq, a), video(1), filler(), video(6), filler(), video(11);
      }
    }
  }
  return p;
}

const std::array<uint8_t, 5> kPack{0x13, 0xD7, 0x82, 0x80, 0xC1};

}  // namespace

TEST(Rebuild, EachLayoutGivesTheStandardFrame) {
  for (int n : {10, 12}) {
    for (uint8_t layout : {uint8_t(0x40), uint8_t(0x60), uint8_t(0x70)}) {
      SCOPED_TRACE(std::to_string(n) + " sequences, layout " + std::to_string(layout));
      Bytes frame = numberedFrame(n);
      Bytes picture = encode(frame, layout);
      uint32_t received = uint32_t(picture.size());
      Bytes out(kDvFrameBufferSize);
      ASSERT_EQ(MakeDvFrame(picture.data(), received, layout, kPack, out.data()), n);
      std::string want = captest::ExpectedDvf(frame, layout, kPack);
      std::string got = DvfHead(n);
      for (int s = 0; s < n; ++s) got.append(reinterpret_cast<const char*>(out.data()) + s * 12000 + 80, 11920);
      EXPECT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want);
      if (layout == 0x70) {
        EXPECT_EQ(received, uint32_t(n) * 12000);
      }
    }
  }
}

TEST(Rebuild, SequenceCountsAndShortPictures) {
  struct Row {
    uint8_t type;
    uint32_t received;
    int sequences;
    uint32_t receivedAfter;
  } rows[] = {
      {0x40, 138240, 10, 138240},  // 72 blocks of 1920: ten sequences
      {0x60, 161280, 12, 161280},
      {0x70, 138240, 12, 144000},  // counts as twelve sequences, received becomes 144000
      {0x70, 115200, 10, 120000},
      {0x50, 134400, 0, 134400},   // DV bit, but no such layout
      {0x00, 134400, 0, 134400},
      {0x40, 134399, 0, 134399},   // one byte short of ten sequences
      {0x40, 141120, 0, 141120},   // above 140000 but short of twelve sequences
      {0x70, 130000, 0, 130000},
  };
  Bytes picture(kPictureBufferSize, 0x33);
  Bytes out(kDvFrameBufferSize);
  for (const auto& r : rows) {
    uint32_t received = r.received;
    EXPECT_EQ(MakeDvFrame(picture.data(), received, r.type, kPack, out.data()), r.sequences)
        << int(r.type) << " " << r.received;
    EXPECT_EQ(received, r.receivedAfter);
  }
}

TEST(Rebuild, Layout60PutsThePackInBothSubcodeBlocks) {
  Bytes frame = numberedFrame(10);
  Bytes picture = encode(frame, 0x60);
  uint32_t received = uint32_t(picture.size());
  Bytes out(kDvFrameBufferSize);
  ASSERT_EQ(MakeDvFrame(picture.data(), received, 0x60, kPack, out.data()), 10);
  for (int s = 0; s < 10; ++s) {
    for (int b = 1; b <= 2; ++b) {
      const uint8_t* sub = out.data() + s * 12000 + b * 80;
      EXPECT_EQ(std::memcmp(sub + 30, kPack.data(), 5), 0);
      EXPECT_EQ(std::memcmp(sub + 38, kPack.data(), 5) == 0, s < 5) << "sequence " << s;
      EXPECT_EQ(std::memcmp(sub + 46, kPack.data(), 5) == 0, s < 5);
    }
  }
  EXPECT_EQ(out[3 * 12000 + (7 + 17 + 1) * 80 + 0], 0x9F);
  EXPECT_EQ(out[3 * 12000 + (7 + 17 + 1) * 80 + 1], 0x37);
  EXPECT_EQ(out[3 * 12000 + (7 + 17 + 1) * 80 + 2], 17) << "video block 17 of sequence 3";
}

TEST(Rebuild, FileHeads) {
  const uint8_t sd5[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x35, 0x00, 0x00, 0x01, 0xD1, 0xC0,
                           0x00, 0x01, 0xD1, 0xA0, 0x00, 0x00, 0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t sd6[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x36, 0x00, 0x00, 0x02, 0x2E, 0xE0,
                           0x00, 0x02, 0x2E, 0xC0, 0x00, 0x00, 0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(DvfHead(10), std::string(reinterpret_cast<const char*>(sd5), 32));
  EXPECT_EQ(DvfHead(12), std::string(reinterpret_cast<const char*>(sd6), 32));
  EXPECT_EQ(YuvHead(518400, 720, 480), std::string("YUV0\x00\xE9\x07\x00\xD0\x02\x00\x00\xE0\x01\x00\x00", 16));
}

TEST(Rebuild, TimeCodePack) {
  struct Row {
    int32_t position;
    uint8_t mode;
    uint32_t rate;
    std::array<uint8_t, 5> pack;
  } rows[] = {
      {90061, 6, 25, {0x13, 0xD7, 0x82, 0x80, 0xC1}},   // play: six frames on, 01:00:02:17
      {107999, 1, 30, {0x13, 0xE9, 0xD9, 0xD9, 0xC0}},  // 00:59:59:29
      {0, 6, 30, {0x13, 0xC6, 0x80, 0x80, 0xC0}},
      {-100, 5, 30, {0x13, 0xC0, 0x80, 0x80, 0xC0}},    // before the tape's zero: zero
      {30 * 3600 * 25 + 1, 5, 30, {0x13, 0xC1, 0x80, 0x80, 0xC1}},  // 25 hours wrap to 1
  };
  platform::ManualClock clock;
  captest::ScriptedPort port(clock);
  CVarnIO io(port, clock, {});
  VarnCpt cpt(io);
  for (const auto& r : rows) {
    cpt.settings().tape = {r.position, r.mode, r.rate};
    cpt.MakeTimeCodePack();
    EXPECT_EQ(cpt.timeCodePack(), r.pack) << r.position;
  }
}
