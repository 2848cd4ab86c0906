#include "dv_decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "dv_filter.h"
#include "dv_idct.h"
#include "dv_kernels.h"
#include "dv_tables.h"

namespace zebdv {

// ---- Configuration ---------------------------------------------------------------------

namespace {

constexpr uint32_t kPictureStride = 720 * 4;  // rows of the internal picture, at every level

}  // namespace

DvcResult configure(Decoder& d, int system, int wide, int level, int orientation, const PixelDesc* picture) {
  if (system != 525 && system != 625) return DVC_ERR_BAD_ARGUMENT;
  if (level < 0 || level >= kLevels) return DVC_ERR_BAD_ARGUMENT;
  const int lines = linesOf(system);
  const int targetFull = system == 525 ? (wide ? 852 : 640) : (wide ? 1024 : 768);
  const int32_t width = 720 >> level, height = lines >> level;

  // The picture first, so that a failure leaves the decoder as it was.
  const uint32_t rowBytes = uint32_t(level == 3 ? 92 : width) * 4;
  if (picture && picture->buffer) {
    // The decoder's own picture carries the last level's width, but its rows and buffer
    // keep the size it was made with: what its stride holds is what it can take.
    const int32_t capacity = picture == &d.picture ? int32_t(picture->stride / 4) : picture->width;
    if (picture->pixelSize != 4 || picture->stride < rowBytes || capacity < width ||
        uint64_t(picture->size) < uint64_t(picture->stride) * uint32_t(height)) {
      return DVC_ERR_BAD_ARGUMENT;
    }
    if (picture != &d.picture) d.picture = *picture;
  } else {
    int16_t error = 0;
    PixelDesc created = pixelDescCreate(720, lines, 4, kPictureStride, kTagYCCa, &error);
    if (!created.buffer) return error ? error : DvcResult(DVC_ERR_NO_MEMORY);
    if (d.ownsPicture) pixelDescFree(&d.picture);
    d.picture = created;
    d.ownsPicture = true;
  }
  pixelDescSetGeometry(0xFFFFFFFFu, width, height, 4, 0xFFFFFFFFu, 0xFFFFFFFFu, uint32_t(system), &d.picture);

  d.system = system;
  d.wide = wide;
  d.level = level;
  d.chromaFormat = system == 525 ? 411 : 420;
  d.sequences = sequencesOf(system);
  d.blocksPerMacroblock = 6;
  static constexpr int kWords[6] = {7, 7, 7, 7, 5, 5};
  std::memcpy(d.blockWords, kWords, sizeof kWords);
  d.pictureWidth = width;
  d.pictureHeight = height;
  d.targetWidth = targetFull >> level;
  d.targetHeight = height;
  d.ratio = float(d.pictureWidth) / float(d.targetWidth);
  d.orientation = orientation;
  d.flip = orientation != 0 ? 1 : 0;
  d.planar = false;
  d.planes = PlanarPicture{};
  if (level == 0) {
    // The planes lie in the picture's buffer, which holds 4 bytes a pixel.
    PlanarPicture& p = d.planes;
    p.width = width;
    p.height = height;
    p.chromaWidth = system == 525 ? width / 4 : width / 2;
    p.chromaHeight = system == 525 ? height : height / 2;
    p.y = d.picture.buffer;
    p.cr = reinterpret_cast<int8_t*>(p.y + size_t(width) * size_t(height));
    p.cb = p.cr + size_t(p.chromaWidth) * size_t(p.chromaHeight);
  }
  selectStages(d);
  buildPlacement(d);
  return DVC_OK;
}

void selectStages(Decoder& d) {
  d.segmentDecoder = nullptr;
  d.macroblockWriter = nullptr;
  d.postPass = nullptr;
  uint32_t tag = kTagYCCa;
  // Every picture is kept top row first; the output stage turns it over.
  switch (d.level) {
    case 0:
      d.segmentDecoder = decodeSegmentsFull;
      if (d.system == 525) {
        d.macroblockWriter = writeMacroblockYcc411;
        d.postPass = upsampleChroma411;
      } else {
        d.macroblockWriter = writeMacroblockYcc420;
      }
      break;
    case 1:
      d.segmentDecoder = decodeSegmentsHalf;
      tag = kTagBGRa;
      break;
    case 2:
      d.segmentDecoder = decodeSegmentsQuarter;
      tag = d.system == 525 ? kTagBGRa : kTagYCCa;
      break;
    default:
      d.segmentDecoder = decodeSegmentsDc;
      tag = kTagaRGB;
      break;
  }
  pixelDescSetTag(tag, &d.picture);
}

void buildPlacement(Decoder& d) {
  const int L = d.level;
  const uint32_t stride = d.picture.stride;
  auto offset = [&](int x, int y) { return uint32_t(y >> L) * stride + uint32_t(x >> L) * 4; };
  for (int s = 0; s < int(kMaxSequences); ++s) {
    for (int i = 0; i < int(kSegmentsPerSequence); ++i) {
      for (int j = 0; j < int(kBlocksPerSegment); ++j) {
        Placement& p = d.placement[(s * kSegmentsPerSequence + i) * kBlocksPerSegment + j];
        if (s >= d.sequences) {
          p = Placement{{kNoDestination, kNoDestination, kNoDestination, kNoDestination, kNoDestination,
                         kNoDestination},
                        0, 0, 0, 0};
          continue;
        }
        const MacroblockPlace mb = macroblockPlace(d.system, s, i, j);
        for (int b = 0; b < 4; ++b) {
          int x, y;
          lumaBlockOrigin(mb, b, &x, &y);
          p.destination[b] = offset(x, y);
        }
        p.destination[4] = offset(mb.x, mb.y) + 1;
        p.destination[5] = offset(mb.x, mb.y) + 2;
        p.x = mb.x;
        p.y = mb.y;
        p.shape = mb.shape;
        p.valid = 1;
      }
    }
  }
}

// ---- The full-size segment decoder -------------------------------------------------------

namespace {

// Receives the codes of a segment as transform inputs (dv_idct.h), so that each block
// goes straight to the inverse transform with its weights.
struct TransformInputSink {
  struct Block {
    float* input;
    const uint8_t* place;
    void store(size_t k, float amplitude) { input[place[k]] = amplitude; }
  };
  float* coefficients;
  const float* weights[kMacroblocksPerSegment * kBlocksPerMacroblock];

