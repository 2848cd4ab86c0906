// The ring's accounting: slots handed out and committed, partly filled and oversized
// commits, gaps, the wrap at the end, the trim; and what the locating step leaves in it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dv_packets.h"
#include "dv_ring.h"
#include "dv_test_support.h"

namespace {

using namespace zebdv;

struct Ring {
  DvRingBuffer* r;
  Ring(uint32_t unit, uint32_t count, uint32_t lowMark) : r(ringCreate(unit, count, lowMark)) {}
  ~Ring() { ringFree(r); }
  // Everything the reader can read, in order.
  std::string readable() const {
    std::string out(ringReadable(r), '\0');
    ringCopy(r, 0, uint32_t(out.size()), reinterpret_cast<uint8_t*>(out.data()));
    return out;
  }
};

std::string pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(seed + i * 7);
  return s;
}

TEST(DvRing, CreationLimits) {
  EXPECT_EQ(ringCreate(0, 4, 0), nullptr);
  EXPECT_EQ(ringCreate(488, 0, 0), nullptr);
  EXPECT_EQ(ringCreate(1u << 20, 257, 0), nullptr);  // above 256 MiB
  EXPECT_EQ(ringCreate(1, kMaxRingSlots + 1, 0), nullptr);
  Ring ok(488, 4, 0);
  EXPECT_NE(ok.r, nullptr);
  uint32_t size = 7;
  EXPECT_EQ(ringNextSlot(nullptr, &size), nullptr);
  EXPECT_EQ(size, 0u);
  ringCommit(nullptr, 8);
  ringFree(nullptr);
}

TEST(DvRing, FourSlotsThenFullUntilRead) {
  Ring ring(488, 4, 100000);
  uint8_t* slots[4];
  for (int i = 0; i < 4; ++i) {
    uint32_t size = 0;
    slots[i] = ringNextSlot(ring.r, &size);
    ASSERT_NE(slots[i], nullptr);
    EXPECT_EQ(size, 488u);
    if (i) {
      EXPECT_EQ(slots[i], slots[i - 1] + 488);
    }
  }
  uint32_t size = 7;
  EXPECT_EQ(ringNextSlot(ring.r, &size), nullptr);
  EXPECT_EQ(size, 0u);
  for (int i = 0; i < 4; ++i) {
    std::memcpy(slots[i], pattern(488, char(i)).data(), 488);
    ringCommit(ring.r, 488);
  }
  EXPECT_EQ(ringNextSlot(ring.r, nullptr), nullptr);
  ringConsume(ring.r, 487);
  EXPECT_EQ(ringNextSlot(ring.r, nullptr), nullptr);  // one byte short of a slot
  ringConsume(ring.r, 1);
  EXPECT_EQ(ringNextSlot(ring.r, nullptr), slots[0]);
  EXPECT_EQ(ring.readable(), pattern(488, 1) + pattern(488, 2) + pattern(488, 3));
}

// Commits of every size, one slot out at a time: the reader sees exactly the bytes
// committed, and partly filled slots give their rest back, so a ring of four 488-byte
// slots takes 184 empty packets of 8 bytes (until fewer than a slot's 488 bytes are
// left), not four.
TEST(DvRing, PartlyFilledAndOversizedSlotsKeepTheBytesInOrder) {
  Ring ring(488, 4, 100000);
  std::string expected;
  int packets = 0;
  for (uint8_t* slot; (slot = ringNextSlot(ring.r, nullptr)) != nullptr; ++packets) {
    const std::string packet = pattern(8, char(packets));
    std::memcpy(slot, packet.data(), 8);
    ringCommit(ring.r, 8);
    expected += packet;
  }
  EXPECT_EQ(packets, (1952 - 488) / 8 + 1);
  EXPECT_EQ(ring.readable(), expected);

  // A commit larger than its slot counts as the slot.
  ringConsume(ring.r, ringReadable(ring.r));
  uint8_t* slot = ringNextSlot(ring.r, nullptr);
  std::memcpy(slot, pattern(488, 9).data(), 488);
  ringCommit(ring.r, 5000);
  EXPECT_EQ(ring.readable(), pattern(488, 9));
  ringCommit(ring.r, 100);  // no slot out: nothing
  EXPECT_EQ(ringReadable(ring.r), 488u);
}

