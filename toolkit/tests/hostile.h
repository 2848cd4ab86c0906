// Small picture files whose heads promise far more than their data holds, built byte by
// byte: what a reader must refuse before it takes memory for them, and the smallest
// files of the same kinds that do hold their pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pictest {

// A JPEG with one quantisation table, Huffman tables of a single one-bit code each, and
// one scan whose entropy-coded data is zero bytes up to `fileBytes` (at least the head).
struct TinyJpeg {
  enum class Coding {
    Baseline,            // a sequential scan of every component
    Progressive,         // the DC scan of every component
    ProgressiveAcFirst,  // an AC scan of the first component before any DC scan, coded as end-of-band runs
    Arithmetic,          // a sequential scan, arithmetic-coded
  };
  uint16_t width = 8, height = 8;
  int components = 3;          // 1 or 3
  int hSample = 1, vSample = 1;  // the first component's; the others' are 1
  Coding coding = Coding::Baseline;
  size_t fileBytes = 0;
};
std::string tinyJpeg(const TinyJpeg& j);

// A little-endian TIFF: one directory, then `dataBytes` bytes of data that every strip
// or tile points to.
struct TinyTiff {
  uint32_t width = 8, height = 8;
  uint16_t samples = 1, bits = 8;
  uint16_t compression = 1, photometric = 1, planar = 1;
  uint32_t rowsPerStrip = 0;              // 0: the tag is left out (one strip)
  uint32_t tileWidth = 0, tileLength = 0;  // tiled when set
  uint8_t dataByte = 0;                   // every byte of the data
  size_t dataBytes = 18;
  bool bitsPerSample = true;  // the tag is written (else the default, 1)
};
std::string tinyTiff(const TinyTiff& t);

// A PNG of the given head whose one IDAT chunk holds a zlib stream of `dataBytes` zero
// bytes in stored blocks: with (1 + row bytes) x height of them, a whole black picture.
std::string tinyPng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, size_t dataBytes,
                    bool interlaced = false);

}  // namespace pictest
