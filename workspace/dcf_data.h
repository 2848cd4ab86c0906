// The Exif segment of pictures saved with DCF data and of title pictures: an APP1
// segment holding a little-endian TIFF structure (IFD0, the Exif IFD, an optional maker
// note carrying the title number, the interoperability IFD with the index "R98", and IFD1
// for a JPEG thumbnail that the caller appends), built byte by byte in a buffer of its
// own. The two readers get the title number back out of such a segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace workspace {

class C_DCF_Data {
 public:
  static constexpr uint32_t kNoTag = 0xFFFFFFFF;
  static constexpr size_t kBufferBytes = 65536;

  C_DCF_Data();

  // Sets the first date-time (which 0: DateTime and DateTimeOriginal) or the second
  // (DateTimeDigitized) from a local time, at the two-second steps of a DOS time:
  // "YYYY:MM:DD HH:MM:SS". A time outside 1980..2107 leaves the date-time as it was.
  bool SetDateTime(int which, const std::tm& local);

  // Builds the segment in the buffer (with the maker note when makerNote is 1) and sets
  // the TIFF length. False, and nothing built, when the segment with the thumbnail
  // would not fit its 16-bit length (65535 bytes).
  bool MakeExif(uint8_t makerNote);

  // TIFF offset of the maker note in TIFF data of this writer's layout; 0 when there is
  // none or the data does not hold what its offsets and counts say.
  static uint32_t FindMakerNote(const uint8_t* tiff, size_t size);
  // Value of the maker note's tag 0x0020; kNoTag when absent or out of the data.
  static uint32_t FindTagValue(const uint8_t* tiff, size_t size, uint32_t noteOffset);

  // The segment: its first TiffLength() + 10 bytes; the thumbnail follows in the file.
  const uint8_t* Segment() const { return buffer_.data(); }
  uint32_t TiffLength() const { return tiffLength_; }
  const char* FirstDateTime() const { return firstDateTime_; }
  const char* SecondDateTime() const { return secondDateTime_; }

  std::string Description;
  std::string Make;
  std::string Model;
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t ThumbnailLength = 0;  // bytes of the thumbnail stream that follows the segment
  uint8_t TitleNumber = 0;

 private:
  char firstDateTime_[20];
  char secondDateTime_[20];
  std::vector<uint8_t> buffer_;
  uint32_t tiffLength_ = 0;
};

// The title number of a title picture file from its first bytes (at least the Exif
// segment): FF D8, an Exif APP1 segment whose maker note has tag 0x0020. None for any
// other file, or one whose segment does not hold what it says.
std::optional<uint16_t> ReadTitleNumber(const uint8_t* file, size_t size);

}  // namespace workspace
