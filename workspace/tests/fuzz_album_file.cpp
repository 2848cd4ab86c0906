// Album files as the album readers take them, from any bytes: a frame-sequence album
// (anything beginning "WZA") or a single-file album, read into an album that is empty,
// holds a few pictures (the question is answered No) or is one picture short of full.
// Every entry the reader finds goes on through the picture import.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/scripted.h"
#include "platform/testsupport/fuzz_files.h"
#include "workspace/album_host.h"
#include "workspace/image_ope.h"

namespace {

class Album : public workspace::AlbumHost, public platform::MessageReceiver {
 public:
  Album() {
    onMessage(platform::WM_IMAGE_INFO, [this](platform::WPARAM w, platform::LPARAM) {
      if (static_cast<uint32_t>(w) != count) std::abort();  // a gap or an overwritten picture
      ++count;
      return platform::LRESULT{0};
    });
  }
  uint32_t PictureCount() const override { return count; }
  platform::MessageReceiver* MainWindow() const override { return const_cast<Album*>(this); }
  void ShowFrameOver() override {}
  void SetModified() override {}
  void SetBusy(bool) override {}
  bool NewAlbum() override {
    count = 0;
    return true;
  }
  uint32_t count = 0;
};

std::string inputFolder() {
  static std::string dir = [] {
    const std::string home = adfuzz::folder();
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::create_directories(platform::workDir());
    return home;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = inputFolder();
  const bool frames = size >= 3 && std::memcmp(data, "WZA", 3) == 0;
  const std::string path = dir + (frames ? "/input.wza" : "/input.qla");
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f || std::fwrite(data, 1, size, f.get()) != size) return 0;
  }
  static platform::ScriptedMessageBoxes boxes;  // every question is answered No
  Album album;
  const uint8_t last = size ? data[size - 1] : 0;
  album.count = last % 3 == 0 ? 0 : last % 3 == 1 ? 4 : workspace::CImageOpe::kAlbumLimit - 1;
  static platform::ManualClock clock;  // waits take no time
  workspace::CImageOpe engine(&album, &album, workspace::OutputFormat(), clock);
  (void)engine.GetImageCount(path);
  (void)engine.LoadImage(path, album.count);
  engine.DeleteFiles(engine.WorkDir() + "zbm*.*");
  return 0;
}
