#include "workspace/reduced_read.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "jpegmodule/scaled_load.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace workspace {

namespace {

int64_t reducedSide(int32_t side, unsigned d) { return (static_cast<int64_t>(side) + d - 1) / d; }

}  // namespace

bool IsJpegType(uint16_t type) {
  return type == QM_TYPE_JPEG || type == QM_TYPE_JPEG_PROGRESSIVE || type == QM_TYPE_JPEG_EXIF;
}

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

namespace {

// The reduction for a picture of `full` size, and the picture `decode` gives for it when
// it is exactly the size the library promised; else 0 (and reduction 1).
QmHandle decodeReduced(Extent full, const std::function<Extent(Extent)>& wanted, int32_t margin, unsigned& reduction,
                       const std::function<QmHandle(unsigned)>& decode) {
  const unsigned d = ReductionFor(full.width, full.height, wanted(full), margin);
  if (d == 1) return 0;
  const QmHandle picture = decode(d);
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

}  // namespace

namespace {

// The upright picture's size from a header, when it is one the callers can scale.
bool uprightSize(const qmjpeg::Header& header, Extent& full) {
  const uint32_t w = header.uprightWidth(), h = header.uprightHeight();
  if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) return false;
  full = {static_cast<int32_t>(w), static_cast<int32_t>(h)};
  return true;
}

}  // namespace

QmHandle ReadReduced(const std::string& path, const std::function<Extent(Extent)>& wanted, int32_t margin,
                     Extent& full, unsigned& reduction) {
  full = {};
  reduction = 1;
  qmjpeg::Header header;
  if (!qmjpeg::readFileHeader(path, header) || !uprightSize(header, full)) return 0;
  return decodeReduced(full, wanted, margin, reduction,
                       [&](unsigned d) { return qmjpeg::readFileScaled(path, header, d); });
}

QmHandle ReadReducedBlock(const uint8_t* data, size_t length, const std::function<Extent(Extent)>& wanted,
                          int32_t margin, Extent& full, unsigned& reduction, const std::atomic<bool>* stop,
                          const std::function<bool(uint64_t)>& admit) {
  full = {};
  reduction = 1;
  qmjpeg::Header header;
  if (!qmjpeg::readBlockHeader(data, length, header) || !uprightSize(header, full)) return 0;
  return decodeReduced(full, wanted, margin, reduction, [&](unsigned d) -> QmHandle {
    if (admit) {
      const uint64_t need = qmjpeg::blockReadBytes(data, length, d);
      if (need == 0 || !admit(need)) return 0;
    }
    return qmjpeg::readBlockScaled(data, length, header, d, stop);
  });
}

}  // namespace workspace