  Block begin(int mb, int b, int qno, int cls, int mode, int dc) {
    const int n = mb * kBlocksPerMacroblock + b;
    float* input = coefficients + 64 * n;
    input[0] = float(dc);
    weights[n] = idctWeights(mode, quantRow(qno, cls), cls == 3);
    return Block{input, idctPlaces(mode)};
  }
};

// `bmi2`: the code loop's passes run in their builds for BMI2 (shifts by a register
// without flags).
DvcResult decodeFull(Decoder& d, bool bmi2) {
  const Kernels& kern = kernels();
  TransformInputSink sink{d.coefficients, {}};
  VlcSegmentDecoder<TransformInputSink> vlc(d.vlcTable, *d.segment, sink, bmi2);
  uint8_t* const base = d.picture.buffer;
  alignas(32) int8_t samples[kBlocksPerMacroblock][64];
  const int8_t* const blocks[kBlocksPerMacroblock] = {samples[0], samples[1], samples[2],
                                                      samples[3], samples[4], samples[5]};
  const DvcResult result = forEachSegment(
      d, [&](int s, int i) { vlc.decode(d.videoBlocks.block[s][i]); },
      [&](int m, const Placement& p) {
        const BlockState* states = d.segment->block[m];
        if (d.planar) {
          // Each block straight into its place in the planes.
          for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            float* input = d.coefficients + 64 * (m * kBlocksPerMacroblock + b);
            const float* weights = sink.weights[m * kBlocksPerMacroblock + b];
            const BlockState& st = states[b];
            uint8_t* first;
            ptrdiff_t step;
            uint8_t bias;
            if (!blockInPlanes(d.planes, p.x, p.y, p.shape, b, &first, &step, &bias)) {
              if (st.count) {
                (st.mode ? kern.idct248 : kern.idct88)(input, weights, samples[b]);
              } else {
                std::memset(samples[b], dcOnlySample(st.dc), 64);
                input[0] = 0.0f;
              }
              writeSplitChromaBlock(samples[b], d.planes, p.x, p.y, b);
            } else if (st.count) {
              kern.idctToRows(input, weights, st.mode, first, step, bias);
            } else {
              const uint8_t value = uint8_t(dcOnlySample(st.dc)) ^ bias;
              for (int r = 0; r < 8; ++r) std::memset(first + r * step, value, 8);
              input[0] = 0.0f;
            }
          }
          return;
        }
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
          const int n = m * kBlocksPerMacroblock + b;
          float* input = d.coefficients + 64 * n;
          if (states[b].count) {
            (states[b].mode ? kern.idct248 : kern.idct88)(input, sink.weights[n], samples[b]);
          } else {
            std::memset(samples[b], dcOnlySample(states[b].dc), 64);
            input[0] = 0.0f;
          }
        }
        uint8_t* destinations[kBlocksPerMacroblock];
        for (int b = 0; b < kBlocksPerMacroblock; ++b) destinations[b] = base + p.destination[b];
        d.macroblockWriter(blocks, destinations, d.picture, p.shape);
      });
  // Keep the transform inputs clear for the next decode, whatever stopped this one.
  if (result != DVC_OK) std::memset(d.coefficients, 0, sizeof(float) * 64 * 30);
  return result;
}

}  // namespace

