// The clip reader over any bytes.
#include <cstddef>
#include <cstdint>

#include "workspace/avi_clip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  workspace::AviClip clip;
  if (clip.Parse(data, size)) {
    volatile int sum = 0;
    for (int i = 0; i < clip.FrameCount(); ++i) sum += clip.Frame(i).width();
  }
  return 0;
}
