// The capture file readers: a YUV0 frame file ("temp.yuv" and imported ".yuv" files) or a
// DVF frame file ("temp.dvf", ".dvf") becomes a 24-bit BMP file, which the picture engine
// then imports or exports like any other picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace workspace {

// YUV0 file, little-endian: "YUV0", u32 data size, u32 width, u32 height, then the data:
// per row, per group of 4 pixels, the bytes Y0 Y1 V U Y2 Y3.
class YUV_FILE {
 public:
  struct Head {
    char magic[4] = {};
    uint32_t dataSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
  };

  // Writes the frame as a BMP file of the frame's size; false (and no target written)
  // for a missing, short or malformed file or a target that cannot be written. The mode
  // is not used.
  bool Convert(const std::string& source, const std::string& target, uint32_t mode = 0);

  const Head& head() const { return head_; }

  // One pixel's blue, green and red from its luma and the group's colour differences.
  static void ToBgr(int y, int u, int v, uint8_t* bgr);

 private:
  bool Read(const std::string& source);

  Head head_;
  std::vector<uint8_t> data_;  // kept until the next read
};

}  // namespace workspace
