// Placing reconstructed macroblocks into the decoder's internal full-size picture
// ('YCCa': Y as an unsigned byte, Cr and Cb as signed bytes, four bytes a pixel, top
// row first).
#pragma once

#include <cstddef>
#include <cstdint>

#include "dv_pixel.h"

namespace zebdv {

// Writes the six reconstructed blocks of one macroblock (four luminance blocks, then Cr
// and Cb; 8 x 8 signed samples each). `destinations` are the blocks' places in the
// picture: for the full size, the top-left pixel of each luminance block, and the
// macroblock's top-left pixel plus 1 (Cr) or plus 2 (Cb).
typedef void (*MacroblockWriter)(const int8_t* const samples[6], uint8_t* const destinations[6],
                                 const PixelDesc& picture, int shape);

// 525/60 (4:1:1): a colour-difference sample covers four pixels of one line, which
// step linearly towards the next sample of the line (see upsampleChroma411). Shape 0:
// 32 x 8 pixels, the luminance blocks side by side; shape 1 (the right-hand column):
// 16 x 16 pixels, the left half of each colour-difference block the upper eight lines
// and the right half the lower eight.
void writeMacroblockYcc411(const int8_t* const samples[6], uint8_t* const destinations[6],
                           const PixelDesc& picture, int shape);

// 625/50 (4:2:0): 16 x 16 pixels, a colour-difference sample covers 2 x 2 pixels.
void writeMacroblockYcc420(const int8_t* const samples[6], uint8_t* const destinations[6],
                           const PixelDesc& picture, int shape);

// Where block b (0-3 luminance, 4 Cr, 5 Cb) of the full-size macroblock whose top-left
// pixel is (x, y) lies in planes: the first byte of its eight rows of eight samples, the
// step between the rows, and the bias that every sample takes (0x80: the luminance is
// stored + 128). 4:1:1 colour differences have one sample a group of four pixels, 4:2:0
// one a 2 x 2 pixels. False for the colour-difference blocks of the 4:1:1 right-hand
// column (shape 1), whose rows are split: see writeSplitChromaBlock.
bool blockInPlanes(const PlanarPicture& picture, int x, int y, int shape, int b, uint8_t** first, ptrdiff_t* step,
                   uint8_t* bias);
// A colour-difference block of the 4:1:1 right-hand column into its plane: the left half
// of each row for the upper eight lines, the right half for the lower eight.
void writeSplitChromaBlock(const int8_t* samples, const PlanarPicture& picture, int x, int y, int b);

// After all segments of a 525 picture, every group of four pixels holds its colour-
// difference sample c and then (4 c + k (c' - c)) / 4 rounded down, k = 1, 2, 3, c' being
// the next sample of the line; the last group of a line repeats its sample. The writer
// does this within each macroblock; this pass completes the last group of each 32-pixel
// macroblock from the first sample of the macroblock to its right.
DvcResult upsampleChroma411(const PixelDesc& picture);

}  // namespace zebdv
