// Saving a full album of 200 pictures as one .qla file and opening it again, beside the
// same bytes packed and unpacked by tar, and beside importing the 200 pictures as
// separate files. Each step runs several times; the best time counts.
//
//   album_bench [--count 200] [--width 1600] [--height 1200] [--runs 3] [--folder DIR]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/messages.h"
#include "toolkit/com/qm6com.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/album_host.h"
#include "workspace/image_ope.h"

extern char** environ;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The main window's album as far as the engine needs it: it grows with each picture.
class Album : public workspace::AlbumHost, public platform::MessageReceiver {
 public:
  Album() {
    onMessage(platform::WM_IMAGE_INFO, [this](platform::WPARAM, platform::LPARAM) {
      ++count;
      if (engine) copies.push_back(engine->WorkingPath);
      return platform::LRESULT{0};
    });
  }
  uint32_t PictureCount() const override { return count; }
  platform::MessageReceiver* MainWindow() const override { return const_cast<Album*>(this); }
  void ShowFrameOver() override {}
  void SetModified() override {}
  void SetBusy(bool) override {}
  uint32_t count = 0;
  const workspace::CImageOpe* engine = nullptr;
  std::vector<std::string> copies;  // the working copies, in album order
};

uint32_t hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  return x ^ (x >> 16);
}

// A picture with the detail of a photograph: gradients, edges and fine texture.
bool makePicture(const std::string& path, int w, int h, uint32_t seed) {
  QmHandle pic = ImageCreate(w, h, 24, 0, 0, 0);
  if (!pic) return false;
  auto* base = static_cast<uint8_t*>(QmGlobalLock(pic)) + 40;
  const size_t stride = (3 * static_cast<size_t>(w) + 3) & ~size_t{3};
  for (int y = 0; y < h; ++y) {
    uint8_t* row = base + static_cast<size_t>(y) * stride;
    for (int x = 0; x < w; ++x) {
      const uint32_t n = hash(static_cast<uint32_t>(x / 2) * 73856093u ^ static_cast<uint32_t>(y / 2) * 19349663u ^ seed);
      const int block = ((x / 97 + y / 61 + static_cast<int>(seed)) % 5) * 30;
      row[3 * x] = static_cast<uint8_t>((x * 160 / w + block + (n & 31)) & 0xFF);
      row[3 * x + 1] = static_cast<uint8_t>((y * 160 / h + block / 2 + ((n >> 5) & 31)) & 0xFF);
      row[3 * x + 2] = static_cast<uint8_t>(((x + y) * 100 / (w + h) + 60 + ((n >> 10) & 15)) & 0xFF);
    }
  }
  QmGlobalUnlock(pic);
  const bool ok = ImageFileSaveJpeg(path.c_str(), pic, 0, 90, 0, "") != 0;
  ImageFree(pic);
  return ok;
}

int run(const std::vector<std::string>& argv, const std::string& dir = {}) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid;
  const int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The best of `runs` timings of `step`, with `reset` before each (not timed); a failed
// step ends the program.
double best(int runs, const char* what, const std::function<void()>& reset, const std::function<bool()>& step) {
  double fastest = 1e30;
  for (int r = 0; r < runs; ++r) {
    reset();
    const auto t = Clock::now();
    if (!step()) {
      std::fprintf(stderr, "%s failed\n", what);
      std::exit(1);
    }
    fastest = std::min(fastest, std::chrono::duration<double>(Clock::now() - t).count());
  }
  return fastest;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200, width = 1600, height = 1200, runs = 3;
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
    if (!fs::exists(path) && !makePicture(path, width, height, static_cast<uint32_t>(i))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    pictures.push_back(path);
  }

  // A HOME of our own: the work folder goes there.
  char home[] = "/tmp/album-bench-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("HOME", home, 1);
  for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) unsetenv(v);
  const std::string work = platform::workDir();
  fs::create_directories(work);
  const fs::path out = fs::path(home) / "out";
  fs::create_directories(out);

  Album album;
  workspace::CImageOpe engine(&album, &album);
  album.engine = &engine;
  auto emptyAlbum = [&] {
    album.count = 0;
    album.copies.clear();
    engine.DeleteFiles(work + "zbm*.*");
  };
  auto importAll = [&] {
    for (const std::string& p : pictures) {
      if (!engine.LoadImage(p, album.count)) return false;
    }
    return true;
  };

  // The album: the pictures imported once; its working copies are what a save writes.
  emptyAlbum();
  const double importLoose = best(runs, "import", emptyAlbum, importAll);
  const std::vector<std::string> copies = album.copies;
  uint64_t bytes = 0;
  for (const std::string& c : copies) bytes += fs::file_size(c);

  const std::string qla = (out / "ALBUM001.qla").string();
  const std::string tarFile = (out / "album.tar").string();
  std::vector<std::string> tarCreate = {"tar", "-cf", tarFile, "-C", work};
  for (const std::string& c : copies) tarCreate.push_back(fs::path(c).filename().string());
  const double save = best(runs, "album save", [] {}, [&] { return engine.SaveAlbum(qla, copies); });
  const double tarSave = best(runs, "tar -c", [&] { fs::remove(tarFile); }, [&] { return run(tarCreate) == 0; });

  // Opening the album again: the same pictures back in an empty album.
  const fs::path unpacked = out / "unpacked";
  const double reopen = best(runs, "album open", emptyAlbum, [&] {
    return engine.LoadImage(qla, 0) && album.count == static_cast<uint32_t>(count);
  });
  const double tarOpen = best(
      runs, "tar -x", [&] { fs::remove_all(unpacked), fs::create_directories(unpacked); },
      [&] { return run({"tar", "-xf", tarFile, "-C", unpacked.string()}) == 0; });

  std::printf("album: %d pictures of %dx%d (JPEG), %.1f MB\n", count, width, height, bytes / 1e6);
  std::printf("save as .qla:                         %7.3f s  (%.0f MB/s)\n", save, bytes / 1e6 / save);
  std::printf("  tar -c of the same files:           %7.3f s  (ratio ours / tar %.2f)\n", tarSave, save / tarSave);
  std::printf("re-open .qla (working copies and thumbnails): %7.3f s, %.1f ms a picture\n", reopen,
              1000 * reopen / count);
  std::printf("  importing the %d pictures as files:      %7.3f s  (ratio %.2f)\n", count, importLoose,
              reopen / importLoose);
  std::printf("  tar -x of the same files (bytes only):   %7.3f s\n", tarOpen);
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
