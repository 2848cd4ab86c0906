#include "capture_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dvcodec/zeb_dv32.h"
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

bool DV_FILE::ReadFrame(const std::string& source) {
  info_ = FrameInfo{};
  File f(std::fopen(source.c_str(), "rb"));
  uint8_t head[kHeadBytes];
  if (!f || std::fread(head, 1, sizeof head, f.get()) != sizeof head || std::memcmp(head, "DVF", 3) != 0) return false;
  // "SD5" is a 525/60 frame of 10 sequences, "SD6" a 625/50 frame of 12.
  if (head[10] != '5' && head[10] != '6') return false;
  info_.sequences = head[10] == '5' ? 10 : 12;
  frame_.assign(kFrameBytes, 0);
  for (uint32_t s = 0; s < info_.sequences; ++s) {
    if (std::fread(&frame_[s * kSequenceBytes + 80], 1, kStoredSequence, f.get()) != kStoredSequence) return false;
  }
  return true;
}

void DV_FILE::TimeCodeText(const uint8_t* pack, char (&text)[12]) {
  // Hours, minutes, seconds, frames: each a tens and a units digit.
  const uint8_t values[4] = {static_cast<uint8_t>(pack[4] & 0x3F), static_cast<uint8_t>(pack[3] & 0x7F),
                             static_cast<uint8_t>(pack[2] & 0x7F), static_cast<uint8_t>(pack[1] & 0x3F)};
  const int tensLimit[4] = {9, 6, 6, 2};
  bool valid = true;
  for (int i = 0; i < 4; ++i) {
    const int tens = values[i] >> 4, units = values[i] & 15;
    valid = valid && tens <= tensLimit[i] && units <= 9;
    text[3 * i] = static_cast<char>('0' + tens);
    text[3 * i + 1] = static_cast<char>('0' + units);
    text[3 * i + 2] = i < 3 ? ':' : '\0';
  }
  if (!valid) {
    for (int i = 0; i < 4; ++i) text[3 * i] = text[3 * i + 1] = '-';
  }
}

void DV_FILE::ParseFrame() {
  info_.wide = 0;
  // The source-control pack (0x61) among the packs of sequence 0's third VAUX block.
  for (size_t at = 403; at <= 478; at += 5) {
    if (frame_[at] != 0x61) continue;
    const int d = frame_[at + 2] & 7, f = frame_[at + 3] & 3;
    info_.wide = ((d == 2 && f <= 1) || (d == 7 && f == 1)) ? 1 : 0;
    break;
  }
  // The first time-code pack (0x13) of the subcode blocks, sequence by sequence.
  static const uint8_t kNoPack[5] = {0x13, 0, 0, 0, 0};
  const uint8_t* pack = kNoPack;
  for (uint32_t s = 0; s < info_.sequences && pack == kNoPack; ++s) {
    for (size_t at = s * kSequenceBytes + 86; at <= s * kSequenceBytes + 238; at += 8) {
      if (frame_[at] == 0x13) {
        pack = &frame_[at];
        break;
      }
    }
  }
  TimeCodeText(pack, info_.timeCode);
}

bool DV_FILE::Decode(uint32_t filterMode, std::vector<uint8_t>& pixels, uint32_t& stride) const {
  const uint32_t lines = info_.sequences == 10 ? 480 : 576;
  DvDecoder* decoder = DvcOpenDecoder(info_.sequences == 12 ? DVC_SYSTEM_625 : 0);
  if (!decoder) return false;
  uint32_t size = DvcGetDibInfo(720, lines);
  pixels.assign(size, 0);
  DvcDibFormat format{};
  format.width = 720;
  format.height = lines;
  format.reserved1 = 1;
  format.bitCount = 24;
  format.layout = 1;
  format.reserved2 = 1;
  format.filter = filterMode;
  format.resample = 0;
  format.inputForm = DVC_FORM_FRAME;
  // The codec leaves the frame as it was; the cast only meets its signature.
  const DvcResult result = DvcDecode(decoder, const_cast<uint8_t*>(frame_.data()), info_.sequences * kSequenceBytes,
                                     pixels.data(), &size, &format);
  DvcCloseDecoder(decoder);
  stride = format.stride;
  return result >= 0 && format.bitCount == 24 && stride >= 720 * 3 &&
         static_cast<uint64_t>(stride) * lines <= pixels.size();
}

bool DV_FILE::Convert(const std::string& source, const std::string& target, uint32_t filterMode) {
  if (!ReadFrame(source)) return false;
  ParseFrame();
  std::vector<uint8_t> pixels;
  uint32_t stride = 0;
  if (!Decode(filterMode, pixels, stride)) return false;
  frame_.clear();
  frame_.shrink_to_fit();
  const int lines = info_.sequences == 10 ? 480 : 576;
  const Ratio ratio = ResampleRatio(lines, info_.wide != 0);
  BmpOut out(ratio.width, lines);
  if (!out.ok()) return false;
  // The decoded rows are bottom-up, as a bitmap keeps them.
  for (int y = 0; y < lines; ++y) {
    ResampleRow(&pixels[static_cast<size_t>(lines - 1 - y) * stride], out.row(y), ratio);
  }
  return out.write(target);
}

DV_FILE::Ratio DV_FILE::ResampleRatio(int lines, bool wide) {
  if (lines == 480) return wide ? Ratio{45, 53, 848} : Ratio{9, 8, 640};
  return wide ? Ratio{45, 64, 1024} : Ratio{15, 16, 768};
}

void DV_FILE::ResampleRow(const uint8_t* source, uint8_t* target, Ratio r) {
  // In a run of N source pixels each stands for M equal parts, and each of the M target
  // pixels is the mean of N consecutive parts.
  const int n = r.source, m = r.target;
  for (int run = 0; run < 720 / n; ++run, source += 3 * n, target += 3 * m) {
    for (int t = 0; t < m; ++t) {
      const int from = t * n, to = from + n;  // parts of target pixel t
      uint32_t sum[3] = {0, 0, 0};
      for (int i = from / m; i * m < to; ++i) {
        const int overlap = std::min(to, (i + 1) * m) - std::max(from, i * m);
        for (int c = 0; c < 3; ++c) sum[c] += static_cast<uint32_t>(overlap) * source[3 * i + c];
      }
      for (int c = 0; c < 3; ++c) target[3 * t + c] = static_cast<uint8_t>(sum[c] / static_cast<uint32_t>(n));
    }
  }
}

}  // namespace workspace
