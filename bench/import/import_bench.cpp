// Imports a folder of camera-sized JPEG pictures (12 megapixels) into working copies and
// 100 x 75 thumbnails with the picture engine, as the main window adds a list of files,
// and makes the same thumbnails with ImageMagick the way picture programs do, decoding at
// a reduced size (the size hint jpeg:size=200x150, then -thumbnail 100x75), in the same
// run; prints the times and their ratios. Every side reads the files from disk (from the
// page cache, which all find warm) and writes its thumbnails to disk.
//
// Our import runs with its look-ahead (the next pictures decoded on worker threads while
// the GUI thread stores each one) and without it (one thread), on the pictures and on the
// same pictures stored turned as a camera held upright stores them (Exif orientation 6),
// whose thumbnails come out upright: those rows have the untagged import as their peer,
// so their ratio is what turning the pictures costs. ImageMagick runs in this
// process through MagickWand on one thread and on as many threads as our look-ahead has,
// and as the command /usr/bin/convert on one thread with its start-up, measured on a
// picture of one pixel, subtracted. Every thumbnail, ours and the peer's, is flushed to
// the disk.
//
//   import_bench [--count N] [--width W] [--height H] [--folder DIR] [--rounds R] [--command 0|1]
//
// The pictures are made once (with the toolkit's JPEG writer, quality 90, 2x2 sampling)
// in the folder, by default build/bench-data/import beside the program's folder, and
// kept for later runs; their turned copies (exiftool sets the tag) in a folder inside it. The engine's work folder lies in a temporary HOME, so the user's
// own files are never touched.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/bench_table.h"
#include "bench/peers.h"
#include "jpegmodule/scaled_load.h"
#include "workspace/import_ahead.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::makePicture;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

constexpr const char* kHint = "jpeg:size=200x150";

// ImageMagick's hinted thumbnail command on one picture; false when it failed.
bool convert(const std::string& in, const std::string& out) {
  return bench::run({"/usr/bin/convert", "-define", kHint, in, "-thumbnail", "100x75", out}) == 0 &&
         bench::flushToDisk(out);
}

}  // namespace

