#include "picture_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/testsupport/testsupport.h"
#include "toolkit/dib/dib.h"

namespace pictest {

Pixels read(QmHandle picture) {
  Pixels p;
  qm6dib::Locked pic(picture);
  if (!pic.ok()) return p;
  p.width = pic.width();
  p.height = pic.height();
  p.bits = static_cast<int>(pic.bits());
  std::vector<uint8_t> scratch(static_cast<size_t>(p.width) * 3);
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* row = pic.bgrRow(y, scratch.data());
    for (int x = 0; x < p.width; ++x) p.rgb.push_back(Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return p;
}

QmHandle makeFrom(const Pixels& p) {
  QmHandle h = qm6dib::create24(p.width, p.height);
  qm6dib::Locked pic(h);
  for (int y = 0; y < p.height; ++y) {
    uint8_t* row = pic.row(y);
    for (int x = 0; x < p.width; ++x) {
      const Rgb c = p.at(x, y);
      row[3 * x] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
  }
  return h;
}

Rgb fixturePixel(int x, int y) {
  return Rgb{static_cast<uint8_t>(x * 255 / 36), static_cast<uint8_t>(y * 255 / 22),
             static_cast<uint8_t>((x * 7 + y * 13) % 256)};
}

Pixels convertRead(const std::string& path, const std::vector<std::string>& options) {
  Pixels p;
  std::string out;
  std::vector<std::string> argv = {"/usr/bin/convert", path + "[0]"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"-depth", "8", "ppm:-"});
  if (adtest::runProgram(argv, &out) != 0) return p;
  // "P6\n<w> <h>\n255\n" then the samples.
  int w = 0, h = 0, maxValue = 0, consumed = 0;
  if (std::sscanf(out.c_str(), "P6 %d %d %d%n", &w, &h, &maxValue, &consumed) != 3 || maxValue != 255) return p;
  const size_t start = static_cast<size_t>(consumed) + 1;
  if (out.size() < start + static_cast<size_t>(w) * h * 3) return p;
  p.width = w;
  p.height = h;
  p.bits = 24;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    const auto* s = reinterpret_cast<const uint8_t*>(out.data() + start + 3 * i);
    p.rgb.push_back(Rgb{s[0], s[1], s[2]});
  }
  return p;
}

Pixels markedPicture(int width, int height) {
  Pixels p;
  p.width = width;
  p.height = height;
  p.bits = 24;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool mark = x < (width + 3) / 4 && y < (height + 3) / 4;
      p.rgb.push_back(mark ? Rgb{235, 20, 25}
                           : Rgb{60, static_cast<uint8_t>(50 + 150 * x / width), static_cast<uint8_t>(50 + 150 * y / height)});
    }
  }
  return p;
}

bool isMark(Rgb c) { return c.r > 170 && c.g < 110 && c.b < 110; }

namespace {
const char* const kCorners[] = {"top left", "top right", "bottom right", "bottom left"};
}  // namespace

MarkSeen lookForMark(const Pixels& p, const Rgb* background) {
  int left = p.width, top = p.height, right = -1, bottom = -1;
  const auto isBackground = [&](Rgb c) {
    return background && std::abs(c.r - background->r) <= 24 && std::abs(c.g - background->g) <= 24 &&
           std::abs(c.b - background->b) <= 24;
  };
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (isBackground(p.at(x, y))) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  MarkSeen s;
  if (right < 0) return s;
  s.width = right - left + 1;
  s.height = bottom - top + 1;
  int64_t sx = 0, sy = 0, n = 0;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      if (isMark(p.at(x, y))) sx += x - left, sy += y - top, ++n;
    }
  }
  if (n == 0) return s;
  const bool rightHalf = 2 * sx > n * (s.width - 1), lowerHalf = 2 * sy > n * (s.height - 1);
  s.corner = kCorners[lowerHalf ? (rightHalf ? 2 : 3) : (rightHalf ? 1 : 0)];
  return s;
}

std::string cornerTurnedClockwise(const std::string& corner) {
  for (int i = 0; i < 4; ++i) {
    if (corner == kCorners[i]) return kCorners[(i + 1) % 4];
  }
  return corner;
}

const char* orientationName(int orientation) {
  static const char* const kNames[] = {"TopLeft",  "TopRight", "BottomRight", "BottomLeft",
                                       "LeftTop",  "RightTop", "RightBottom", "LeftBottom"};
  return orientation >= 1 && orientation <= 8 ? kNames[orientation - 1] : "TopLeft";
}

bool writeStored(const std::string& path, const Pixels& stored, const std::vector<std::string>& cjpegOptions) {
  const std::string pnm = path + ".ppm";
  writePnm(pnm, stored);
  std::vector<std::string> make;
  if (path.ends_with(".tif")) {
    make = {"/usr/bin/convert", pnm, "-compress", "lzw", path};
  } else {
    make = {"cjpeg"};
    make.insert(make.end(), cjpegOptions.begin(), cjpegOptions.end());
    make.insert(make.end(), {"-outfile", path, pnm});
  }
  const bool made = adtest::runProgram(make) == 0;
  std::remove(pnm.c_str());
  return made;
}

bool tagOrientation(const std::vector<std::string>& paths, int orientation) {
  std::vector<std::string> argv = {"exiftool", "-q", "-q", "-n", "-overwrite_original",
                                   "-Orientation=" + std::to_string(orientation)};
  argv.insert(argv.end(), paths.begin(), paths.end());
  return adtest::runProgram(argv) == 0;
}

bool writeOriented(const std::string& path, const Pixels& stored, int orientation,
                   const std::vector<std::string>& cjpegOptions) {
  return writeStored(path, stored, cjpegOptions) && (orientation < 0 || tagOrientation({path}, orientation));
}

std::string fixture(const std::string& name) { return std::string(AD_TOOLKIT_FIXTURES) + "/" + name; }

int maxDifference(const Pixels& a, const Pixels& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    worst = std::max({worst, std::abs(a.rgb[i].r - b.rgb[i].r), std::abs(a.rgb[i].g - b.rgb[i].g),
                      std::abs(a.rgb[i].b - b.rgb[i].b)});
  }
  return worst;
}

double psnr(const Pixels& a, const Pixels& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.empty()) return -1;
  double squares = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    for (int d : {a.rgb[i].r - b.rgb[i].r, a.rgb[i].g - b.rgb[i].g, a.rgb[i].b - b.rgb[i].b}) squares += d * d;
  }
  if (squares == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * 3 * static_cast<double>(a.rgb.size()) / squares);
}

void writePnm(const std::string& path, const Pixels& p, bool grey) {
  std::string bytes = std::string(grey ? "P5\n" : "P6\n") + std::to_string(p.width) + " " +
                      std::to_string(p.height) + "\n255\n";
  for (const Rgb& c : p.rgb) {
    bytes += static_cast<char>(c.r);
    if (!grey) {
      bytes += static_cast<char>(c.g);
      bytes += static_cast<char>(c.b);
    }
  }
  adtest::writeFile(path, bytes);
}

}  // namespace pictest
