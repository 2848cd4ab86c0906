#include "hostile.h"

#include <algorithm>
#include <vector>

namespace pictest {

namespace {

std::string be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }
std::string le16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

std::string jpegSegment(uint8_t marker, const std::string& body) {
  return std::string{'\xFF', static_cast<char>(marker)} + be16(static_cast<uint32_t>(body.size() + 2)) + body;
}

// A Huffman table of class `tableClass` whose one code, a single bit, stands for `symbol`.
std::string oneCodeTable(int tableClass, uint8_t symbol) {
  std::string body(1, static_cast<char>(tableClass << 4));
  body += '\1';
  body += std::string(15, '\0');
  body += static_cast<char>(symbol);
  return body;
}

uint32_t crc32(const std::string& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

std::string pngChunk(const char* type, const std::string& data) {
  const std::string typed = std::string(type, 4) + data;
  return be32(static_cast<uint32_t>(data.size())) + typed + be32(crc32(typed));
}

}  // namespace

std::string tinyJpeg(const TinyJpeg& j) {
  using Coding = TinyJpeg::Coding;
  std::string out = "\xFF\xD8";
  out += jpegSegment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
  const uint8_t sof = j.coding == Coding::Arithmetic ? 0xC9 : j.coding == Coding::Baseline ? 0xC0 : 0xC2;
  std::string frame = std::string(1, '\x08') + be16(j.height) + be16(j.width) + static_cast<char>(j.components);
  for (int c = 0; c < j.components; ++c) {
    frame += static_cast<char>(c + 1);
    frame += static_cast<char>(c == 0 ? (j.hSample << 4 | j.vSample) : 0x11);
    frame += '\0';
  }
  out += jpegSegment(sof, frame);
  if (j.coding != Coding::Arithmetic) {
    out += jpegSegment(0xC4, oneCodeTable(0, 0x00));
    // An AC code of end-of-band run class 14: with its 14 extra bits, 16384 blocks at least.
    out += jpegSegment(0xC4, oneCodeTable(1, j.coding == Coding::ProgressiveAcFirst ? 0xE0 : 0x00));
  }
  const int inScan = j.coding == Coding::ProgressiveAcFirst ? 1 : j.components;
  std::string scan(1, static_cast<char>(inScan));
  for (int c = 0; c < inScan; ++c) scan += std::string{static_cast<char>(c + 1), '\0'};
  switch (j.coding) {
    case Coding::Progressive: scan += std::string{'\0', '\0', '\0'}; break;
    case Coding::ProgressiveAcFirst: scan += std::string{'\1', '\x3F', '\0'}; break;
    default: scan += std::string{'\0', '\x3F', '\0'};
  }
  out += jpegSegment(0xDA, scan);
  if (j.fileBytes > out.size() + 2) out += std::string(j.fileBytes - out.size() - 2, '\0');
  return out + "\xFF\xD9";
}

std::string tinyTiff(const TinyTiff& t) {
  struct Entry {
    uint16_t tag, type;
    std::vector<uint32_t> values;
  };
  const uint16_t kShort = 3, kLong = 4;
  const bool tiled = t.tileWidth > 0 && t.tileLength > 0;
  const uint32_t planes = t.planar == 2 ? t.samples : 1;
  uint32_t pieces;
  if (tiled) {
    pieces = (t.width + t.tileWidth - 1) / t.tileWidth * ((t.height + t.tileLength - 1) / t.tileLength) * planes;
  } else {
    const uint32_t rows = t.rowsPerStrip ? t.rowsPerStrip : t.height;
    pieces = (t.height + rows - 1) / rows * planes;
  }
  std::vector<Entry> entries = {{256, kLong, {t.width}}, {257, kLong, {t.height}}};
  if (t.bitsPerSample) entries.push_back({258, kShort, {t.bits}});
  entries.push_back({259, kShort, {t.compression}});
  entries.push_back({262, kShort, {t.photometric}});
  // The entries still to come: samples, the strips' (offsets, byte counts, rows) or the
  // tiles' (size, offsets, byte counts), and the planar configuration.
  const size_t more = 1 + (tiled ? 4 : 2 + (t.rowsPerStrip ? 1 : 0)) + (t.planar != 1 ? 1 : 0);
  const size_t directoryBytes = 2 + 12 * (entries.size() + more) + 4;
  const uint32_t arrays = static_cast<uint32_t>(8 + directoryBytes);
  const uint32_t data = arrays + (pieces > 1 ? 8 * pieces : 0);
  const std::vector<uint32_t> offsets(pieces, data), counts(pieces, static_cast<uint32_t>(t.dataBytes));
  if (!tiled) entries.push_back({273, kLong, offsets});
  entries.push_back({277, kShort, {t.samples}});
  if (!tiled && t.rowsPerStrip) entries.push_back({278, kLong, {t.rowsPerStrip}});
  if (!tiled) entries.push_back({279, kLong, counts});
  if (t.planar != 1) entries.push_back({284, kShort, {t.planar}});
  if (tiled) {
    entries.push_back({322, kLong, {t.tileWidth}});
    entries.push_back({323, kLong, {t.tileLength}});
    entries.push_back({324, kLong, offsets});
    entries.push_back({325, kLong, counts});
  }
  std::string out = "II*" + std::string(1, '\0') + le32(8) + le16(static_cast<uint32_t>(entries.size()));
  std::string outOfLine;
  for (const Entry& e : entries) {
    out += le16(e.tag) + le16(e.type) + le32(static_cast<uint32_t>(e.values.size()));
    if (e.values.size() == 1) {
      out += e.type == kShort ? le16(e.values[0]) + le16(0) : le32(e.values[0]);
    } else {
      out += le32(arrays + static_cast<uint32_t>(outOfLine.size()));
      for (uint32_t v : e.values) outOfLine += le32(v);
    }
  }
  out += le32(0) + outOfLine;
  return out + std::string(t.dataBytes, static_cast<char>(t.dataByte));
}

std::string tinyPng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, size_t dataBytes,
                    bool interlaced) {
  std::string head = be32(width) + be32(height);
  head += std::string{static_cast<char>(depth), static_cast<char>(colour), '\0', '\0', interlaced ? '\1' : '\0'};
  // A zlib stream of stored blocks; the Adler-32 of n zero bytes is n in its high half
  // and 1 in its low half.
  std::string zlib = "\x78\x01";
  size_t left = dataBytes;
  do {
    const auto n = static_cast<uint32_t>(std::min<size_t>(left, 65535));
    left -= n;
    zlib += std::string(1, left == 0 ? '\1' : '\0') + le16(n) + le16(~n & 0xFFFF) + std::string(n, '\0');
  } while (left > 0);
  zlib += be32(static_cast<uint32_t>(dataBytes % 65521) << 16 | 1);
  return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", head) + pngChunk("IDAT", zlib) + pngChunk("IEND", "");
}

}  // namespace pictest
