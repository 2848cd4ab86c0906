// The Exif reader: walks the TIFF structure of an Exif APP1 payload (IFD0, IFD1 and the
// Exif IFD) and keeps the values the Exif record reports.
//
// Every read is checked against the payload's length; a read past the end stops the
// walk and keeps what was stored before. A value of four bytes or fewer lies in the
// entry's own value field, in file order; a longer one at the offset the field holds.
#include <algorithm>
#include <cstring>

#include "jpegmodule/codec.h"

namespace qmjpeg {

namespace {

class Tiff {
 public:
  Tiff(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool bigEndian = false;
  bool failed = false;  // a read passed the end: the walk stops

  bool has(uint64_t pos, uint64_t n) const { return pos <= length_ && n <= length_ - pos; }

  uint8_t u8(uint64_t pos) {
    if (!has(pos, 1)) return fail();
    return data_[pos];
  }
  uint16_t u16(uint64_t pos) {
    if (!has(pos, 2)) return fail();
    const uint8_t* p = data_ + pos;
    return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
  }
  uint32_t u32(uint64_t pos) {
    if (!has(pos, 4)) return fail();
    const uint8_t* p = data_ + pos;
    return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
  const uint8_t* at(uint64_t pos) const { return data_ + pos; }
  size_t length() const { return length_; }

 private:
  uint8_t fail() {
    failed = true;
    return 0;
  }
  const uint8_t* data_;
  size_t length_;
};

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint64_t field;  // position of the 4-byte value field
};

uint64_t typeSize(uint16_t type) {
  switch (type) {
    case 3: case 8: return 2;               // SHORT, SSHORT
    case 4: case 9: case 11: return 4;      // LONG, SLONG, FLOAT
    case 5: case 10: case 12: return 8;     // RATIONAL, SRATIONAL, DOUBLE
    default: return 1;                      // BYTE, ASCII, SBYTE, UNDEFINED, unknown
  }
}

// Where the entry's values lie.
uint64_t dataPosition(Tiff& t, const Entry& e) {
  return uint64_t(e.count) * typeSize(e.type) <= 4 ? e.field : t.u32(e.field);
}

// The entry's first value as an integer, read at the width its type gives.
uint32_t firstValue(Tiff& t, const Entry& e) {
  switch (e.type) {
    case 1: case 2: case 6: case 7: return t.u8(e.field);
    case 3: case 8: return t.u16(e.field);
    default: return t.u32(e.field);
  }
}

void readRational(Tiff& t, const Entry& e, EXIFRATIONAL& out) {
  uint64_t pos = t.u32(e.field);
  uint32_t num = t.u32(pos);
  uint32_t den = t.u32(pos + 4);
  if (!t.failed) out = EXIFRATIONAL{num, den};
}

// Copies count bytes at pos as a text into a field of cap bytes: up to the first NUL,
// cut to cap - 1 bytes (or cap bytes when terminated is false), the rest zero.
void copyText(Tiff& t, uint64_t pos, uint64_t count, char* out, size_t cap, bool terminated = true) {
  std::memset(out, 0, cap);
  uint64_t n = std::min<uint64_t>(count, terminated ? cap - 1 : cap);
  for (uint64_t i = 0; i < n; ++i) {
    uint8_t b = t.u8(pos + i);
    if (t.failed || b == 0) break;
    out[i] = static_cast<char>(b);
  }
}

void copyEntryText(Tiff& t, const Entry& e, char* out, size_t cap) {
  if (e.count == 0) return;
  copyText(t, dataPosition(t, e), e.count, out, cap);
}

// Walks one directory: its entry count, then each entry. Returns the position of the
// next-directory offset behind the entries.
template <class Handler>
uint64_t walkIfd(Tiff& t, uint64_t pos, Handler&& handle) {
  uint16_t count = t.u16(pos);
  for (uint32_t i = 0; i < count && !t.failed; ++i) {
    uint64_t p = pos + 2 + 12 * uint64_t(i);
    Entry e{t.u16(p), t.u16(p + 2), t.u32(p + 4), p + 8};
    if (t.failed) break;
    handle(e);
  }
  return pos + 2 + 12 * uint64_t(count);
}

struct Thumbnail {
  bool haveOffset = false, haveLength = false;
  uint32_t offset = 0, length = 0;
};

void readSubIfd(Tiff& t, uint64_t pos, EXIFINFO& x) {
  walkIfd(t, pos, [&](const Entry& e) {
    switch (e.tag) {
      case 33434: readRational(t, e, x.ExposureTime); break;
      case 33437: readRational(t, e, x.FNumber); break;
      case 37122: readRational(t, e, x.CompressedBitsPerPixel); break;
      case 37377: readRational(t, e, x.ShutterSpeedValue); break;
      case 37378: readRational(t, e, x.ApertureValue); break;
      case 37379: readRational(t, e, x.BrightnessValue); break;
      case 37380: readRational(t, e, x.ExposureBiasValue); break;
      case 37381: readRational(t, e, x.MaxApertureValue); break;
      case 37382: readRational(t, e, x.SubjectDistance); break;
      case 37386: readRational(t, e, x.FocalLength); break;
      case 41483: readRational(t, e, x.FlashEnergy); break;
      case 41486: readRational(t, e, x.FocalPlaneXResolution); break;
      case 41487: readRational(t, e, x.FocalPlaneYResolution); break;
      case 41493: readRational(t, e, x.ExposureIndex); break;
      case 34850: x.ExposureProgram = static_cast<uint16_t>(firstValue(t, e)); break;
      case 37383: x.MeteringMode = static_cast<uint16_t>(firstValue(t, e)); break;
      case 37384: x.LightSource = static_cast<uint16_t>(firstValue(t, e)); break;
      case 37385: x.Flash = static_cast<uint16_t>(firstValue(t, e)); break;
      case 40961: x.ColorSpace = static_cast<uint16_t>(firstValue(t, e)); break;
      case 41488: x.FocalPlaneResolutionUnit = static_cast<uint16_t>(firstValue(t, e)); break;
      case 41495: x.SensingMethod = static_cast<uint16_t>(firstValue(t, e)); break;
      case 34855:
        if (e.count == 1) x.ISOSpeedRatings = static_cast<uint16_t>(firstValue(t, e));
        break;
      case 40962: x.PixelXDimension = firstValue(t, e); break;
      case 40963: x.PixelYDimension = firstValue(t, e); break;
      case 41492:
        // Two SHORTs, x then y.
        if (e.type == 3) {
          uint64_t p = dataPosition(t, e);
          x.SubjectLocationX = t.u16(p);
          x.SubjectLocationY = e.count >= 2 ? t.u16(p + 2) : 0;
        } else {
          uint32_t v = t.u32(e.field);
          x.SubjectLocationX = static_cast<uint16_t>(v);
          x.SubjectLocationY = static_cast<uint16_t>(v >> 16);
        }
        break;
      case 41728: x.FileSource = static_cast<uint8_t>(firstValue(t, e)); break;
      case 41729: x.SceneType = static_cast<uint8_t>(firstValue(t, e)); break;
      case 36864: copyText(t, e.field, 4, x.ExifVersion, sizeof x.ExifVersion); break;
      case 40960: copyText(t, e.field, 4, x.FlashpixVersion, sizeof x.FlashpixVersion); break;
      case 37121:
        std::memset(x.ComponentsConfiguration, 0, sizeof x.ComponentsConfiguration);
        for (int i = 0; i < 4; ++i) {
          x.ComponentsConfiguration[i] = static_cast<char>(t.u8(e.field + i) + 0x30);
        }
        break;
      case 34852: copyEntryText(t, e, x.SpectralSensitivity, sizeof x.SpectralSensitivity); break;
      case 36867: copyEntryText(t, e, x.DateTimeOriginal, sizeof x.DateTimeOriginal); break;
      case 36868: copyEntryText(t, e, x.DateTimeDigitized, sizeof x.DateTimeDigitized); break;
      case 37500: copyEntryText(t, e, x.MakerNote, sizeof x.MakerNote); break;
      case 37520: copyEntryText(t, e, x.SubSecTime, sizeof x.SubSecTime); break;
      case 37521: copyEntryText(t, e, x.SubSecTimeOriginal, sizeof x.SubSecTimeOriginal); break;
      case 37522: copyEntryText(t, e, x.SubSecTimeDigitized, sizeof x.SubSecTimeDigitized); break;
      case 37510: {
        if (e.count == 0) break;
        // The first 8 bytes name the character code; the text follows.
        uint64_t p = dataPosition(t, e);
        copyText(t, p, std::min<uint32_t>(e.count, 8), x.UserCommentCode, sizeof x.UserCommentCode, false);
        std::memset(x.UserComment, 0, sizeof x.UserComment);
        if (e.count > 8 && !t.failed) copyText(t, p + 8, e.count - 8, x.UserComment, sizeof x.UserComment);
        break;
      }
      default: break;
    }
  });
}

template <class Block>
uint64_t readIfd(Tiff& t, uint64_t pos, Block& b, EXIFINFO& x, Thumbnail* thumb) {
  return walkIfd(t, pos, [&](const Entry& e) {
    switch (e.tag) {
      case 259: b.Compression = static_cast<uint16_t>(firstValue(t, e)); break;
      case 274: b.Orientation = static_cast<uint16_t>(firstValue(t, e)); break;
      case 296: b.ResolutionUnit = static_cast<uint16_t>(firstValue(t, e)); break;
      case 531: b.YCbCrPositioning = static_cast<uint16_t>(firstValue(t, e)); break;
      case 282: readRational(t, e, b.XResolution); break;
      case 283: readRational(t, e, b.YResolution); break;
      case 270: copyEntryText(t, e, b.ImageDescription, sizeof b.ImageDescription); break;
      case 271: copyEntryText(t, e, b.Make, sizeof b.Make); break;
      case 272: copyEntryText(t, e, b.Model, sizeof b.Model); break;
      case 305: copyEntryText(t, e, b.Software, sizeof b.Software); break;
      case 306: copyEntryText(t, e, b.DateTime, sizeof b.DateTime); break;
      case 315: copyEntryText(t, e, b.Artist, sizeof b.Artist); break;
      case 33432: copyEntryText(t, e, b.Copyright, sizeof b.Copyright); break;
      case 513:
        if (thumb) {
          thumb->offset = firstValue(t, e);
          thumb->haveOffset = !t.failed;
        }
        break;
      case 514:
        if (thumb) {
          thumb->length = firstValue(t, e);
          thumb->haveLength = !t.failed;
        }
        break;
      case 34665: {
        uint64_t sub = t.u32(e.field);
        if (!t.failed) readSubIfd(t, sub, x);
        break;
      }
      default: break;
    }
  });
}

}  // namespace

void readExifTiff(const uint8_t* data, size_t length, EXIFINFO& out, std::vector<uint8_t>& thumbnail) {
  if (length < 4) return;
  Tiff t(data, length);
  if (data[0] == 'I' && data[1] == 'I' && data[2] == 0x2A && data[3] == 0) {
    t.bigEndian = false;
  } else if (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 0x2A) {
    t.bigEndian = true;
  } else {
    return;
  }
  Thumbnail thumb;
  uint64_t ifd0 = t.u32(4);
  if (!t.failed && ifd0 != 0) {
    uint64_t next = readIfd(t, ifd0, out.Ifd0, out, nullptr);
    uint64_t ifd1 = t.failed ? 0 : t.u32(next);
    // Only the first two directories are read.
    if (!t.failed && ifd1 != 0) readIfd(t, ifd1, out.Ifd1, out, &thumb);
  }
  thumbnail.clear();
  // The thumbnail is taken once its directory is read, whichever of its two tags came
  // first, and only as far as the data holds it.
  if (thumb.haveOffset && thumb.haveLength && thumb.offset < length) {
    size_t n = std::min<size_t>(thumb.length, length - thumb.offset);
    thumbnail.assign(data + thumb.offset, data + thumb.offset + n);
  }
}

}  // namespace qmjpeg
