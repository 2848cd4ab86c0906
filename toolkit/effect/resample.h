// Inside the effect library: scaling a picture to an exact size.
#pragma once

#include <cstdint>

#include "toolkit/dib/dib.h"

namespace qm6effect {

// A new 24-bit picture of width x height made from the source: along each axis the
// source area behind a new pixel is averaged when shrinking, and neighbours are
// interpolated linearly when enlarging. A picture of one colour stays exactly that
// colour. 0 when the size is refused or memory is short.
QmHandle resample(const qm6dib::Locked& source, int32_t width, int32_t height);

}  // namespace qm6effect
