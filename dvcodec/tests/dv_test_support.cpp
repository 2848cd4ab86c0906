#include "dv_test_support.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "platform/testsupport/testsupport.h"
#include "zeb_dv32.h"

namespace dvtest {

namespace fs = std::filesystem;

std::vector<std::string> encodeFrames(int system, const std::string& source, const std::string& filters,
                                      bool interlacedDct, int count, const fs::path& dir) {
  const std::string size = system == 625 ? "720x576" : "720x480";
  const std::string rate = system == 625 ? "25" : "30000/1001";
  const fs::path out = dir / ("frames-" + std::to_string(system) + ".dv");
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   source + "=size=" + size + ":rate=" + rate + filters,
                                   "-frames:v", std::to_string(count), "-pix_fmt",
                                   system == 625 ? "yuv420p" : "yuv411p"};
  if (interlacedDct) {
    argv.push_back("-flags");
    argv.push_back("+ildct");
  }
  for (const char* a : {"-c:v", "dvvideo", "-an", "-f", "dv"}) argv.push_back(a);
  argv.push_back(out.string());
  std::string err;
  if (adtest::runProgram(argv, nullptr, &err) != 0) throw std::runtime_error("ffmpeg failed: " + err);
  const std::string all = adtest::readFile(out);
  const size_t n = frameSize(system);
  std::vector<std::string> frames;
  for (size_t at = 0; at + n <= all.size(); at += n) frames.push_back(all.substr(at, n));
  if (int(frames.size()) != count) throw std::runtime_error("ffmpeg gave an unexpected number of frames");
  return frames;
}

std::vector<uint8_t> lavfiPicture(int system, const std::string& source, const std::string& filters,
                                  const fs::path& dir) {
  const fs::path out = dir / "picture.bgr";
  const std::string size = system == 625 ? "720x576" : "720x480";
  std::string err;
  if (adtest::runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source + "=size=" + size + filters,
                          "-frames:v", "1", "-pix_fmt", "bgr24", "-f", "rawvideo", out.string()},
                         nullptr, &err) != 0) {
    throw std::runtime_error("ffmpeg failed: " + err);
  }
  const std::string raw = adtest::readFile(out);
  return std::vector<uint8_t>(raw.begin(), raw.end());
}

std::vector<uint8_t> ffmpegDecodeBgr(const std::string& frame, const fs::path& dir, std::string* messages) {
  const fs::path in = dir / "decode-in.dv", out = dir / "decode-out.bgr";
  adtest::writeFile(in, frame);
  if (adtest::runProgram({"ffmpeg", "-v", "error", "-y", "-f", "dv", "-i", in.string(), "-f", "rawvideo", "-pix_fmt",
                          "bgr24", out.string()},
                         nullptr, messages) != 0) {
    throw std::runtime_error("ffmpeg decode failed: " + *messages);
  }
  const std::string raw = adtest::readFile(out);
  return std::vector<uint8_t>(raw.begin(), raw.end());
}

Planes ffmpegDecode(int system, const std::string& frame, const fs::path& dir) {
  const fs::path in = dir / "reference-in.dv";
  const fs::path out = dir / "reference-out.yuv";
  adtest::writeFile(in, frame);
  std::string err;
  const int rc = adtest::runProgram({"ffmpeg", "-v", "error", "-y", "-f", "dv", "-i", in.string(), "-f", "rawvideo",
                                     "-pix_fmt", system == 625 ? "yuv420p" : "yuv411p", out.string()},
                                    nullptr, &err);
  if (rc != 0) throw std::runtime_error("ffmpeg decode failed: " + err);
  const std::string raw = adtest::readFile(out);
  Planes p;
  p.width = 720;
  p.height = linesOf(system);
  p.chromaWidth = system == 625 ? 360 : 180;
  p.chromaHeight = system == 625 ? p.height / 2 : p.height;
  const size_t ys = size_t(p.width) * p.height, cs = size_t(p.chromaWidth) * p.chromaHeight;
  if (raw.size() != ys + 2 * cs) throw std::runtime_error("unexpected size of ffmpeg's decode");
  const auto* b = reinterpret_cast<const uint8_t*>(raw.data());
  p.y.assign(b, b + ys);
  p.cb.assign(b + ys, b + ys + cs);
  p.cr.assign(b + ys + cs, b + ys + 2 * cs);
  return p;
}

YccPicture pictureFromPlanes(int system, const Planes& p) {
  YccPicture pic;
  pic.width = p.width;
  pic.height = p.height;
  pic.y = p.y;
  pic.cr.resize(p.y.size());
  pic.cb.resize(p.y.size());
  for (int row = 0; row < p.height; ++row) {
    for (int x = 0; x < p.width; ++x) {
      const size_t at = size_t(row) * p.width + x;
      if (system == 625) {
        const size_t c = size_t(row / 2) * p.chromaWidth + x / 2;
        pic.cr[at] = int8_t(p.cr[c] - 128);
        pic.cb[at] = int8_t(p.cb[c] - 128);
      } else {
        const int g = x / 4, k = x % 4;
        const int next = g + 1 < p.chromaWidth ? g + 1 : g;
        const uint8_t* crRow = p.cr.data() + size_t(row) * p.chromaWidth;
        const uint8_t* cbRow = p.cb.data() + size_t(row) * p.chromaWidth;
        auto lerp = [&](const uint8_t* line) {
          const int c = line[g] - 128, c2 = line[next] - 128;
          return int8_t((4 * c + k * (c2 - c)) >> 2);
        };
        pic.cr[at] = lerp(crRow);
        pic.cb[at] = lerp(cbRow);
      }
    }
  }
  return pic;
}

