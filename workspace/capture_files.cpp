#include "capture_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/file_name.h"

namespace workspace {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// A 24-bit picture locked for filling, and written as a BMP file when done.
class BmpOut {
 public:
  BmpOut(int32_t width, int32_t height) : pic_(ImageCreate(width, height, 24, 0, 0, 0)) {
    base_ = static_cast<uint8_t*>(QmGlobalLock(pic_));
    stride_ = (3 * static_cast<size_t>(width) + 3) & ~size_t{3};
    height_ = height;
  }
  ~BmpOut() {
    if (base_) QmGlobalUnlock(pic_);
    ImageFree(pic_);
  }
  BmpOut(const BmpOut&) = delete;
  BmpOut& operator=(const BmpOut&) = delete;

  bool ok() const { return base_ != nullptr; }
  // Row y counted from the top.
  uint8_t* row(int32_t y) { return base_ + sizeof(QmBitmapInfoHeader) + static_cast<size_t>(height_ - 1 - y) * stride_; }
  // Writes the BMP and waits until it can be seen.
  bool write(const std::string& target) {
    QmGlobalUnlock(pic_);
    base_ = nullptr;
    return ImageFileSaveBmp(target.c_str(), pic_) && WaitFileExists(target);
  }

 private:
  QmHandle pic_;
  uint8_t* base_ = nullptr;
  size_t stride_ = 0;
  int32_t height_ = 0;
};

}  // namespace

void YUV_FILE::ToBgr(int y, int u, int v, uint8_t* bgr) {
  // 16.16 fixed point, clamped to 0..255.
  auto channel = [](int64_t value) {
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255 * 65536) >> 16);
  };
  const int64_t base = static_cast<int64_t>(y) * 65536;
  bgr[0] = channel(base + 116117 * u - 79 * v);
  bgr[1] = channel(base - (22550 * u + 46786 * v));
  bgr[2] = channel(base + 91881 * v);
}

bool YUV_FILE::Read(const std::string& source) {
  File f(std::fopen(source.c_str(), "rb"));
  uint8_t raw[16];
  if (!f || std::fread(raw, 1, sizeof raw, f.get()) != sizeof raw || std::memcmp(raw, "YUV0", 4) != 0) return false;
  std::memcpy(head_.magic, raw, 4);
  head_.dataSize = le32(raw + 4);
  head_.width = le32(raw + 8);
  head_.height = le32(raw + 12);
  // Groups of four pixels make up each row, and every row of the picture must be there.
  const uint64_t needed = static_cast<uint64_t>(head_.width) * head_.height * 3 / 2;
  if (head_.width < 4 || head_.width % 4 != 0 || head_.width > 65535 || head_.height < 1 ||
      head_.height > 65535 || head_.dataSize < needed) {
    return false;
  }
  uint64_t fileSize = 0;
  if (!FileName(source).GetSize(fileSize) || fileSize - 16 < head_.dataSize) return false;
  data_.clear();
  data_.resize(head_.dataSize);
  return std::fread(data_.data(), 1, data_.size(), f.get()) == data_.size();
}

bool YUV_FILE::Convert(const std::string& source, const std::string& target, uint32_t /*mode*/) {
  if (!Read(source)) return false;
  const auto width = static_cast<int32_t>(head_.width);
  const auto height = static_cast<int32_t>(head_.height);
  BmpOut out(width, height);
  if (!out.ok()) return false;
  const size_t rowBytes = static_cast<size_t>(width) * 3 / 2;
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* s = &data_[static_cast<size_t>(r) * rowBytes];
    uint8_t* o = out.row(r);
    for (int32_t k = 0; k < width / 4; ++k, s += 6, o += 12) {
      const int v = s[2] - 128;
      const int u = s[3] - 128;
      ToBgr(s[0], u, v, o);
      ToBgr(s[1], u, v, o + 3);
      ToBgr(s[4], u, v, o + 6);
      ToBgr(s[5], u, v, o + 9);
    }
  }
  return out.write(target);
}

}  // namespace workspace
