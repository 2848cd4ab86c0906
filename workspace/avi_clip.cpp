#include "avi_clip.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace workspace {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
bool isFourCc(const uint8_t* p, const char* cc) { return std::memcmp(p, cc, 4) == 0; }

// A run of bytes with checked reads.
struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// One chunk of a RIFF list: its id and its body.
struct Chunk {
  const uint8_t* id;
  Span body;
};

// Calls f for each chunk of a list body; stops at the first chunk that does not fit.
template <class F>
void forEachChunk(Span list, F&& f) {
  size_t pos = 0;
  while (list.size - pos >= 8) {
    const uint8_t* head = list.data + pos;
    const uint32_t size = le32(head + 4);
    if (size > list.size - pos - 8) return;
    f(Chunk{head, Span{head + 8, size}});
    pos += 8 + size + (size & 1);
    if (pos > list.size) return;
  }
}

bool isList(const Chunk& c, const char* type) {
  return isFourCc(c.id, "LIST") && c.body.size >= 4 && isFourCc(c.body.data, type);
}

Span listBody(const Chunk& c) { return Span{c.body.data + 4, c.body.size - 4}; }

struct Format {
  int width = 0;
  int height = 0;  // rows; the picture is stored top-down when the header's height is negative
  bool topDown = false;
  int bits = 0;
  uint32_t compression = 0;
  std::vector<QRgb> palette;
};

std::optional<Format> readFormat(Span strf) {
  if (strf.size < 40) return std::nullopt;
  const uint8_t* p = strf.data;
  const uint32_t headerSize = le32(p);
  if (headerSize < 40 || headerSize > strf.size) return std::nullopt;
  Format f;
  const auto width = static_cast<int32_t>(le32(p + 4));
  const auto height = static_cast<int32_t>(le32(p + 8));
  f.bits = le16(p + 14);
  f.compression = le32(p + 16);
  const uint32_t colours = le32(p + 32);
  if (width <= 0 || width > AviClip::kMaxSide || height == 0 || height < -AviClip::kMaxSide ||
      height > AviClip::kMaxSide)
    return std::nullopt;
  f.width = width;
  f.topDown = height < 0;
  f.height = height < 0 ? -height : height;
  const bool indexed = f.bits == 8 && (f.compression == kBiRgb || f.compression == kBiRle8);
  const bool rgb = f.bits == 24 && f.compression == kBiRgb;
  if (!indexed && !rgb) return std::nullopt;
  if (f.topDown && f.compression != kBiRgb) return std::nullopt;
  if (indexed) {
    const size_t entries = colours == 0 || colours > 256 ? 256 : colours;
    const size_t available = (strf.size - headerSize) / 4;
    f.palette.assign(256, qRgb(0, 0, 0));
    for (size_t i = 0; i < std::min(entries, available); ++i) {
      const uint8_t* q = p + headerSize + 4 * i;
      f.palette[i] = qRgb(q[2], q[1], q[0]);
    }
  }
  return f;
}

size_t strideOf(const Format& f) { return (static_cast<size_t>(f.width) * static_cast<size_t>(f.bits) + 31) / 32 * 4; }

// Decodes an 8-bit run-length coded frame onto the indices of the previous one (rows
// bottom-up). Runs and deltas that leave the picture are cut off at its edge.
bool decodeRle8(Span src, const Format& f, std::vector<uint8_t>& indices) {
  const size_t w = static_cast<size_t>(f.width), h = static_cast<size_t>(f.height);
  size_t x = 0, row = 0;  // row 0 is the bottom row
  size_t pos = 0;
  auto put = [&](uint8_t value) {
    if (x < w && row < h) indices[(h - 1 - row) * w + x] = value;
    ++x;
  };
  while (src.size - pos >= 2) {
    const uint8_t count = src.data[pos], value = src.data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of picture
        return true;
      case 2:  // move right and up
        if (src.size - pos < 2) return false;
        x += src.data[pos];
        row += src.data[pos + 1];
        pos += 2;
        break;
      default: {  // a literal run, padded to a 16-bit boundary
        const size_t n = value;
        if (src.size - pos < n) return false;
        for (size_t i = 0; i < n; ++i) put(src.data[pos + i]);
        pos += n + (n & 1);
        if (pos > src.size) pos = src.size;
        break;
      }
    }
    if (row > h) return true;  // everything after lies above the picture
  }
  return true;
}

QImage toImage(const Format& f, const std::vector<uint8_t>& indices) {
  QImage img(f.width, f.height, QImage::Format_RGB32);
  for (int y = 0; y < f.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    const uint8_t* in = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(f.width);
    for (int x = 0; x < f.width; ++x) line[x] = f.palette[in[x]];
  }
  return img;
}

