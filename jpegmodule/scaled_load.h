// The JPEG module's load at a reduced size, for code of the program that links the
// module's core (qm6jpeg_core) and wants a picture much smaller than the file's, such as
// the frames of a movie or the thumbnails of an album. The library scales in its inverse
// DCT, which costs far less than decoding every pixel and shrinking afterwards.
//
// Unlike the module's exports, which give the picture as stored, these readings give the
// picture upright: a camera picture's Exif orientation (toolkit/dib/dib.h) is read with
// the header, and the reduced picture is turned after the decode.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "toolkit/com/qm6com.h"

namespace qmjpeg {

// What a JPEG's header tells before its picture is decoded.
struct Header {
  uint32_t width = 0, height = 0;  // the picture as stored
  uint16_t orientation = 1;        // the Exif orientation, 1 to 8
  // The size of the upright picture.
  uint32_t uprightWidth() const;
  uint32_t uprightHeight() const;
};

// The header of a JPEG file, read with the checks _QMJpegFileLoad makes before it
// decodes; false when those checks refuse the file. (The decoding may still refuse it
// later, as too large or too short for its picture.)
bool readFileHeader(const std::string& path, Header& header);
// The same of a JPEG held in memory (a file's bytes, an album's entry).
bool readBlockHeader(const uint8_t* data, size_t length, Header& header);

// The upright picture of a JPEG file whose header was read: decoded as _QMJpegFileLoad
// decodes it (the same colours and bitmap kinds, no progress display), reduced by
// `denominator` (2, 4 or 8, each side of the stored picture rounded up; any other value
// reads the full size), then turned as the header's orientation says. 0 when the file
// cannot be read.
QmHandle readFileScaled(const std::string& path, const Header& header, unsigned denominator);
// The same, the header read first.
QmHandle readFileScaled(const std::string& path, unsigned denominator);

// What reading the bytes reduced by `denominator` (as readBlockScaled does) takes at
// most: the bitmap, the library's coefficients of a progressive or multi-scan file, and
// its row buffers, or the bitmap twice while it is turned upright; 0 when the read would
// refuse the bytes.
uint64_t blockReadBytes(const uint8_t* data, size_t length, unsigned denominator);
// The same reading of a JPEG held in memory, giving the picture readFileScaled gives for
// a file of these bytes. It reports no progress and touches no state shared between
// threads but the handle table, so it may run on any thread at once; 0 as soon as *stop
// (when given) is set, which also ends a decode under way.
QmHandle readBlockScaled(const uint8_t* data, size_t length, const Header& header, unsigned denominator,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace qmjpeg
