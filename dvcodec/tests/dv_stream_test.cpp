// DV packet streams (input form 1) and rings, with frames made by ffmpeg: the picture of a
// whole frame in a stream or a ring is the plain frame's picture, byte for byte; a stream
// without a whole frame gives -1.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "dv_test_support.h"
#include "platform/testsupport/testsupport.h"
#include "zeb_dv32.h"

namespace {

using dvtest::cipPackets;
using dvtest::joinPackets;

struct Frames {
  int system;
  std::vector<std::string> frames;
  std::vector<std::vector<uint8_t>> pictures;  // each frame's picture from the plain frame
};

// Three frames of a moving test picture and their plain decodes.
const Frames& framesOf(int system) {
  static Frames cache[2] = {{525, {}, {}}, {625, {}, {}}};
  Frames& f = cache[system == 625];
  if (f.frames.empty()) {
    f.frames = dvtest::encodeFrames(system, "testsrc2", "", false, 3, adtest::testDir());
    for (std::string frame : f.frames) {
      std::vector<uint8_t> out;
      EXPECT_EQ(dvtest::decodeInto(system, frame, 720, uint32_t(dvtest::linesOf(system)), 0, DVC_FORM_FRAME, &out), 0);
      f.pictures.push_back(out);
    }
  }
  return f;
}

// Index in `packets` of data packet n (counting data packets only).
size_t dataPacket(const std::vector<std::string>& packets, int n) {
  for (size_t i = 0; i < packets.size(); ++i) {
    if (dvtest::isDataPacket(packets[i]) && n-- == 0) return i;
  }
  return packets.size();
}

TEST(DvStreams, WholeFramesDecodeAsThePlainFrameOtherwiseMinusOne) {
  AD_REQUIRE_TOOL("ffmpeg");
  for (int system : {525, 625}) {
    const Frames& f = framesOf(system);
    const int perFrame = dvtest::sequencesOf(system) * 25;
    const auto packets = cipPackets(system, f.frames);
    struct Case {
      const char* name;
      std::string stream;
      int frame;  // whose picture, or -1 for result -1
    };
    std::vector<Case> cases;
    cases.push_back({"one frame, an empty packet after every 15", joinPackets(cipPackets(system, {f.frames[0]})), 0});
    cases.push_back({"no empty packets", joinPackets(cipPackets(system, {f.frames[0]}, {0, 0, false})), 0});
    cases.push_back({"three frames: the first is taken", joinPackets(packets), 0});
    cases.push_back({"starts in the middle of a frame",
                     joinPackets(packets, dataPacket(packets, perFrame / 2 + 3), dataPacket(packets, 2 * perFrame)), 1});
    cases.push_back({"starts in the middle with no whole frame after",
                     joinPackets(packets, dataPacket(packets, perFrame / 2), dataPacket(packets, perFrame + 40)), -1});
    {
      auto lost = cipPackets(system, {f.frames[0]});
      lost.erase(lost.begin() + long(dataPacket(lost, 100)));
      cases.push_back({"a data packet lost", joinPackets(lost), -1});
    }
    {
      auto lost = cipPackets(system, {f.frames[0]});
      lost.erase(lost.begin() + 15);  // the first empty packet
      cases.push_back({"an empty packet lost", joinPackets(lost), 0});
    }
    {
      std::string cut = joinPackets(cipPackets(system, {f.frames[0]}));
      cut.resize(cut.size() - 10);
      cases.push_back({"the last packet cut short", cut, -1});
    }
    cases.push_back({"the data block count wraps", joinPackets(cipPackets(system, {f.frames[0]}, {15, 200, false})), 0});
    cases.push_back({"bytes before the first packet", std::string(36, '\x5A') + joinPackets(cipPackets(system, {f.frames[0]})), 0});
    if (system == 525) {
      cases.push_back({"the 50/60 bit set", joinPackets(cipPackets(system, {f.frames[0]}, {15, 0, true})), 0});
    }
    {
      auto broken = cipPackets(system, {f.frames[0]});
      broken[dataPacket(broken, 120) - 1][1] = 0x77;  // the header before data packet 120
      cases.push_back({"a broken header after the frame start", joinPackets(broken), -1});
    }
    for (Case& c : cases) {
      std::vector<uint8_t> out;
      const int r = dvtest::decodeInto(system, c.stream, 720, uint32_t(dvtest::linesOf(system)), 0, DVC_FORM_PACKETS,
                                       &out, 0x5A);
      if (c.frame < 0) {
        EXPECT_EQ(r, DVC_ERR_NO_INPUT) << system << ": " << c.name;
      } else {
        EXPECT_EQ(r, 0) << system << ": " << c.name;
        EXPECT_TRUE(out == f.pictures[size_t(c.frame)]) << system << ": " << c.name;
      }
    }
  }
}

// A producer thread writes packets into a ring as they "arrive", one packet a slot,
// waiting while the ring is full; the decoder takes frames out as they are whole. Every
// call into the ring or the decoder holds the one lock, as the library asks.
TEST(DvStreams, RingFedByAProducerThreadGivesEveryFrame) {
  AD_REQUIRE_TOOL("ffmpeg");
  for (int system : {525, 625}) {
    const Frames& f = framesOf(system);
    const int perFrame = dvtest::sequencesOf(system) * 25;
    // The stream starts inside a frame before the three.
    const auto all = cipPackets(system, {f.frames[2], f.frames[0], f.frames[1], f.frames[2]});
    const std::vector<std::string> packets(all.begin() + long(dataPacket(all, perFrame - 30)), all.end());
    const uint32_t frameBytes = uint32_t(dvtest::sequencesOf(system)) * 25 * 488 + 17 * 8;

    // Room for two frames; the low mark keeps everything (a lower one drops the oldest
    // frames when the decoder falls behind).
    const uint32_t slots = 2 * frameBytes / 488 + 20;
    DvRingBuffer* ring = DvcNewRingBuffer(488, slots, 488 * slots);
    ASSERT_NE(ring, nullptr);
    DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
    DvcAddRingBuffer(d, ring);

    std::mutex lock;
    std::condition_variable changed;
    size_t written = 0;  // packets committed
    bool done = false;
    std::thread producer([&] {
      for (const std::string& packet : packets) {
        std::unique_lock<std::mutex> hold(lock);
        uint8_t* slot = nullptr;
        uint32_t size = 0;
        changed.wait(hold, [&] { return (slot = DvcGetNextRingBuffer(ring, &size)) != nullptr; });
        ASSERT_EQ(size, 488u);
        std::memcpy(slot, packet.data(), packet.size());
        DvcUpdateRingBuffer(ring, uint32_t(packet.size()));
        ++written;
        changed.notify_all();
      }
      std::lock_guard<std::mutex> hold(lock);
      done = true;
      changed.notify_all();
    });

    std::vector<std::vector<uint8_t>> pictures;
    const uint32_t h = uint32_t(dvtest::linesOf(system));
    size_t seen = 0;
    for (;;) {
      std::unique_lock<std::mutex> hold(lock);
      changed.wait(hold, [&] { return written != seen || done; });
      seen = written;
      std::vector<uint8_t> out(dvtest::strideOf(720) * h);
      DvcDibFormat fmt = {720, h, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
      const int r = DvcDecode(d, nullptr, 0, out.data(), nullptr, &fmt);  // the ring is the source
      if (r == 0) pictures.push_back(out);
      changed.notify_all();  // room in the ring
      if (r != 0 && done) break;
    }
    producer.join();
    DvcCloseDecoder(d);
    DvcFreeRingBuffer(ring);

    ASSERT_EQ(pictures.size(), 3u) << system;
    EXPECT_TRUE(pictures[0] == f.pictures[0]) << system;
    EXPECT_TRUE(pictures[1] == f.pictures[1]) << system;
    EXPECT_TRUE(pictures[2] == f.pictures[2]) << system;
  }
}

}  // namespace
