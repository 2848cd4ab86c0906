// A small reader of animation clips in AVI files: the first video stream, with frames
// that are uncompressed device-independent bitmaps (8 bits with a palette, or 24
// bits) or 8-bit run-length coded ones (whose frames may change only part of the
// picture). Every size, count and offset is checked against the bytes read; a file it
// cannot show gives no clip at all.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace workspace {

class AviClip {
 public:
  // Limits on what a clip may ask for.
  static constexpr int kMaxSide = 4096;
  static constexpr int kMaxFrames = 10000;
  static constexpr size_t kMaxPixels = 64u << 20;  // over all frames

  bool Load(const std::string& path);
  bool Parse(const uint8_t* data, size_t size);
  void Clear();

  bool IsEmpty() const { return frames_.empty(); }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The time between two frames, from the file (100 ms when it gives none).
  int FrameIntervalMs() const { return intervalMs_; }
  // Frame `index` (0 is the first); a null picture outside the clip.
  QImage Frame(int index) const;

 private:
  std::vector<QImage> frames_;
  int width_ = 0;
  int height_ = 0;
  int intervalMs_ = 100;
};

}  // namespace workspace