namespace {

int clamp255(int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : int(v)); }

void convert(int y, int cr, int cb, int64_t round, uint8_t* bgr) {
  const int64_t yy = 4883763LL * (y - 16) + round;
  bgr[2] = uint8_t(clamp255((6694235LL * cr + yy) >> 22));
  bgr[1] = uint8_t(clamp255((-3409172LL * cr - 1642531LL * cb + yy) >> 22));
  bgr[0] = uint8_t(clamp255((8460875LL * cb + yy) >> 22));
}

// The five taps of each output column (8 fractional bits, summing to about 256),
// computed in single precision as the codec's rule says: at columns where j x ratio is
// within rounding of a whole number, the precision decides which source column the
// taps centre on.
std::vector<int> taps(float ratio, int count) {
  const float pi = 3.1415927f, halfPi = 1.5707964f;
  std::vector<int> t(size_t(count) * 5);
  for (int j = 0; j < count; ++j) {
    const float p = float(j) * ratio, frac = p - std::trunc(p);
    const float f = ratio > 1 ? frac / ratio : frac;
    int sum = 0;
    for (int k = 0; k < 5; ++k) {
      const float x = ratio > 1 ? (float(k - 2) / ratio - f) * pi : (float(k - 2) - f) * pi;
      const float w = 0.54f + 0.46f * std::cos((float(k) - f - 2.0f) * halfPi);
      t[5 * j + k] = x == 0 ? 256 : int(w * std::sin(x) / x * 256.0f);
      sum += t[5 * j + k];
    }
    for (int k = 0; k < 5; ++k) t[5 * j + k] = t[5 * j + k] * 256 / sum;
  }
  return t;
}

}  // namespace

std::vector<uint8_t> toBgr(const YccPicture& pic) {
  const size_t stride = strideOf(pic.width);
  std::vector<uint8_t> out(stride * pic.height, 0);
  for (int row = 0; row < pic.height; ++row) {
    uint8_t* d = out.data() + stride * (pic.height - 1 - row);
    for (int x = 0; x < pic.width; ++x) {
      const size_t at = size_t(row) * pic.width + x;
      convert(pic.y[at], pic.cr[at], pic.cb[at], 0x200000, d + 3 * x);
    }
  }
  return out;
}

std::vector<uint8_t> resampledBgr(const YccPicture& pic, int width, int mode) {
  const float ratio = float(pic.width) / float(width);
  const int step = int(ratio * 256.0f);
  const std::vector<int> t = taps(ratio, width);
  const size_t stride = strideOf(width);
  std::vector<uint8_t> out(stride * pic.height, 0);
  for (int row = 0; row < pic.height; ++row) {
    uint8_t* d = out.data() + stride * (pic.height - 1 - row);
    const size_t base = size_t(row) * pic.width;
    for (int j = 0; j < width; ++j) {
      const int c = (j * step) >> 8;
      if (mode == 1) {
        convert(pic.y[base + c], pic.cr[base + c], pic.cb[base + c], 0, d + 3 * j);
        continue;
      }
      int sy = 0, sr = 0, sb = 0;
      for (int k = 0; k < 5; ++k) {
        const int col = std::min(std::max(c + k - 2, 0), pic.width - 1);
        sy += t[5 * j + k] * pic.y[base + col];
        sr += t[5 * j + k] * (pic.cr[base + col] + 128);
        sb += t[5 * j + k] * (pic.cb[base + col] + 128);
      }
      convert(clamp255(sy >> 8), clamp255(sr >> 8) - 128, clamp255(sb >> 8) - 128, 0, d + 3 * j);
    }
  }
  return out;
}

std::vector<uint8_t> areaAveraged(const YccPicture& pic, int factor) {
  YccPicture small;
  small.width = pic.width / factor;
  small.height = pic.height / factor;
  const size_t n = size_t(small.width) * small.height;
  small.y.resize(n);
  small.cr.resize(n);
  small.cb.resize(n);
  const int count = factor * factor;
  auto mean = [count](int sum) { return (sum >= 0 ? sum + count / 2 : sum - count / 2) / count; };
  for (int y = 0; y < small.height; ++y) {
    for (int x = 0; x < small.width; ++x) {
      int sy = 0, sr = 0, sb = 0;
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const size_t at = size_t(y * factor + dy) * pic.width + size_t(x * factor + dx);
          sy += pic.y[at];
          sr += pic.cr[at];
          sb += pic.cb[at];
        }
      }
      const size_t at = size_t(y) * small.width + x;
      small.y[at] = uint8_t(mean(sy));
      small.cr[at] = int8_t(mean(sr));
      small.cb[at] = int8_t(mean(sb));
    }
  }
  return toBgr(small);
}

