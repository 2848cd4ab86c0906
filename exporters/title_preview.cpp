#include "title_preview.h"

#include <unistd.h>

#include <cmath>

#include "card_pictures.h"
#include "toolkit/dib/dib.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace exporters {

PreviewPlace PreviewPlacement(int w, int h) {
  PreviewPlace p;
  if (w < 1 || h < 1) return p;
  if (int64_t(w) * 3 > int64_t(h) * 4) {
    p.width = kPreviewWidth;
    p.height = static_cast<int>(int64_t(h) * kPreviewWidth / w);
  } else {
    p.height = kPreviewHeight;
    p.width = static_cast<int>(int64_t(w) * kPreviewHeight / h);
  }
  // A picture many times wider than high still keeps one row (and the other way round).
  p.width = std::max(p.width, 1);
  p.height = std::max(p.height, 1);
  p.left = (kPreviewWidth - p.width) / 2;
  p.top = (kPreviewHeight - p.height) / 2;
  return p;
}

int LevelOfSlider(int position) { return position == 0 ? 0 : 256 - position; }

int SliderOfLevel(int level) { return level == 0 ? 0 : 256 - level; }

int Luminance(uint8_t red, uint8_t green, uint8_t blue) { return (299 * red + 587 * green + 114 * blue) / 1000; }

int InitialCutLevel(uint16_t titleNumber) { return titleNumber <= 255 ? titleNumber : kDefaultCutLevel; }

bool CutOut(QmHandle picture, int level) {
  qm6dib::Locked pic(picture);
  if (!pic.ok() || pic.bits() != 24) return false;
  if (level == 0) return true;
  for (int32_t y = 0; y < pic.height(); ++y) {
    uint8_t* bgr = pic.row(y);
    for (int32_t x = 0; x < pic.width(); ++x, bgr += 3) {
      if (Luminance(bgr[2], bgr[1], bgr[0]) >= level) bgr[0] = bgr[1] = bgr[2] = 255;
    }
  }
  return true;
}

QmHandle MakePreviewSource(QmHandle picture, const std::string& workDir, PreviewPlace& place) {
  int w = 0, h = 0;
  if (!PictureSize(picture, w, h)) return 0;
  place = PreviewPlacement(w, h);
  // The picture as the card will hold it: the stored size, then through the JPEG coder.
  OwnedPicture stored(ImageResize(picture, kTitleWidth, kTitleHeight));
  if (!stored) return 0;
  const std::string jpeg = UniqueWorkFile(workDir, ".jpg");
  if (jpeg.empty()) return 0;
  OwnedPicture reloaded;
  if (ImageFileSaveJpeg(jpeg.c_str(), stored.get(), 0, kTitleQuality, 1, "")) reloaded.reset(ImageFileLoad(jpeg.c_str()));
  ::unlink(jpeg.c_str());
  if (!reloaded) return 0;
  return ImageResize(reloaded.get(), place.width, place.height);
}

QmHandle ComposePreview(QmHandle background, QmHandle source, int level, const PreviewPlace& place) {
  OwnedPicture copy(ImageToDepth(source, 24));
  OwnedPicture shown(ImageToDepth(background, 24));
  if (!copy || !shown || !CutOut(copy.get(), level)) return 0;
  if (!LayOver(shown.get(), copy.get(), place.left, place.top, true)) return 0;
  return shown.release();
}

namespace {

// The program's own sample camera picture: a sky over a meadow with a house, colours a
// camcorder sees outdoors, so that cut-out titles can be judged against it.
QmHandle SampleCameraPicture() {
  OwnedPicture pic(ImageCreate(kPreviewWidth, kPreviewHeight, 24, 0, 0, 0));
  qm6dib::Locked px(pic.get());
  if (!px.ok()) return 0;
  const int horizon = 150;
  for (int y = 0; y < kPreviewHeight; ++y) {
    uint8_t* bgr = px.row(y);
    for (int x = 0; x < kPreviewWidth; ++x, bgr += 3) {
      int r, g, b;
      if (y < horizon) {  // sky, lighter towards the horizon, with the sun at the upper right
        const int t = y * 100 / horizon;
        r = 70 + t;
        g = 120 + t;
        b = 200 + t / 2;
        const int dx = x - 255, dy = y - 40;
        if (dx * dx + dy * dy < 18 * 18) r = g = 235, b = 150;
      } else {  // meadow, darker towards the front, with furrows
        const int t = (y - horizon) * 60 / (kPreviewHeight - horizon);
        r = 70 - t / 2;
        g = 150 - t;
        b = 60 - t / 2;
        if (((y - horizon) / 6 + x / 40) % 2 == 0) g -= 12;
      }
      // A house on the horizon: a red roof over a grey wall with a dark door.
      if (x >= 60 && x < 120 && y >= 105 && y < horizon) {
        r = 150, g = 140, b = 130;
        if (x >= 84 && x < 96 && y >= 125) r = 60, g = 45, b = 40;
      }
      if (y >= 80 && y < 105 && std::abs(x - 90) < (y - 80) * 36 / 25) r = 170, g = 50, b = 40;
      bgr[0] = static_cast<uint8_t>(b);
      bgr[1] = static_cast<uint8_t>(g);
      bgr[2] = static_cast<uint8_t>(r);
    }
  }
  return pic.release();
}

}  // namespace

QmHandle LoadPreviewBackground(const std::string& workDir) {
  OwnedPicture loaded(ImageFileLoad((workDir + "WRO_TI.DAT").c_str()));
  int w = 0, h = 0;
  if (!PictureSize(loaded.get(), w, h)) return SampleCameraPicture();
  const QmHandle fitted = (w == kPreviewWidth && h == kPreviewHeight) ? ImageToDepth(loaded.get(), 24)
                                                                       : ImageResize(loaded.get(), kPreviewWidth, kPreviewHeight);
  return fitted ? fitted : SampleCameraPicture();
}

}  // namespace exporters
