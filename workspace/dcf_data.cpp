#include "dcf_data.h"

#include <algorithm>
#include <cstring>

namespace workspace {

namespace {

constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7, kByte = 1;

uint16_t rd16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Writes TIFF data (little-endian) into the segment buffer behind its 10-byte lead.
class TiffWriter {
 public:
  explicit TiffWriter(uint8_t* tiff) : t_(tiff) {}
  void put16(uint32_t at, uint32_t v) {
    t_[at] = static_cast<uint8_t>(v);
    t_[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void put32(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) t_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void bytes(uint32_t at, const void* p, size_t n) { std::memcpy(t_ + at, p, n); }
  // One 12-byte IFD entry; a value that fits stands in the value field.
  void entry(uint32_t at, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    put16(at, tag);
    put16(at + 2, type);
    put32(at + 4, count);
    put32(at + 8, 0);
    if (type == kShort) {
      put16(at + 8, value);
    } else {
      put32(at + 8, value);
    }
  }
  void entryBytes(uint32_t at, uint16_t tag, uint16_t type, const char (&four)[5]) {
    entry(at, tag, type, 4, 0);
    bytes(at + 8, four, 4);
  }

 private:
  uint8_t* t_;
};

// Texts shorter than 5 characters get five blanks appended.
std::string padded(const std::string& text) { return text.size() < 5 ? text + "     " : text; }

}  // namespace

C_DCF_Data::C_DCF_Data() : buffer_(kBufferBytes, 0) {
  std::memset(firstDateTime_, ' ', 19);
  firstDateTime_[19] = 0;
  std::memcpy(secondDateTime_, firstDateTime_, sizeof secondDateTime_);
}

bool C_DCF_Data::SetDateTime(int which, const std::tm& local) {
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return false;
  // The fields as a DOS date and time keep them: seconds in steps of two.
  const int fields[6] = {year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec / 2 * 2};
  char text[20];
  char* p = text;
  for (int i = 0; i < 6; ++i) {
    const int digits = i == 0 ? 4 : 2;
    const auto v = static_cast<unsigned>(std::clamp(fields[i], 0, i == 0 ? 9999 : 99));
    for (int d = digits - 1; d >= 0; --d) {
      unsigned div = 1;
      for (int k = 0; k < d; ++k) div *= 10;
      *p++ = static_cast<char>('0' + v / div % 10);
    }
    *p++ = i == 2 ? ' ' : i == 5 ? '\0' : ':';
  }
  std::memcpy(which == 0 ? firstDateTime_ : secondDateTime_, text, sizeof text);
  return true;
}

bool C_DCF_Data::MakeExif(uint8_t makerNote) {
  const bool note = makerNote == 1;
  Description = padded(Description);
  Make = padded(Make);
  Model = padded(Model);
  // Everything that follows IFD0's entries, to check the size before anything is written.
  const uint64_t texts = Description.size() + Make.size() + Model.size() + 3;
  const uint64_t total = 134 + texts + 16 + 20 + (note ? 126 : 114) + 40 + (note ? 34 : 0) + 30 + 78 + 16;
  if (total + 8 + ThumbnailLength > 65535) return false;

  std::fill(buffer_.begin(), buffer_.end(), 0);
  const uint8_t lead[10] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  std::memcpy(buffer_.data(), lead, sizeof lead);
  TiffWriter w(buffer_.data() + 10);
  w.bytes(0, "II", 2);
  w.put16(2, 42);
  w.put32(4, 8);
  w.put16(8, 10);
  uint32_t len = 134;
  uint32_t e = 10;  // next IFD0 entry

  for (auto [tag, text] : {std::pair<uint16_t, const std::string*>{0x010E, &Description}, {0x010F, &Make},
                           {0x0110, &Model}}) {
    const auto count = static_cast<uint32_t>(text->size() + 1);
    w.entry(e, tag, kAscii, count, len);
    w.bytes(len, text->c_str(), count);
    len += count;
    e += 12;
  }
  auto rational72 = [&](uint32_t at) {
    w.put32(at, 72);
    w.put32(at + 4, 1);
  };
  w.entry(e, 0x0112, kShort, 1, 1), e += 12;
  w.entry(e, 0x011A, kRational, 1, len), e += 12;
  rational72(len), len += 8;
  w.entry(e, 0x011B, kRational, 1, len), e += 12;
  rational72(len), len += 8;
  w.entry(e, 0x0128, kShort, 1, 2), e += 12;
  w.entry(e, 0x0132, kAscii, 20, len), e += 12;
  w.bytes(len, firstDateTime_, 20), len += 20;
  w.entry(e, 0x0213, kShort, 1, 2), e += 12;
  w.entry(e, 0x8769, kLong, 1, len);

  // The Exif IFD, its values behind it.
  const uint16_t exifCount = note ? 10 : 9;
  uint32_t x = len + 2;
  w.put16(len, exifCount);
  len += 2 + 12u * exifCount + 4;
  w.entryBytes(x, 0x9000, kUndefined, "0210"), x += 12;
  w.entry(x, 0x9003, kAscii, 20, len), x += 12;
  w.bytes(len, firstDateTime_, 20), len += 20;
  w.entry(x, 0x9004, kAscii, 20, len), x += 12;
  w.bytes(len, secondDateTime_, 20), len += 20;
  w.entry(x, 0x9101, kUndefined, 4, 0);
  w.bytes(x + 8, "\1\2\3\0", 4), x += 12;
  if (note) {
    w.entry(x, 0x927C, kUndefined, 34, len), x += 12;
    w.bytes(len, "ZEB ", 4);
    w.put16(len + 4, 2);
    w.entry(len + 6, 0x0001, kShort, 1, 0xFFFF);
    w.entry(len + 18, 0x0020, kByte, 1, TitleNumber);
    w.put32(len + 30, 0);
    len += 34;
  }
  w.entryBytes(x, 0xA000, kUndefined, "0100"), x += 12;
  w.entry(x, 0xA001, kShort, 1, 1), x += 12;
  w.entry(x, 0xA002, kLong, 1, Width), x += 12;
  w.entry(x, 0xA003, kLong, 1, Height), x += 12;
  w.entry(x, 0xA005, kLong, 1, len), x += 12;
  w.put32(x, 0);

  // The interoperability IFD.
  w.put16(len, 2);
  w.entryBytes(len + 2, 0x0001, kAscii, "R98\0");
  w.entryBytes(len + 14, 0x0002, kUndefined, "0100");
  w.put32(len + 26, 0);
  len += 30;

  // IFD1 and its two rationals; the thumbnail follows the TIFF data.
  w.put32(130, len);
  w.put16(len, 6);
  const uint32_t ifd1 = len + 2;
  const uint32_t rationals = len + 78;
  const uint32_t end = rationals + 16;
  w.entry(ifd1, 0x0103, kShort, 1, 6);
  w.entry(ifd1 + 12, 0x011A, kRational, 1, rationals);
  w.entry(ifd1 + 24, 0x011B, kRational, 1, rationals + 8);
  w.entry(ifd1 + 36, 0x0128, kShort, 1, 2);
  w.entry(ifd1 + 48, 0x0201, kLong, 1, end);
  w.entry(ifd1 + 60, 0x0202, kLong, 1, ThumbnailLength);
  w.put32(ifd1 + 72, 0);
  rational72(rationals);
  rational72(rationals + 8);
  tiffLength_ = end;

  const uint32_t segment = tiffLength_ + 8 + ThumbnailLength;
  buffer_[2] = static_cast<uint8_t>(segment >> 8);
  buffer_[3] = static_cast<uint8_t>(segment);
  return true;
}

uint32_t C_DCF_Data::FindMakerNote(const uint8_t* tiff, size_t size) {
  if (size < 8 || std::memcmp(tiff, "II\x2A\0", 4) != 0) return 0;
  const uint64_t ifd0 = rd32(tiff + 4);
  if (ifd0 + 2 > size) return 0;
  const uint32_t n = rd16(tiff + ifd0);
  if (ifd0 + 2 + 12ull * n + 4 > size) return 0;
  // The Exif IFD is where this writer puts it: right behind IFD0's entries, its next-IFD
  // field and the values that do not fit their entries.
  uint64_t outside = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* en = tiff + ifd0 + 2 + 12 * i;
    const uint16_t type = rd16(en + 2);
    const uint64_t count = rd32(en + 4);
    switch (type) {
      case kByte: case kAscii: case kUndefined: outside += count > 4 ? count : 0; break;
      case kShort: outside += count >= 3 ? 2 * count : 0; break;
      case kLong: outside += count >= 2 ? 4 * count : 0; break;
      case kRational: outside += 8 * count; break;
      default: break;
    }
  }
  const uint64_t exif = ifd0 + 2 + 12ull * n + 4 + outside;
  if (exif + 2 > size) return 0;
  const uint32_t m = rd16(tiff + exif);
  for (uint32_t i = 0; i < m; ++i) {
    const uint64_t at = exif + 2 + 12ull * i;
    if (at + 12 > size) return 0;
    if (rd16(tiff + at) == 0x927C) return rd32(tiff + at + 8);
  }
  return 0;
}

uint32_t C_DCF_Data::FindTagValue(const uint8_t* tiff, size_t size, uint32_t noteOffset) {
  const uint64_t note = noteOffset;
  if (note + 6 > size) return kNoTag;
  const uint32_t n = rd16(tiff + note + 4);
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t at = note + 6 + 12ull * i;
    if (at + 12 > size) return kNoTag;
    if (rd16(tiff + at) == 0x0020) return rd32(tiff + at + 8);
  }
  return kNoTag;
}

std::optional<uint16_t> ReadTitleNumber(const uint8_t* file, size_t size) {
  static const uint8_t kLead[] = {0xFF, 0xD8, 0xFF, 0xE1};
  if (size < 12 || std::memcmp(file, kLead, 4) != 0 || std::memcmp(file + 6, "Exif\0\0", 6) != 0) return {};
  const size_t length = static_cast<size_t>(file[4] << 8 | file[5]);
  if (length < 8) return {};
  // The TIFF data (and the thumbnail behind it) as far as the segment and the file go.
  const size_t tiffBytes = std::min(length - 8, size - 12);
  const uint8_t* tiff = file + 12;
  const uint32_t note = C_DCF_Data::FindMakerNote(tiff, tiffBytes);
  if (note == 0) return {};
  const uint32_t value = C_DCF_Data::FindTagValue(tiff, tiffBytes, note);
  if (value == C_DCF_Data::kNoTag) return {};
  return static_cast<uint16_t>(value);
}

}  // namespace workspace
