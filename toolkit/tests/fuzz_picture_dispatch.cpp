// The file library's two readers as callers use them: ImageFileInfo and ImageFileLoad on
// any bytes as a file, so that the kind recognised from the first bytes sends the file to
// its reader: the toolkit's BMP and PCX readers, libpng, libtiff or the JPEG module.
//
// Beyond not crashing: a file the information call refuses loads no picture either (a
// GIF or FlashPix file is described but never loaded), a loaded picture has the size
// the information call gave, and every bitmap block is given back. Pictures above a few
// million pixels are only described, so that one input is read in moments.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/testsupport/fuzz_files.h"
#include "toolkit/com/qm6com.h"
#include "toolkit/file/qm6file.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

constexpr int64_t kMaxPixels = 4 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const adfuzz::MemoryFile input(data, size);
  if (input.path().empty()) return 0;
  const char* path = input.path().c_str();
  const uint32_t blocks = QmGlobalCount();
  ImageFileInfoRecord info{};
  const bool described = ImageFileInfo(path, &info) != 0;
  if (described) check(info.fileSize == uint32_t(size));
  if (!described || int64_t(info.width) * std::abs(int64_t(info.height)) <= kMaxPixels) {
    const QmHandle picture = ImageFileLoad(path);
    check(!picture || described);
    if (picture) {
      const auto* header = static_cast<const QmBitmapInfoHeader*>(QmGlobalLock(picture));
      check(header->biWidth == info.width && std::abs(header->biHeight) == std::abs(info.height));
      QmGlobalUnlock(picture);
      QmGlobalFree(picture);
    }
  }
  check(QmGlobalCount() == blocks);
  return 0;
}
