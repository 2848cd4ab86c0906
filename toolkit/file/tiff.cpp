// TIFF files through libtiff: the first picture of the file, read as RGB and turned
// upright as its orientation tag says.
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {

// The most libtiff may take at once while it reads a directory, before a picture's size
// is known; far beyond what the tag arrays of any file need.
constexpr tmsize_t kDirectoryAllocation = tmsize_t{64} << 20;

struct Closer {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using Tiff = std::unique_ptr<TIFF, Closer>;

// libtiff reports to standard error unless told otherwise. It refuses to allocate more
// than `largestAllocation` bytes at once.
Tiff openTiff(const std::string& path, tmsize_t largestAllocation) {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, largestAllocation);
  Tiff tif(TIFFOpenExt(path.c_str(), "r", options));
  TIFFOpenOptionsFree(options);
  return tif;
}

// The codings whose data (of a strip or tile) is bounded by its size:
//   none       1 byte a byte: the data is the samples;
//   PackBits   128 bytes for 16 bits: a run repeats one byte at most 128 times;
//   LZW        4096 bytes for 9 bits: a code takes at least 9 bits and names one of 4096
//              table entries, each one byte longer than an earlier one;
//   Deflate    258 bytes for 2 bits: the longest match, with a length code and a distance
//              code of at least one bit each;
//   Zstandard  128 KiB for 32 bits: a block gives at most 128 KiB and takes at least four
//              bytes (three of head and one of content);
//   CCITT      a row for one bit: every row takes at least one code;
//   JPEG       an 8 x 8 block of one component for one bit: every block takes at least one
//              Huffman code (with chroma subsampling a chroma block stands for up to 4 x 4
//              blocks of pixels); arithmetic-coded streams, which TIFF writers do not make,
//              are held to the same.
// Every other coding (LZMA, WebP, JBIG, LERC and the rest) can code any amount of data in
// a few bytes: no size of file bounds their pictures, and they are not read.
// `rowBytes` is the decoded bytes of one coded row, `blockBytes` the most the pixels of a
// JPEG block decode to.
Expansion expansionOf(uint16_t compression, uint64_t rowBytes, uint64_t blockBytes) {
  switch (compression) {
    case COMPRESSION_NONE: return {1, 8};
    case COMPRESSION_PACKBITS: return {128, 16};
    case COMPRESSION_LZW: return {4096, 9};
    case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_DEFLATE: return kDeflate;
    case COMPRESSION_ZSTD: return {uint64_t{128} << 10, 32};
    case COMPRESSION_CCITTRLE: case COMPRESSION_CCITTFAX3: case COMPRESSION_CCITTFAX4: return {rowBytes, 1};
    case COMPRESSION_OJPEG: case COMPRESSION_JPEG: return {blockBytes, 1};
    default: return {};
  }
}

// The most libtiff allocates at once to read the picture, when the file can hold the
// decoded data its head declares; 0 when it cannot, or when the picture is refused for
// its size or coding.
uint64_t workNeeded(TIFF* tif, uint64_t fileSize) {
  uint32_t w = 0, h = 0;
  uint16_t compression = COMPRESSION_NONE, samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE, hSample = 1, vSample = 1;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) ||
      !qm6dib::sizeAllowed(w, h)) {
    return 0;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (photometric == PHOTOMETRIC_YCBCR) TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &hSample, &vSample);
  const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
  const bool tiled = TIFFIsTiled(tif);
  // The decoded data: whole tiles, or the rows of each plane; and one piece (a strip
  // or tile) with its pixels.
  uint64_t decoded, piece, piecePixels, rowBytes;
  if (tiled) {
    uint32_t tw = 0, tl = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl);
    piece = TIFFTileSize64(tif);
    decoded = piece * TIFFNumberOfTiles(tif);
    piecePixels = uint64_t{tw} * tl;
    rowBytes = TIFFTileRowSize64(tif);
  } else {
    uint32_t rows = h;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    piece = TIFFStripSize64(tif);
    decoded = planes * TIFFVStripSize64(tif, h);
    piecePixels = uint64_t{w} * std::min(rows, h);
    rowBytes = TIFFScanlineSize64(tif);
  }
  if (decoded == 0 || piece == 0 || rowBytes == 0) return 0;
  // A CCITT coding takes one-bit samples only, and a JPEG stream at most the 10
  // components the JPEG library decodes.
  const bool ccitt = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                     compression == COMPRESSION_CCITTFAX4;
  const bool jpeg = compression == COMPRESSION_OJPEG || compression == COMPRESSION_JPEG;
  if ((ccitt && (samples != 1 || bits != 1)) || (jpeg && (samples / planes > 10 || bits > 16))) return 0;
  // A JPEG block of the coarsest component: 64 samples, each standing for up to
  // hSample x vSample pixels of `samples` samples (of two bytes beyond 8 bits).
  const uint64_t blockBytes = 64 * uint64_t{hSample} * vSample * (samples / planes) * (bits > 8 ? 2 : 1);
  const Expansion e = expansionOf(compression, rowBytes, blockBytes);
  if (e.bytes == 0) return 0;
  if (!canHold(fileSize, e, static_cast<unsigned __int128>(decoded) * 8)) return 0;
  // Separate planes are read three or four at a time; a JPEG piece may decode to
  // three bytes a pixel whatever its samples.
  const uint64_t largest = 4 * std::max(piece, 4 * piecePixels) + kDirectoryAllocation;
  return largest > static_cast<uint64_t>(TIFF_TMSIZE_T_MAX) ? 0 : largest;
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
  const Tiff tif = openTiff(path, kDirectoryAllocation);
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE;
  const bool ok = TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
  const bool swapped = qm6dib::sidesSwapped(orientationOf(tif.get()));
  if (!ok || w < 1 || h < 1 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  d.width = static_cast<int32_t>(swapped ? h : w);
  d.height = static_cast<int32_t>(swapped ? w : h);
  d.bitCount = static_cast<uint16_t>(std::min(uint32_t{bits} * samples, uint32_t{0xFFFF}));
  d.type = typeOfCompression(compression);
  return true;
}

QmHandle readTiff(const std::string& path, uint64_t fileSize) {
  // A file that cannot hold the picture its head declares is refused before any memory
  // is taken for it; the head also tells how much libtiff may take at once for the
  // picture, which it is then held to.
  uint64_t largest = 0;
  {
    const Tiff head = openTiff(path, kDirectoryAllocation);
    if (!head || (largest = workNeeded(head.get(), fileSize)) == 0) return 0;
  }
  const Tiff tif = openTiff(path, static_cast<tmsize_t>(largest));
  char message[1024];
  // (The file may have changed since its head was read.)
  if (!tif || workNeeded(tif.get(), fileSize) != largest || !TIFFRGBAImageOK(tif.get(), message)) return 0;
  uint32_t w = 0, h = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  const uint16_t orientation = orientationOf(tif.get());
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[static_cast<size_t>(w) * h]);
  if (!raster) return 0;
  // libtiff turns the raster as asked only by flipping it, never across the diagonal
  // (orientations 5 to 8); asked for the file's own orientation it gives the rows as
  // stored, top row first, and the turn is made here as for every picture. Each pixel
  // is A, B, G, R from the high byte down.
  if (!TIFFReadRGBAImageOriented(tif.get(), w, h, raster.get(), orientation, 0)) return 0;
  const QmHandle picture = qm6dib::create24(static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (!picture) return 0;
  {
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
  return qm6dib::turnUpright(picture, orientation);
}

}  // namespace qm6file
