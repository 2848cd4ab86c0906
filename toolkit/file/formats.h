// Inside the file library: the picture file kinds, each recognised from the file's first
// bytes and read into a 24-bit picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/com/qm6com.h"

namespace qm6file {

struct Description {
  uint16_t bitCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t type = 0;  // QM_TYPE_*
};

// Reads up to `size` bytes at `offset` of the file; returns how many were read.
using ReadAt = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

// The kinds recognised from the first bytes of a file (at least 4096 of them when the
// file is that long).
enum class Kind { Unknown, Bmp, Jpeg, Gif, Png, Tiff, Pcx, Fpx };
Kind recognise(const uint8_t* head, size_t size);

// Kinds read from memory (the whole file): false / 0 for anything malformed.
bool describeBmp(const uint8_t* data, size_t size, Description& d);
QmHandle readBmp(const uint8_t* data, size_t size);
bool describePcx(const uint8_t* data, size_t size, Description& d);
QmHandle readPcx(const uint8_t* data, size_t size);
bool describeGif(const uint8_t* head, size_t size, Description& d);
bool describePng(const uint8_t* head, size_t size, Description& d);
// A FlashPix file is a structured storage file whose root entry carries the FlashPix
// class; `read` gives the bytes beyond the head.
bool describeFpx(const uint8_t* head, size_t size, const ReadAt& read, Description& d);

// Kinds read through their libraries, from the file.
QmHandle readPng(const std::string& path, uint64_t fileSize);
bool describeTiff(const std::string& path, Description& d);
QmHandle readTiff(const std::string& path, uint64_t fileSize);
bool describeJpeg(const std::string& path, Description& d);
QmHandle readJpeg(const std::string& path);

// Writers. The target appears only when written whole.
bool writeBmp(const std::string& path, QmHandle picture);
bool writeJpeg(const std::string& path, QmHandle picture, int32_t progressive, int32_t quality, int32_t sampling,
               const char* comment);

// At most `bytes` bytes of decoded data for `bits` bits of coded data: what the shortest
// code of a coding can stand for. A file whose coded data cannot give the decoded data
// its head declares is refused before any memory is taken for the picture.
struct Expansion {
  uint64_t bytes = 0, bits = 1;
};
// Deflate: 258 bytes for 2 bits, the longest match with a length code and a distance code
// of at least one bit each.
inline constexpr Expansion kDeflate{258, 2};
// Whether `fileSize` bytes coded so can give `decodedBits` bits of data: each of the
// file's bits gives at most 8 x bytes / bits of them.
inline bool canHold(uint64_t fileSize, Expansion e, unsigned __int128 decodedBits) {
  return decodedBits * e.bits <= static_cast<unsigned __int128>(fileSize) * 8 * 8 * e.bytes;
}

// Little-endian and big-endian numbers in a byte buffer.
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace qm6file
