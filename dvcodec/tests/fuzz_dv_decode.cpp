// Feeds arbitrary input to DvcDecode: both systems, every input form, every listed size
// (every size level, and some others), every resampling and filter mode; packet streams
// built around the input, and rings fed with arbitrary slot and commit patterns.
//
// Input: byte 0 flags (bit 0: 625/50; bits 1-2: input form; bit 3: repeat the payload to
// the exact length of the form; bit 4: no source; bit 5: wrap the payload, repeated to
// a frame, into CIP packets; bit 6: feed the source through an attached ring; bit 7:
// damage the packets), byte 1 the size, byte 2 the resampling mode (bits 0-2), a second
// decode (bit 3) and the filter (high nibble), byte 3 the packets' shape, byte 4 the
// ring's, then the payload: up to a whole frame (the seeds in fuzz-frames are whole frames
// from an outside encoder).
//
// Most inputs are decoded at the eighth size, whatever size they ask for: see costOf.
//
// Beyond not crashing and not writing past the bitmap, a successful decode of a buffer
// must leave the source unchanged and, asked again, give the same picture a second time.
//
// The environment variable DV_KERNELS=portable or avx2 makes the decoder use that build of
// its inner loops instead of the one the processor would get.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "dv_decoder.h"
#include "dv_kernels.h"
#include "zeb_dv32.h"

