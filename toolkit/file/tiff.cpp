// TIFF files through libtiff: the first picture of the file, read as RGB and turned
// upright as its orientation tag says.
#include <tiffio.h>

#include <memory>
#include <mutex>
#include <new>

#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {

// libtiff reports to standard error unless told otherwise.
TIFF* openTiff(const std::string& path) {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  return TIFFOpen(path.c_str(), "r");
}

uint16_t typeOfCompression(uint16_t c) {
  switch (c) {
    case COMPRESSION_NONE: return QM_TYPE_TIFF;
    case COMPRESSION_CCITTRLE: case COMPRESSION_CCITTFAX3: case COMPRESSION_CCITTFAX4: return QM_TYPE_TIFF_CCITT;
    case COMPRESSION_LZW: return QM_TYPE_TIFF_LZW;
    case COMPRESSION_OJPEG: case COMPRESSION_JPEG: return QM_TYPE_TIFF_JPEG;
    case COMPRESSION_PACKBITS: return QM_TYPE_TIFF_PACKBITS;
    case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_DEFLATE: return QM_TYPE_TIFF_DEFLATE;
    default: return QM_TYPE_TIFF_OTHER;
  }
}

// The file's orientation (1 to 8, as the Exif orientation counts).
uint16_t orientationOf(TIFF* tif) {
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  return qm6dib::knownOrientation(orientation);
}

}  // namespace

bool describeTiff(const std::string& path, Description& d) {
  TIFF* tif = openTiff(path);
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE;
  const bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  const bool swapped = qm6dib::sidesSwapped(orientationOf(tif));
  TIFFClose(tif);
  if (!ok || w < 1 || h < 1 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  d.width = static_cast<int32_t>(swapped ? h : w);
  d.height = static_cast<int32_t>(swapped ? w : h);
  d.bitCount = static_cast<uint16_t>(bits * samples);
  d.type = typeOfCompression(compression);
  return true;
}

QmHandle readTiff(const std::string& path, uint64_t fileSize) {
  TIFF* tif = openTiff(path);
  if (!tif) return 0;
  uint32_t w = 0, h = 0;
  QmHandle picture = 0;
  char message[1024];
  const uint16_t orientation = orientationOf(tif);
  // However well a picture compresses, a file of a few bytes that claims millions of
  // pixels is broken; it is refused before any memory is taken for it.
  if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) &&
      qm6dib::sizeAllowed(w, h) && static_cast<uint64_t>(w) * h <= 4096 * fileSize &&
      TIFFRGBAImageOK(tif, message)) {
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[static_cast<size_t>(w) * h]);
    if (!raster) {
      TIFFClose(tif);
      return 0;
    }
    // libtiff turns the raster as asked only by flipping it, never across the diagonal
    // (orientations 5 to 8); asked for the file's own orientation it gives the rows as
    // stored, top row first, and the turn is made here as for every picture. Each pixel
    // is A, B, G, R from the high byte down.
    if (TIFFReadRGBAImageOriented(tif, w, h, raster.get(), orientation, 0)) {
      picture = qm6dib::create24(static_cast<int32_t>(w), static_cast<int32_t>(h));
      if (picture) {
        qm6dib::Locked pic(picture);
        for (uint32_t y = 0; y < h; ++y) {
          const uint32_t* s = &raster[static_cast<size_t>(y) * w];
          uint8_t* o = pic.row(static_cast<int32_t>(y));
          for (uint32_t x = 0; x < w; ++x, o += 3) {
            o[0] = static_cast<uint8_t>(TIFFGetB(s[x]));
            o[1] = static_cast<uint8_t>(TIFFGetG(s[x]));
            o[2] = static_cast<uint8_t>(TIFFGetR(s[x]));
          }
        }
      }
    }
  }
  TIFFClose(tif);
  return qm6dib::turnUpright(picture, orientation);
}

}  // namespace qm6file
