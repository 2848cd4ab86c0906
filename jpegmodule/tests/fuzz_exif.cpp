// The Exif reader: on a whole file (with the thumbnail decoded from memory) and on the
// bytes taken as the TIFF payload of an Exif segment.
#include "fuzz_common.h"
#include "jpegmodule/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (fuzzjpeg::writeInput(data, size)) {
    EXIFINFO exif;
    if (qmjpeg::readInfo(fuzzjpeg::inputPath().c_str(), nullptr, &exif, true) && exif.Thumbnail) {
      QmGlobalFree(exif.Thumbnail);
    }
  }
  EXIFINFO values{};
  std::vector<uint8_t> thumbnail;
  qmjpeg::readExifTiff(data, size, values, thumbnail);
  if (thumbnail.size() > size) std::abort();
  fuzzjpeg::requireNoBlocks();
  return 0;
}
