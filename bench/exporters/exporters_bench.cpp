// Times the movie writer on 200 BMP frames at 320 x 240 and 640 x 480, uncompressed and
// Motion JPEG, against ffmpeg writing an AVI file from the same BMP files in the same
// run (rawvideo for the uncompressed movie, its own Motion JPEG encoder at its best
// quality for the other), and the HTML album writer on the pages of 200 pictures.
//
//   bench_exporters [repetitions] [folder]
//
// Repetitions default to 5; the median of each is printed. Files live in `folder`
// (default /dev/shm when it exists, else the temporary folder), so that by default disk
// speed does not enter the figures; give a folder on a disk to include it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "exporters/avi_writer.h"
#include "exporters/html_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 200;

using benchutil::medianMs;
using benchutil::runTool;

// Photograph-like frames (smooth shapes with some grain), each its own, as 24-bit BMP
// files MVTMP001.BMP onwards, as the picture engine writes them.
std::vector<std::string> writeFrames(const fs::path& dir, int width, int height) {
  fs::create_directories(dir);
  const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
  std::string file(54 + stride * height, '\0');
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) file[at + i] = char(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put(2, uint32_t(file.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, uint32_t(width), 4);
  put(22, uint32_t(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, uint32_t(stride * height), 4);
  std::vector<std::string> paths;
  uint32_t seed = 12345;
  for (int f = 0; f < kFrames; ++f) {
    for (int y = 0; y < height; ++y) {
      char* row = &file[54 + stride * (height - 1 - y)];
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
          seed = seed * 1664525u + 1013904223u;
          int cx = x - width / 2 - f, cy = y - height / 2;
          int wave = (x * (c + 2) / 5 + y * (4 - c) / 7 + f * 3) & 255;
          int disc = (cx * cx + cy * cy) / (width / 4 + 40 * c + 1);
          row[3 * x + c] = char(std::clamp((wave + disc) / 2 + int(seed >> 29) - 4, 0, 255));
        }
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "MVTMP%03d.BMP", f + 1);
    std::ofstream(dir / name, std::ios::binary).write(file.data(), std::streamsize(file.size()));
    paths.push_back((dir / name).string());
  }
  return paths;
}

void report(const char* what, double ours, double peer, const char* peerName) {
  std::printf("%-34s %9.1f ms  (%5.2f ms a frame)   %-22s %9.1f ms   ratio %.2f\n", what, ours, ours / kFrames,
              peerName, peer, peer > 0 ? ours / peer : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  fs::path base = argc > 2 ? fs::path(argv[2]) : fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path dir = base / ("bench_exporters_" + std::to_string(::getpid()));
  const bool haveFfmpeg = benchutil::haveFfmpeg();
  std::printf("movie of %d frames, median of %d runs, files in %s%s\n", kFrames, repetitions, base.c_str(),
              haveFfmpeg ? "" : " (ffmpeg missing: no comparison)");

  bool failed = false;
  for (auto [width, height] : {std::pair{320, 240}, std::pair{640, 480}}) {
    const fs::path frames = dir / std::to_string(width);
    const std::vector<std::string> list = writeFrames(frames, width, height);
    const std::string pattern = (frames / "MVTMP%03d.BMP").string(), ours = (dir / "ours.avi").string(),
                      theirs = (dir / "ffmpeg.avi").string();
    auto ffmpeg = [&](std::vector<std::string> codec) {
      std::vector<std::string> argv{"ffmpeg", "-v", "error", "-y", "-framerate", "2", "-i", pattern};
      argv.insert(argv.end(), codec.begin(), codec.end());
      argv.push_back(theirs);
      return haveFfmpeg ? medianMs(repetitions, [&] { return runTool(argv); }) : -1;
    };
    const std::string size = std::to_string(width) + "x" + std::to_string(height);

    double dib = medianMs(repetitions, [&] { return exporters::MakeMovie(list, ours, 1, 2, 0); });
    std::printf("  %s uncompressed: %.1f MB\n", size.c_str(), double(fs::file_size(ours)) / 1e6);
    report((size + " uncompressed").c_str(), dib, ffmpeg({"-c:v", "rawvideo", "-pix_fmt", "bgr24"}),
           "ffmpeg rawvideo");
    double mjpg = medianMs(repetitions, [&] { return exporters::MakeMovie(list, ours, 1, 2, exporters::kHandlerMJPG); });
    failed = failed || dib < 0 || mjpg < 0;
    std::printf("  %s Motion JPEG: %.1f MB\n", size.c_str(), double(fs::file_size(ours)) / 1e6);
    report((size + " Motion JPEG").c_str(), mjpg,
           ffmpeg({"-c:v", "mjpeg", "-q:v", "1", "-pix_fmt", "yuvj420p"}), "ffmpeg mjpeg -q:v 1");
    fs::remove_all(frames);
  }

  // The pages of an album of 200 pictures (the pictures themselves are not needed).
  exporters::HTML html(nullptr);
  html.Folder = dir.string();
  html.BaseName = "album";
  html.Title = "Holiday 2024";
  html.PrevText = "Previous", html.IndexText = "Index", html.NextText = "Next";
  html.SetColor(0x00FFFFFF, 0);
  for (int k = 1; k <= kFrames; ++k) {
    html.Images.push_back("fs" + exporters::ThreeDigits(k) + ".jpg");
    html.Thumbnails.push_back("tn" + exporters::ThreeDigits(k) + ".jpg");
  }
  fs::create_directories(dir / "album");
  double pages = medianMs(repetitions, [&] { return html.Make(); });
  std::printf("%-34s %9.1f ms  (%5.2f ms a page)\n", "HTML album, 200 pictures", pages, pages / (kFrames + 1));
  fs::remove_all(dir);
  return failed || pages < 0 ? 1 : 0;
}
