#include "dv_packets.h"

#include <cstring>

namespace zebdv {

namespace {

// The caller's buffer: the video blocks are read where they lie.
struct BufferBytes {
  const uint8_t* data;
  uint32_t length;
  uint32_t size() const { return length; }
  void read(uint32_t offset, uint32_t n, uint8_t* out) const { std::memcpy(out, data + offset, n); }
  const uint8_t* videoBlock(uint32_t offset, int, int) const { return data + offset; }
};

// The readable bytes of a ring, which may lie in several runs: the video blocks are
// copied out, so that none needs to lie whole in one run and the producer may go on
// writing once the frame has been taken.
struct RingBytes {
  const DvRingBuffer* ring;
  uint8_t* frame;
  // The run that held the last read, and the offset of its first byte.
  mutable uint32_t run = 0, runOffset = 0;

  uint32_t size() const { return ring->filled; }
  void read(uint32_t offset, uint32_t n, uint8_t* out) const {
    const uint32_t capacity = ring->count + 2;
    if (offset < runOffset) run = runOffset = 0;
    while (n) {
      const DvRingBuffer::Run& r = ring->runs[(ring->runHead + run) % capacity];
      const uint32_t length = r.to - r.from;
      if (offset >= runOffset + length) {
        runOffset += length;
        ++run;
        continue;
      }
      const uint32_t within = offset - runOffset;
      const uint32_t take = length - within < n ? length - within : n;
      std::memcpy(out, ring->data + r.from + within, take);
      out += take;
      offset += take;
      n -= take;
    }
  }
  const uint8_t* videoBlock(uint32_t offset, int s, int k) const {
    uint8_t* to = frame + (size_t(s) * kVideoBlocksPerSequence + size_t(k)) * kDifBlockBytes;
    read(offset, kDifBlockBytes, to);
    return to;
  }
};

struct Search {
  bool found;
  uint32_t header;   // the frame start's CIP header
  uint32_t settled;  // without a frame start: the bytes that cannot begin one
};

// Scans quadlet by quadlet for CIP headers: a header followed by another header's first
// quadlet is an empty packet, any other carries data, and a data packet whose first DIF
// block is the header block of sequence 0 starts the frame. Other data packets are
// stepped over whole.
template <typename Bytes>
Search findFrameStart(const Bytes& bytes) {
  const uint32_t size = bytes.size();
  uint32_t o = 0;
  uint8_t q[12];
  while (o + 12 <= size) {
    bytes.read(o, 12, q);
    if (!isCipFirstQuadlet(q) || !isCipSecondQuadlet(q + 4)) {
      o += 4;
      continue;
    }
    if (isCipFirstQuadlet(q + 8)) {
      o += kCipHeaderBytes;  // an empty packet
      continue;
    }
    if (isFrameStartId(q + 8)) return Search{true, o, 0};
    if (uint64_t(o) + kCipHeaderBytes + kPacketDataBytes > size) break;  // the packet's rest is still to come
    o += kCipHeaderBytes + kPacketDataBytes;
  }
  return Search{false, 0, o};
}

enum class Walk { Complete, Incomplete, Broken };

// Walks the frame's packets from the frame start's header at `header`, filling the table;
// *end receives the offset after the frame's last packet.
template <typename Bytes>
Walk walkFrame(const Bytes& bytes, uint32_t header, int sequences, VideoBlocks* table, uint32_t* end) {
  const uint64_t size = bytes.size();
  uint8_t h[16];
  bytes.read(header, 4, h);
  uint8_t dbc = h[3];
  uint64_t pos = uint64_t(header) + kCipHeaderBytes;
  int p = 0, q = 0, s = 0, taken = 0;
  for (;;) {
    if (pos + kPacketDataBytes > size) return Walk::Incomplete;
    if (p > 0) {
      // Six DIF blocks: of each group of sixteen the first is audio, the others video.
      for (int i = 0; i < 6; ++i, q = (q + 1) & 15) {
        if (q == 0) continue;
        table->block[s][taken / 5][taken % 5] = bytes.videoBlock(uint32_t(pos) + kDifBlockBytes * uint32_t(i), s, taken);
        if (++taken == int(kVideoBlocksPerSequence)) {
          taken = 0;
          if (++s == sequences) {
            *end = uint32_t(pos + kPacketDataBytes);
            return Walk::Complete;
          }
        }
      }
    }
    p = p == 24 ? 0 : p + 1;
    pos += kPacketDataBytes;
    // The next data packet, after any empty ones; its DBC continues the last one.
    for (;;) {
      if (pos + 16 > size) return Walk::Incomplete;
      bytes.read(uint32_t(pos), 16, h);
      if (!isCipFirstQuadlet(h) || !isCipSecondQuadlet(h + 4)) return Walk::Broken;
      if (!isCipFirstQuadlet(h + 8) || !isCipSecondQuadlet(h + 12)) break;
      pos += kCipHeaderBytes;
    }
    if (h[3] != uint8_t(dbc + 1)) return Walk::Broken;
    dbc = h[3];
    pos += kCipHeaderBytes;
  }
}

}  // namespace

DvcResult locateBlocksInStream(const uint8_t* source, uint32_t length, int sequences, VideoBlocks* table) {
  const BufferBytes bytes{source, length};
  const Search start = findFrameStart(bytes);
  if (!start.found) return DVC_ERR_NO_INPUT;
  uint32_t end = 0;
  if (walkFrame(bytes, start.header, sequences, table, &end) != Walk::Complete) return DVC_ERR_NO_INPUT;
  return DVC_OK;
}

DvcResult locateBlocksInRing(DvRingBuffer* ring, int sequences, uint8_t* frame, VideoBlocks* table) {
  const uint32_t frameBytes = uint32_t(sequences) * 25 * (kCipHeaderBytes + kPacketDataBytes);
  ringTrim(ring);
  const Search start = findFrameStart(RingBytes{ring, frame});
  // Everything before the frame start goes; without one, everything that cannot begin it.
  ringConsume(ring, start.found ? start.header : start.settled);
  if (!start.found || ringReadable(ring) < frameBytes) return DVC_ERR_NO_INPUT;
  uint32_t end = 0;
  switch (walkFrame(RingBytes{ring, frame}, 0, sequences, table, &end)) {
    case Walk::Complete:
      ringConsume(ring, end);
      return DVC_OK;
    case Walk::Broken:
      ringConsume(ring, kCipHeaderBytes + kPacketDataBytes);  // the next search starts after this frame start
      return DVC_ERR_NO_INPUT;
    default:
      return DVC_ERR_NO_INPUT;  // the frame stays for a later decode
  }
}

}  // namespace zebdv