DvcResult decodeSegmentsFull(Decoder& d) {
  // The BMI2 passes where the processor has them and the vector kernels in use are not
  // the portable ones (so that the tests that force those run the other passes). The same
  // bytes either way.
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  return decodeFull(d, bmi2 && &kernels() != &portableKernels());
}

// ---- Output --------------------------------------------------------------------------------

namespace {

DvcResult convertToOutput(Decoder& d, const PixelDesc& src, const PixelDesc& dst, uint32_t mode, bool flip) {
  switch (mode) {
    case 0: return convertPicture(src, dst, flip);
    case 1: return convertResampleNearest(d.resample, src, dst, d.ratio, flip);
    case 2: return convertResampleFiltered(d.resample, src, dst, d.ratio, flip);
    default: return DVC_ERR_UNSUPPORTED;
  }
}

}  // namespace

DvcResult outputPicture(Decoder& d, uint32_t filterMode, uint32_t resampleMode, PixelDesc* dst) {
  const int32_t targetWidth = resampleMode == 0 ? d.pictureWidth : d.targetWidth;
  const int32_t targetHeight = resampleMode == 0 ? d.pictureHeight : d.targetHeight;
  // A destination at least as wide as the target takes the target's size (rows keep the
  // destination's stride); a narrower one keeps its own and receives the picture's left
  // part.
  if (dst->width >= targetWidth) {
    dst->width = targetWidth;
    dst->height = targetHeight;
  }
  if (uint64_t(uint32_t(dst->height)) * dst->stride > dst->size) return DVC_ERR_DEST_TOO_SMALL;
  // Nothing to write into: the frame was decoded, no picture goes out.
  if (!d.picture.buffer || !dst->buffer) return DVC_ERR_NO_INPUT;
  const bool flip = d.flip != 0;
  if (d.planar) return convertPlanes(d.planes, *dst, flip);

  if (d.picture.tag == kTagaRGB || d.picture.tag == kTagBGRa) {
    switch (resampleMode) {
      case 1: return resampleNearest(d.picture, *dst, 3, d.ratio, flip);
      case 2: return resampleFiltered(d.resample, d.picture, *dst, 3, d.ratio, flip);
      default: return copyChannels(d.picture, *dst, flip);
    }
  }

  if (d.level == 0) (void)filterPicture(d.picture, filterMode, &d.filterScratch);  // the picture goes on as the filter left it
  if (convertToOutput(d, d.picture, *dst, resampleMode, flip) == DVC_OK) return DVC_OK;

  // Second route: turn the picture into BGR in place (four bytes a pixel, rows turned
  // over), then resample or copy it.
  PixelDesc bgr = d.picture;
  pixelDescSetTag(kTagBGR, &bgr);
  if (DvcResult r = convertPicture(d.picture, bgr, flip)) return r;
  switch (resampleMode) {
    case 1: return resampleNearest(bgr, *dst, 3, d.ratio, false);
    case 2: return resampleFiltered(d.resample, bgr, *dst, 3, d.ratio, false);
    default: return copyPicture(bgr, *dst);
  }
}

// ---- The exported operations ---------------------------------------------------------------

SizeChoice chooseSize(uint32_t width, uint32_t height, uint32_t* resample) {
  struct Row {
    uint32_t height;
    int level;
    uint32_t square, native, wide;
  };
  static constexpr Row kSizes[] = {
      {480, 0, 640, 720, 852}, {576, 0, 768, 720, 1024}, {240, 1, 320, 360, 426}, {288, 1, 384, 360, 512},
      {120, 2, 160, 180, 213}, {144, 2, 192, 180, 256},  {60, 3, 80, 90, 106},    {72, 3, 96, 90, 128},
  };
  for (const Row& row : kSizes) {
    if (row.height != height) continue;
    if (row.level > 0 && *resample != 0) *resample = 1;
    if (width == row.square) {
      if (row.level == 0 && *resample == 0) *resample = 2;
      return SizeChoice{row.level, 0, true};
    }
    if (width == row.native) {
      *resample = 0;
      return SizeChoice{row.level, 0, true};
    }
    if (width == row.wide) return SizeChoice{row.level, 1, true};
    return SizeChoice{row.level, 0, false};
  }
  return SizeChoice{0, 0, true};  // any other height: full size, 4:3, resampling as given
}

