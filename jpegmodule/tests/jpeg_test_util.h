// Helpers shared by the JPEG module's tests: pictures, packed bitmaps, the outside
// JPEG tools, Exif payloads built byte by byte, and a recording progress hook.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jpegmodule/qm6jpeg.h"

namespace jt {

namespace fs = std::filesystem;

// A picture, top row first: 1 byte a pixel (grey) or 3 (red, green, blue).
struct Picture {
  int width = 0, height = 0, channels = 3;
  std::vector<uint8_t> pixels;
};

// Smooth gradients with some noise, the same for the same arguments.
Picture makePicture(int width, int height, int channels, uint32_t seed = 1);
void writePnm(const fs::path& path, const Picture& p);

// A packed bitmap of the picture: 24-bit, or 8-bit with the given palette (the picture's
// bytes are then the indexes; grey ramp when palette is empty).
QmHandle makeDib(const Picture& p, int32_t xPpm = 0, int32_t yPpm = 0, std::vector<uint32_t> palette = {});

// The pixel rows (and palette, for 8-bit) of a packed bitmap or of a BMP file.
struct Raster {
  int width = 0, height = 0, bits = 0;
  int32_t xPpm = 0, yPpm = 0;
  std::vector<uint8_t> palette;  // 4 bytes an entry
  std::vector<uint8_t> rows;     // bottom row first, padded rows
};
Raster dibRaster(QmHandle dib);
Raster bmpRaster(const std::string& bmp);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);

// Runs a tool; fails the current test when it does not exit with 0 (or 2, the JPEG
// tools' code for warnings, when allowed). Its standard output.
std::string run(const std::vector<std::string>& argv, bool warningsAllowed = false);
// cjpeg of a PNM file with the given options; the JPEG's bytes.
std::string cjpeg(const fs::path& pnm, const std::vector<std::string>& options);
// djpeg -bmp of a JPEG file.
Raster djpegBmp(const fs::path& jpeg);

// JPEG stream surgery: a segment (marker, data) inserted after SOI, or after the JFIF
// APP0 segment when there is one.
std::string segment(uint8_t marker, const std::string& data);
std::string insertAfterSoi(const std::string& jpeg, const std::string& seg);
std::string insertAfterApp0(const std::string& jpeg, const std::string& seg);

// A TIFF structure of Exif data, built entry by entry in either byte order.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : big_(bigEndian) {}
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    std::string data;  // the value bytes in file order (inline when 4 bytes or fewer)
    int subIfd = -1;   // the entry points to this directory (its offset is filled in)
    bool offsetOverride = false;
    uint32_t offset = 0;  // used as the value field when offsetOverride
  };
  // Directories are laid out in the order they are added; chain lists which follow which.
  int addIfd(std::vector<Entry> entries);
  void chain(std::vector<int> order) { chain_ = std::move(order); }
  void setThumbnail(int ifd, std::string jpeg) { thumbIfd_ = ifd, thumb_ = std::move(jpeg); }
  std::string build() const;

  // Value helpers in this builder's byte order.
  std::string u16(uint16_t v) const;
  std::string u32(uint32_t v) const;
  Entry shortEntry(uint16_t tag, std::vector<uint16_t> values) const;
  Entry longEntry(uint16_t tag, uint32_t value) const;
  Entry rationalEntry(uint16_t tag, uint32_t num, uint32_t den) const;
  Entry textEntry(uint16_t tag, const std::string& text, uint16_t type = 2) const;  // text as given

 private:
  bool big_;
  std::vector<std::vector<Entry>> ifds_;
  std::vector<int> chain_;
  int thumbIfd_ = -1;
  std::string thumb_;
};

// An APP1 Exif segment around a TIFF payload.
std::string exifSegment(const std::string& tiff, const std::string& id = std::string("Exif\0\0", 6));

// A progress hook that records every call and can refuse to open or cancel.
class RecordingHook {
 public:
  RecordingHook();
  ~RecordingHook();
  bool openFails = false;
  int cancelAtCall = 0;  // 1-based progress call that returns 0; 0 never
  int opens = 0, closes = 0;
  std::vector<int32_t> openValues;
  struct Call {
    int32_t current, total, low, high;
    intptr_t context;
  };
  std::vector<Call> calls;
};

}  // namespace jt
