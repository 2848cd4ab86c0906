// Shared by the module's fuzz targets: the input as a file, and a check that every
// global-memory block was given back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "toolkit/com/qm6com.h"

namespace fuzzjpeg {

inline const std::string& inputPath() {
  static const std::string path = "/tmp/fuzz-qmjpeg-" + std::to_string(::getpid()) + ".jpg";
  return path;
}

inline bool writeInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(inputPath().c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

inline void requireNoBlocks() {
  if (QmGlobalCount() != 0) {
    std::fprintf(stderr, "global-memory blocks left behind: %u\n", QmGlobalCount());
    std::abort();
  }
}

}  // namespace fuzzjpeg
