// Album pictures written for the exports: movie frames, and the pictures and thumbnails
// of an HTML album. The results are those of the picture engine's export and thumbnail
// conversion (CImageOpe::ExportImage and ConvertImage) with the same output settings and
// fill colour, reached with less work:
// - a JPEG working copy whose picture ends up much smaller than the file is decoded
//   already reduced by 2, 4 or 8 in the JPEG library's inverse DCT, never below twice the
//   size it is scaled to, and then scaled exactly as the engine scales it (the sizes and
//   places come from the picture's full size, as the engine computes them);
// - a picture and its thumbnail come from one reading of the working copy;
// - a DV or YUV0 working copy goes through a BMP file of its own in the work folder
//   (LoadAlbumPicture), never through a fixed name that another window may be using at
//   the same time.
// Settings the shortcut does not cover (the wide format, a rotation, title files) go to
// the engine as they are. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "workspace/reduced_read.h"

namespace workspace {
class CImageOpe;
struct OutputFormatSettings;
}  // namespace workspace

namespace exporters {

using workspace::Extent;

// Where the engine's letterbox puts a w x h picture on a W x H canvas: the largest size
// of the same shape that fits (each side at least 1), centred, offsets rounded down.
struct Placement {
  int32_t width = 0, height = 0, left = 0, top = 0;
  bool operator==(const Placement&) const = default;
};
Placement FitInto(int32_t w, int32_t h, int32_t W, int32_t H);

// The thumbnail rule and the reduction of a JPEG reading (workspace/reduced_read.h).
using workspace::ReductionFor;
using workspace::ThumbnailSize;

class PictureWriter {
 public:
  PictureWriter(workspace::CImageOpe& engine, const workspace::OutputFormatSettings& settings);

  // What engine.ExportImage(source, target) writes.
  bool Export(const std::string& source, const std::string& target);
  // What engine.ConvertImage(thumbnail, source, maxW, maxH) and then
  // engine.ExportImage(source, target) write.
  bool ExportWithThumbnail(const std::string& source, const std::string& target, const std::string& thumbnail,
                           int32_t maxW, int32_t maxH);

 private:
  class Read;
  bool Covered() const;
  // The size the exported picture is scaled to, from the picture's full size.
  Extent ExportTarget(Extent full) const;
  bool Load(const std::string& source, uint32_t filterMode, const std::function<Extent(Extent)>& target,
            Read& read);
  bool WriteExport(const Read& read, const std::string& target);
  bool WriteThumbnail(const Read& read, const std::string& thumbnail, int32_t maxW, int32_t maxH);

  workspace::CImageOpe& engine_;
  const workspace::OutputFormatSettings& settings_;
};

}  // namespace exporters
