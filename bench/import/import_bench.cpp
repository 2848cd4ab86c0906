// Imports a folder of camera-sized JPEG pictures (12 megapixels) into working copies and
// 100 x 75 thumbnails with the picture engine, and makes the same thumbnails with
// ImageMagick the way picture programs do, decoding at a reduced size (the size hint
// jpeg:size=200x150, then -thumbnail 100x75), in the same run; prints the times and
// their ratio. Every side runs on one thread and reads the files from disk (from the
// page cache, which both find warm) and writes its thumbnails to disk.
//
// ImageMagick runs twice: in this process through MagickWand (when the bench was built
// with it), and as the command /usr/bin/convert with its start-up, measured on a picture
// of one pixel, subtracted.
//
//   import_bench [--count N] [--width W] [--height H] [--folder DIR]
//
// The pictures are made once (with the toolkit's JPEG writer, quality 90, 2x2 sampling)
// in the folder, by default build/bench-data/import beside the program's folder, and
// kept for later runs. The engine's work folder lies in a temporary HOME, so the user's
// own files are never touched.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/import/magick_peer.h"
#include "jpegmodule/scaled_load.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::makePicture;
using bench::run;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

constexpr const char* kHint = "jpeg:size=200x150";

// ImageMagick's hinted thumbnail command on one picture; false when it failed.
bool convert(const std::string& in, const std::string& out) {
  return run({"/usr/bin/convert", "-define", kHint, in, "-thumbnail", "100x75", out}) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 100, width = 4000, height = 3000;
  fs::path folder = fs::path(platform::appDir()).parent_path().parent_path() / "bench-data" / "import";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--count") count = std::atoi(argv[i + 1]);
    else if (k == "--width") width = std::atoi(argv[i + 1]);
    else if (k == "--height") height = std::atoi(argv[i + 1]);
    else if (k == "--folder") folder = argv[i + 1];
  }
  folder /= std::to_string(width) + "x" + std::to_string(height);
  fs::create_directories(folder);
  // ImageMagick's commands run on one thread, as the engine does.
  setenv("MAGICK_THREAD_LIMIT", "1", 1);

  // The pictures, made once.
  std::vector<std::string> pictures;
  uint64_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "P%04d.JPG", i + 1);
    const std::string path = (folder / name).string();
    if (!fs::exists(path)) {
      if (i == 0 || !fs::exists(folder / "P0001.JPG")) std::printf("making %d pictures of %dx%d in %s\n", count, width, height, folder.c_str());
      if (!makePicture(path, width, height, static_cast<uint32_t>(i))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
    bytes += fs::file_size(path);
    pictures.push_back(path);
  }
  // Both sides read the files from the page cache.
  for (const std::string& p : pictures) {
    ImageFileInfoRecord info;
    ImageFileInfo(p.c_str(), &info);
    std::FILE* f = std::fopen(p.c_str(), "rb");
    char buf[1 << 16];
    while (f && std::fread(buf, 1, sizeof buf, f) > 0) {
    }
    if (f) std::fclose(f);
  }

  // A HOME of our own: the work folder goes there.
  const std::string home = bench::ownHome("import-bench");
  if (home.empty()) return 1;
  const fs::path thumbs = fs::path(home) / "magick";
  fs::create_directories(thumbs);

  bench::GrowingAlbum album;
  workspace::CImageOpe engine(&album, &album);
  const auto t0 = Clock::now();
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (!engine.LoadImage(pictures[i], album.count)) {
      std::fprintf(stderr, "import of %s failed: error %d\n", pictures[i].c_str(), engine.ErrorCode);
      return 1;
    }
  }
  const double ours = seconds(Clock::now() - t0);
  QmHandle thumb = ImageFileLoad(engine.ThumbnailPath.c_str());
  ImageKindRecord kind{};
  ImageInfo(thumb, &kind);
  ImageFree(thumb);

  // What the JPEG library's decoding at 1/8 alone costs: the part no thumbnail maker
  // that decodes reduced can do without.
  const auto td = Clock::now();
  for (const std::string& p : pictures) ImageFree(qmjpeg::readFileScaled(p, 8));
  const double decode = seconds(Clock::now() - td);

  const double wand = bench::magickWandThumbnails(pictures, thumbs.string());
  if (bench::haveMagickWand() && wand < 0) {
    std::fprintf(stderr, "MagickWand failed\n");
    return 1;
  }

  // The command, and its start-up on a picture of one pixel (the fastest of five).
  const std::string tiny = (fs::path(home) / "tiny.jpg").string();
  QmHandle one = ImageCreate(1, 1, 24, 128, 128, 128);
  ImageFileSaveJpeg(tiny.c_str(), one, 0, 90, 0, "");
  ImageFree(one);
  double startup = 1e30;
  for (int r = 0; r < 5; ++r) {
    const auto ts = Clock::now();
    if (!convert(tiny, (thumbs / "tiny.bmp").string())) {
      std::fprintf(stderr, "convert failed on a picture of one pixel\n");
      return 1;
    }
    startup = std::min(startup, seconds(Clock::now() - ts));
  }
  const auto t1 = Clock::now();
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (!convert(pictures[i], (thumbs / (std::to_string(i) + ".bmp")).string())) {
      std::fprintf(stderr, "convert failed on %s\n", pictures[i].c_str());
      return 1;
    }
  }
  const double command = seconds(Clock::now() - t1) - count * startup;

  const auto perPicture = [&](double s) { return 1000 * s / count; };
  std::printf("pictures: %d of %dx%d, %.1f MB in all; one thread each, files on disk\n", count, width, height,
              bytes / 1e6);
  std::printf("our import (working copy and %dx%d thumbnail):     %6.2f s, %5.1f ms a picture\n", kind.width,
              kind.height, ours, perPicture(ours));
  std::printf("  of which the JPEG library's decoding at 1/8 alone: %6.2f s, %5.1f ms a picture\n", decode,
              perPicture(decode));
  if (wand >= 0) {
    std::printf("ImageMagick in process (MagickWand, %s):  %6.2f s, %5.1f ms a picture   ratio ours / it: %.2f\n",
                kHint, wand, perPicture(wand), ours / wand);
  } else {
    std::printf("ImageMagick in process: not built (no MagickWand)\n");
  }
  std::printf("ImageMagick convert -define %s -thumbnail 100x75, start-up of %.1f ms subtracted:\n", kHint,
              1000 * startup);
  std::printf("                                                     %6.2f s, %5.1f ms a picture   ratio ours / it: %.2f\n",
              command, perPicture(command), ours / command);
  std::printf("goal: ratio 0.50 or less\n");
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
