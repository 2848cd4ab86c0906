// BMP files: every common kind read, 24-bit written.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

struct Layout {
  int32_t width = 0;
  int32_t height = 0;
  bool topDown = false;
  uint16_t bits = 0;
  uint32_t compression = kRgb;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  const uint8_t* palette = nullptr;
  uint32_t paletteEntries = 0;
  uint32_t entryBytes = 4;
  uint32_t pixelOffset = 0;
};

bool parse(const uint8_t* d, size_t size, Layout& l) {
  if (size < 26 || d[0] != 'B' || d[1] != 'M') return false;
  l.pixelOffset = le32(d + 10);
  const uint32_t headerBytes = le32(d + 14);
  uint64_t paletteAt = 14ull + headerBytes;
  uint32_t used = 0;
  if (headerBytes == 12) {
    l.width = le16(d + 18);
    l.height = le16(d + 20);
    l.bits = le16(d + 24);
    l.entryBytes = 3;
  } else if (headerBytes >= 40 && headerBytes <= 124) {
    if (size < 14ull + headerBytes) return false;
    l.width = static_cast<int32_t>(le32(d + 18));
    const auto h = static_cast<int32_t>(le32(d + 22));
    if (h == INT32_MIN) return false;
    l.topDown = h < 0;
    l.height = h < 0 ? -h : h;
    l.bits = le16(d + 28);
    l.compression = le32(d + 30);
    used = le32(d + 46);
    if (headerBytes == 64 && l.compression >= kBitFields) return false;  // the OS/2 codings
    if (l.compression == kBitFields || l.compression == kAlphaBitFields) {
      if (headerBytes >= 52) {
        for (int i = 0; i < 3; ++i) l.masks[i] = le32(d + 54 + 4 * i);
      } else {
        if (size < paletteAt + 12) return false;
        for (int i = 0; i < 3; ++i) l.masks[i] = le32(d + paletteAt + 4 * i);
        paletteAt += l.compression == kAlphaBitFields ? 16 : 12;
      }
    }
  } else {
    return false;
  }
  if (!qm6dib::sizeAllowed(l.width, l.height)) return false;
  switch (l.bits) {
    case 1: case 4: case 8: case 24:
      if (!(l.compression == kRgb || (l.compression == kRle8 && l.bits == 8) || (l.compression == kRle4 && l.bits == 4)))
        return false;
      break;
    case 16: case 32:
      if (l.compression == kRgb) {
        if (l.bits == 16) {
          l.masks[0] = 0x7C00; l.masks[1] = 0x03E0; l.masks[2] = 0x001F;
        } else {
          l.masks[0] = 0xFF0000; l.masks[1] = 0xFF00; l.masks[2] = 0xFF;
        }
      } else if (l.compression != kBitFields && l.compression != kAlphaBitFields) {
        return false;
      }
      break;
    default:
      return false;
  }
  if (l.topDown && (l.compression == kRle8 || l.compression == kRle4)) return false;
  if (l.bits <= 8) {
    const uint32_t full = 1u << l.bits;
    l.paletteEntries = (used == 0 || used > full) ? full : used;
    // A palette cut short by the file keeps the entries it has; the rest are black.
    const uint64_t present = paletteAt < size ? (size - paletteAt) / l.entryBytes : 0;
    l.paletteEntries = static_cast<uint32_t>(std::min<uint64_t>(l.paletteEntries, present));
    l.palette = d + paletteAt;
  }
  return l.pixelOffset < size;
}

// One colour channel from a bit-field mask, scaled to 0..255 by repeating its bits
// (5 bits abcde give abcdeabc), so that 0 and the largest value map to 0 and 255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = std::bit_width(m >> shift);
  }
  uint8_t operator()(uint32_t pixel) const {
    if (bits == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    uint32_t out = 0;
    for (int pos = 8; pos > 0;) {
      pos -= bits;
      out |= pos >= 0 ? v << pos : v >> -pos;
    }
    return static_cast<uint8_t>(out);
  }
};

void paletteColour(const Layout& l, uint32_t index, uint8_t* out) {
  if (index < l.paletteEntries) {
    std::memcpy(out, l.palette + static_cast<size_t>(index) * l.entryBytes, 3);
  } else {
    out[0] = out[1] = out[2] = 0;
  }
}

// Decodes RLE8 or RLE4 data into palette indices, bottom row first; pixels the data
// does not reach keep index 0.
std::vector<uint8_t> decodeRle(const Layout& l, const uint8_t* p, const uint8_t* end) {
  const auto w = static_cast<size_t>(l.width);
  const auto h = static_cast<size_t>(l.height);
  std::vector<uint8_t> index(w * h, 0);
  const bool four = l.compression == kRle4;
  size_t x = 0, y = 0;
  auto put = [&](uint8_t v) {
    if (x < w && y < h) index[y * w + x] = v;
    ++x;
  };
  while (end - p >= 2 && y < h) {
    const uint8_t n = p[0];
    const uint8_t c = p[1];
    p += 2;
    if (n > 0) {
      for (uint32_t i = 0; i < n; ++i) put(four ? ((i & 1) ? (c & 15) : (c >> 4)) : c);
      continue;
    }
    if (c == 0) {
      x = 0;
      ++y;
    } else if (c == 1) {
      break;
    } else if (c == 2) {
      if (end - p < 2) break;
      x += p[0];
      y += p[1];
      p += 2;
    } else {
      const size_t bytes = four ? (c + 1u) / 2 : c;
      if (static_cast<size_t>(end - p) < bytes) break;
      for (uint32_t i = 0; i < c; ++i) put(four ? ((i & 1) ? (p[i / 2] & 15) : (p[i / 2] >> 4)) : p[i]);
      p += bytes + (bytes & 1);
      if (p > end) p = end;
    }
  }
  return index;
}

}  // namespace

