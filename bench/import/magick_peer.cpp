#include "magick_peer.h"

#include <chrono>

#ifdef AD_HAVE_MAGICKWAND
#include <wand/MagickWand.h>
#endif

namespace bench {

#ifdef AD_HAVE_MAGICKWAND

bool haveMagickWand() { return true; }

double magickWandThumbnails(const std::vector<std::string>& pictures, const std::string& folder) {
  MagickWandGenesis();
  MagickSetResourceLimit(ThreadResource, 1);
  const auto t = std::chrono::steady_clock::now();
  bool ok = true;
  for (size_t i = 0; ok && i < pictures.size(); ++i) {
    MagickWand* wand = NewMagickWand();
    MagickSetOption(wand, "jpeg:size", "200x150");
    const std::string target = folder + "/" + std::to_string(i) + ".bmp";
    ok = MagickReadImage(wand, pictures[i].c_str()) && MagickThumbnailImage(wand, 100, 75) &&
         MagickWriteImage(wand, target.c_str());
    DestroyMagickWand(wand);
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  MagickWandTerminus();
  return ok ? s : -1;
}

#else

bool haveMagickWand() { return false; }
double magickWandThumbnails(const std::vector<std::string>&, const std::string&) { return -1; }

#endif

}  // namespace bench