// Decodes an uncompressed frame; false when the chunk is too short for the picture.
bool decodeRgb(Span src, const Format& f, std::vector<uint8_t>& indices, QImage& out) {
  const size_t stride = strideOf(f);
  if (src.size < stride * static_cast<size_t>(f.height)) return false;
  if (f.bits == 8) {
    for (int y = 0; y < f.height; ++y) {
      const int stored = f.topDown ? y : f.height - 1 - y;
      std::memcpy(indices.data() + static_cast<size_t>(y) * static_cast<size_t>(f.width),
                  src.data + static_cast<size_t>(stored) * stride, static_cast<size_t>(f.width));
    }
    out = toImage(f, indices);
    return true;
  }
  out = QImage(f.width, f.height, QImage::Format_RGB32);
  for (int y = 0; y < f.height; ++y) {
    const int stored = f.topDown ? y : f.height - 1 - y;
    const uint8_t* in = src.data + static_cast<size_t>(stored) * stride;
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < f.width; ++x) line[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
  }
  return true;
}

}  // namespace

void AviClip::Clear() {
  frames_.clear();
  width_ = height_ = 0;
  intervalMs_ = 100;
}

bool AviClip::Load(const std::string& path) {
  Clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Parse(bytes.data(), bytes.size());
}

bool AviClip::Parse(const uint8_t* data, size_t size) {
  Clear();
  if (size < 12 || !isFourCc(data, "RIFF") || !isFourCc(data + 8, "AVI ")) return false;
  const size_t riffSize = std::min<size_t>(le32(data + 4), size - 8);
  if (riffSize < 4) return false;
  const Span top{data + 12, riffSize - 4};

  std::optional<Format> format;
  int stream = -1;
  uint32_t microSecPerFrame = 0;
  Span movi;
  forEachChunk(top, [&](const Chunk& c) {
    if (isList(c, "hdrl")) {
      int streamIndex = 0;
      forEachChunk(listBody(c), [&](const Chunk& h) {
        if (isFourCc(h.id, "avih") && h.body.size >= 4) microSecPerFrame = le32(h.body.data);
        if (!isList(h, "strl")) return;
        bool video = false;
        Span strf;
        forEachChunk(listBody(h), [&](const Chunk& s) {
          if (isFourCc(s.id, "strh") && s.body.size >= 4) video = isFourCc(s.body.data, "vids");
          if (isFourCc(s.id, "strf")) strf = s.body;
        });
        if (video && stream < 0) {
          stream = streamIndex;
          format = readFormat(strf);
        }
        ++streamIndex;
      });
    } else if (isList(c, "movi") && !movi.data) {
      movi = listBody(c);
    }
  });
  if (!format || stream < 0 || stream > 99 || !movi.data) return false;

  const Format& f = *format;
  const char digits[2] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10)};
  const size_t pixels = static_cast<size_t>(f.width) * static_cast<size_t>(f.height);
  std::vector<uint8_t> indices(f.bits == 8 ? pixels : 0, 0);
  QImage previous;
  bool ok = true;
  auto frameChunk = [&](const Chunk& c) {
    if (!ok || std::memcmp(c.id, digits, 2) != 0) return;
    const bool bitmap = (c.id[2] == 'd' && (c.id[3] == 'b' || c.id[3] == 'c'));
    if (!bitmap) return;  // palette changes and other data are not shown
    if (frames_.size() >= static_cast<size_t>(kMaxFrames) || (frames_.size() + 1) * pixels > kMaxPixels) {
      ok = false;
      return;
    }
    QImage frame;
    if (c.body.size == 0) {
      // An empty frame repeats the one before.
      if (!previous.isNull()) {
        frame = previous;
      } else {
        frame = QImage(f.width, f.height, QImage::Format_RGB32);
        frame.fill(f.bits == 8 ? f.palette[0] : qRgb(0, 0, 0));
      }
    } else if (f.compression == kBiRle8) {
      if (!decodeRle8(c.body, f, indices)) {
        ok = false;
        return;
      }
      frame = toImage(f, indices);
    } else if (!decodeRgb(c.body, f, indices, frame)) {
      ok = false;
      return;
    }
    frames_.push_back(frame);
    previous = frame;
  };
  forEachChunk(movi, [&](const Chunk& c) {
    if (isList(c, "rec ")) forEachChunk(listBody(c), frameChunk);
    else frameChunk(c);
  });
  if (!ok || frames_.empty()) {
    Clear();
    return false;
  }
  width_ = f.width;
  height_ = f.height;
  if (microSecPerFrame >= 1000 && microSecPerFrame <= 10'000'000) intervalMs_ = static_cast<int>(microSecPerFrame / 1000);
  return true;
}

QImage AviClip::Frame(int index) const {
  if (index < 0 || index >= FrameCount()) return {};
  return frames_[static_cast<size_t>(index)];
}

}  // namespace workspace
