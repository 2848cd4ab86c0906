// The peers' libraries behind bench/peers.h.
#include "bench/peers.h"

#include <turbojpeg.h>
#include <wand/MagickWand.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/bench_table.h"

namespace bench {

namespace {

size_t strideOf(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }

void setUpMagick() {
  static const bool ready = [] {
    MagickWandGenesis();
    MagickSetResourceLimit(ThreadResource, 1);
    return true;
  }();
  (void)ready;
}

}  // namespace

uint8_t* turboLoad(const std::string& path, int* width, int* height) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  auto* jpeg = static_cast<unsigned char*>(std::malloc(size > 0 ? size_t(size) : 1));
  const bool read = jpeg && size > 0 && std::fread(jpeg, 1, size_t(size), f) == size_t(size);
  std::fclose(f);
  tjhandle tj = tjInitDecompress();
  int w = 0, h = 0, sub = 0, space = 0;
  uint8_t* dib = nullptr;
  if (read && tj && tjDecompressHeader3(tj, jpeg, size_t(size), &w, &h, &sub, &space) == 0) {
    dib = static_cast<uint8_t*>(std::malloc(40 + strideOf(w) * size_t(h)));
    if (dib && tjDecompress2(tj, jpeg, size_t(size), dib + 40, w, int(strideOf(w)), h, TJPF_BGR, TJFLAG_BOTTOMUP) != 0) {
      std::free(dib);
      dib = nullptr;
    }
  }
  if (tj) tjDestroy(tj);
  std::free(jpeg);
  *width = w, *height = h;
  return dib;
}

bool magickReduce(const std::string& path, int width, int height) {
  setUpMagick();
  MagickWand* wand = NewMagickWand();
  const bool ok = MagickReadImage(wand, path.c_str()) == MagickTrue &&
                  MagickResizeImage(wand, size_t(width), size_t(height), LanczosFilter, 1.0) == MagickTrue;
  DestroyMagickWand(wand);
  return ok;
}

bool magickThumbnail(const std::string& path, int width, int height, const std::string& out) {
  setUpMagick();
  MagickWand* wand = NewMagickWand();
  const bool ok = MagickReadImage(wand, path.c_str()) == MagickTrue &&
                  MagickThumbnailImage(wand, size_t(width), size_t(height)) == MagickTrue &&
                  MagickWriteImage(wand, out.c_str()) == MagickTrue;
  DestroyMagickWand(wand);
  return ok;
}

double magickHintedThumbnails(const std::vector<std::string>& pictures, int width, int height,
                              const std::string& folder, unsigned threads) {
  setUpMagick();
  const std::string hint = std::to_string(2 * width) + "x" + std::to_string(2 * height);
  std::atomic<bool> ok{true};
  // Thread t makes the thumbnails of pictures t, t + threads, t + 2 threads...
  const auto share = [&](size_t first, size_t step) {
    for (size_t i = first; ok && i < pictures.size(); i += step) {
      MagickWand* wand = NewMagickWand();
      MagickSetOption(wand, "jpeg:size", hint.c_str());
      const std::string out = folder + "/" + std::to_string(i) + ".bmp";
      if (MagickReadImage(wand, pictures[i].c_str()) != MagickTrue ||
          MagickThumbnailImage(wand, size_t(width), size_t(height)) != MagickTrue ||
          MagickWriteImage(wand, out.c_str()) != MagickTrue || !flushToDisk(out)) {
        ok = false;
      }
      DestroyMagickWand(wand);
    }
  };
  const auto start = std::chrono::steady_clock::now();
  if (threads <= 1) {
    share(0, 1);
  } else {
    std::vector<std::jthread> workers;
    for (unsigned k = 0; k < threads; ++k) workers.emplace_back(share, k, threads);
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok ? s : -1;
}

}  // namespace bench
