// A picture engine under test: a stand-in for the main window's album, a window that
// records what WM_IMAGE_INFO told it, and the work folder in the test's own HOME.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "picture_util.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/album_host.h"
#include "workspace/image_ope.h"

namespace enginetest {

class FakeAlbum : public workspace::AlbumHost {
 public:
  uint32_t PictureCount() const override { return count; }
  platform::MessageReceiver* MainWindow() const override { return mainWindow; }
  void ShowFrameOver() override { ++frameOver; }
  void SetModified() override { ++modified; }
  void SetBusy(bool busy) override { busyCalls.push_back(busy); }

  uint32_t count = 0;
  platform::MessageReceiver* mainWindow = nullptr;
  int frameOver = 0;
  int modified = 0;
  std::vector<bool> busyCalls;
};

// What the window copied from the engine when WM_IMAGE_INFO arrived.
struct Reported {
  intptr_t position = -1;
  uint16_t width = 0, height = 0, type = 0, title = 0;
  uint32_t sourceSize = 0;
  workspace::FileTime writeTime = 0;
  std::string working, thumbnail, timeCode;
};

class Window : public platform::MessageReceiver {
 public:
  explicit Window(const workspace::CImageOpe* const* engine) {
    onMessage(platform::WM_IMAGE_INFO, [this, engine](platform::WPARAM w, platform::LPARAM) {
      const workspace::CImageOpe& e = **engine;
      received.push_back(Reported{w, e.Width, e.Height, e.PictureType, e.TitleNumber, e.SourceSize,
                                   e.SourceWriteTime, e.WorkingPath, e.ThumbnailPath, e.TimeCode});
      return platform::LRESULT{0};
    });
  }
  std::vector<Reported> received;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work = platform::workDir();
    std::filesystem::create_directories(work);
    album.mainWindow = &mainWindow;
    engine = std::make_unique<workspace::CImageOpe>(&mainWindow, &album, settings, clock);
    enginePtr = engine.get();
    blocks = QmGlobalCount();
  }
  void TearDown() override { EXPECT_EQ(QmGlobalCount(), blocks) << "every picture released"; }

  // Writes a 24-bit BMP of the picture made by f into the test folder.
  template <typename F>
  std::string bmpFile(const std::string& name, int w, int h, F f) {
    QmHandle pic = pictest::make(w, h, f);
    const std::string path = (adtest::testDir() / name).string();
    EXPECT_NE(ImageFileSaveBmp(path.c_str(), pic), 0);
    ImageFree(pic);
    return path;
  }
  std::string solidBmp(const std::string& name, int w, int h, pictest::Rgb c) {
    return bmpFile(name, w, h, [c](int, int) { return c; });
  }
  // The pixels of a picture file.
  static pictest::Pixels filePixels(const std::string& path) {
    QmHandle pic = ImageFileLoad(path.c_str());
    pictest::Pixels p = pictest::read(pic);
    ImageFree(pic);
    return p;
  }

  std::string work;
  FakeAlbum album;
  platform::ManualClock clock;
  workspace::OutputFormatSettings settings;
  const workspace::CImageOpe* enginePtr = nullptr;
  Window mainWindow{&enginePtr};
  std::unique_ptr<workspace::CImageOpe> engine;
  uint32_t blocks = 0;
};

// A YUV0 file of one colour (Y, U, V for every pixel), or with its head altered.
std::string yuvFile(const std::string& name, uint32_t width, uint32_t height, uint8_t y, uint8_t u, uint8_t v,
                    int64_t sizeDelta = 0, const char* magic = "YUV0");

// A DVF frame file in the test folder from a whole DV frame of 10 or 12 DIF sequences
// (120000 or 144000 bytes): the 32-byte head, then each sequence without its header block.
std::string writeDvf(const std::string& name, const std::string& frame);

}  // namespace enginetest