namespace {

struct Size {
  uint32_t width, height;
};

// The listed sizes in threes (square pixels, native, wide) for 525 and 625 at each size
// level from the full size down, then others.
constexpr Size kSizes[] = {
    {640, 480}, {720, 480}, {852, 480}, {768, 576}, {720, 576}, {1024, 576}, {320, 240}, {360, 240}, {426, 240},
    {384, 288}, {360, 288}, {512, 288}, {160, 120}, {180, 120}, {213, 120}, {192, 144}, {180, 144}, {256, 144},
    {80, 60},   {90, 60},   {106, 60},  {96, 72},   {90, 72},   {128, 72},  {700, 480}, {123, 100}, {720, 479},
    {1, 1},     {2000, 3},  {16, 1000}, {0, 480},   {720, 0},
};

constexpr size_t kSizeCount = sizeof kSizes / sizeof kSizes[0];
constexpr size_t kFirstEighthSize = 18;

void check(bool ok) {
  if (!ok) std::abort();
}

// out becomes n bytes: the payload over and over (zeros without one).
void repeat(const uint8_t* payload, size_t size, size_t n, std::vector<uint8_t>& out) {
  out.assign(n, 0);
  if (!size || !n) return;
  size_t done = std::min(size, n);
  std::memcpy(out.data(), payload, done);
  while (done < n) {  // doubling copies: a byte loop costs more than the decode it feeds
    const size_t k = std::min(done, n - done);
    std::memcpy(out.data() + done, out.data(), k);
    done += k;
  }
}

// The payload, repeated to one frame, its first DIF block made the frame start, as CIP
// packets: an empty packet after every `emptyEvery` data packets; the stream starts
// `skip` packets in; with `damage`, one data packet is lost or one header broken.
void packetize(const uint8_t* payload, size_t size, int sequences, uint8_t shape, bool damage,
               std::vector<uint8_t>& stream) {
  static std::vector<uint8_t> frame;
  repeat(payload, size, size_t(sequences) * 12000, frame);
  frame[0] = 0x1F;
  frame[1] = 0x07;
  frame[2] = 0x00;
  const int emptyEvery = shape & 15, packets = sequences * 25;
  const int victim = damage ? (shape >> 4) * packets / 16 : -1;
  stream.clear();  // its room is kept from one input to the next
  uint8_t dbc = shape;
  for (int p = 0; p < 2 * packets; ++p) {  // the frame twice: a start inside the first is whole in the second
    if (p == victim) {
      ++dbc;
      continue;  // lost
    }
    const uint8_t header[8] = {0x02, 0x78, 0x00, dbc++, 0x80, uint8_t(sequences == 12 ? 0x80 : 0), 0xFF, 0xFF};
    stream.insert(stream.end(), header, header + 8);
    if (damage && p == victim + 1) stream[stream.size() - 7] = 0x77;  // a broken header
    const uint8_t* data = frame.data() + 480 * size_t(p % packets);
    stream.insert(stream.end(), data, data + 480);
    if (emptyEvery && p % emptyEvery == emptyEvery - 1) {
      const uint8_t empty[8] = {0x02, 0x78, 0x00, dbc, 0x80, 0x00, 0xFF, 0xFF};
      stream.insert(stream.end(), empty, empty + 8);
    }
  }
  const size_t skip = size_t(shape % 7) * 488;
  stream.erase(stream.begin(), stream.begin() + long(skip < stream.size() ? skip : stream.size()));
}

// Feeds `source` through a ring attached to the decoder, decoding whenever the ring is
// full and at the end, with the slot size, low mark and commit pattern from `shape` and
// the payload.
void feedRing(DvDecoder* d, const std::vector<uint8_t>& source, uint8_t shape, const uint8_t* pattern, size_t patternSize,
              const Size& s, uint32_t resample, uint32_t filter) {
  static constexpr uint32_t kUnits[4] = {8, 100, 488, 1000};
  const uint32_t unit = kUnits[shape & 3];
  const uint32_t count = uint32_t(source.size() * 5 / 4 / unit + 4);
  const uint32_t lowMarks[4] = {0, unit * count / 2, unit * count, 0xFFFFFFFFu};
  DvRingBuffer* ring = DvcNewRingBuffer(unit, count, lowMarks[(shape >> 2) & 3]);
  if (!ring) return;
  DvcAddRingBuffer(d, ring);
  const size_t stride = (size_t(s.width) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> out(stride * s.height + 1, 0xA5);
  auto decode = [&] {
    DvcDibFormat f = {s.width, s.height, 1, 24, 1, 1, 0, 0, filter, resample, 0};
    uint32_t written = 0;
    const DvcResult r = DvcDecode(d, nullptr, 0, out.data(), &written, &f);
    check(out.back() == 0xA5);
    check(r != DVC_OK || written == stride * s.height);
    return r;
  };
  size_t at = 0, step = 0;
  int fullInARow = 0;
  while (at < source.size()) {
    const uint8_t p = patternSize ? pattern[step++ % patternSize] : 0;
    uint32_t slotSize = 0;
    uint8_t* slot = DvcGetNextRingBuffer(ring, &slotSize);
    if (!slot) {
      check(slotSize == 0);
      if (++fullInARow == 2) break;  // full, and a decode made no room: no frame fits this ring
      decode();
      continue;
    }
    fullInARow = 0;
    check(slotSize == unit);
    // Commit a whole slot, part of one, more than one (counts as one), or take a second
    // slot first and commit both.
    uint32_t n = (p & 3) == 0 ? unit : ((p & 3) == 1 ? 1 + p % unit : unit + p);
    const uint32_t fill = n < unit ? n : unit;
    const size_t take = source.size() - at < fill ? source.size() - at : fill;
    std::memcpy(slot, source.data() + at, take);
    at += take;
    if ((p & 3) == 3) {
      uint8_t* second = DvcGetNextRingBuffer(ring, nullptr);
      DvcUpdateRingBuffer(ring, uint32_t(take));
      if (second) {
        const size_t more = source.size() - at < unit ? source.size() - at : unit;
        std::memcpy(second, source.data() + at, more);
        at += more;
        DvcUpdateRingBuffer(ring, uint32_t(more));
      }
      continue;
    }
    DvcUpdateRingBuffer(ring, take < fill ? uint32_t(take) : n);
  }
  for (int i = 0; i < 4 && decode() == DVC_OK; ++i) {
  }
  DvcFreeRingBuffer(ring);
}

// One decoder for each system, size level and aspect, and for decoding from a ring or
// not, made at its first use and kept: opening one costs more than many a decode. A
// decoder that always decodes at one size level leaves each input as it found it, so
// an input gives what it gives alone.
DvDecoder* decoderFor(bool pal, bool ring, const Size& s, uint32_t resample) {
  const zebdv::SizeChoice size = zebdv::chooseSize(s.width, s.height, &resample);
  static DvDecoder* decoders[2][2][zebdv::kLevels][2] = {};
  DvDecoder*& d = decoders[pal][ring][size.level][size.wide];
  if (!d) d = DvcOpenDecoder(pal ? DVC_SYSTEM_625 : 0);
  return d;
}

// What decoding an input as its control bytes ask costs, as a power of two of decodes at
// the eighth size (about 0.4 ms each in the fuzz build): the quarter size two, the half
// size four, the full size eight, sixteen with the line average or edge filter and
// thirty-two with a motion filter; a second decode doubles it, and so does a ring, which
// decodes whenever it is full. At most 128: an input whose hash is a multiple of 128 is
// always decoded as asked (the seeds are made so).
uint32_t costOf(const Size& s, uint32_t resample, uint32_t filter, bool again, bool ring) {
  const zebdv::SizeChoice size = zebdv::chooseSize(s.width, s.height, &resample);
  if (!size.accepted || !s.width || !s.height) return 1;  // refused before any decode
  int doublings = 3 - size.level;
  if (size.level == 0 && (filter == 1 || filter == 4)) doublings += 1;
  if (size.level == 0 && (filter == 2 || filter == 3)) doublings += 2;
  return 1u << (doublings + again + ring);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* wanted = std::getenv("DV_KERNELS");
  if (!wanted || !*wanted) return 0;
  const zebdv::Kernels* k = nullptr;
  if (std::strcmp(wanted, "portable") == 0) {
    k = &zebdv::portableKernels();
  } else if (std::strcmp(wanted, "avx2") == 0) {
    k = zebdv::avx2Kernels();
    if (!k) {
      std::fprintf(stderr, "DV_KERNELS=avx2: this processor has no AVX2; the portable kernels run\n");
      k = &zebdv::portableKernels();
    }
  } else {
    std::fprintf(stderr, "DV_KERNELS=%s: not portable or avx2\n", wanted);
    std::abort();
  }
  zebdv::selectKernels(k);
  std::fprintf(stderr, "DV kernels: %s\n", zebdv::kernels().name);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint8_t flags = data[0];
  const size_t sizeIndex = data[1] % kSizeCount;
  Size s = kSizes[sizeIndex];
  const uint32_t resample = data[2] & 7, filter = data[2] >> 4;
  const bool again = (data[2] & 8) != 0;
  // The packet stream, the ring and the frame's every segment and block are read at any
  // size; the pixels of the larger sizes cost up to a hundred times more. An input whose
  // decode costs k times one at the eighth size is decoded as asked for one input in k,
  // chosen by a hash of all its bytes (so that a change anywhere may choose it, and a
  // given input always gets the same), and the others at the eighth size of the same
  // system and aspect: each kind of decode gets about the same share of the time.
  const size_t hash = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
  if (hash & (costOf(s, resample, filter, again, (flags & 64) != 0) - 1)) {
    s = kSizes[kFirstEighthSize + (sizeIndex < kFirstEighthSize + 6 ? sizeIndex % 6 : 0)];
  }
  const int system = (flags & 1) ? 625 : 525;
  const int sequences = system == 625 ? 12 : 10;
  uint32_t form = (flags >> 1) & 3;
  const uint8_t* payload = data + 5;
  const size_t payloadSize = size - 5;

  static std::vector<uint8_t> source;
  if (flags & 32) {
    packetize(payload, payloadSize, sequences, data[3], (flags & 128) != 0, source);
    form = DVC_FORM_PACKETS;
  } else if (flags & 8) {
    repeat(payload, payloadSize, form == DVC_FORM_DVF ? 32 + size_t(sequences) * 11920 : size_t(sequences) * 12000,
           source);
  } else {
    source.assign(payload, payload + payloadSize);
  }

  DvDecoder* d = decoderFor((flags & 1) != 0, (flags & 64) != 0, s, resample);
  if (!d) return 0;
  if (flags & 64) {
    feedRing(d, source, data[4], payload, payloadSize, s, resample, filter);
    return 0;
  }
  // The bitmaps are kept from one input to the next: making them anew costs more than
  // many a decode.
  static std::vector<uint8_t> original, first, second;
  original = source;
  const size_t stride = (size_t(s.width) * 3 + 3) / 4 * 4;
  first.assign(stride * s.height + 1, 0xA5);
  uint8_t* src = (flags & 16) ? nullptr : source.data();
  DvcDibFormat f = {s.width, s.height, 1, 24, 1, 1, 0, 0, filter, resample, form};
  uint32_t outSize = 0;
  const DvcResult r = DvcDecode(d, src, uint32_t(source.size()), first.data(), &outSize, &f);
  check(first.back() == 0xA5);  // nothing beyond stride x height
  check(source == original);
  if (r == DVC_OK) {
    check(outSize == stride * s.height);
    if (again) {
      second.assign(first.size(), 0xA5);
      DvcDibFormat g = {s.width, s.height, 1, 24, 1, 1, 0, 0, filter, resample, form};
      check(DvcDecode(d, src, uint32_t(source.size()), second.data(), nullptr, &g) == DVC_OK);
      check(first == second);
    }
  }
  return 0;
}
