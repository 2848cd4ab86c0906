// Feeds arbitrary video segments (five video blocks of 80 bytes) to the variable-length
// decoder, the most intricate reader of outside bits, many times faster than whole
// frames. A short input is padded with zeros.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dv_vlc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t segment[5 * 80] = {};
  std::memcpy(segment, data, size < sizeof segment ? size : sizeof segment);
  const uint8_t* blocks[5];
  for (int m = 0; m < 5; ++m) blocks[m] = segment + 80 * m;
  static auto state = std::make_unique<zebdv::SegmentState>();
  static auto sink = std::make_unique<zebdv::ScanOrderSink>();
  zebdv::VlcSegmentDecoder<zebdv::ScanOrderSink> vlc(zebdv::sharedVlcTable(), *state, *sink);
  vlc.decode(blocks);
  // Every block ends within its limits.
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 6; ++b) {
      const zebdv::BlockState& s = state->block[m][b];
      if (s.count > 64 || s.position > 64 || s.bitPos > s.areaBits || s.pendingLength > 15) std::abort();
    }
  }
  return 0;
}
