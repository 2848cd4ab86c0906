// The JPEG module's load at a reduced size, for code of the program that links the
// module's core (qm6jpeg_core) and wants a picture much smaller than the file's, such as
// the frames of a movie or the thumbnails of an album. The library scales in its inverse
// DCT, which costs far less than decoding every pixel and shrinking afterwards.
#pragma once

#include <string>

#include "toolkit/com/qm6com.h"

namespace qmjpeg {

// Reads a JPEG file as _QMJpegFileLoad does (the same checks, colours and bitmap kinds,
// no progress display), reduced by `denominator`: 2, 4 or 8, each side rounded up; any
// other value reads the full size. 0 when the file cannot be read.
QmHandle readFileScaled(const std::string& path, unsigned denominator);

}  // namespace qmjpeg
