// The title card's preview: a picture shown as the camcorder will lay it over its video.
// The picture is taken through the same steps as the stored title (scaled to 1280 x 960
// and compressed as JPEG at quality 75, 2x1 sampling), scaled into the 320 x 240 preview,
// and every pixel at least as bright as the cut level becomes white, which the camcorder
// leaves out (the video shows through). The result is laid over a sample camera picture;
// without cutting-out it is shown on white.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/com/qm6com.h"

namespace exporters {

inline constexpr int kPreviewWidth = 320;
inline constexpr int kPreviewHeight = 240;
// Title pictures are stored at this size (the smaller one is offered by the hidden size list).
inline constexpr int kTitleWidth = 1280;
inline constexpr int kTitleHeight = 960;
inline constexpr int kSmallTitleWidth = 640;
inline constexpr int kSmallTitleHeight = 480;
inline constexpr int kTitleQuality = 75;
// The cut level of a picture that is not itself a title picture.
inline constexpr int kDefaultCutLevel = 245;
// The cut level slider runs from 0 (no cutting-out) to this.
inline constexpr int kSliderMax = 255;

struct PreviewPlace {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PreviewPlace&) const = default;
};

// Where a w x h picture lies in the preview: wider than 4:3 it is 320 wide, else 240
// high, its aspect kept (integer division), centred (halves rounded toward zero).
PreviewPlace PreviewPlacement(int w, int h);

// The cut level of a slider position (0 none, else 256 - position), and back.
int LevelOfSlider(int position);
int SliderOfLevel(int level);

// (299 red + 587 green + 114 blue) / 1000, integer division.
int Luminance(uint8_t red, uint8_t green, uint8_t blue);

// The level a picture starts with: a title picture (title number 0..255) keeps its
// own, every other picture gets the default.
int InitialCutLevel(uint16_t titleNumber);

// Whitens every pixel of the 24-bit picture whose luminance is at least `level`, in
// place; level 0 changes nothing. False when the handle holds no 24-bit picture.
bool CutOut(QmHandle picture, int level);

// The preview source of a picture: through the stored title's size and compression
// (a temporary JPEG file in `workDir`) and scaled to its place in the preview, which
// `place` receives. 0 when any step fails.
QmHandle MakePreviewSource(QmHandle picture, const std::string& workDir, PreviewPlace& place);

// The shown preview: a 24-bit copy of the 320 x 240 `background` with a copy of
// `source`, cut at `level`, laid over it at `place`, its white pixels leaving the
// background visible. 0 when either is no picture.
QmHandle ComposePreview(QmHandle background, QmHandle source, int level, const PreviewPlace& place);

// The background behind the cut-out preview: "WRO_TI.DAT" in the work folder when
// it is a picture the toolkit reads (scaled to 320 x 240), otherwise the program's own
// sample camera picture. Always a 24-bit 320 x 240 picture (0 only when memory is short).
QmHandle LoadPreviewBackground(const std::string& workDir);

}  // namespace exporters
