// What the benchmarks of the picture engine share beyond bench_table.h: an album that grows
// with each picture, pictures with the detail of photographs, and a HOME of their own.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "toolkit/com/qm6com.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/album_host.h"
#include "workspace/image_ope.h"

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

// A new folder that becomes HOME, below `base` or the temporary folder (see newFolder);
// the engine's work folder lies below it, made here. "" when it cannot be made.
inline std::string ownHome(const char* name, const std::string& base = {}) {
  const std::filesystem::path home = newFolder(name, base);
  if (home.empty()) return {};
  setenv("HOME", home.c_str(), 1);
  for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) unsetenv(v);
  std::filesystem::create_directories(platform::workDir());
  return home.string();
}

}  // namespace bench
