// The information pass: reads a JPEG file's header (and its Exif segment when asked)
// without decoding the picture. The load runs it first as its gate.
#include <cstring>
#include <utility>

#include "jpegmodule/codec.h"
#include "jpegmodule/scaled_load.h"
#include "toolkit/dib/dib.h"

namespace qmjpeg {

namespace {

struct InfoJob {
  Decoder* decoder;
  FILE* file;
  bool exifWanted;
  bool accepted = false;
  const uint8_t* block = nullptr;  // read when there is no file
  size_t blockLength = 0;
};

void infoBody(void* arg) {
  InfoJob& job = *static_cast<InfoJob*>(arg);
  Decoder& d = *job.decoder;
  d.create(job.file, job.block, job.blockLength);
  d.exif.wanted = job.exifWanted;
  jpeg_read_header(&d.cinfo, TRUE);
  job.accepted = d.accepted();
}

// Dots per inch from an Exif resolution, rounded; 0 without a denominator.
int32_t rationalDpi(const EXIFRATIONAL& r) {
  if (r.Denominator == 0) return 0;
  double v = static_cast<double>(r.Numerator) / r.Denominator + 0.5;
  return v >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(v);
}

}  // namespace

bool readInfo(const char* path, JPEGFILEINFO* info, EXIFINFO* exif, bool copyWanted, uint16_t* orientation) {
  if (exif) std::memset(exif, 0, sizeof *exif);
  SetErrorStatus(QM_STATUS_FAILED);
  if (!path || DataFileNameSize(path) < 1) return false;
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t soi[2] = {};
  if (std::fread(soi, 1, 2, file) != 2 || soi[0] != 0xFF || soi[1] != 0xD8 || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return false;
  }

  JPEGFILEINFO found{};
  bool exifSeen = false;
  uint8_t densityUnit = 0;
  std::vector<uint8_t> thumbnail;
  const bool copy = copyWanted && exif != nullptr;
  InfoJob job{nullptr, file, copy || orientation != nullptr};
  {
    Decoder d;
    job.decoder = &d;
    if (!runGuarded(d.guard, infoBody, &job)) {
      std::fclose(file);
      SetErrorStatus(QM_STATUS_LOAD_FAILED);
      return false;
    }
    const jpeg_decompress_struct& c = d.cinfo;
    exifSeen = d.exif.seen;
    if (orientation) *orientation = d.exif.values.Ifd0.Orientation;
    if (copy && job.accepted && exifSeen) {
      *exif = d.exif.values;
      exif->Thumbnail = 0;
      thumbnail = std::move(d.exif.thumbnail);
    }
    uint64_t bits = uint64_t(c.num_components) * 8;
    uint64_t rowBytes = dibRowBytes(bits, c.image_width);
    uint64_t imageBytes = rowBytes * c.image_height;
    found.BitCount = static_cast<uint16_t>(bits);
    found.Width = c.image_width;
    found.Height = c.image_height;
    found.RowBytes = static_cast<uint32_t>(rowBytes);
    found.ImageBytes = imageBytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(imageBytes);
    found.Progressive = c.progressive_mode ? 1 : 0;
    densityUnit = c.density_unit;
    if (densityUnit == 1) {
      found.XDpi = c.X_density;
      found.YDpi = c.Y_density;
    } else if (densityUnit == 2) {
      found.XDpi = static_cast<uint32_t>(CovertDotM2I(c.X_density * 100));
      found.YDpi = static_cast<uint32_t>(CovertDotM2I(c.Y_density * 100));
    }
    std::memcpy(found.Comment, d.comment, sizeof found.Comment);
  }  // the library object and every Exif buffer are released here
  std::fclose(file);
  if (!job.accepted) return false;

  if (info) {
    info->BitCount = found.BitCount;
    // Without a density in dots, the caller's resolution stays.
    if (densityUnit == 1 || densityUnit == 2) {
      info->XDpi = found.XDpi;
      info->YDpi = found.YDpi;
    }
    info->Width = found.Width;
    info->Height = found.Height;
    info->RowBytes = found.RowBytes;
    info->ImageBytes = found.ImageBytes;
    info->Format = exifSeen ? 23 : found.Progressive ? 5 : 4;
    info->Progressive = found.Progressive;
    info->Pictures = 1;
    std::memcpy(info->Comment, found.Comment, sizeof info->Comment);
  }
  if (!thumbnail.empty()) {
    QmHandle t = readDib(nullptr, thumbnail.data(), thumbnail.size(), 0, nullptr, kMaxThumbnailBytes);
    if (t) QMSetDpi(t, rationalDpi(exif->Ifd1.XResolution), rationalDpi(exif->Ifd1.YResolution));
    exif->Thumbnail = t;
  }
  SetErrorStatus(QM_STATUS_OK);
  return true;
}

uint32_t Header::uprightWidth() const { return qm6dib::sidesSwapped(orientation) ? height : width; }
uint32_t Header::uprightHeight() const { return qm6dib::sidesSwapped(orientation) ? width : height; }

bool readFileHeader(const std::string& path, Header& header) {
  JPEGFILEINFO info{};
  uint16_t orientation = 0;
  if (!readInfo(path.c_str(), &info, nullptr, false, &orientation)) return false;
  header = Header{info.Width, info.Height, qm6dib::knownOrientation(orientation)};
  return true;
}

bool readBlockHeader(const uint8_t* data, size_t length, Header& header) {
  if (!data || length < 2 || data[0] != 0xFF || data[1] != 0xD8) return false;
  InfoJob job{nullptr, nullptr, true};
  job.block = data;
  job.blockLength = length;
  Decoder d;
  job.decoder = &d;
  if (!runGuarded(d.guard, infoBody, &job) || !job.accepted) return false;
  header = Header{d.cinfo.image_width, d.cinfo.image_height, qm6dib::knownOrientation(d.exif.values.Ifd0.Orientation)};
  return true;
}

}  // namespace qmjpeg
