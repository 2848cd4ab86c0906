// The motion-adaptive de-interlacer, its mask steps and the edge-directed interpolation
// as they were before the library's rows were vectorised: the reference for the
// library's output (dv_filter.h says what each does).
#pragma once

#include <cstdint>

#include "dv_filter.h"
#include "dv_pixel.h"

namespace dvref {

void fieldRows(int32_t height, int field, int32_t* first, int32_t* last);
DvcResult edgeInterpolate(const zebdv::PixelDesc& picture, int field);
DvcResult deinterlaceMotion(const zebdv::PixelDesc& src, const zebdv::PixelDesc& dst, int field);

namespace motion {
void measure(const zebdv::PixelDesc& picture, int32_t first, uint8_t* mask, int32_t rows, int32_t width);
void smooth(uint8_t* mask, int32_t rows, int32_t width);
void runs(uint8_t* mask, int32_t rows, int32_t width);
}  // namespace motion

}  // namespace dvref
