// The ring buffer behind a DvRingBuffer handle: a producer writes IEEE 1394 DV packets
// into slots of a fixed size and commits what it wrote; a decoder attached to the ring
// takes whole frames out of it.
//
// The producer takes a slot, writes into it and commits the bytes written; commits go to
// the slots in the order they were handed out. A commit larger than its slot counts as
// the slot's size. Where a slot is only partly filled and no later slot is out, the rest
// of it goes back to the ring, so the next slot continues the data; where later slots
// are already out, the unused rest is a gap that the reader steps over. The reader sees
// exactly the committed bytes, in order, wherever they lie. A full ring hands out no slot.
//
// Nothing is synchronised: a producer on another thread and the decoder need the caller's
// lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zeb_dv32.h"

struct DvRingBuffer {
  struct Run {
    uint32_t from, to;  // committed bytes not yet read, [from, to) in the ring
  };
  uint32_t unit = 0;     // slot size
  uint32_t count = 0;    // slots in the ring
  uint32_t total = 0;    // unit x count
  uint32_t lowMark = 0;  // the most bytes a trim leaves
  uint8_t* data = nullptr;
  // Slots handed out and not yet committed, oldest first (a circular list of `count`).
  uint32_t* slots = nullptr;
  uint32_t slotHead = 0, slotCount = 0;
  // Committed runs not yet read, oldest first (a circular list of count + 2).
  Run* runs = nullptr;
  uint32_t runHead = 0, runCount = 0;
  uint32_t next = 0;    // where the next slot starts, unless it must go back to the start
  uint32_t filled = 0;  // committed bytes not yet read
};

namespace zebdv {

// The largest ring: 256 MiB of data, and at most 2^20 slots.
inline constexpr uint64_t kMaxRingBytes = uint64_t(256) << 20;
inline constexpr uint32_t kMaxRingSlots = 1u << 20;

// NULL for a unit or count of 0, a ring above the limits, or no memory.
DvRingBuffer* ringCreate(uint32_t unit, uint32_t count, uint32_t lowMark);
void ringFree(DvRingBuffer* ring);
void ringReset(DvRingBuffer* ring);

// The next free slot of `unit` bytes (its size to *size), or NULL (and 0) when the ring
// has no room for one.
uint8_t* ringNextSlot(DvRingBuffer* ring, uint32_t* size);
// Commits `bytes` written into the oldest slot handed out (nothing when none is out).
void ringCommit(DvRingBuffer* ring, uint32_t bytes);

// The reader's side: the committed bytes as one sequence from the read position.
inline uint32_t ringReadable(const DvRingBuffer* ring) { return ring->filled; }
// Copies n readable bytes from `offset` on (offset + n <= readable).
void ringCopy(const DvRingBuffer* ring, uint32_t offset, uint32_t n, uint8_t* out);
// Drops n bytes from the read position (n <= readable).
void ringConsume(DvRingBuffer* ring, uint32_t n);
// Drops the oldest bytes so that at most the low mark is left.
void ringTrim(DvRingBuffer* ring);

}  // namespace zebdv
