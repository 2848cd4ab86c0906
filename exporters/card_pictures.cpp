#include "card_pictures.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "toolkit/dib/dib.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/file_name.h"
#include "workspace/image_ope.h"

namespace exporters {

void OwnedPicture::reset(QmHandle h) {
  if (h_) ImageFree(h_);
  h_ = h;
}

bool PictureSize(QmHandle picture, int& width, int& height) {
  ImageKindRecord info;
  if (!picture || !ImageInfo(picture, &info) || info.width < 1 || info.height < 1) return false;
  width = info.width;
  height = info.height;
  return true;
}

std::string UniqueWorkFile(const std::string& workDir, const std::string& extension) {
  std::string name = workDir + "zbmXXXXXX" + extension;
  const int fd = ::mkstemps(name.data(), static_cast<int>(extension.size()));
  if (fd < 0) return {};
  ::close(fd);
  return name;
}

QmHandle LoadAlbumPicture(workspace::CImageOpe& engine, const std::string& path, uint32_t filterMode) {
  std::string ext = workspace::FileName(path).GetExt();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (ext != "dvf" && ext != "yuv") return ImageFileLoad(path.c_str());
  const std::string bmp = UniqueWorkFile(engine.WorkDir(), ".bmp");
  if (bmp.empty()) return 0;
  const QmHandle picture = engine.ConvertToBmp(path, bmp, filterMode) ? ImageFileLoad(bmp.c_str()) : 0;
  ::unlink(bmp.c_str());
  return picture;
}

bool LayOver(QmHandle canvas, QmHandle picture, int left, int top, bool whiteClear) {
  qm6dib::Locked dst(canvas);
  qm6dib::Locked src(picture);
  if (!dst.ok() || !src.ok() || dst.bits() != 24) return false;
  const int64_t x0 = std::max<int64_t>(0, left), x1 = std::min<int64_t>(dst.width(), int64_t(left) + src.width());
  const int64_t y0 = std::max<int64_t>(0, top), y1 = std::min<int64_t>(dst.height(), int64_t(top) + src.height());
  std::vector<uint8_t> scratch(static_cast<size_t>(src.width()) * 3);
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* from = src.bgrRow(static_cast<int32_t>(y - top), scratch.data()) + 3 * (x0 - left);
    uint8_t* to = dst.row(static_cast<int32_t>(y)) + 3 * x0;
    if (!whiteClear) {
      std::memcpy(to, from, static_cast<size_t>(3 * (x1 - x0)));
      continue;
    }
    for (int64_t x = x0; x < x1; ++x, from += 3, to += 3) {
      if (from[0] != 255 || from[1] != 255 || from[2] != 255) std::memcpy(to, from, 3);
    }
  }
  return true;
}

QImage PictureImage(QmHandle picture) {
  qm6dib::Locked pic(picture);
  if (!pic.ok()) return {};
  QImage image(pic.width(), pic.height(), QImage::Format_RGB888);
  std::vector<uint8_t> scratch(static_cast<size_t>(pic.width()) * 3);
  for (int32_t y = 0; y < pic.height(); ++y) {
    const uint8_t* bgr = pic.bgrRow(y, scratch.data());
    uchar* rgb = image.scanLine(y);
    for (int32_t x = 0; x < pic.width(); ++x) {
      rgb[3 * x] = bgr[3 * x + 2];
      rgb[3 * x + 1] = bgr[3 * x + 1];
      rgb[3 * x + 2] = bgr[3 * x];
    }
  }
  return image;
}

}  // namespace exporters
