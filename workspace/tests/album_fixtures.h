// Helpers of the album and main window tests: pictures made on the spot, and a picture
// engine that reads them into the work folder as the program's engine does.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/messages.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/file_name.h"
#include "workspace/flame_info.h"
#include "workspace/picture_engine.h"
#include "workspace/program.h"

namespace adtest {

// A picture of one colour saved as a BMP file.
inline std::string writePicture(const std::filesystem::path& path, QColor colour, int w = 100, int h = 75) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(colour);
  std::filesystem::create_directories(path.parent_path());
  img.save(QString::fromStdString(path.string()), "BMP");
  return path.string();
}

inline QColor colourOf(int i) { return QColor::fromHsv((i * 47) % 360, 200, 220); }

// Reads picture files as the program's engine does: a working copy and a 100 x 75
// thumbnail in the work folder, WM_IMAGE_INFO to the main window, the album modified;
// refuses at 200 pictures with the album-full message and code 9.
class FakeEngine final : public workspace::PictureEngine {
 public:
  std::vector<std::pair<std::string, uint32_t>> calls;

  bool LoadImage(const std::string& path, uint32_t position) override {
    calls.emplace_back(path, position);
    error_ = 0;
    if (workspace::AlbumCount() >= workspace::kAlbumLimit) {
      workspace::ShowFrameOver(nullptr);
      error_ = 9;
      return false;
    }
    QImage img(QString::fromStdString(path));
    if (img.isNull()) {
      error_ = workspace::FileName(path).Exists() ? 2 : 1;
      return false;
    }
    const std::string base = workspace::WorkDir + "zbm1" + std::to_string(1000 + next_++).substr(1);
    facts_ = {};
    facts_.width = static_cast<uint16_t>(img.width());
    facts_.height = static_cast<uint16_t>(img.height());
    facts_.type = 1;
    facts_.sourceSize = static_cast<uint32_t>(std::filesystem::file_size(path));
    workspace::GetFileWriteTime(path, facts_.sourceTime);
    facts_.workPath = base + ".bmp";
    facts_.thumbPath = base + "TN.bmp";
    std::filesystem::create_directories(workspace::WorkDir);
    std::filesystem::copy_file(path, facts_.workPath, std::filesystem::copy_options::overwrite_existing);
    img.scaled(100, 75).save(QString::fromStdString(facts_.thumbPath), "BMP");
    platform::sendMessage(workspace::MainWindow(), platform::WM_IMAGE_INFO, position, 0);
    workspace::SetAlbumModified();
    return true;
  }
  int ErrorCode() const override { return error_; }
  void GetFacts(workspace::FlameInfo& record) const override { record = facts_; }
  // What the next reports say (tests of the message handler).
  workspace::FlameInfo& facts() { return facts_; }

 private:
  int error_ = 0;
  int next_ = 0;
  workspace::FlameInfo facts_;
};

}  // namespace adtest