double lumaPsnr(const std::vector<uint8_t>& bgr, const YccPicture& pic, int factor) {
  const int w = pic.width / factor, h = pic.height / factor;
  const size_t stride = strideOf(w);
  double sum = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double mean = 0;
      for (int dy = 0; dy < factor; ++dy)
        for (int dx = 0; dx < factor; ++dx) mean += pic.y[size_t(y * factor + dy) * pic.width + size_t(x * factor + dx)];
      mean /= factor * factor;
      const uint8_t* px = &bgr[stride * size_t(h - 1 - y) + 3 * size_t(x)];
      const double luma = 16 + (65.481 * px[2] + 128.553 * px[1] + 24.966 * px[0]) / 255.0;
      sum += (luma - mean) * (luma - mean);
    }
  }
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * w * h / sum);
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
  const size_t stride = strideOf(width);
  double sum = 0;
  for (int r = 0; r < height; ++r) {
    for (int x = 0; x < 3 * width; ++x) {
      const double d = double(a[stride * r + x]) - double(b[stride * r + x]);
      sum += d * d;
    }
  }
  if (sum == 0) return 99.0;
  const double mse = sum / (3.0 * width * height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
  const size_t stride = strideOf(width);
  int worst = 0;
  for (int r = 0; r < height; ++r) {
    for (int x = 0; x < 3 * width; ++x) {
      worst = std::max(worst, std::abs(int(a[stride * r + x]) - int(b[stride * r + x])));
    }
  }
  return worst;
}

std::string toDvf(int system, const std::string& frame) {
  const int n = sequencesOf(system);
  std::string dvf = system == 625 ? std::string("DVF 1.00SD6\0\x00\x02\x2E\xE0\x00\x02\x2E\xC0\x00\x00\x00\x20", 24)
                                  : std::string("DVF 1.00SD5\0\x00\x01\xD1\xC0\x00\x01\xD1\xA0\x00\x00\x00\x20", 24);
  dvf.append(8, '\xFF');
  for (int s = 0; s < n; ++s) dvf.append(frame, size_t(s) * 12000 + 80, 11920);
  return dvf;
}

int count248Blocks(int system, const std::string& frame) {
  int count = 0;
  for (int s = 0; s < sequencesOf(system); ++s) {
    for (int k = 0; k < 135; ++k) {
      const size_t at = size_t(80) * (150 * s + 7 + k + k / 15);
      for (int area : {4, 18, 32, 46, 60, 70}) {
        if (uint8_t(frame[at + area + 1]) & 0x40) ++count;
      }
    }
  }
  return count;
}

std::string randomFrame(int system, uint32_t seed) {
  std::string frame(frameSize(system), '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : frame) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x >> 24);
  }
  return frame;
}

int decodeInto(int system, std::string& source, uint32_t width, uint32_t height, uint32_t resample, uint32_t form,
               std::vector<uint8_t>* out, uint8_t fill) {
  out->assign(strideOf(int(width)) * height, fill);
  DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
  DvcDibFormat f = {width, height, 1, 24, 1, 1, 0, 0, 0, resample, form};
  const int r = DvcDecode(d, reinterpret_cast<uint8_t*>(source.data()), uint32_t(source.size()), out->data(), nullptr,
                          &f);
  DvcCloseDecoder(d);
  return r;
}

std::vector<std::string> cipPackets(int system, const std::vector<std::string>& frames, const CipOptions& options) {
  std::vector<std::string> packets;
  uint8_t dbc = options.dbc;
  const bool fifty = options.fiftyHertz || system == 625;
  auto header = [&](uint8_t count) {
    const char h[8] = {0x02, 0x78, 0x00, char(count), char(0x80), char(fifty ? 0x80 : 0x00), char(0xFF), char(0xFF)};
    return std::string(h, 8);
  };
  int sinceEmpty = 0;
  for (const std::string& frame : frames) {
    for (size_t at = 0; at + 480 <= frame.size(); at += 480) {
      packets.push_back(header(dbc) + frame.substr(at, 480));
      ++dbc;
      if (options.emptyEvery && ++sinceEmpty == options.emptyEvery) {
        packets.push_back(header(dbc));
        sinceEmpty = 0;
      }
    }
  }
  return packets;
}

std::string joinPackets(const std::vector<std::string>& packets, size_t from, size_t to) {
  std::string stream;
  for (size_t i = from; i < to && i < packets.size(); ++i) stream += packets[i];
  return stream;
}

void BitWriter::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i, ++pos_) {
    const uint8_t mask = uint8_t(0x80 >> (pos_ & 7));
    if ((value >> i) & 1) {
      bytes_[pos_ >> 3] |= mask;
    } else {
      bytes_[pos_ >> 3] &= uint8_t(~mask);
    }
  }
}

void BitWriter::put(const char* bits) {
  for (; *bits; ++bits) put(*bits == '1' ? 1u : 0u, 1);
}

}  // namespace dvtest