TEST(DvRing, GapsOfSlotsOutTogetherAndTheWrapAreSteppedOver) {
  Ring ring(100, 5, 100000);
  // Two slots out at once; the first is filled by 30 bytes only: its rest is a gap.
  uint8_t* a = ringNextSlot(ring.r, nullptr);
  uint8_t* b = ringNextSlot(ring.r, nullptr);
  std::memcpy(a, pattern(30, 1).data(), 30);
  std::memcpy(b, pattern(100, 2).data(), 100);
  ringCommit(ring.r, 30);
  ringCommit(ring.r, 100);
  // Then slots of 90 bytes each: at 200, 290, 380; the next does not fit before the end
  // (470 + 100 > 500) and goes back to the start once the start has been read.
  std::string expected = pattern(30, 1) + pattern(100, 2);
  for (int i = 0; i < 3; ++i) {
    uint8_t* s = ringNextSlot(ring.r, nullptr);
    ASSERT_NE(s, nullptr);
    std::memcpy(s, pattern(90, char(3 + i)).data(), 90);
    ringCommit(ring.r, 90);
    expected += pattern(90, char(3 + i));
  }
  EXPECT_EQ(ring.readable(), expected);
  EXPECT_EQ(ringNextSlot(ring.r, nullptr), nullptr);  // the start is still unread
  ringConsume(ring.r, 29);
  EXPECT_EQ(ringNextSlot(ring.r, nullptr), nullptr);  // byte 29 still unread
  ringConsume(ring.r, 1);
  uint8_t* wrapped = ringNextSlot(ring.r, nullptr);
  EXPECT_EQ(wrapped, a);
  std::memcpy(wrapped, pattern(40, 7).data(), 40);
  ringCommit(ring.r, 40);
  EXPECT_EQ(ring.readable(), expected.substr(30) + pattern(40, 7));
  // Reading across the gap and the wrap.
  std::string part(20, '\0');
  ringCopy(ring.r, 365, 20, reinterpret_cast<uint8_t*>(part.data()));
  EXPECT_EQ(part, (expected.substr(30) + pattern(40, 7)).substr(365, 20));
}

TEST(DvRing, TrimKeepsTheNewestLowMarkBytes) {
  Ring ring(1000, 2, 600);
  uint8_t* slot = ringNextSlot(ring.r, nullptr);
  std::memcpy(slot, pattern(1000, 3).data(), 1000);
  ringCommit(ring.r, 1000);
  ringTrim(ring.r);
  EXPECT_EQ(ring.readable(), pattern(1000, 3).substr(400));
  ringTrim(ring.r);
  EXPECT_EQ(ringReadable(ring.r), 600u);
}

TEST(DvRing, LocatingDropsWhatPrecedesTheFrameStartAndWaitsForTheWholeFrame) {
  std::string frame = dvtest::randomFrame(525, 5);
  frame[0] = 0x1F;  // the DIF ID of the header block of sequence 0
  frame[1] = 0x07;
  frame[2] = 0x00;
  auto packets = dvtest::cipPackets(525, {frame, frame});
  // Begin 40 packets into the first frame; the second is whole.
  packets.erase(packets.begin(), packets.begin() + 40);
  const std::string stream = dvtest::joinPackets(packets);
  size_t start = 0;  // the second frame's start: the data packet of the header block of sequence 0
  for (size_t at = 0, i = 0; i < packets.size(); at += packets[i].size(), ++i) {
    if (packets[i].size() > 8 && packets[i][8] == frame[0] && std::memcmp(packets[i].data() + 8, frame.data(), 480) == 0) {
      start = at;
      break;
    }
  }
  ASSERT_GT(start, 0u);
  const uint32_t whole = 250 * 488;  // the data packets of a frame

  Ring ring(488, 600, 600 * 488);
  auto push = [&](size_t from, size_t to) {
    for (size_t at = from; at < to;) {
      const size_t n = std::min<size_t>(488, to - at);
      uint8_t* slot = ringNextSlot(ring.r, nullptr);
      ASSERT_NE(slot, nullptr);
      std::memcpy(slot, stream.data() + at, n);
      ringCommit(ring.r, uint32_t(n));
      at += n;
    }
  };
  std::vector<uint8_t> copy(kRingFrameCopyBytes);
  VideoBlocks table;
  // Everything up to one byte short of the frame's data: -1, the bytes before the frame
  // start gone, the frame kept.
  push(0, start + whole - 1);
  EXPECT_EQ(locateBlocksInRing(ring.r, 10, copy.data(), &table), DVC_ERR_NO_INPUT);
  EXPECT_EQ(ring.readable(), stream.substr(start, whole - 1));
  // The rest of the frame (with its empty packets): the frame is taken.
  push(start + whole - 1, stream.size());
  ASSERT_EQ(locateBlocksInRing(ring.r, 10, copy.data(), &table), 0);
  EXPECT_EQ(ringReadable(ring.r), 0u);
  EXPECT_EQ(0, std::memcmp(table.block[3][3][0], frame.data() + videoBlockOffsetInFrame(3, 15), 80));
  EXPECT_EQ(0, std::memcmp(table.block[9][26][4], frame.data() + videoBlockOffsetInFrame(9, 134), 80));
  // Bytes that hold no packet header go (all but a last few that may begin one), and -1.
  uint8_t* slot = ringNextSlot(ring.r, nullptr);
  std::memset(slot, 0x5A, 200);
  ringCommit(ring.r, 200);
  EXPECT_EQ(locateBlocksInRing(ring.r, 10, copy.data(), &table), DVC_ERR_NO_INPUT);
  EXPECT_EQ(ringReadable(ring.r), 8u);
}

}  // namespace
