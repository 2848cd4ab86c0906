#include "workspace/reduced_read.h"

#include <algorithm>
#include <cstdlib>

#include "jpegmodule/scaled_load.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace workspace {

namespace {

bool isJpeg(uint16_t type) {
  return type == QM_TYPE_JPEG || type == QM_TYPE_JPEG_PROGRESSIVE || type == QM_TYPE_JPEG_EXIF;
}

int64_t reducedSide(int32_t side, unsigned d) { return (static_cast<int64_t>(side) + d - 1) / d; }

}  // namespace

Extent ThumbnailSize(int32_t w, int32_t h, int32_t maxW, int32_t maxH) {
  if ((w == maxW && h <= maxH) || (w <= maxW && h == maxH)) return {w, h};
  int64_t tw, th;
  if (3ll * w > 4ll * h) {
    tw = maxW;
    th = static_cast<int64_t>(h) * maxW / w;
  } else {
    th = maxH;
    tw = static_cast<int64_t>(w) * maxH / h;
  }
  return {static_cast<int32_t>(std::max<int64_t>(tw, 1)), static_cast<int32_t>(std::max<int64_t>(th, 1))};
}

unsigned ReductionFor(int32_t w, int32_t h, Extent target, int32_t margin) {
  for (unsigned d : {8u, 4u, 2u}) {
    const int64_t rw = reducedSide(w, d), rh = reducedSide(h, d);
    // (A picture of one pixel is no smaller for any reduction.)
    if ((rw < w || rh < h) && rw >= int64_t{margin} * target.width && rh >= int64_t{margin} * target.height) return d;
  }
  return 1;
}

QmHandle ReadReduced(const std::string& path, const std::function<Extent(Extent)>& wanted, int32_t margin,
                     Extent& full, unsigned& reduction) {
  full = {};
  reduction = 1;
  ImageFileInfoRecord info;
  if (!ImageFileInfo(path.c_str(), &info) || !isJpeg(info.pictureType) || info.width < 1 || info.height < 1) return 0;
  full = {info.width, info.height};
  const unsigned d = ReductionFor(full.width, full.height, wanted(full), margin);
  if (d == 1) return 0;
  const QmHandle picture = qmjpeg::readFileScaled(path, d);
  ImageKindRecord kind{};
  // Anything but the picture the library promised is left to a full reading.
  if (picture && ImageInfo(picture, &kind) && kind.width == reducedSide(full.width, d) &&
      std::abs(kind.height) == reducedSide(full.height, d)) {
    reduction = d;
    return picture;
  }
  ImageFree(picture);
  return 0;
}

}  // namespace workspace
