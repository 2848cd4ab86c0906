// PCX files with 8 bits (a 256-colour palette at the end) or 24 bits (three planes).
#include <algorithm>
#include <cstring>
#include <vector>

#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {

constexpr size_t kHeaderBytes = 128;

struct Layout {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t bits = 0;    // per pixel and plane
  uint8_t planes = 0;
  uint32_t lineBytes = 0;  // per plane
  bool encoded = true;
};

bool parse(const uint8_t* d, size_t size, Layout& l) {
  if (size < kHeaderBytes || d[0] != 0x0A || d[1] > 5 || d[2] > 1) return false;
  l.encoded = d[2] == 1;
  l.bits = d[3];
  const int32_t xmin = le16(d + 4), ymin = le16(d + 6), xmax = le16(d + 8), ymax = le16(d + 10);
  l.planes = d[65];
  l.lineBytes = le16(d + 66);
  if (xmax < xmin || ymax < ymin || l.planes < 1 || l.planes > 4) return false;
  if (l.bits != 1 && l.bits != 2 && l.bits != 4 && l.bits != 8) return false;
  l.width = xmax - xmin + 1;
  l.height = ymax - ymin + 1;
  return qm6dib::sizeAllowed(l.width, l.height);
}

}  // namespace

bool describePcx(const uint8_t* data, size_t size, Description& d) {
  Layout l;
  if (!parse(data, size, l)) return false;
  d.bitCount = static_cast<uint16_t>(l.bits * l.planes);
  d.width = l.width;
  d.height = l.height;
  d.type = QM_TYPE_PCX;
  return true;
}

QmHandle readPcx(const uint8_t* data, size_t size) {
  Layout l;
  if (!parse(data, size, l) || l.bits != 8 || (l.planes != 1 && l.planes != 3)) return 0;
  if (l.lineBytes < static_cast<uint32_t>(l.width)) return 0;
  const uint64_t total = static_cast<uint64_t>(l.lineBytes) * l.planes * static_cast<uint64_t>(l.height);
  // Every byte of the data costs at least one byte of the file (more with runs of one),
  // unless it comes in runs; runs give at most 63 bytes for two.
  if (total > 32 * static_cast<uint64_t>(size)) return 0;

  // Runs may go on from one line to the next, so the whole picture decodes as one stream.
  std::vector<uint8_t> plain(static_cast<size_t>(total));
  const uint8_t* p = data + kHeaderBytes;
  const uint8_t* end = data + size;
  size_t n = 0;
  while (n < plain.size() && p < end) {
    uint8_t b = *p++;
    size_t run = 1;
    if (l.encoded && b >= 0xC0) {
      run = b & 0x3F;
      if (p == end) break;
      b = *p++;
    }
    run = std::min(run, plain.size() - n);
    std::memset(&plain[n], b, run);
    n += run;
  }
  if (n < plain.size()) return 0;  // cut short

  // An 8-bit file keeps its palette behind a 0x0C byte in its last 769 bytes.
  const uint8_t* palette = nullptr;
  if (l.planes == 1) {
    if (size < kHeaderBytes + 769 || data[size - 769] != 0x0C) return 0;
    palette = data + size - 768;
  }
  QmHandle out = qm6dib::create24(l.width, l.height);
  if (!out) return 0;
  qm6dib::Locked pic(out);
  const size_t line = static_cast<size_t>(l.lineBytes) * l.planes;
  for (int32_t y = 0; y < l.height; ++y) {
    const uint8_t* s = &plain[static_cast<size_t>(y) * line];
    uint8_t* o = pic.row(y);
    for (int32_t x = 0; x < l.width; ++x, o += 3) {
      if (palette) {
        const uint8_t* rgb = palette + 3 * s[x];
        o[0] = rgb[2];
        o[1] = rgb[1];
        o[2] = rgb[0];
      } else {
        o[0] = s[x + 2 * l.lineBytes];
        o[1] = s[x + l.lineBytes];
        o[2] = s[x];
      }
    }
  }
  return out;
}

}  // namespace qm6file
