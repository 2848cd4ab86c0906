// Finding the video blocks of one frame in a stream of IEEE 1394 DV packets: each packet
// an 8-byte CIP header (two quadlets, byte 0 first) followed by one data block of 480
// bytes (six DIF blocks) or by nothing (an empty packet). The frame starts at the data
// packet whose first DIF block is the header block of sequence 0; from there each
// sequence is 25 data packets, the first carrying the header, subcode and VAUX blocks,
// the others groups of one audio and fifteen video blocks. Every read is checked against
// the bytes there are.
#pragma once

#include <cstdint>

#include "dv_frame.h"
#include "dv_ring.h"

namespace zebdv {

inline constexpr uint32_t kCipHeaderBytes = 8;
inline constexpr uint32_t kPacketDataBytes = 480;

// The tests of the header's first quadlet (EOH 00, DBS 0x78, FN, QPC and SPH 0) and of its
// second (EOH 10 and FMT 0, STYPE 0; the 50/60 bit is not compared).
inline bool isCipFirstQuadlet(const uint8_t* q) { return (q[0] & 0xC0) == 0 && q[1] == 0x78 && (q[2] & 0xFC) == 0; }
inline bool isCipSecondQuadlet(const uint8_t* q) { return q[0] == 0x80 && (q[1] & 0x7C) == 0; }
// The DIF block ID of the header block of sequence 0.
inline bool isFrameStartId(const uint8_t* id) { return (id[0] & 0xE0) == 0 && (id[1] & 0xF8) == 0 && id[2] == 0; }

// Form 1: the packets in the caller's buffer of `length` bytes. The table points into
// the buffer. 0, or -1 when no whole frame is there.
DvcResult locateBlocksInStream(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table);

// An attached ring: trims it to its low mark, drops the bytes before the next frame
// start and, when the whole frame is there, copies its video blocks to `frame` (the
// table points there) and drops the frame from the ring. -1 when no whole frame is there
// yet (a frame that has begun stays in the ring), or when the packets after the frame
// start are broken (the start is dropped so that the next search goes past it). A frame
// is whole when all its data packets are there, however many empty packets it carries.
DvcResult locateBlocksInRing(DvRingBuffer* ring, int sequences, uint8_t* frame, VideoBlocks* table);

// Bytes of the copy that locateBlocksInRing makes.
inline constexpr uint32_t kRingFrameCopyBytes = kMaxSequences * kVideoBlocksPerSequence * kDifBlockBytes;

}  // namespace zebdv