Decoder* openDecoder(uint8_t flags) {
  Decoder* d = new (std::nothrow) Decoder;
  if (!d) return nullptr;
  d->vlcTable = sharedVlcTable();
  d->segment = static_cast<SegmentState*>(std::calloc(1, sizeof(SegmentState)));
  d->coefficients = static_cast<float*>(std::aligned_alloc(64, sizeof(float) * 64 * 30));
  d->means = static_cast<float*>(
      std::aligned_alloc(64, sizeof(float) * kReducedBlockFloats * kBlocksPerMacroblock * kMacroblocksPerSegment));
  d->ringFrame = static_cast<uint8_t*>(std::malloc(kRingFrameCopyBytes));
  if (!d->vlcTable || !d->segment || !d->coefficients || !d->means || !d->ringFrame) {
    closeDecoder(d);
    return nullptr;
  }
  std::memset(d->coefficients, 0, sizeof(float) * 64 * 30);
  if (configure(*d, (flags & DVC_SYSTEM_625) ? 625 : 525, 1, 0, 1, nullptr) != DVC_OK) {
    closeDecoder(d);
    return nullptr;
  }
  return d;
}

void attachRing(Decoder* d, DvRingBuffer* ring) {
  if (!d || !ring) return;
  d->ring = ring;
  ringReset(ring);
}

void closeDecoder(Decoder* d) {
  if (!d) return;
  std::free(d->segment);
  std::free(d->coefficients);
  std::free(d->means);
  std::free(d->ringFrame);
  if (d->ownsPicture) pixelDescFree(&d->picture);
  delete d;
}

DvcResult decode(Decoder* d, const uint8_t* source, uint32_t length, uint8_t* destination, uint32_t* outputSize,
                 DvcDibFormat* format) {
  if (!d || !format) return DVC_ERR_BAD_ARGUMENT;
  const uint32_t width = format->width, height = format->height;
  const uint64_t stride = alignUp(width, 3, 4);
  // Sizes that no bitmap can have (or whose byte count does not fit 32 bits).
  if (width == 0 || height == 0 || stride * height > 0xFFFFFFFFu) return DVC_ERR_BAD_ARGUMENT;
  format->bitCount = 24;
  format->stride = uint32_t(stride);

  uint32_t resample = format->resample;
  const SizeChoice size = chooseSize(width, height, &resample);
  format->resample = resample;
  if (!size.accepted) return DVC_ERR_BAD_ARGUMENT;
  if (size.level != d->level || size.wide != d->wide) {
    if (DvcResult r = configure(*d, d->system, size.wide, size.level, d->orientation, &d->picture)) return r;
  }

  // Locate the video blocks.
  DvcResult r = DVC_OK;
  if (d->ring) {
    // An attached ring: the source, its length and the input form are not looked at.
    r = locateBlocksInRing(d->ring, d->sequences, d->ringFrame, &d->videoBlocks);
  } else if (!source) {
    r = DVC_ERR_NO_INPUT;
  } else {
    switch (format->inputForm) {
      case DVC_FORM_DVF: r = locateBlocksInDvf(source, length, d->sequences, &d->videoBlocks); break;
      case DVC_FORM_FRAME: r = locateBlocksInFrame(source, length, d->sequences, &d->videoBlocks); break;
      case DVC_FORM_PACKETS: r = locateBlocksInStream(source, length, d->sequences, &d->videoBlocks); break;
      default: r = DVC_ERR_NO_INPUT; break;
    }
  }
  if (r != DVC_OK) return r;
  d->source = source;
  if (!d->segmentDecoder) return DVC_ERR_UNSUPPORTED;
  // A full-size picture that goes to BGR as it is, unfiltered and not resampled, is
  // decoded into planes.
  d->planar = d->level == 0 && d->planes.y && !filterChangesPicture(format->filter) && format->resample == 0;
  if ((r = d->segmentDecoder(*d)) != DVC_OK) return r;
  if (d->postPass && !d->planar) (void)d->postPass(d->picture);

  PixelDesc dst;
  dst.buffer = destination;
  dst.stride = uint32_t(stride);
  dst.width = int32_t(width);
  dst.height = int32_t(height);
  dst.size = uint32_t(stride * height);
  dst.pixelSize = 3;
  pixelDescSetTag(kTagBGR, &dst);
  r = outputPicture(*d, format->filter, format->resample, &dst);
  if (outputSize) *outputSize = r == DVC_OK ? uint32_t(stride * height) : 0;
  return r;
}

}  // namespace zebdv
