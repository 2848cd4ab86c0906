// The file information export on any file.
#include "fuzz_common.h"
#include "jpegmodule/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzjpeg::writeInput(data, size)) return 0;
  JPEGFILEINFO info;
  EXIFINFO scratch;
  qmjpeg::readInfo(fuzzjpeg::inputPath().c_str(), &info, &scratch, false);
  fuzzjpeg::requireNoBlocks();
  return 0;
}
