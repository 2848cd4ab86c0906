// Imports a folder of camera-sized JPEG pictures (12 megapixels) into working copies and
// 100 x 75 thumbnails with the picture engine, and makes the same thumbnails with
// ImageMagick (MagickWand in this program, one thread: read, thumbnail 100x75, write a BMP
// file and flush it) in the same run; prints both times and their ratio.
//
//   import_bench [--count N] [--width W] [--height H] [--folder DIR]
//
// The pictures are made once (with the toolkit's JPEG writer, quality 90, 2x2 sampling)
// in the folder, by default build/bench-data/import beside the program's folder, and
// kept for later runs. The engine's work folder lies in a temporary HOME (on a disk), so
// the user's own files are never touched.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/peers.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::makePicture;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

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

  const auto t1 = Clock::now();
  for (size_t i = 0; i < pictures.size(); ++i) {
    const std::string out = (thumbs / (std::to_string(i) + ".bmp")).string();
    if (!bench::magickThumbnail(pictures[i], 100, 75, out) || !bench::flushToDisk(out)) {
      std::fprintf(stderr, "ImageMagick failed on %s\n", pictures[i].c_str());
      return 1;
    }
  }
  const double magick = seconds(Clock::now() - t1);

  std::printf("pictures: %d of %dx%d, %.1f MB in all; our thumbnails %dx%d\n", count, width, height, bytes / 1e6,
              kind.width, kind.height);
  bench::row("import of " + std::to_string(count) + " JPEG pictures " + std::to_string(width) + "x" +
                 std::to_string(height) + ", a picture",
             1000 * ours / count, 1000 * magick / count, "LoadImage: working copy and 100x75 thumbnail (goal: ratio 0.50)",
             "MagickWand 1 thread: read, thumbnail 100x75, write BMP, fsync");
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
