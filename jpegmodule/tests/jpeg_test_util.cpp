#include "jpeg_test_util.h"

#include <cstring>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"

namespace jt {

Picture makePicture(int width, int height, int channels, uint32_t seed) {
  Picture p{width, height, channels, {}};
  p.pixels.resize(size_t(width) * height * channels);
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        s = s * 1664525u + 1013904223u;
        int v = (x * 255 / std::max(1, width - 1) * (c + 1) + y * 255 / std::max(1, height - 1) * (3 - c)) / 4;
        v += static_cast<int>(s >> 28) - 8;
        p.pixels[(size_t(y) * width + x) * channels + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
  return p;
}

void writePnm(const fs::path& path, const Picture& p) {
  std::string s = (p.channels == 1 ? "P5\n" : "P6\n") + std::to_string(p.width) + " " + std::to_string(p.height) +
                  "\n255\n";
  s.append(p.pixels.begin(), p.pixels.end());
  writeFile(path, s);
}

QmHandle makeDib(const Picture& p, int32_t xPpm, int32_t yPpm, std::vector<uint32_t> palette) {
  int bits = p.channels == 1 ? 8 : 24;
  if (bits == 8 && palette.empty()) {
    for (uint32_t i = 0; i < 256; ++i) palette.push_back(i | i << 8 | i << 16);
  }
  size_t rowBytes = (size_t(bits) * p.width + 31) / 32 * 4;
  size_t paletteBytes = palette.size() * 4;
  QmHandle dib = QmGlobalAlloc(40 + paletteBytes + rowBytes * p.height);
  auto* base = static_cast<uint8_t*>(QmGlobalLock(dib));
  QmBitmapInfoHeader h{};
  h.biSize = 40;
  h.biWidth = p.width;
  h.biHeight = p.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bits);
  h.biSizeImage = static_cast<uint32_t>(rowBytes * p.height);
  h.biXPelsPerMeter = xPpm;
  h.biYPelsPerMeter = yPpm;
  h.biClrUsed = static_cast<uint32_t>(palette.size());
  std::memcpy(base, &h, 40);
  if (paletteBytes) std::memcpy(base + 40, palette.data(), paletteBytes);
  uint8_t* rows = base + 40 + paletteBytes;
  for (int y = 0; y < p.height; ++y) {
    uint8_t* out = rows + rowBytes * (p.height - 1 - y);
    const uint8_t* in = p.pixels.data() + size_t(y) * p.width * p.channels;
    for (int x = 0; x < p.width; ++x) {
      if (bits == 8) {
        out[x] = in[x];
      } else {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    }
  }
  QmGlobalUnlock(dib);
  return dib;
}

Raster dibRaster(QmHandle dib) {
  Raster r;
  auto* base = static_cast<const uint8_t*>(QmGlobalLock(dib));
  if (!base) return r;
  QmBitmapInfoHeader h;
  std::memcpy(&h, base, 40);
  r.width = h.biWidth;
  r.height = h.biHeight;
  r.bits = h.biBitCount;
  r.xPpm = h.biXPelsPerMeter;
  r.yPpm = h.biYPelsPerMeter;
  size_t pal = h.biBitCount == 8 ? 1024 : 0;
  r.palette.assign(base + 40, base + 40 + pal);
  size_t size = QmGlobalSize(dib);
  r.rows.assign(base + 40 + pal, base + size);
  QmGlobalUnlock(dib);
  return r;
}

namespace {
uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}
}  // namespace

Raster bmpRaster(const std::string& bmp) {
  Raster r;
  if (bmp.size() < 54) return r;
  uint32_t offBits = le32(bmp, 10);
  r.width = static_cast<int32_t>(le32(bmp, 18));
  r.height = static_cast<int32_t>(le32(bmp, 22));
  r.bits = static_cast<uint8_t>(bmp[28]) | static_cast<uint8_t>(bmp[29]) << 8;
  r.xPpm = static_cast<int32_t>(le32(bmp, 38));
  r.yPpm = static_cast<int32_t>(le32(bmp, 42));
  r.palette.assign(bmp.begin() + 54, bmp.begin() + offBits);
  r.rows.assign(bmp.begin() + offBits, bmp.end());
  return r;
}

std::string readFile(const fs::path& path) { return adtest::readFile(path); }
void writeFile(const fs::path& path, const std::string& bytes) { adtest::writeFile(path, bytes); }

std::string run(const std::vector<std::string>& argv, bool warningsAllowed) {
  std::string out, err;
  int rc = adtest::runProgram(argv, &out, &err);
  std::string cmd;
  for (const auto& a : argv) cmd += a + " ";
  EXPECT_TRUE(rc == 0 || (warningsAllowed && rc == 2)) << cmd << " exited with " << rc << "\n" << err;
  return out;
}

std::string cjpeg(const fs::path& pnm, const std::vector<std::string>& options) {
  std::vector<std::string> argv{"cjpeg"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(pnm.string());
  return run(argv);
}

// djpeg ends with 2 when the data only drew warnings (a file that ends early).
Raster djpegBmp(const fs::path& jpeg) { return bmpRaster(run({"djpeg", "-bmp", jpeg.string()}, true)); }

std::string segment(uint8_t marker, const std::string& data) {
  size_t n = data.size() + 2;
  std::string s{'\xFF', static_cast<char>(marker), static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)};
  return s + data;
}

std::string insertAfterSoi(const std::string& jpeg, const std::string& seg) {
  return jpeg.substr(0, 2) + seg + jpeg.substr(2);
}

std::string insertAfterApp0(const std::string& jpeg, const std::string& seg) {
  if (jpeg.size() > 6 && static_cast<uint8_t>(jpeg[3]) == 0xE0) {
    size_t n = static_cast<uint8_t>(jpeg[4]) << 8 | static_cast<uint8_t>(jpeg[5]);
    return jpeg.substr(0, 4 + n) + seg + jpeg.substr(4 + n);
  }
  return insertAfterSoi(jpeg, seg);
}

std::string TiffBuilder::u16(uint16_t v) const {
  return big_ ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)};
}
std::string TiffBuilder::u32(uint32_t v) const {
  return big_ ? u16(uint16_t(v >> 16)) + u16(uint16_t(v)) : u16(uint16_t(v)) + u16(uint16_t(v >> 16));
}

