// The toolkit's picture operations.
#include <algorithm>
#include <cstring>
#include <vector>

#include "toolkit/dib/dib.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/effect/resample.h"

namespace {

using qm6dib::Locked;

struct Place {
  int32_t left, top, width, height;
};

QmHandle makePlace(const Place& p) {
  QmHandle h = QmGlobalAlloc(sizeof p);
  if (!h) return 0;
  std::memcpy(QmGlobalLock(h), &p, sizeof p);
  QmGlobalUnlock(h);
  return h;
}

// Fills the clip, or releases what was made and leaves it empty.
QmBool setClip(QmClip* clip, QmHandle picture, const Place& place) {
  QmHandle where = picture ? makePlace(place) : 0;
  if (!where) {
    QmGlobalFree(picture);
    return 0;
  }
  clip->picture = picture;
  clip->place = where;
  return 1;
}

// A new 24-bit picture of the part of the source from (left, top), w x h.
QmHandle cutRect(const Locked& src, int32_t left, int32_t top, int32_t w, int32_t h) {
  QmHandle out = qm6dib::create24(w, h);
  if (!out) return 0;
  Locked dst(out);
  std::vector<uint8_t> scratch(static_cast<size_t>(src.width()) * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = src.bgrRow(top + y, scratch.data());
    std::memcpy(dst.row(y), row + 3 * static_cast<size_t>(left), 3 * static_cast<size_t>(w));
  }
  return out;
}

QmHandle canvasCopy(const Locked& canvas) { return qm6dib::copy24(canvas); }

// Quarter turns counter-clockwise (0..3) of a turn given in hundredths of a degree; -1
// when it is not a whole quarter turn.
int quarterTurns(int32_t angle) {
  if (angle % 9000 != 0) return -1;
  return ((angle / 9000) % 4 + 4) % 4;
}

// Lays `pic` turned by `turns` quarter turns counter-clockwise over `dst` with its
// top-left corner (after turning) at (left, top).
void layOver(const Locked& dst, const Locked& pic, int turns, int64_t left, int64_t top) {
  const int32_t w = pic.width();
  const int32_t h = pic.height();
  const int32_t tw = (turns % 2) ? h : w;
  const int32_t th = (turns % 2) ? w : h;
  const int64_t x0 = std::max<int64_t>(0, left);
  const int64_t x1 = std::min<int64_t>(dst.width(), left + tw);
  const int64_t y0 = std::max<int64_t>(0, top);
  const int64_t y1 = std::min<int64_t>(dst.height(), top + th);
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<uint8_t> scratch(static_cast<size_t>(w) * 3);
  if (turns == 0) {
    for (int64_t y = y0; y < y1; ++y) {
      const uint8_t* row = pic.bgrRow(static_cast<int32_t>(y - top), scratch.data());
      std::memcpy(dst.row(static_cast<int32_t>(y)) + 3 * x0, row + 3 * (x0 - left), static_cast<size_t>(3 * (x1 - x0)));
    }
    return;
  }
  // Source pixel of turned pixel (X, Y): one quarter turn counter-clockwise moves (x, y)
  // to (y, w - 1 - x); a half turn to (w - 1 - x, h - 1 - y); three to (h - 1 - y, x).
  for (int64_t y = y0; y < y1; ++y) {
    const auto Y = static_cast<int32_t>(y - top);
    uint8_t* out = dst.row(static_cast<int32_t>(y));
    if (turns == 2) {
      const uint8_t* row = pic.bgrRow(h - 1 - Y, scratch.data());
      for (int64_t x = x0; x < x1; ++x) {
        const auto X = static_cast<int32_t>(x - left);
        std::memcpy(out + 3 * x, row + 3 * static_cast<size_t>(w - 1 - X), 3);
      }
      continue;
    }
    // One source column per turned row.
    const int32_t sx = turns == 1 ? w - 1 - Y : Y;
    uint8_t pixel[3];
    for (int64_t x = x0; x < x1; ++x) {
      const auto X = static_cast<int32_t>(x - left);
      const int32_t sy = turns == 1 ? X : h - 1 - X;
      std::memcpy(out + 3 * x, pic.bgrPixel(sx, sy, pixel), 3);
    }
  }
}

}  // namespace

