// The load at a reduced size that the program links from the module's core
// (readFileScaled), from a file of any bytes, at each reduction: 2, 4, 8, and a value
// that means the full size. A picture comes back at the upright size the header gives,
// reduced and rounded up; every block is given back.
#include <cstdlib>

#include "fuzz_common.h"
#include "jpegmodule/codec.h"
#include "jpegmodule/scaled_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || !fuzzjpeg::writeInput(data, size - 1)) return 0;
  static constexpr unsigned kDenominators[] = {1, 2, 4, 8, 3};
  const unsigned denominator = kDenominators[data[size - 1] % 5];
  const unsigned scale = denominator == 3 ? 1 : denominator;
  // Pictures are bounded so that one input decodes in moments.
  qmjpeg::Header h;
  if (qmjpeg::readFileHeader(fuzzjpeg::inputPath(), h)) {
    const uint64_t width = (h.width + scale - 1) / scale, height = (h.height + scale - 1) / scale;
    if (width * height > (1u << 20)) return 0;
  }
  if (QmHandle dib = qmjpeg::readFileScaled(fuzzjpeg::inputPath(), denominator)) {
    const auto* header = static_cast<const QmBitmapInfoHeader*>(QmGlobalLock(dib));
    if (uint32_t(header->biWidth) != (h.uprightWidth() + scale - 1) / scale ||
        uint32_t(std::abs(header->biHeight)) != (h.uprightHeight() + scale - 1) / scale) {
      std::abort();
    }
    QmGlobalUnlock(dib);
    QmGlobalFree(dib);
  }
  fuzzjpeg::requireNoBlocks();
  return 0;
}
