// The toolkit's own readers (BMP, PCX, and the heads of GIF, PNG and FlashPix files) on
// any bytes: a picture or none, never a read outside the data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "toolkit/file/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  const uint8_t* p = file.data();
  qm6file::Description d;
  qm6file::recognise(p, size);
  qm6file::describeBmp(p, size, d);
  qm6file::describePcx(p, size, d);
  qm6file::describeGif(p, size, d);
  qm6file::describePng(p, size, d);
  qm6file::describeFpx(
      p, size,
      [&](uint64_t at, void* buffer, size_t n) -> size_t {
        if (at >= size) return 0;
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, size - at));
        std::memcpy(buffer, p + at, k);
        return k;
      },
      d);
  QmGlobalFree(qm6file::readBmp(p, size));
  QmGlobalFree(qm6file::readPcx(p, size));
  return 0;
}
