// Reading a picture file for a much smaller showing of it: a JPEG file is decoded
// already reduced by 2, 4 or 8 in the JPEG library's inverse DCT, which costs a fraction
// of decoding every pixel and shrinking afterwards. The sizes the callers scale to are
// always worked out from the picture's full size, so a reduced reading gives pictures of
// exactly the sizes a full one gives. Used by the import's thumbnails, the viewer's
// fitted showing and the exports' pictures and thumbnails.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/com/qm6com.h"

namespace workspace {

struct Extent {
  int32_t width = 0, height = 0;
  bool operator==(const Extent&) const = default;
};

// Whether the toolkit's picture type is one of the JPEG kinds.
bool IsJpegType(uint16_t type);

// The size the engine's thumbnail rule gives a w x h picture for a maxW x maxH box: the
// picture's own when one side meets the box and the other fits; otherwise scaled to the
// box's width when it is wider than 4:3, else to its height (each side at least 1).
Extent ThumbnailSize(int32_t w, int32_t h, int32_t maxW, int32_t maxH);

// The largest reduction (8, 4 or 2; else 1) of a w x h JPEG that still leaves each side
// of the decoded picture (rounded up) at least `margin` times the target's.
unsigned ReductionFor(int32_t w, int32_t h, Extent target, int32_t margin = 2);

// A JPEG file's picture decoded reduced and turned upright as its Exif orientation says
// (as the file library reads the whole picture), when `wanted` (given the picture's full
// size) asks for a picture small enough for a reduction by ReductionFor with `margin`. 0
// for any other file, when no reduction applies, or when the decoder did not give the
// size it promised: the caller then reads the whole picture. `full` is the upright
// picture's full size whenever the file is a JPEG whose header could be read, else 0 x 0;
// `reduction` the factor used (1 when none).
QmHandle ReadReduced(const std::string& path, const std::function<Extent(Extent)>& wanted, int32_t margin,
                     Extent& full, unsigned& reduction);

// The same reading of a JPEG held in memory, giving what ReadReduced gives for a file of
// these bytes. It reports no progress and shares nothing with other threads but the
// handle table, so it may run on a worker thread (with a `wanted` that may too); a set
// *stop ends it, giving 0. When `admit` is given, it is told what the decoding would take
// (bytes of memory) before it begins, and the decoding is left undone (0) unless it
// agrees.
QmHandle ReadReducedBlock(const uint8_t* data, size_t length, const std::function<Extent(Extent)>& wanted,
                          int32_t margin, Extent& full, unsigned& reduction, const std::atomic<bool>* stop = nullptr,
                          const std::function<bool(uint64_t)>& admit = {});

}  // namespace workspace
