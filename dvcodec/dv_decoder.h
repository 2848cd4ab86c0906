// The decoder context behind a DvDecoder handle, its configuration by system and size
// level, and the stages a decode runs through.
#pragma once

#include <cstdint>

#include "dv_filter.h"
#include "dv_frame.h"
#include "dv_packets.h"
#include "dv_pixel.h"
#include "dv_resample.h"
#include "dv_vlc.h"
#include "dv_writers.h"
#include "zeb_dv32.h"

namespace zebdv {

struct Decoder;

// Decodes every video segment of the located frame into the internal picture.
typedef DvcResult (*SegmentDecoder)(Decoder& decoder);
// Runs over the whole picture after the segments.
typedef DvcResult (*PostPass)(const PixelDesc& picture);

inline constexpr uint32_t kNoDestination = 0xFFFFFFFFu;

// Where the blocks of one macroblock land: byte offsets into the internal picture (the
// colour-difference entries point at the Cr or Cb byte of the macroblock's first pixel).
// (x, y) is the macroblock's top-left pixel at full size.
struct Placement {
  uint32_t destination[6];
  int16_t x, y;
  uint8_t shape;
  uint8_t valid;
};

// Size levels: full, half, quarter, eighth.
inline constexpr int kLevels = 4;

struct Decoder {
  int system = 525;
  int wide = 1;
  int level = 0;
  int orientation = 1;  // rows are handed out bottom-up, as a bitmap stores them
  int chromaFormat = 411;
  int sequences = 10;
  int blocksPerMacroblock = 6;
  int blockWords[6] = {7, 7, 7, 7, 5, 5};
  int32_t pictureHeight = 0, pictureWidth = 0;
  int32_t targetHeight = 0, targetWidth = 0;
  float ratio = 1.0f;
  DvRingBuffer* ring = nullptr;

  PixelDesc picture;
  bool ownsPicture = false;
  // A full-size decode without filter or resampling keeps its picture in planes (in the
  // picture's buffer), which the output stage converts as it interpolates the colour.
  PlanarPicture planes;
  bool planar = false;

  SegmentDecoder segmentDecoder = nullptr;
  MacroblockWriter macroblockWriter = nullptr;  // places the six blocks of a macroblock
  PostPass postPass = nullptr;
  int flip = 1;

  const uint8_t* source = nullptr;
  VideoBlocks videoBlocks{};
  uint8_t* ringFrame = nullptr;  // the video blocks of a frame taken from the ring
  const uint32_t* vlcTable = nullptr;

  // Working state of one segment, allocated at open.
  SegmentState* segment = nullptr;
  float* coefficients = nullptr;  // 5 x 6 blocks of 64, kept all zero between blocks
  // The reduced sizes' area means of the six blocks of each macroblock of a segment
  // (kReducedBlockFloats floats a block).
  float* means = nullptr;
  Placement placement[kMaxSequences * kSegmentsPerSequence * kBlocksPerSegment]{};

  ResampleCache resample;
  FilterScratch filterScratch;  // the motion de-interlacer's working memory
};

// Sets the decoder up for a system (525 or 625), aspect, level and orientation. With
// `picture` (the decoder's own at a reconfiguration) that picture is kept when it is
// large enough for the level, else -300; without one a picture is allocated (-101).
DvcResult configure(Decoder& d, int system, int wide, int level, int orientation, const PixelDesc* picture);

// Picks the stages for the decoder's level and system and tags its picture.
void selectStages(Decoder& d);
// Builds the placement of every macroblock of every segment for the decoder's level.
void buildPlacement(Decoder& d);

inline constexpr int kReducedBlockFloats = 32;

// Runs over every segment of the located frame, sequence by sequence: decodeSegment(s,
// i) decodes its codes, then place(m, placement) writes each of its five macroblocks.
// -300 when a macroblock has no complete placement (the decode stops there).
template <typename DecodeSegment, typename PlaceMacroblock>
DvcResult forEachSegment(Decoder& d, DecodeSegment decodeSegment, PlaceMacroblock place) {
  for (int s = 0; s < d.sequences; ++s) {
    for (int i = 0; i < int(kSegmentsPerSequence); ++i) {
      decodeSegment(s, i);  // corrupt codes end their block, never the frame
      const Placement* entries = d.placement + (s * kSegmentsPerSequence + i) * kBlocksPerSegment;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        const Placement& p = entries[m];
        bool complete = p.valid;
        for (int b = 0; b < kBlocksPerMacroblock && complete; ++b) complete = p.destination[b] != kNoDestination;
        if (!complete) return DVC_ERR_BAD_ARGUMENT;
        place(m, p);
      }
    }
  }
  return DVC_OK;
}

// The segment decoders: full size, and the reduced sizes (dv_reduced.cpp), which
// reconstruct area means of each block straight from its first codes and write RGB
// pixels (the 625 quarter size 'YCCa').
DvcResult decodeSegmentsFull(Decoder& d);
DvcResult decodeSegmentsHalf(Decoder& d);
DvcResult decodeSegmentsQuarter(Decoder& d);
DvcResult decodeSegmentsDc(Decoder& d);

// The output stage: filter (full size), conversion to BGR and resampling into dst,
// whose height and width may be rewritten.
DvcResult outputPicture(Decoder& d, uint32_t filterMode, uint32_t resampleMode, PixelDesc* dst);

// The accepted output sizes: for a listed height, its level and whether the width is
// accepted; adjusts the resampling mode and tells the wide flag.
struct SizeChoice {
  int level;
  int wide;
  bool accepted;
};
SizeChoice chooseSize(uint32_t width, uint32_t height, uint32_t* resample);

Decoder* openDecoder(uint8_t flags);
void closeDecoder(Decoder* d);
// Every later decode takes its frame from the ring (emptied now); the ring stays the
// caller's and must outlive the decoder's decodes.
void attachRing(Decoder* d, DvRingBuffer* ring);
DvcResult decode(Decoder* d, const uint8_t* source, uint32_t length, uint8_t* destination, uint32_t* outputSize,
                 DvcDibFormat* format);

}  // namespace zebdv