extern "C" {

QmBool ImageInfo(QmHandle picture, ImageKindRecord* info) {
  if (!info) return 0;
  std::memset(info, 0, sizeof *info);
  Locked pic(picture);
  if (!pic.ok()) return 0;
  GetImageKind(info, picture);
  info->height = pic.height();
  return 1;
}

void ImageFree(QmHandle picture) {
  if (picture) QmGlobalFree(picture);
}

QmHandle ImageCopy(QmHandle picture) {
  const size_t size = QmGlobalSize(picture);
  if (size == 0) return 0;
  QmHandle copy = QmGlobalAlloc(size);
  if (!copy) return 0;
  std::memcpy(QmGlobalLock(copy), QmGlobalLock(picture), size);
  QmGlobalUnlock(picture);
  QmGlobalUnlock(copy);
  return copy;
}

QmHandle ImageCreate(int32_t width, int32_t height, int32_t bits, int32_t red, int32_t green, int32_t blue) {
  if (bits != 24) return 0;
  QmHandle h = qm6dib::create24(width, height);
  if (!h) return 0;
  Locked pic(h);
  const uint8_t bgr[3] = {static_cast<uint8_t>(blue), static_cast<uint8_t>(green), static_cast<uint8_t>(red)};
  uint8_t* first = pic.row(0);
  for (int32_t x = 0; x < width; ++x) std::memcpy(first + 3 * x, bgr, 3);
  for (int32_t y = 1; y < height; ++y) std::memcpy(pic.row(y), first, 3 * static_cast<size_t>(width));
  return h;
}

QmHandle ImageToDepth(QmHandle picture, int32_t bits) {
  if (bits != 24) return 0;
  Locked pic(picture);
  if (!pic.ok()) return 0;
  return canvasCopy(pic);
}

QmBool ClipCut(QmHandle picture, QmClip* clip, int32_t shape, const int32_t* points, int32_t count) {
  if (!clip) return 0;
  clip->picture = clip->place = 0;
  Locked pic(picture);
  if (!pic.ok()) return 0;
  Place p{0, 0, pic.width(), pic.height()};
  if (shape == QM_CLIP_POLYGON) {
    if (!points || count < 1) return 0;
    int64_t x0 = points[0], x1 = points[0], y0 = points[1], y1 = points[1];
    for (int32_t i = 1; i < count; ++i) {
      x0 = std::min<int64_t>(x0, points[2 * i]);
      x1 = std::max<int64_t>(x1, points[2 * i]);
      y0 = std::min<int64_t>(y0, points[2 * i + 1]);
      y1 = std::max<int64_t>(y1, points[2 * i + 1]);
    }
    // Every corner must be a corner of the bounding rectangle.
    for (int32_t i = 0; i < count; ++i) {
      const int64_t x = points[2 * i], y = points[2 * i + 1];
      if ((x != x0 && x != x1) || (y != y0 && y != y1)) return 0;
    }
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, pic.width());
    y1 = std::min<int64_t>(y1, pic.height());
    if (x0 >= x1 || y0 >= y1) return 0;
    p = Place{static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1 - x0),
              static_cast<int32_t>(y1 - y0)};
  } else if (shape != QM_CLIP_WHOLE) {
    return 0;
  }
  return setClip(clip, cutRect(pic, p.left, p.top, p.width, p.height), p);
}

QmBool ClipResize(const QmClip* clip, QmClip* resized, int32_t width, int32_t height) {
  if (!clip || !resized) return 0;
  resized->picture = resized->place = 0;
  Locked pic(clip->picture);
  if (!pic.ok()) return 0;
  return setClip(resized, qm6effect::resample(pic, width, height), Place{0, 0, width, height});
}

QmHandle ImageResize(QmHandle picture, int32_t width, int32_t height) {
  Locked pic(picture);
  return pic.ok() ? qm6effect::resample(pic, width, height) : 0;
}

QmHandle ClipPaste(QmHandle canvas, const QmClip* clip, int32_t angle, int32_t centreX, int32_t centreY) {
  const int turns = quarterTurns(angle);
  if (!clip || turns < 0) return 0;
  Locked base(canvas);
  Locked pic(clip->picture);
  if (!base.ok() || !pic.ok()) return 0;
  QmHandle out = canvasCopy(base);
  if (!out) return 0;
  Locked dst(out);
  const int32_t tw = (turns % 2) ? pic.height() : pic.width();
  const int32_t th = (turns % 2) ? pic.width() : pic.height();
  layOver(dst, pic, turns, static_cast<int64_t>(centreX) - tw / 2, static_cast<int64_t>(centreY) - th / 2);
  return out;
}

QmHandle ImageOverlay(QmHandle background, QmHandle picture, int32_t left, int32_t top) {
  Locked base(background);
  Locked pic(picture);
  if (!base.ok() || !pic.ok()) return 0;
  QmHandle out = canvasCopy(base);
  if (!out) return 0;
  Locked dst(out);
  layOver(dst, pic, 0, left, top);
  return out;
}

}  // extern "C"
