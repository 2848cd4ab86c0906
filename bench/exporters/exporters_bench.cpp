// Times the movie writer on 200 BMP frames at 320 x 240 and 640 x 480, uncompressed and
// Motion JPEG, against ffmpeg writing an AVI file from the same BMP files in the same run
// (rawvideo for the uncompressed movie, its own Motion JPEG encoder at its best quality
// for the other), and an HTML album of the 200 640 x 480 pictures (each picture and its
// thumbnail written as JPEG, then the pages) against ffmpeg writing the same pictures and
// thumbnails.
//
// ffmpeg runs with one thread, its start-up (the same command on a one-frame input of
// 16 x 16) is taken out of its time, and the files it writes are flushed to the disk, as
// our writers flush theirs before they put them in place.
//
//   bench_exporters [repetitions] [folder]
//
// Repetitions default to 5; the median of each is printed. Files live in a new folder
// below `folder` (default: the temporary folder, on a disk), removed afterwards.
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
#include "exporters/picture_writer.h"
#include "workspace/image_ope.h"
#include "workspace/output_format.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 200;

// Photograph-like frames (smooth shapes with some grain), each its own, as 24-bit BMP
// files MVTMP001.BMP onwards, as the picture engine writes them.
std::vector<std::string> writeFrames(const fs::path& dir, int width, int height, int count = kFrames) {
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
  for (int f = 0; f < count; ++f) {
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

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string home = bench::ownHome("bench-exporters", argc > 2 ? argv[2] : "");
  if (home.empty()) return 1;
  const fs::path dir = home;
  const bool haveFfmpeg = benchutil::haveFfmpeg();
  std::printf("movie of %d frames, median of %d runs, files in %s%s\n", kFrames, repetitions, dir.c_str(),
              haveFfmpeg ? "" : " (ffmpeg missing: no comparison)");
  // The trivial input that measures ffmpeg's start-up: one frame of 16 x 16.
  const fs::path trivial = dir / "trivial";
  writeFrames(trivial, 16, 16, 1);
  const std::string trivialOut = (trivial / "out.avi").string();

  // Our step and the peer's in turns; our median and the peer's, less the start-ups of its
  // commands (measured on the trivial input).
  const auto compare = [&](const std::function<bool()>& ours, const std::function<bool()>& peer,
                           const std::vector<std::vector<std::string>>& peerOnTrivial) {
    if (!haveFfmpeg) return std::pair{bench::medianMs(repetitions, ours), -1.0};
    auto [oursMs, peerMs] = bench::medianPairMs(repetitions, ours, peer);
    double startup = 0;
    for (const auto& argv : peerOnTrivial) startup += bench::startupMs(repetitions, argv);
    return std::pair{oursMs, peerMs > 0 ? peerMs - startup : -1.0};
  };

  bool failed = false;
  std::vector<std::string> pictures;  // the 640 x 480 frames, kept for the HTML album
  for (auto [width, height] : {std::pair{320, 240}, std::pair{640, 480}}) {
    const fs::path frames = dir / std::to_string(width);
    const std::vector<std::string> list = writeFrames(frames, width, height);
    const std::string pattern = (frames / "MVTMP%03d.BMP").string(), ours = (dir / "ours.avi").string(),
                      theirs = (dir / "ffmpeg.avi").string();
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    for (bool mjpg : {false, true}) {
      const std::vector<std::string> codec = mjpg ? std::vector<std::string>{"-c:v", "mjpeg", "-q:v", "1", "-pix_fmt", "yuvj420p"}
                                                  : std::vector<std::string>{"-c:v", "rawvideo", "-pix_fmt", "bgr24"};
      auto command = [&](const std::string& in, const std::string& out) {
        std::vector<std::string> output = codec;
        output.push_back(out);
        return benchutil::ffmpeg({"-framerate", "2", "-i", in}, output);
      };
      const auto [oursMs, peerMs] = compare(
          [&] { return exporters::MakeMovie(list, ours, 1, 2, mjpg ? exporters::kHandlerMJPG : 0); },
          [&] { return benchutil::runAndFlush({command(pattern, theirs)}, {theirs}); },
          {command((trivial / "MVTMP%03d.BMP").string(), trivialOut)});
      failed = failed || oursMs < 0;
      std::printf("  %s %s: ours %.1f MB, ffmpeg's %.1f MB\n", size.c_str(), mjpg ? "Motion JPEG" : "uncompressed",
                  double(fs::file_size(ours)) / 1e6, haveFfmpeg ? double(fs::file_size(theirs)) / 1e6 : 0.0);
      bench::row("movie of 200 BMP frames " + size + (mjpg ? " Motion JPEG" : " uncompressed"), oursMs, peerMs,
                 std::string("MakeMovie (AVI, ") + (mjpg ? "Motion JPEG through the JPEG module" : "DIB frames") +
                     ", fsync, rename)",
                 std::string("ffmpeg 1 thread, ") + (mjpg ? "mjpeg -q:v 1" : "rawvideo bgr24") +
                     " AVI, start-up taken out, fsync");
    }
    if (width == 640) {
      pictures = list;
    } else {
      fs::remove_all(frames);
    }
  }

  // An HTML album of the 640 x 480 pictures: a picture and a thumbnail each, then the pages.
  workspace::OutputFormatSettings settings;
  workspace::SetDefaults(settings);
  workspace::CImageOpe engine(nullptr, nullptr, settings);
  engine.FillColor = 0xFFFFFF;
  const fs::path album = dir / "album", peerAlbum = dir / "peer";
  const auto [pagesMs, peerMs] = compare(
      [&] {
        fs::remove_all(album);
        fs::create_directories(album);
        exporters::PictureWriter writer(engine, settings);
        exporters::HTML html(nullptr);
        html.Folder = dir.string();
        html.BaseName = "album";
        html.Title = "Holiday 2024";
        html.PrevText = "Previous", html.IndexText = "Index", html.NextText = "Next";
        html.SetColor(0x00FFFFFF, 0);
        for (int k = 1; k <= kFrames; ++k) {
          const std::string fs = "fs" + exporters::ThreeDigits(k) + ".jpg", tn = "tn" + exporters::ThreeDigits(k) + ".jpg";
          if (!writer.ExportWithThumbnail(pictures[size_t(k - 1)], (album / fs).string(), (album / tn).string(), 80, 60)) {
            return false;
          }
          html.Images.push_back(fs);
          html.Thumbnails.push_back(tn);
        }
        return html.Make();
      },
      [&] {
        fs::remove_all(peerAlbum);
        fs::create_directories(peerAlbum);
        const std::string in = (dir / "640" / "MVTMP%03d.BMP").string();
        return benchutil::runAndFlush(
            {benchutil::ffmpeg({"-i", in}, {"-vf", "scale=80:60", "-q:v", "8", (peerAlbum / "tn%03d.jpg").string()}),
             benchutil::ffmpeg({"-i", in}, {"-q:v", "4", (peerAlbum / "fs%03d.jpg").string()})},
            {peerAlbum.string()});
      },
      {benchutil::ffmpeg({"-i", (trivial / "MVTMP%03d.BMP").string()},
                         {"-vf", "scale=80:60", "-q:v", "8", (trivial / "tn%03d.jpg").string()}),
       benchutil::ffmpeg({"-i", (trivial / "MVTMP%03d.BMP").string()}, {"-q:v", "4", (trivial / "fs%03d.jpg").string()})});
  failed = failed || pagesMs < 0;
  bench::row("HTML album of 200 640x480 pictures", pagesMs, peerMs,
             "picture writer: each picture and its 80x60 thumbnail as JPEG (fsync, rename), then 201 pages",
             "ffmpeg 1 thread: the 200 thumbnails, then the 200 pictures as JPEG, start-ups taken out, fsync; no pages");
  fs::remove_all(dir);
  return failed ? 1 : 0;
}
