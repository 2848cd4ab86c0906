// Frame files as the movie writer reads them: any bytes are a frame it takes or one it
// refuses, never a read outside the file or a buffer. The first byte chooses the
// compressor; the rest is the file, used for two frames of a movie.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "exporters/avi_writer.h"

namespace {

// The run's own folder, removed at exit. Plain bytes, so it outlives every destructor.
char gFolder[] = "/tmp/fuzz_movie_frameXXXXXX";

std::string folder() {
  static const bool made = [] {
    if (!::mkdtemp(gFolder)) return false;
    std::atexit([] {
      ::unlink((std::string(gFolder) + "/frame.bmp").c_str());
      ::rmdir(gFolder);
    });
    return true;
  }();
  return made ? gFolder : "/tmp";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string frame = folder() + "/frame.bmp", movie = folder() + "/movie.avi";
  if (FILE* f = std::fopen(frame.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  }
  QmBitmapInfoHeader header{};
  if (exporters::ReadBmpHeader(frame, header)) {
    std::vector<uint8_t> pixels(exporters::BmpPixelBytes(header));
    (void)exporters::ReadBmpPixels(frame, pixels.data(), pixels.size());
  }
  const uint32_t codec = data[0] & 1 ? exporters::kHandlerMJPG : 0;
  if (exporters::MakeMovie({frame, frame}, movie, 1 + (data[0] >> 4), 1 + (data[0] >> 1 & 7), codec)) {
    ::unlink(movie.c_str());
  }
  return 0;
}
