#include "exporters/picture_writer.h"

#include <algorithm>
#include <cctype>

#include "exporters/card_pictures.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/file_name.h"
#include "workspace/image_ope.h"
#include "workspace/output_format.h"

namespace exporters {

using workspace::OutputFormatSettings;

namespace {

Extent sizeOf(QmHandle picture) {
  Extent e;
  return PictureSize(picture, e.width, e.height) ? e : Extent{};
}

bool isCaptureFile(const std::string& path) {
  std::string ext = workspace::FileName(path).GetExt();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "dvf" || ext == "yuv";
}

Extent larger(Extent a, Extent b) {
  return {std::max(a.width, b.width), std::max(a.height, b.height)};
}

}  // namespace

Placement FitInto(int32_t w, int32_t h, int32_t W, int32_t H) {
  int64_t sw, sh;
  if (static_cast<int64_t>(w) * H > static_cast<int64_t>(h) * W) {
    sw = W;
    sh = std::max<int64_t>(1, static_cast<int64_t>(W) * h / w);
  } else {
    sh = H;
    sw = std::max<int64_t>(1, static_cast<int64_t>(H) * w / h);
  }
  return {static_cast<int32_t>(sw), static_cast<int32_t>(sh), static_cast<int32_t>((W - sw) / 2),
          static_cast<int32_t>((H - sh) / 2)};
}

// A working copy's picture, read at its full size or reduced, and its full size.
class PictureWriter::Read {
 public:
  OwnedPicture picture;
  Extent full;
  Extent size() const { return sizeOf(picture.get()); }
  bool fullSize() const { return size() == full; }
};

PictureWriter::PictureWriter(workspace::CImageOpe& engine, const OutputFormatSettings& settings)
    : engine_(engine), settings_(settings) {}

bool PictureWriter::Covered() const {
  return (settings_.SizeMode == OutputFormatSettings::kKeepSize || settings_.SizeMode == OutputFormatSettings::kFreeSize ||
          settings_.SizeMode == OutputFormatSettings::kPresetSize) &&
         settings_.Rotation == OutputFormatSettings::kNoRotation &&
         (settings_.Format == OutputFormatSettings::kJpeg || settings_.Format == OutputFormatSettings::kBmp) &&
         settings_.OutputWidth >= 1 && settings_.OutputHeight >= 1;
}

Extent PictureWriter::ExportTarget(Extent full) const {
  if (settings_.SizeMode == OutputFormatSettings::kKeepSize) return full;
  const Placement p = FitInto(full.width, full.height, settings_.OutputWidth, settings_.OutputHeight);
  return {p.width, p.height};
}

bool PictureWriter::Load(const std::string& source, uint32_t filterMode,
                         const std::function<Extent(Extent)>& target, Read& read) {
  if (!isCaptureFile(source)) {
    unsigned reduction = 1;
    read.picture.reset(workspace::ReadReduced(source, target, 2, read.full, reduction));
    if (read.picture) return true;
  }
  read.picture.reset(LoadAlbumPicture(engine_, source, filterMode));
  read.full = read.size();
  return read.full.width > 0;
}

bool PictureWriter::WriteExport(const Read& read, const std::string& target) {
  OwnedPicture shaped;
  QmHandle out = read.picture.get();
  if (settings_.SizeMode != OutputFormatSettings::kKeepSize) {
    const int32_t W = settings_.OutputWidth, H = settings_.OutputHeight;
    if (!(read.fullSize() && read.full == Extent{W, H})) {
      const Placement p = FitInto(read.full.width, read.full.height, W, H);
      shaped.reset(ImageResize(read.picture.get(), p.width, p.height));
      if (!shaped.get()) return false;
      if (p.width != W || p.height != H) {
        const uint32_t c = engine_.FillColor;
        OwnedPicture canvas(ImageCreate(W, H, 24, c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
        if (!canvas.get()) return false;
        shaped.reset(ImageOverlay(canvas.get(), shaped.get(), p.left, p.top));
        if (!shaped.get()) return false;
      }
      out = shaped.get();
    }
  } else if (!read.fullSize()) {
    return false;
  }
  const bool ok = settings_.Format == OutputFormatSettings::kJpeg
                      ? ImageFileSaveJpeg(target.c_str(), out, 0, settings_.JpegQuality, 0, "")
                      : ImageFileSaveBmp(target.c_str(), out);
  if (!ok) engine_.ErrorCode = workspace::CImageOpe::kExportFailed;
  return ok;
}

bool PictureWriter::WriteThumbnail(const Read& read, const std::string& thumbnail, int32_t maxW, int32_t maxH) {
  const Extent t = ThumbnailSize(read.full.width, read.full.height, maxW, maxH);
  if (read.fullSize() && t == read.full) return engine_.SaveImage(thumbnail, read.picture.get(), maxW, maxH);
  OwnedPicture small(ImageResize(read.picture.get(), t.width, t.height));
  // At the thumbnail's size the engine writes the picture as it is.
  return small.get() && ThumbnailSize(t.width, t.height, maxW, maxH) == t &&
         engine_.SaveImage(thumbnail, small.get(), maxW, maxH);
}

bool PictureWriter::Export(const std::string& source, const std::string& target) {
  if (!Covered()) return engine_.ExportImage(source, target);
  Read read;
  if (!Load(source, static_cast<uint32_t>(settings_.CorrectionCode), [this](Extent f) { return ExportTarget(f); },
            read)) {
    engine_.ErrorCode = workspace::CImageOpe::kUnreadable;
    return false;
  }
  return WriteExport(read, target);
}

bool PictureWriter::ExportWithThumbnail(const std::string& source, const std::string& target,
                                        const std::string& thumbnail, int32_t maxW, int32_t maxH) {
  if (!Covered()) return engine_.ConvertImage(thumbnail, source, maxW, maxH) && engine_.ExportImage(source, target);
  // A DV or YUV0 frame's thumbnail is decoded without a filter, its picture with the
  // settings' correction: two readings when they differ.
  const bool twoReadings = isCaptureFile(source) && settings_.CorrectionCode != 0;
  const auto thumbnailTarget = [&](Extent f) { return ThumbnailSize(f.width, f.height, maxW, maxH); };
  const auto bothTargets = [&](Extent f) { return larger(ExportTarget(f), thumbnailTarget(f)); };
  Read read;
  if (!Load(source, 0, twoReadings ? std::function<Extent(Extent)>(thumbnailTarget) : bothTargets, read)) {
    engine_.ErrorCode = workspace::CImageOpe::kUnreadable;
    return false;
  }
  if (!WriteThumbnail(read, thumbnail, maxW, maxH)) return false;
  return twoReadings ? Export(source, target) : WriteExport(read, target);
}

}  // namespace exporters
