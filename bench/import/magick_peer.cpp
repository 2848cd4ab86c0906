#include "magick_peer.h"

#include <atomic>
#include <chrono>
#include <thread>

#ifdef AD_HAVE_MAGICKWAND
#include <wand/MagickWand.h>
#endif

namespace bench {

#ifdef AD_HAVE_MAGICKWAND

bool haveMagickWand() { return true; }

double magickWandThumbnails(const std::vector<std::string>& pictures, const std::string& folder, unsigned threads) {
  // Set up once for the process: every wand works on one thread.
  static const bool ready = [] {
    MagickWandGenesis();
    MagickSetResourceLimit(ThreadResource, 1);
    return true;
  }();
  (void)ready;
  std::atomic<bool> ok{true};
  // Thread t makes the thumbnails of pictures t, t + threads, t + 2 threads...
  const auto share = [&](size_t first, size_t step) {
    for (size_t i = first; ok && i < pictures.size(); i += step) {
      MagickWand* wand = NewMagickWand();
      MagickSetOption(wand, "jpeg:size", "200x150");
      const std::string target = folder + "/" + std::to_string(i) + ".bmp";
      if (!MagickReadImage(wand, pictures[i].c_str()) || !MagickThumbnailImage(wand, 100, 75) ||
          !MagickWriteImage(wand, target.c_str())) {
        ok = false;
      }
      DestroyMagickWand(wand);
    }
  };
  const auto t = std::chrono::steady_clock::now();
  if (threads <= 1) {
    share(0, 1);
  } else {
    std::vector<std::jthread> workers;
    for (unsigned k = 0; k < threads; ++k) workers.emplace_back(share, k, threads);
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  return ok ? s : -1;
}

#else

bool haveMagickWand() { return false; }
double magickWandThumbnails(const std::vector<std::string>&, const std::string&, unsigned) { return -1; }

#endif

}  // namespace bench
