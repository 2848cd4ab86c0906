// Capture files as the capture file readers take them, from any bytes: a YUV0 file
// (anything beginning "YUV0") converted to a BMP, and anything else as a DVF frame file,
// read and parsed (system, aspect, time code), and for some frames decoded and written
// as a BMP.
//
// Decoding, resampling and writing a whole frame costs about a hundred times what reading
// and parsing it does, and the decoder has targets of its own: the whole conversion runs
// for one input in 16, chosen by a hash of all its bytes (so that a change anywhere in a
// frame can choose it, and a given input always gets the same), so that the readers see
// many inputs a second and the conversion still sees every kind of frame.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/testsupport/fuzz_files.h"
#include "workspace/capture_files.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const adfuzz::MemoryFile input(data, size);
  if (input.path().empty()) return 0;
  const std::string target = adfuzz::folder() + "/out.bmp";
  bool written = false;
  if (size >= 4 && memcmp(data, "YUV0", 4) == 0) {
    workspace::YUV_FILE yuv;
    written = yuv.Convert(input.path(), target);
  } else {
    workspace::DV_FILE dv;
    if (dv.ReadFrame(input.path())) {
      dv.ParseFrame();
      const char* code = dv.info().timeCode;
      for (int i = 0; i < 11; ++i) {
        check(i % 3 == 2 ? code[i] == ':' : (code[i] == '-' || (code[i] >= '0' && code[i] <= '9')));
      }
      check(code[11] == '\0');
      const size_t hash = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
      if (hash % 16 == 0) written = dv.Convert(input.path(), target, size > 11 ? data[11] % 5 : 0);
    }
  }
  if (written) unlink(target.c_str());
  return 0;
}
