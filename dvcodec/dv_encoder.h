// The encoder behind a DvEncoder handle: a 720-pixel-wide RGB bitmap becomes the video
// blocks of a DVF frame image, so that the decoder (or any DV decoder) gives the picture
// back as closely as the quantisation allows.
//
// Each macroblock's six blocks are taken from where the decoder puts them back, turned
// into the weighted coefficients whose inverse is the decoder's (8-8, or 2-4-8 where the
// two fields differ more than the block's halves), classed by their largest AC
// coefficient, and quantised with the finest steps whose codes fit the segment's space;
// the codes are spread over the segment's blocks in the three passes the decoder reads.
#pragma once

#include <cstdint>

#include "zeb_dv32.h"

struct DvEncoder {
  int system = 525;
  int sequences = 10;
  int lines = 480;
  // The encoder's YCbCr copy of the input, top line first: Y - 128 (720 samples a line),
  // and Cr and Cb (signed) where the system samples them, chromaWidth samples a line.
  int8_t* planes[3] = {nullptr, nullptr, nullptr};
  int chromaWidth = 180;
  int chromaLines = 480;
};

namespace zebdv {

DvEncoder* openEncoder(uint8_t flags);
void closeEncoder(DvEncoder* encoder);

// -400 for a width other than 720 (nothing touched); -300 for a missing encoder, buffer
// or format, fewer rows than the system has, a pixel size other than 24 or 32 bits, a
// 24-bit input not in 'BGR ' layout, or rows shorter than 720 pixels. The input is only
// read (its first 480 or 576 rows, top row first); the output, which must hold a whole
// DVF image, gets the head, the quantiser numbers and the video data of its video blocks,
// every other byte staying as it was.
DvcResult encode(DvEncoder* encoder, uint8_t* destination, const uint8_t* source, const DvcDibFormat* format);

// One block's forward transform: 64 samples (Y - 128 or a colour difference, row by row)
// to the coefficients in the scan order of the mode chosen (*mode: 0 for 8-8, 1 for 2-4-8),
// the DC (the samples' sum / 32, toward zero) first.
void forwardDct(const int8_t* samples, int16_t* coefficients, int* mode);

// A class-3 AC coefficient halved before quantising: toward zero, symmetrically, so that
// the decoder's doubling gives back the nearest even value not above it in magnitude.
inline int halvedTowardZero(int v) { return v < 0 ? -((-v) >> 1) : v >> 1; }

}  // namespace zebdv
