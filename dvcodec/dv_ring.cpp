#include "dv_ring.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace zebdv {

namespace {

uint32_t runCapacity(const DvRingBuffer* r) { return r->count + 2; }
DvRingBuffer::Run& runAt(DvRingBuffer* r, uint32_t i) { return r->runs[(r->runHead + i) % runCapacity(r)]; }
const DvRingBuffer::Run& runAt(const DvRingBuffer* r, uint32_t i) { return r->runs[(r->runHead + i) % runCapacity(r)]; }

bool isEmpty(const DvRingBuffer* r) { return r->runCount == 0 && r->slotCount == 0; }

// The oldest byte still needed: the first unread byte, else the oldest slot out.
uint32_t oldest(const DvRingBuffer* r) { return r->runCount ? runAt(r, 0).from : r->slots[r->slotHead]; }

}  // namespace

DvRingBuffer* ringCreate(uint32_t unit, uint32_t count, uint32_t lowMark) {
  if (unit == 0 || count == 0 || count > kMaxRingSlots || uint64_t(unit) * count > kMaxRingBytes) return nullptr;
  DvRingBuffer* r = new (std::nothrow) DvRingBuffer;
  if (!r) return nullptr;
  r->unit = unit;
  r->count = count;
  r->total = unit * count;
  r->lowMark = lowMark;
  r->data = static_cast<uint8_t*>(std::malloc(r->total));
  r->slots = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * count));
  r->runs = static_cast<DvRingBuffer::Run*>(std::malloc(sizeof(DvRingBuffer::Run) * (size_t(count) + 2)));
  if (!r->data || !r->slots || !r->runs) {
    ringFree(r);
    return nullptr;
  }
  ringReset(r);
  return r;
}

void ringFree(DvRingBuffer* ring) {
  if (!ring) return;
  std::free(ring->data);
  std::free(ring->slots);
  std::free(ring->runs);
  delete ring;
}

void ringReset(DvRingBuffer* ring) {
  ring->slotHead = ring->slotCount = 0;
  ring->runHead = ring->runCount = 0;
  ring->next = 0;
  ring->filled = 0;
}

uint8_t* ringNextSlot(DvRingBuffer* ring, uint32_t* size) {
  if (size) *size = 0;
  if (!ring) return nullptr;
  if (isEmpty(ring)) ring->next = 0;  // nothing is held: start again at the beginning
  // The slot goes at `next`, or back at the start when fewer than a unit lie before the
  // end (the tail is then skipped). It must lie in the free part of the ring, from `next`
  // round to the oldest byte still needed.
  const bool wrap = ring->total - ring->next < ring->unit;
  uint32_t at = wrap ? 0 : ring->next;
  if (!isEmpty(ring)) {
    const uint32_t o = oldest(ring);
    bool fits;
    if (ring->next > o) {
      fits = !wrap || ring->unit <= o;  // free: next .. end and start .. oldest
    } else if (ring->next < o) {
      fits = !wrap && ring->next + ring->unit <= o;  // free: next .. oldest
    } else {
      fits = false;  // full round
    }
    if (!fits) return nullptr;
  }
  ring->slots[(ring->slotHead + ring->slotCount) % ring->count] = at;
  ++ring->slotCount;
  ring->next = at + ring->unit;
  if (size) *size = ring->unit;
  return ring->data + at;
}

void ringCommit(DvRingBuffer* ring, uint32_t bytes) {
  if (!ring || ring->slotCount == 0) return;  // nothing was handed out to write into
  const uint32_t at = ring->slots[ring->slotHead];
  ring->slotHead = (ring->slotHead + 1) % ring->count;
  --ring->slotCount;
  const uint32_t n = bytes < ring->unit ? bytes : ring->unit;
  if (n) {
    if (ring->runCount && runAt(ring, ring->runCount - 1).to == at) {
      runAt(ring, ring->runCount - 1).to += n;
    } else {
      runAt(ring, ring->runCount) = DvRingBuffer::Run{at, at + n};
      ++ring->runCount;
    }
    ring->filled += n;
  }
  // With no later slot out, the unused rest of this one goes back to the ring.
  if (ring->slotCount == 0) ring->next = at + n;
}

void ringCopy(const DvRingBuffer* ring, uint32_t offset, uint32_t n, uint8_t* out) {
  for (uint32_t i = 0; i < ring->runCount && n; ++i) {
    const DvRingBuffer::Run& run = runAt(ring, i);
    const uint32_t length = run.to - run.from;
    if (offset >= length) {
      offset -= length;
      continue;
    }
    const uint32_t take = length - offset < n ? length - offset : n;
    std::memcpy(out, ring->data + run.from + offset, take);
    out += take;
    n -= take;
    offset = 0;
  }
}

void ringConsume(DvRingBuffer* ring, uint32_t n) {
  if (n > ring->filled) n = ring->filled;
  ring->filled -= n;
  while (n && ring->runCount) {
    DvRingBuffer::Run& run = runAt(ring, 0);
    const uint32_t take = run.to - run.from < n ? run.to - run.from : n;
    run.from += take;
    n -= take;
    if (run.from == run.to) {
      ring->runHead = (ring->runHead + 1) % runCapacity(ring);
      --ring->runCount;
    }
  }
}

void ringTrim(DvRingBuffer* ring) {
  if (ring->filled > ring->lowMark) ringConsume(ring, ring->filled - ring->lowMark);
}

}  // namespace zebdv
