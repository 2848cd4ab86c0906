// Capture files as the capture file readers take them: a DVF frame file (read and its
// packs parsed) or a YUV0 file (converted to a BMP), from any bytes. The first byte
// chooses the reader; the rest is the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
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
  if (size < 1) return 0;
  const int fd = memfd_create("capture", 0);
  if (fd < 0) return 0;
  if (write(fd, data + 1, size - 1) == static_cast<ssize_t>(size - 1)) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (data[0] & 1) {
      workspace::YUV_FILE yuv;
      const std::string target = outputFolder() + "/out.bmp";
      if (yuv.Convert(path, target)) unlink(target.c_str());
    } else {
      workspace::DV_FILE dv;
      if (dv.ReadFrame(path)) dv.ParseFrame();
    }
  }
  close(fd);
  return 0;
}
