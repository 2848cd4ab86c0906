// Capture files as the capture file readers take them, from any bytes: a YUV0 file
// (anything beginning "YUV0") converted to a BMP, and anything else as a DVF frame file,
// decoded and written as a BMP.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "workspace/capture_files.h"

namespace {

std::string outputFolder() {
  static std::string dir = [] {
    char pattern[] = "/tmp/fuzz-capture-XXXXXX";
    return std::string(mkdtemp(pattern) ? pattern : "/tmp");
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("capture", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::string target = outputFolder() + "/out.bmp";
    bool written;
    if (size >= 4 && memcmp(data, "YUV0", 4) == 0) {
      workspace::YUV_FILE yuv;
      written = yuv.Convert(path, target);
    } else {
      workspace::DV_FILE dv;
      written = dv.Convert(path, target, size > 11 ? data[11] % 5 : 0);
    }
    if (written) unlink(target.c_str());
  }
  close(fd);
  return 0;
}
