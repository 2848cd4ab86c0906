// Helpers of the exporters' tests: movie frames as BMP files (sound ones and broken
// ones), a walker over RIFF files, and running a piece of code under a file-size limit.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace extest {

namespace fs = std::filesystem;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// A picture, top row first.
struct Frame {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  Rgb at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// Frame i of a test movie: a white band across the top quarter, a red band down the
// left eighth (so flips show), and elsewhere gradients with a colour of its own.
Frame testFrame(int width, int height, int i);

// How a BMP file is written; the defaults give the 24-bit files the picture engine writes.
struct BmpLayout {
  std::string magic = "BM";
  uint32_t infoSize = 40;
  int32_t height = 0;       // 0: the frame's height, bottom-up
  uint16_t planes = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t gap = 0;         // bytes between the header and the pixels
  int64_t cut = 0;          // bytes taken off the end of the file
};

// The rows of a 24-bit BMP: bottom-up, blue green red, padded to 4 bytes.
std::string bmpPixels(const Frame& f);
std::string bmpBytes(const Frame& f, const BmpLayout& layout = {});
void writeBmp(const fs::path& path, const Frame& f, const BmpLayout& layout = {});

// Writes frames 0..n-1 as dir/MVTMP001.BMP onwards; their paths.
std::vector<std::string> writeFrames(const fs::path& dir, int width, int height, int n);

// One chunk of a RIFF file: id, list type (for RIFF and LIST), where its data starts,
// its size field, and the chunks of a list.
struct Chunk {
  std::string id, type;
  size_t offset = 0, size = 0;
  std::vector<Chunk> children;
};
// The top chunk; its id is empty when the bytes are not a sound RIFF tree (a size that
// passes its parent's end).
Chunk walkRiff(const std::string& bytes);
// "RIFF AVI {LIST hdrl {avih LIST strl {strh strf}} LIST movi {00db 00db} idx1}".
std::string shape(const Chunk& c);

uint32_t le32(const std::string& bytes, size_t offset);
uint16_t le16(const std::string& bytes, size_t offset);

// Runs f in a child process whose files may not grow beyond `bytes`: 1 when f returned
// true, 0 when it returned false, -1 when the child did not end normally.
int underFileSizeLimit(uint64_t bytes, const std::function<bool()>& f);

// Files in the folder whose name holds ".tmp" (temporaries left behind).
int strayTemporaries(const fs::path& dir);

}  // namespace extest
