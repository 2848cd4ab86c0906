// Helpers for tests of pictures: reading a picture's pixels, making pictures, running
// ImageMagick and reading its raw output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/com/qm6com.h"

namespace pictest {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// A picture's pixels, top row first.
struct Pixels {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<Rgb> rgb;
  Rgb at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// The pixels of a picture handle (24-bit or 8-bit with a palette); width 0 when the handle
// holds no such picture.
Pixels read(QmHandle picture);

// A new 24-bit picture with the pixels given by f(x, y).
template <typename F>
QmHandle make(int width, int height, F f);
QmHandle makeFrom(const Pixels& p);

// The test picture the fixture script draws: 37 x 23, red across, green down.
Rgb fixturePixel(int x, int y);

// ImageMagick's reading of a file as 8-bit RGB, with its options after the file's name
// (such as -auto-orient); width 0 when it cannot.
Pixels convertRead(const std::string& path, const std::vector<std::string>& options = {});

// ---- Pictures stored turned, as cameras store them --------------------------------------
// A picture with a mark in its top-left corner: a red block of a quarter of each side on
// smooth shades of green and blue (with little red), so that where the mark went shows
// how a picture was turned, and the shades show any pixel out of place.
Pixels markedPicture(int width, int height);
bool isMark(Rgb c);
// Where a marked picture lies in an output and where its mark went: the box of the pixels
// that differ from the background (the whole output without one), and the corner of that
// box nearest the mark's middle ("top left", "top right", "bottom right", "bottom left";
// "no mark" without one).
struct MarkSeen {
  int width = 0, height = 0;
  std::string corner = "no mark";
};
MarkSeen lookForMark(const Pixels& p, const Rgb* background = nullptr);
// The corner a quarter turn clockwise from `corner`.
std::string cornerTurnedClockwise(const std::string& corner);
// ImageMagick's names of the Exif orientations 1 to 8 (its -orient option).
const char* orientationName(int orientation);
// `stored` written as a JPEG made by cjpeg with `cjpegOptions`, or as a TIFF made by
// ImageMagick when the path ends in ".tif". False when a tool failed.
bool writeStored(const std::string& path, const Pixels& stored, const std::vector<std::string>& cjpegOptions = {});
// The files made to say they are to be shown turned: their orientation tag set by one run
// of exiftool (any value, also 0 or 9, as it stands). False when it failed.
bool tagOrientation(const std::vector<std::string>& paths, int orientation);
// Both for one file; no tag for a negative orientation.
bool writeOriented(const std::string& path, const Pixels& stored, int orientation,
                   const std::vector<std::string>& cjpegOptions = {});

// Folder of the committed picture fixtures.
std::string fixture(const std::string& name);

// The largest difference of any channel of any pixel; -1 when the sizes differ.
int maxDifference(const Pixels& a, const Pixels& b);
// The peak signal-to-noise ratio of b against a over all channels, in dB (99 for equal
// pictures); -1 when the sizes differ.
double psnr(const Pixels& a, const Pixels& b);
// Writes the pixels as a binary PNM file: PGM when `grey` (the red channel), else PPM.
void writePnm(const std::string& path, const Pixels& p, bool grey = false);

template <typename F>
QmHandle make(int width, int height, F f) {
  Pixels p;
  p.width = width;
  p.height = height;
  p.bits = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.rgb.push_back(f(x, y));
  return makeFrom(p);
}

}  // namespace pictest