TiffBuilder::Entry TiffBuilder::shortEntry(uint16_t tag, std::vector<uint16_t> values) const {
  std::string d;
  for (uint16_t v : values) d += u16(v);
  return Entry{tag, 3, static_cast<uint32_t>(values.size()), d};
}
TiffBuilder::Entry TiffBuilder::longEntry(uint16_t tag, uint32_t value) const { return Entry{tag, 4, 1, u32(value)}; }
TiffBuilder::Entry TiffBuilder::rationalEntry(uint16_t tag, uint32_t num, uint32_t den) const {
  return Entry{tag, 5, 1, u32(num) + u32(den)};
}
TiffBuilder::Entry TiffBuilder::textEntry(uint16_t tag, const std::string& text, uint16_t type) const {
  return Entry{tag, type, static_cast<uint32_t>(text.size()), text};
}

int TiffBuilder::addIfd(std::vector<Entry> entries) {
  ifds_.push_back(std::move(entries));
  return static_cast<int>(ifds_.size()) - 1;
}

std::string TiffBuilder::build() const {
  // Layout: header, each directory followed by its long values, then the thumbnail.
  std::vector<uint32_t> at(ifds_.size());
  uint32_t pos = 8;
  for (size_t i = 0; i < ifds_.size(); ++i) {
    at[i] = pos;
    pos += 2 + 12 * static_cast<uint32_t>(ifds_[i].size()) + 4;
    for (const Entry& e : ifds_[i]) {
      if (e.data.size() > 4) pos += static_cast<uint32_t>(e.data.size() + (e.data.size() & 1));
    }
  }
  uint32_t thumbAt = pos;
  std::string out = big_ ? std::string("MM\0\x2A", 4) : std::string("II\x2A\0", 4);
  out += u32(chain_.empty() ? 0 : at[chain_[0]]);
  for (size_t i = 0; i < ifds_.size(); ++i) {
    uint32_t next = 0;
    for (size_t k = 0; k + 1 < chain_.size(); ++k) {
      if (chain_[k] == static_cast<int>(i)) next = at[chain_[k + 1]];
    }
    std::string dir = u16(static_cast<uint16_t>(ifds_[i].size()));
    std::string values;
    uint32_t valuesAt = at[i] + 2 + 12 * static_cast<uint32_t>(ifds_[i].size()) + 4;
    for (const Entry& e : ifds_[i]) {
      dir += u16(e.tag) + u16(e.type) + u32(e.count);
      if (e.offsetOverride) {
        dir += u32(e.offset);
      } else if (e.subIfd >= 0) {
        dir += u32(at[e.subIfd]);
      } else if (e.tag == 513 && static_cast<int>(i) == thumbIfd_) {
        dir += u32(thumbAt);
      } else if (e.data.size() <= 4) {
        dir += e.data + std::string(4 - e.data.size(), '\0');
      } else {
        dir += u32(valuesAt + static_cast<uint32_t>(values.size()));
        values += e.data;
        if (e.data.size() & 1) values += '\0';
      }
    }
    dir += u32(next);
    out += dir + values;
  }
  return out + thumb_;
}

std::string exifSegment(const std::string& tiff, const std::string& id) { return segment(0xE1, id + tiff); }

namespace {
RecordingHook* g_hook = nullptr;
}

RecordingHook::RecordingHook() {
  g_hook = this;
  QmProgressHook h{};
  h.open = [](void*, int32_t a, int32_t b, int32_t c) -> QmBool {
    g_hook->opens++;
    g_hook->openValues = {a, b, c};
    return g_hook->openFails ? 0 : 1;
  };
  h.close = [](void*) { g_hook->closes++; };
  h.progress = [](void*, int32_t cur, int32_t total, int32_t lo, int32_t hi, intptr_t ctx) -> QmBool {
    g_hook->calls.push_back({cur, total, lo, hi, ctx});
    return static_cast<int>(g_hook->calls.size()) == g_hook->cancelAtCall ? 0 : 1;
  };
  QmSetProgressHook(&h);
}

RecordingHook::~RecordingHook() {
  QmSetProgressHook(nullptr);
  g_hook = nullptr;
}

}  // namespace jt