int main(int argc, char** argv) {
  int count = 100, width = 4000, height = 3000, rounds = 3;
  bool withCommand = true;
  fs::path folder = fs::path(platform::appDir()).parent_path().parent_path() / "bench-data" / "import";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--count") count = std::atoi(argv[i + 1]);
    else if (k == "--width") width = std::atoi(argv[i + 1]);
    else if (k == "--height") height = std::atoi(argv[i + 1]);
    else if (k == "--folder") folder = argv[i + 1];
    else if (k == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    else if (k == "--command") withCommand = std::atoi(argv[i + 1]) != 0;
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
  // The same pictures stored turned: the tag is all that differs.
  const fs::path turnedFolder = folder / "orientation6";
  fs::create_directories(turnedFolder);
  std::vector<std::string> turned, untagged;
  for (const std::string& p : pictures) {
    turned.push_back((turnedFolder / fs::path(p).filename()).string());
    if (!fs::exists(turned.back())) untagged.push_back(p);
  }
  if (!untagged.empty()) {
    std::vector<std::string> argv = {"exiftool", "-q", "-q", "-n", "-Orientation=6", "-o", turnedFolder.string() + "/"};
    argv.insert(argv.end(), untagged.begin(), untagged.end());
    if (bench::run(argv) != 0) {
      std::fprintf(stderr, "exiftool could not tag the pictures\n");
      return 1;
    }
  }
  // Both sides read the files from the page cache.
  std::vector<std::string> every = pictures;
  every.insert(every.end(), turned.begin(), turned.end());
  for (const std::string& p : every) {
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
  const std::string work = platform::workDir();

  const unsigned pool = workspace::ImportThreads();
  uint64_t fromAhead = 0;  // thumbnails of the last run with the look-ahead that it decoded
  bench::GrowingAlbum album;
  workspace::CImageOpe engine(&album, &album);
  // Our import of the whole list as the main window adds a list of files: the pictures
  // to come decoded ahead on `threads` workers (0: none) while each is stored.
  const auto ours = [&](int threads, const std::vector<std::string>& files) {
    album.clear();
    engine.DeleteFiles(work + "zbm*.*");
    workspace::SetImportThreads(threads);
    const uint64_t taken = workspace::ImportAhead::PicturesTaken();
    const auto t = Clock::now();
    {
      workspace::ImportAhead ahead(engine, workspace::ImportAhead::ForFiles(files));
      for (size_t i = 0; i < files.size(); ++i) {
        ahead.Begin(i);
        if (!engine.LoadImage(files[i], album.count)) {
          std::fprintf(stderr, "import of %s failed: error %d\n", files[i].c_str(), engine.ErrorCode);
          std::exit(1);
        }
      }
    }
    const double s = seconds(Clock::now() - t);
    if (threads > 0) fromAhead = workspace::ImportAhead::PicturesTaken() - taken;
    workspace::SetImportThreads(-1);
    return s;
  };
  const auto wandOn = [&](unsigned threads) {
    const double s = bench::magickHintedThumbnails(pictures, 100, 75, thumbs.string(), threads);
    if (s < 0) {
      std::fprintf(stderr, "MagickWand failed\n");
      std::exit(1);
    }
    return s;
  };
  // What the JPEG library's decoding at 1/8 alone costs: the part no thumbnail maker
  // that decodes reduced can do without.
  const auto decodeOnly = [&](const std::vector<std::string>& files) {
    const auto t = Clock::now();
    for (const std::string& p : files) ImageFree(qmjpeg::readFileScaled(p, 8));
    return seconds(Clock::now() - t);
  };
  // The command, and its start-up on a picture of one pixel (the fastest of five).
  const std::string tiny = (fs::path(home) / "tiny.jpg").string();
  QmHandle one = ImageCreate(1, 1, 24, 128, 128, 128);
  ImageFileSaveJpeg(tiny.c_str(), one, 0, 90, 0, "");
  ImageFree(one);
  const auto command = [&] {
    double startup = 1e30;
    for (int r = 0; r < 5; ++r) {
      const auto ts = Clock::now();
      if (!convert(tiny, (thumbs / "tiny.bmp").string())) {
        std::fprintf(stderr, "convert failed on a picture of one pixel\n");
        std::exit(1);
      }
      startup = std::min(startup, seconds(Clock::now() - ts));
    }
    const auto t = Clock::now();
    for (size_t i = 0; i < pictures.size(); ++i) {
      if (!convert(pictures[i], (thumbs / (std::to_string(i) + ".bmp")).string())) {
        std::fprintf(stderr, "convert failed on %s\n", pictures[i].c_str());
        std::exit(1);
      }
    }
    return seconds(Clock::now() - t) - count * startup;
  };

  // Each row is timed in every round, the rounds one after the other, and its median
  // printed: on a machine that others share, each round sees about the same load.
  enum Row { kOursPool, kOursOne, kDecode, kTurnedPool, kTurnedOne, kTurnedDecode, kWandOne, kWandPool, kCommand, kRows };
  std::vector<double> times[kRows];
  for (int r = 0; r < rounds; ++r) {
    // Each run on the untagged pictures right beside the same run on the turned ones,
    // which goes first alternating from round to round.
    const auto pair = [&](Row untaggedRow, Row turnedRow, const auto& run) {
      for (int k = 0; k < 2; ++k) {
        if ((r + k) % 2 == 0) {
          times[untaggedRow].push_back(run(pictures));
        } else {
          times[turnedRow].push_back(run(turned));
        }
      }
    };
    pair(kOursPool, kTurnedPool, [&](const std::vector<std::string>& files) { return ours(static_cast<int>(pool), files); });
    pair(kOursOne, kTurnedOne, [&](const std::vector<std::string>& files) { return ours(0, files); });
    pair(kDecode, kTurnedDecode, decodeOnly);
    times[kWandOne].push_back(wandOn(1));
    times[kWandPool].push_back(wandOn(pool));
    if (withCommand) times[kCommand].push_back(command());
  }
  const auto middle = [](std::vector<double> v) {
    if (v.empty()) return -1.0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  };
  const auto median = [&](Row row) { return middle(times[row]); };
  const auto thumbnailSize = [](const std::string& path) {
    QmHandle thumb = ImageFileLoad(path.c_str());
    ImageKindRecord kind{};
    ImageInfo(thumb, &kind);
    ImageFree(thumb);
    return kind;
  };
  // The thumbnail of a picture of each kind, made once more.
  ours(0, {pictures.back()});
  const ImageKindRecord kind = thumbnailSize(engine.ThumbnailPath);
  ours(0, {turned.back()});
  const ImageKindRecord turnedKind = thumbnailSize(engine.ThumbnailPath);

  const auto ms = [&](double s) { return 1000 * s / count; };
  const double oursPool = median(kOursPool), oursOne = median(kOursOne), wandOne = median(kWandOne),
               wandPool = median(kWandPool);
  std::printf("pictures: %d of %dx%d, %.1f MB in all, files on disk; our thumbnails %dx%d (%dx%d of the turned"
              " ones); %u hardware threads; median of %d rounds; %llu of %d pictures decoded ahead\n",
              count, width, height, bytes / 1e6, kind.width, kind.height, turnedKind.width, turnedKind.height,
              std::thread::hardware_concurrency(), rounds, static_cast<unsigned long long>(fromAhead), count);
  // The turned pictures' rows: each run on them over the run beside it on the untagged
  // ones, whose load the machine shared alike. The median of these ratios, times the
  // untagged median, is the time shown; a ratio of two medians taken apart would mostly
  // tell how the load drifted between the rounds.
  const auto turnedTime = [&](Row turnedRow, Row untaggedRow) {
    std::vector<double> ratios;
    for (size_t i = 0; i < times[turnedRow].size(); ++i) ratios.push_back(times[turnedRow][i] / times[untaggedRow][i]);
    return middle(ratios) * median(untaggedRow);
  };
  std::printf("medians of the turned runs themselves: look-ahead %.3f ms, one thread %.3f ms, decoding %.3f ms\n",
              1000 * median(kTurnedPool) / count, 1000 * median(kTurnedOne) / count,
              1000 * median(kTurnedDecode) / count);
  const std::string what = "import of " + std::to_string(count) + " JPEG pictures " + std::to_string(width) + "x" +
                           std::to_string(height) + ", a picture, ";
  const std::string oursPoolDoes = "working copy and 100x75 thumbnail (flushed), the next JPEGs decoded at 1/8 on " +
                                   std::to_string(pool) + " look-ahead threads beside the window's thread";
  const std::string oursOneDoes = "working copy and 100x75 thumbnail (flushed), one thread";
  const std::string wandOneDoes = "MagickWand with the hint " + std::string(kHint) +
                                  ", thumbnail 100x75, BMP written and flushed, one thread";
  bench::row(what + "look-ahead vs 1 thread (goal 0.50)", ms(oursPool), ms(wandOne), oursPoolDoes, wandOneDoes);
  bench::row(what + "look-ahead vs " + std::to_string(pool) + " threads", ms(oursPool), ms(wandPool), oursPoolDoes,
             "the same on " + std::to_string(pool) + " threads, a wand each, the files split between them");
  bench::row(what + "one thread each", ms(oursOne), ms(wandOne), oursOneDoes, wandOneDoes);
  bench::row("JPEG decoding at 1/8 alone, a picture", ms(median(kDecode)), -1,
             "the JPEG module's reduced load of each picture, one thread (what no reduced thumbnail can do without)",
             "");
  const std::string turnedWhat = "import of " + std::to_string(count) + " JPEG pictures " + std::to_string(width) +
                                 "x" + std::to_string(height) + " stored turned (Exif orientation 6), a picture, ";
  const std::string byRatio = " (the median of its ratios to the untagged run beside it, times the untagged median)";
  const std::string untaggedDoes = "the same import of the same pictures without the tag";
  bench::row(turnedWhat + "look-ahead vs untagged (goal 1.05)", ms(turnedTime(kTurnedPool, kOursPool)), ms(oursPool),
             oursPoolDoes + ", each thumbnail turned upright" + byRatio, untaggedDoes);
  bench::row(turnedWhat + "one thread vs untagged (goal 1.05)", ms(turnedTime(kTurnedOne, kOursOne)), ms(oursOne),
             oursOneDoes + ", each thumbnail turned upright" + byRatio, untaggedDoes);
  bench::row("JPEG decoding at 1/8 of pictures stored turned, a picture, vs untagged",
             ms(turnedTime(kTurnedDecode, kDecode)), ms(median(kDecode)),
             "the reduced load of each picture, turned upright, one thread" + byRatio,
             "the same load of the pictures without the tag");
  if (withCommand) {
    bench::row(what + "look-ahead vs the command", ms(oursPool), ms(median(kCommand)), oursPoolDoes,
               "convert -define " + std::string(kHint) + " -thumbnail 100x75 to BMP, flushed, one thread, its "
               "start-up (a picture of one pixel) taken out");
  }
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
