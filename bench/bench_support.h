// What the benchmarks of the picture engine share: an album that grows with each
// picture, pictures with the detail of photographs, a HOME of their own, and starting a
// peer program.
#pragma once

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
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

namespace bench {

// The main window's album as far as the engine needs it: it grows with each picture
// and keeps the working copies in album order. It has no limit.
class GrowingAlbum : public workspace::AlbumHost, public platform::MessageReceiver {
 public:
  GrowingAlbum() {
    onMessage(platform::WM_IMAGE_INFO, [this](platform::WPARAM, platform::LPARAM) {
      ++count;
      if (engine) copies.push_back(engine->WorkingPath);
      return platform::LRESULT{0};
    });
  }
  uint32_t PictureCount() const override { return count; }
  platform::MessageReceiver* MainWindow() const override { return nullptr; }
  void ShowFrameOver() override {}
  void SetModified() override {}
  void SetBusy(bool) override {}
  void clear() {
    count = 0;
    copies.clear();
  }
  uint32_t count = 0;
  const workspace::CImageOpe* engine = nullptr;  // whose working copies are kept
  std::vector<std::string> copies;
};

inline uint32_t hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  return x ^ (x >> 16);
}

// A JPEG picture (quality 90) with the detail of a photograph: broad gradients, edges
// and fine texture.
inline bool makePicture(const std::string& path, int w, int h, uint32_t seed) {
  QmHandle pic = ImageCreate(w, h, 24, 0, 0, 0);
  if (!pic) return false;
  auto* base = static_cast<uint8_t*>(QmGlobalLock(pic)) + 40;
  const size_t stride = (3 * static_cast<size_t>(w) + 3) & ~size_t{3};
  for (int y = 0; y < h; ++y) {
    uint8_t* row = base + static_cast<size_t>(h - 1 - y) * stride;
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

// A new temporary folder that becomes HOME (the engine's work folder lies below it, made
// here); "" when it cannot be made.
inline std::string ownHome(const char* name) {
  std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  setenv("HOME", pattern.c_str(), 1);
  for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) unsetenv(v);
  std::filesystem::create_directories(platform::workDir());
  return pattern;
}

// Runs a program (looked up on PATH) with its arguments, in `dir` when given; its exit
// code, -1 when it could not run.
inline int run(const std::vector<std::string>& argv, const std::string& dir = {}) {
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

}  // namespace bench