bool describeBmp(const uint8_t* data, size_t size, Description& d) {
  Layout l;
  if (!parse(data, size, l)) return false;
  d.bitCount = l.bits;
  d.width = l.width;
  d.height = l.height;
  d.type = l.compression == kRle4 ? QM_TYPE_BMP_RLE4 : l.compression == kRle8 ? QM_TYPE_BMP_RLE8 : QM_TYPE_BMP;
  return true;
}

QmHandle readBmp(const uint8_t* data, size_t size) {
  Layout l;
  if (!parse(data, size, l)) return 0;
  const uint8_t* pixels = data + l.pixelOffset;
  const uint8_t* end = data + size;
  const auto w = static_cast<size_t>(l.width);
  std::vector<uint8_t> rle;
  size_t stride = qm6dib::rowBytes(l.bits, l.width);
  if (l.compression == kRle8 || l.compression == kRle4) {
    // Runs give at most 255 pixels for two bytes, but jumps and the end codes leave any
    // number of pixels unset without data: the coding itself bounds nothing. A bitmap
    // that leaves most of itself unset is refused beyond 512 pixels a byte of its file.
    if (static_cast<uint64_t>(l.width) * static_cast<uint64_t>(l.height) > 512 * static_cast<uint64_t>(size)) return 0;
    rle = decodeRle(l, pixels, end);
  } else if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(l.height) > static_cast<uint64_t>(end - pixels)) {
    return 0;  // cut short
  }
  QmHandle out = qm6dib::create24(l.width, l.height);
  if (!out) return 0;
  qm6dib::Locked pic(out);
  const Channel red(l.masks[0]), green(l.masks[1]), blue(l.masks[2]);
  for (int32_t row = 0; row < l.height; ++row) {
    // `row` counts in file order: from the bottom unless the file is top-down.
    uint8_t* o = pic.row(l.topDown ? row : l.height - 1 - row);
    if (!rle.empty()) {
      const uint8_t* idx = &rle[static_cast<size_t>(row) * w];
      for (size_t x = 0; x < w; ++x) paletteColour(l, idx[x], o + 3 * x);
      continue;
    }
    const uint8_t* s = pixels + static_cast<size_t>(row) * stride;
    switch (l.bits) {
      case 1: case 4: case 8: {
        const uint32_t per = 8 / l.bits;
        const uint32_t mask = (1u << l.bits) - 1;
        for (size_t x = 0; x < w; ++x) {
          const uint32_t shift = 8 - l.bits * (1 + static_cast<uint32_t>(x % per));
          paletteColour(l, (s[x / per] >> shift) & mask, o + 3 * x);
        }
        break;
      }
      case 24:
        std::memcpy(o, s, 3 * w);
        break;
      default:
        for (size_t x = 0; x < w; ++x) {
          const uint32_t v = l.bits == 16 ? le16(s + 2 * x) : le32(s + 4 * x);
          o[3 * x] = blue(v);
          o[3 * x + 1] = green(v);
          o[3 * x + 2] = red(v);
        }
    }
  }
  return out;
}

bool writeBmp(const std::string& path, QmHandle picture) {
  qm6dib::Locked pic(picture);
  if (!pic.ok()) return false;
  const auto w = static_cast<uint32_t>(pic.width());
  const auto h = static_cast<uint32_t>(pic.height());
  const uint32_t stride = qm6dib::rowBytes(24, w);
  const uint64_t imageBytes = static_cast<uint64_t>(stride) * h;
  uint8_t head[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) head[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, static_cast<uint32_t>(54 + imageBytes));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  head[26] = 1;
  head[28] = 24;
  put32(34, static_cast<uint32_t>(imageBytes));
  put32(38, static_cast<uint32_t>(pic.header().biXPelsPerMeter));
  put32(42, static_cast<uint32_t>(pic.header().biYPelsPerMeter));

  platform::AtomicFileWriter file(path);
  if (!file.open() || !file.write(head, sizeof head)) return false;
  // Rows go out bottom-up, gathered into pieces of about a megabyte.
  const uint32_t rowsPerPiece = std::max<uint32_t>(1, (1u << 20) / stride);
  std::vector<uint8_t> piece(static_cast<size_t>(stride) * std::min(rowsPerPiece, h), 0);
  std::vector<uint8_t> scratch(static_cast<size_t>(w) * 3);
  for (uint32_t done = 0; done < h;) {
    const uint32_t n = std::min(rowsPerPiece, h - done);
    for (uint32_t i = 0; i < n; ++i) {
      const auto y = static_cast<int32_t>(h - 1 - (done + i));
      std::memcpy(&piece[static_cast<size_t>(i) * stride], pic.bgrRow(y, scratch.data()), 3 * static_cast<size_t>(w));
    }
    if (!file.write(piece.data(), static_cast<size_t>(n) * stride)) return false;
    done += n;
  }
  return file.commit();
}

}  // namespace qm6file
