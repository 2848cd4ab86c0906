// The JPEG module's load at a reduced size, for code of the program that links the
// module's core (qm6jpeg_core) and wants a picture much smaller than the file's, such as
// the frames of a movie or the thumbnails of an album. The library scales in its inverse
// DCT, which costs far less than decoding every pixel and shrinking afterwards.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "toolkit/com/qm6com.h"

namespace qmjpeg {

// Reads a JPEG file as _QMJpegFileLoad does (the same checks, colours and bitmap kinds,
// no progress display), reduced by `denominator`: 2, 4 or 8, each side rounded up; any
// other value reads the full size. 0 when the file cannot be read.
QmHandle readFileScaled(const std::string& path, unsigned denominator);

// A JPEG held in memory (a file's bytes, an album's entry), read as readFileScaled reads
// the same bytes from a file: the same gate, colours, bitmap kinds and pixels. These two
// report no progress and touch no state shared between threads but the handle table, so
// they may run on any thread at once.
// The picture's size from the header, where the bytes pass the load's gate (a JPEG of a
// colour model the module reads); false otherwise.
bool readBlockSize(const uint8_t* data, size_t length, uint32_t& width, uint32_t& height);
// What reading the bytes reduced by `denominator` (as readBlockScaled does) takes at
// most: the bitmap, the library's coefficients of a progressive or multi-scan file, and
// its row buffers; 0 when the read would refuse the bytes.
uint64_t blockReadBytes(const uint8_t* data, size_t length, unsigned denominator);
// The picture reduced by `denominator` as in readFileScaled; 0 when it cannot be read,
// and 0 as soon as *stop (when given) is set, which also ends a decode under way.
QmHandle readBlockScaled(const uint8_t* data, size_t length, unsigned denominator,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace qmjpeg
