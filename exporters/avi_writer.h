// The movie writer: an AVI file with one video stream made from a list of BMP files,
// one frame a file, every frame a key frame.
//
// Frames are 24-bit uncompressed BMP files of one size, rows bottom-up and padded to
// 4 bytes, as the picture engine writes them. They are stored either as they are
// (handler 'DIB ', chunks "00db") or compressed one by one into Motion JPEG by the JPEG
// module (handler 'MJPG', chunks "00dc", each a complete JFIF picture).
//
// File layout (all numbers little-endian): RIFF "AVI " { LIST "hdrl" { avih, LIST
// "strl" { strh, strf } }, LIST "movi" { one chunk a frame }, idx1 }, nothing else.
// The stream's time base is written as given: Rate / Scale frames per second. The
// format (strf) is the first frame's 40-byte bitmap header; for Motion JPEG its
// compression is 'MJPG'. The index gives every frame as a key frame, its offset counted
// from the "movi" list type. A movie is refused when it would pass 1 GiB, the size
// that every reader of this layout accepts (200 frames of 320 x 240 take 46 MB).
//
// The file is written under a temporary name beside the target and renamed over it
// only when complete: a failed or stopped movie leaves the target as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "toolkit/com/qm6com.h"

namespace workspace {
class MLang;
}

namespace exporters {

class ExportMonitor;

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// Handlers of the stream. A codec of 0 means uncompressed frames, as 'DIB ' does.
inline constexpr uint32_t kHandlerDIB = MakeFourcc('D', 'I', 'B', ' ');
inline constexpr uint32_t kHandlerMJPG = MakeFourcc('M', 'J', 'P', 'G');

// Motion JPEG frames: the JPEG module's sequential JFIF at this quality, 2x2 sampling.
inline constexpr int32_t kMotionJpegQuality = 100;

// The largest movie file written.
inline constexpr uint64_t kMaxMovieBytes = uint64_t(1) << 30;

// A compressor the movie can be written with.
struct MovieCompressor {
  uint32_t codec;       // what MakeMovie takes: 0 for uncompressed frames
  uint32_t handler;     // the stream handler written into the file
  const char* nameKey;  // message key of the name the movie dialog shows
};

// The compressors in the order the movie dialog lists them: uncompressed frames, then
// Motion JPEG.
const std::vector<MovieCompressor>& MovieCompressors();
// The compressor the movie dialog starts with.
inline constexpr uint32_t kDefaultMovieCodec = kHandlerMJPG;
// The name of a codec's compressor in the language's texts; "" for a codec not listed.
QString MovieCompressorName(const workspace::MLang& lang, uint32_t codec);

// Reads the 40-byte bitmap header of a BMP file. True when the file opens, starts
// with "BM" and is a frame the movie can take: header of at least 40 bytes, width and
// height above 0 (rows bottom-up), 1 plane, 24 bits, no compression, and the whole
// pixel data present at the file's pixel offset.
bool ReadBmpHeader(const std::string& path, QmBitmapInfoHeader& header);

// The size of a frame's pixel data: rows of width x 3 bytes padded to 4, times height.
uint64_t BmpPixelBytes(const QmBitmapInfoHeader& header);

// Reads the pixel rows of a BMP file (as stored: bottom-up, padded) into `buffer`.
// The checks of ReadBmpHeader apply, and the file's pixel data must be exactly
// `size` bytes.
bool ReadBmpPixels(const std::string& path, void* buffer, size_t size);

// Writes the movie. `frames`: at least one BMP file, all of the first one's width and
// height. `scale`, `rate`: the time base (rate / scale frames per second; neither 0).
// `codec`: 0 or kHandlerDIB for uncompressed frames, kHandlerMJPG for Motion JPEG.
// The monitor (optional) gets time for events before and after reading each frame,
// stops the writing when it reports an abort (tested before each frame), and hears
// the share of frames written. True when every frame was written and the file is in
// place; false for anything refused, failed or stopped, with no file left behind.
bool MakeMovie(const std::vector<std::string>& frames, const std::string& output, uint32_t scale, uint32_t rate,
               uint32_t codec, ExportMonitor* monitor = nullptr);

}  // namespace exporters
