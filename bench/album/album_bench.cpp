// Saving a full album of 200 pictures as one .qla file and opening it again, beside the
// same bytes packed and unpacked by tar (its start-up, the same command on an empty file,
// taken out; its files flushed to the disk as ours are), and beside importing the 200
// pictures as separate files. Each step runs several times; medians are reported.
//
//   album_bench [--count 200] [--width 1600] [--height 1200] [--runs 5] [--folder DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "workspace/import_ahead.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The median of `runs` timings of `step`, with `reset` before each (not timed); a failed
// step ends the program.
double medianOf(int runs, const char* what, const std::function<void()>& reset, const std::function<bool()>& step) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    reset();
    const auto t = Clock::now();
    if (!step()) {
      std::fprintf(stderr, "%s failed\n", what);
      std::exit(1);
    }
    times.push_back(std::chrono::duration<double>(Clock::now() - t).count());
  }
  return bench::median(times);
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200, width = 1600, height = 1200, runs = 5;
  fs::path folder = fs::path(platform::appDir()).parent_path().parent_path() / "bench-data" / "album";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--count") count = std::atoi(argv[i + 1]);
    else if (k == "--width") width = std::atoi(argv[i + 1]);
    else if (k == "--height") height = std::atoi(argv[i + 1]);
    else if (k == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (k == "--folder") folder = argv[i + 1];
  }
  folder /= std::to_string(width) + "x" + std::to_string(height);
  fs::create_directories(folder);

  std::vector<std::string> pictures;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "P%04d.JPG", i + 1);
    const std::string path = (folder / name).string();
    if (!fs::exists(path) && !bench::makePicture(path, width, height, static_cast<uint32_t>(i))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    pictures.push_back(path);
  }

  // A HOME of our own: the work folder goes there.
  const std::string home = bench::ownHome("album-bench");
  if (home.empty()) return 1;
  const std::string work = platform::workDir();
  const fs::path out = fs::path(home) / "out";
  fs::create_directories(out);

  bench::GrowingAlbum album;
  workspace::CImageOpe engine(&album, &album);
  album.engine = &engine;
  auto emptyAlbum = [&] {
    album.clear();
    engine.DeleteFiles(work + "zbm*.*");
  };
  // As the main window adds a list of files: the pictures to come decoded ahead.
  auto importAll = [&] {
    workspace::ImportAhead ahead(engine, workspace::ImportAhead::ForFiles(pictures));
    for (size_t i = 0; i < pictures.size(); ++i) {
      ahead.Begin(i);
      if (!engine.LoadImage(pictures[i], album.count)) return false;
    }
    return true;
  };

  // The album: the pictures imported once; its working copies are what a save writes.
  emptyAlbum();
  const double importLoose = medianOf(runs, "import", emptyAlbum, importAll);
  const std::vector<std::string> copies = album.copies;
  uint64_t bytes = 0;
  for (const std::string& c : copies) bytes += fs::file_size(c);

  const std::string qla = (out / "ALBUM001.qla").string();
  const std::string tarFile = (out / "album.tar").string();
  std::vector<std::string> tarCreate = {"tar", "-cf", tarFile, "-C", work};
  for (const std::string& c : copies) tarCreate.push_back(fs::path(c).filename().string());
  const double save = medianOf(runs, "album save", [] {}, [&] { return engine.SaveAlbum(qla, copies); });
  const double tarSave = medianOf(
      runs, "tar -c", [&] { fs::remove(tarFile); },
      [&] { return bench::run(tarCreate) == 0 && bench::flushToDisk(tarFile); });

  // Opening the album again: the same pictures back in an empty album.
  const fs::path unpacked = out / "unpacked";
  const double reopen = medianOf(runs, "album open", emptyAlbum, [&] {
    return engine.LoadImage(qla, 0) && album.count == static_cast<uint32_t>(count);
  });
  const double tarOpen = medianOf(
      runs, "tar -x", [&] { fs::remove_all(unpacked), fs::create_directories(unpacked); },
      [&] {
        if (bench::run({"tar", "-xf", tarFile, "-C", unpacked.string()}) != 0) return false;
        for (const auto& entry : fs::directory_iterator(unpacked)) {
          if (!bench::flushToDisk(entry.path().string())) return false;
        }
        return true;
      });
  // tar's start-up: the same commands on one empty file.
  const fs::path trivial = out / "trivial";
  fs::create_directories(trivial / "in");
  fs::create_directories(trivial / "out");
  { std::ofstream((trivial / "in" / "empty").string()); }
  const std::string trivialTar = (trivial / "t.tar").string();
  const double tarStart = bench::startupMs(runs, {"tar", "-cf", trivialTar, "-C", (trivial / "in").string(), "empty"}) / 1000;
  const double untarStart = bench::startupMs(runs, {"tar", "-xf", trivialTar, "-C", (trivial / "out").string()}) / 1000;

  std::printf("album: %d pictures of %dx%d (JPEG), %.1f MB; saved at %.0f MB/s; opened in %.3f s, importing them as "
              "files takes %.3f s\n",
              count, width, height, bytes / 1e6, bytes / 1e6 / save, reopen, importLoose);
  bench::row("album of " + std::to_string(count) + " pictures: save as .qla", 1000 * save, 1000 * (tarSave - tarStart),
             "SaveAlbum (one file, fsync, rename)", "tar -c of the working copies, start-up taken out, fsync");
  bench::row("album of " + std::to_string(count) + " pictures: open .qla", 1000 * reopen, 1000 * (tarOpen - untarStart),
             "LoadImage of the album: working copies and thumbnails",
             "tar -x of the same files (bytes only, no thumbnails), start-up taken out, fsync");
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
