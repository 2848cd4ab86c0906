// Helpers of the album and main window tests: pictures made on the spot.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <filesystem>
#include <string>

#include "platform/testsupport/testsupport.h"

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

}  // namespace adtest
