// Placing reconstructed blocks into the decoder's internal full-size picture ('YCCa':
// Y as an unsigned byte, Cr and Cb as signed bytes, four bytes a pixel, top row first).
#pragma once

#include <cstdint>

#include "dv_pixel.h"

namespace zebdv {

// Writes one block of a full-size macroblock. `destination` is the block's top-left
// pixel for luminance blocks (0-3), and the macroblock's top-left pixel plus 1 (Cr,
// block 4) or 2 (Cb, block 5) for the colour-difference blocks.
typedef void (*MacroblockWriter)(const int8_t* samples, uint8_t* destination, int block, const PixelDesc& picture,
                                 int shape);

// 525/60 (4:1:1): a colour-difference sample covers four pixels of one line, which
// step linearly towards the next sample of the line (see upsampleChroma411). In a
// right-hand macroblock (shape 1) the left half of the block is the upper eight lines
// and the right half the lower eight.
void writeMacroblockYcc411(const int8_t* samples, uint8_t* destination, int block, const PixelDesc& picture,
                           int shape);

// 625/50 (4:2:0): a colour-difference sample covers 2 x 2 pixels.
void writeMacroblockYcc420(const int8_t* samples, uint8_t* destination, int block, const PixelDesc& picture,
                           int shape);

// After all segments of a 525 picture, every group of four pixels holds its colour-
// difference sample c and then (4 c + k (c' - c)) / 4 rounded down, k = 1, 2, 3, c' being
// the next sample of the line; the last group of a line repeats its sample. The writer
// does this within each macroblock; this pass completes the last group of each 32-pixel
// macroblock from the first sample of the macroblock to its right.
DvcResult upsampleChroma411(const PixelDesc& picture);

}  // namespace zebdv
