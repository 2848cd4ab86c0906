// Inside the JPEG module: its adaptations of the JPEG library (error exit, data source,
// marker processors) and the workers behind the four exports.
#pragma once

#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "jpegmodule/qm6jpeg.h"

namespace qmjpeg {

// Largest bitmap the module hands out (its size must fit the header's 32-bit fields), and
// the largest Exif thumbnail it decodes: a thumbnail declaring more is not decoded.
inline constexpr uint64_t kMaxDibBytes = 0x7FFFFFFF;
inline constexpr uint64_t kMaxThumbnailBytes = 64u << 20;
// The most the library may keep of a progressive or multi-scan file's coefficients
// (128 bytes for each 8 x 8 block of each component): a picture of 178 million pixels at
// full colour resolution, 357 million with its colour halved each way, or 536 million in
// grey. A file that needs more is refused.
inline constexpr uint64_t kMaxCoefficientBytes = uint64_t{1} << 30;

// ---- Error exit ----------------------------------------------------------------------
// Every library error destroys the library object and unwinds to the worker that
// called runGuarded, which then takes its abort path. The library object's client_data
// points to the guard. Nothing between runGuarded and the library's error exit may own
// anything that needs a destructor: the unwinding skips such frames.
struct ErrorGuard {
  std::jmp_buf jump;
  void* owner = nullptr;  // the object that holds the guard
};

jpeg_error_mgr* initErrorManager(jpeg_error_mgr* err);
// Runs body(arg); true when it returned, false when a library error ended it.
bool runGuarded(ErrorGuard& guard, void (*body)(void*), void* arg);
// Ends the current library work through the error exit, with no message.
[[noreturn]] void abortWork(j_common_ptr cinfo);

// ---- Decompression -------------------------------------------------------------------
// Exif values gathered from the first Exif segment while a header is read.
struct ExifState {
  bool seen = false;    // an APP1 segment with the Exif identifier was read
  bool wanted = false;  // parse the Exif payload (for the Exif export, and for the orientation)
  bool parsed = false;
  EXIFINFO values{};
  std::vector<uint8_t> thumbnail;  // the IFD1 thumbnail's bytes, as far as present
};

// The data source: a file or a memory block, read through one 64 KiB buffer (the
// library's Huffman decoder takes its fast path only while a few kilobytes lie ready in
// the buffer, so a small one slows every picture down). At the end of the data it
// supplies an end-of-image marker, so short data decodes like a file that ends early;
// once a read has found the end, the file is not read again.
struct Source : jpeg_source_mgr {
  FILE* file = nullptr;
  const uint8_t* block = nullptr;
  size_t blockLength = 0;
  size_t position = 0;
  bool startOfFile = true;
  bool fileEnded = false;  // a read found the end of the file
  JOCTET buffer[65536];

  // The bytes of the data not yet handed to the library, those in the buffer included.
  uint64_t unread() const;
};

// A decompression object with the module's fields. Destroying it releases the library
// object and every Exif buffer, on success and on every error path alike.
struct Decoder {
  ErrorGuard guard;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  Source source;
  char comment[1024]{};  // the last comment segment's text
  ExifState exif;
  std::vector<uint8_t> segment;  // an Exif payload while it is parsed

  Decoder() { guard.owner = this; }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() { jpeg_destroy_decompress(&cinfo); }

  // Creates the library object with the module's error manager, marker processors and
  // data source (exactly one of file and block). Call under runGuarded.
  void create(FILE* file, const uint8_t* block, size_t blockLength);
  // The colour models the module reads: 1 grey, 3 YCbCr, 3 RGB, 4 YCCK.
  bool accepted() const;
};

// Reads the Exif (TIFF) payload of an APP1 segment: IFD0, IFD1 with the thumbnail, and
// the Exif IFD. Every read is bounded by the data; damaged data stops the walk and
// keeps what was read before.
void readExifTiff(const uint8_t* data, size_t length, EXIFINFO& out, std::vector<uint8_t>& thumbnail);

// ---- Workers -------------------------------------------------------------------------
// The information pass, also the gate of a load. info may be null; exif is cleared and,
// when copyWanted, filled (the thumbnail decoded into exif->Thumbnail). orientation, when
// given, receives the Exif orientation as the file stores it (0 without one).
bool readInfo(const char* path, JPEGFILEINFO* info, EXIFINFO* exif, bool copyWanted,
              uint16_t* orientation = nullptr);

// Decodes a file (block null) or a memory block into a new packed bitmap of at most
// maxBytes bytes, or 0. *libraryStopped (when given) tells whether a library error or
// a cancel ended the decode; a bitmap can come back with it set when the picture was
// complete before the library stopped. With a scale denominator of 2, 4 or 8 the library
// decodes the picture reduced by that factor in its inverse DCT (each side rounded up).
// With `stop` given, no progress is reported (the hook is never called) and the decode
// is cancelled as soon as *stop is set.
QmHandle readDib(const char* path, const uint8_t* block, size_t blockLength, intptr_t progressContext,
                 bool* libraryStopped, uint64_t maxBytes, unsigned scaleDenominator = 1,
                 const std::atomic<bool>* stop = nullptr);

// Writes the bitmap as a JFIF file; true when the file is complete. The bytes go to a
// temporary file beside the target, renamed over it only on success.
bool writeDibFile(const char* path, QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling,
                  const char* comment, intptr_t progressContext);

// Packed-bitmap geometry shared by load, save and information.
inline uint64_t dibRowBytes(uint64_t bits, uint64_t width) { return (bits * width + 31) / 32 * 4; }

}  // namespace qmjpeg
