// The capture file readers: a YUV0 frame file ("temp.yuv" and imported ".yuv" files) or a
// DVF frame file ("temp.dvf", ".dvf") becomes a 24-bit BMP file, which the picture engine
// then imports or exports like any other picture.
#pragma once

#include <cstddef>
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

// DVF frame file (the DVF frame image: a 32-byte head beginning "DVF", then each DIF
// sequence without its header block). What the frame says about itself, and the
// horizontal resampling of the decoded picture to square pixels.
class DV_FILE {
 public:
  static constexpr size_t kFrameBytes = 145000;
  static constexpr size_t kSequenceBytes = 12000;    // a DIF sequence in the frame
  static constexpr size_t kStoredSequence = 11920;   // as the file keeps it
  static constexpr size_t kHeadBytes = 32;

  // The frame info record.
  struct FrameInfo {
    uint32_t sequences = 0;  // 10 (525/60) or 12 (625/50)
    char timeCode[12] = {};  // HH:MM:SS:FF, dashes in the digit places when a digit is out of range
    uint32_t wide = 0;       // 1 for a 16:9 frame
  };

  // Decodes the frame (with the codec's filter mode 0..4) and writes it as a BMP of
  // square pixels: 640 x 480, 848 x 480, 768 x 576 or 1024 x 576. Afterwards the frame
  // info holds the time-code text. False, and no target written, for a file that cannot
  // be read, a frame the codec refuses or a target that cannot be written.
  bool Convert(const std::string& source, const std::string& target, uint32_t filterMode);

  // Reads the frame into the frame buffer (the header block of each sequence stays
  // zero); false for a missing file, a head not beginning "DVF" or naming another system
  // than "SD5" or "SD6", or a file shorter than its sequences.
  bool ReadFrame(const std::string& source);
  // Takes the display aspect and the time code from the frame's packs; always succeeds.
  void ParseFrame();

  const FrameInfo& info() const { return info_; }
  const std::vector<uint8_t>& frame() const { return frame_; }

  // The time-code text of a time-code pack's bytes 1 to 4 (frames, seconds, minutes,
  // hours, in BCD).
  static void TimeCodeText(const uint8_t* pack, char (&text)[12]);
  // The target width of a decoded 720-pixel picture of `lines` rows (640, 848, 768 or
  // 1024), and how many source pixels give how many target pixels.
  struct Ratio {
    int source, target, width;
  };
  static Ratio ResampleRatio(int lines, bool wide);
  // One row of 720 pixels (blue, green, red) resampled to the ratio's width: each target
  // pixel is the exact mean of the source area behind it, truncated.
  static void ResampleRow(const uint8_t* source, uint8_t* target, Ratio ratio);

 private:
  bool Decode(uint32_t filterMode, std::vector<uint8_t>& pixels, uint32_t& stride) const;

  FrameInfo info_;
  std::vector<uint8_t> frame_;
};

}  // namespace workspace
