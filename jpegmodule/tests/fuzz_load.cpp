// The load: the information gate, then the decode from a file and from a memory block
// (the latter at full size or reduced by 2, 4 or 8, after the header read from memory).
#include "fuzz_common.h"
#include "jpegmodule/codec.h"
#include "jpegmodule/scaled_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures are bounded so that one input decodes in moments.
  constexpr uint64_t kLimit = 4u << 20;
  if (fuzzjpeg::writeInput(data, size)) {
    EXIFINFO scratch;
    if (qmjpeg::readInfo(fuzzjpeg::inputPath().c_str(), nullptr, &scratch, false)) {
      bool stopped = false;
      QmHandle dib = qmjpeg::readDib(fuzzjpeg::inputPath().c_str(), nullptr, 0, 1, &stopped, kLimit);
      if (dib) QmGlobalFree(dib);
    }
  }
  // From memory at one of the four scales (chosen by the input's length).
  qmjpeg::Header header;
  qmjpeg::readBlockHeader(data, size, header);
  bool stopped = false;
  QmHandle dib = qmjpeg::readDib(nullptr, data, size, 1, &stopped, kLimit, 1u << (size % 4));
  if (dib) QmGlobalFree(dib);
  fuzzjpeg::requireNoBlocks();
  return 0;
}
