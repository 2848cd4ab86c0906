#include "dv_tables.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zebdv {

namespace {

// The (run, amplitude) codes and the short runs of zeros, as listed by the standard.
// `length` counts the listed bits; a code with `sign` has one more bit, set for a
// negative amplitude. The 13-bit runs of zeros (1111110 + 6-bit run) and the 16-bit
// escape (1111111 + 8-bit amplitude + sign) follow from their pattern.
struct AcCode {
  uint16_t bits;
  uint8_t length;
  uint8_t run;
  uint8_t amplitude;
  bool sign;
};

constexpr AcCode kAcCodes[] = {
    {0b00, 2, 0, 1, true}, {0b010, 3, 0, 2, true}, {0b0111, 4, 1, 1, true}, {0b1000, 4, 0, 3, true},
    {0b1001, 4, 0, 4, true}, {0b10100, 5, 2, 1, true}, {0b10101, 5, 1, 2, true}, {0b10110, 5, 0, 5, true},
    {0b10111, 5, 0, 6, true}, {0b110000, 6, 3, 1, true}, {0b110001, 6, 4, 1, true}, {0b110010, 6, 0, 7, true},
    {0b110011, 6, 0, 8, true}, {0b1101000, 7, 5, 1, true}, {0b1101001, 7, 6, 1, true}, {0b1101010, 7, 2, 2, true},
    {0b1101011, 7, 1, 3, true}, {0b1101100, 7, 1, 4, true}, {0b1101101, 7, 0, 9, true}, {0b1101110, 7, 0, 10, true},
    {0b1101111, 7, 0, 11, true}, {0b11100000, 8, 7, 1, true}, {0b11100001, 8, 8, 1, true}, {0b11100010, 8, 9, 1, true},
    {0b11100011, 8, 10, 1, true}, {0b11100100, 8, 3, 2, true}, {0b11100101, 8, 4, 2, true}, {0b11100110, 8, 2, 3, true},
    {0b11100111, 8, 1, 5, true}, {0b11101000, 8, 1, 6, true}, {0b11101001, 8, 1, 7, true}, {0b11101010, 8, 0, 12, true},
    {0b11101011, 8, 0, 13, true}, {0b11101100, 8, 0, 14, true}, {0b11101101, 8, 0, 15, true}, {0b11101110, 8, 0, 16, true},
    {0b11101111, 8, 0, 17, true}, {0b111100000, 9, 11, 1, true}, {0b111100001, 9, 12, 1, true}, {0b111100010, 9, 13, 1, true},
    {0b111100011, 9, 14, 1, true}, {0b111100100, 9, 5, 2, true}, {0b111100101, 9, 6, 2, true}, {0b111100110, 9, 3, 3, true},
    {0b111100111, 9, 4, 3, true}, {0b111101000, 9, 2, 4, true}, {0b111101001, 9, 2, 5, true}, {0b111101010, 9, 1, 8, true},
    {0b111101011, 9, 0, 18, true}, {0b111101100, 9, 0, 19, true}, {0b111101101, 9, 0, 20, true}, {0b111101110, 9, 0, 21, true},
    {0b111101111, 9, 0, 22, true}, {0b1111100000, 10, 5, 3, true}, {0b1111100001, 10, 3, 4, true}, {0b1111100010, 10, 3, 5, true},
    {0b1111100011, 10, 2, 6, true}, {0b1111100100, 10, 1, 9, true}, {0b1111100101, 10, 1, 10, true}, {0b1111100110, 10, 1, 11, true},
    {0b11111001110, 11, 0, 0, false}, {0b11111001111, 11, 1, 0, false}, {0b11111010000, 11, 6, 3, true}, {0b11111010001, 11, 4, 4, true},
    {0b11111010010, 11, 3, 6, true}, {0b11111010011, 11, 1, 12, true}, {0b11111010100, 11, 1, 13, true}, {0b11111010101, 11, 1, 14, true},
    {0b111110101100, 12, 2, 0, false}, {0b111110101101, 12, 3, 0, false}, {0b111110101110, 12, 4, 0, false}, {0b111110101111, 12, 5, 0, false},
    {0b111110110000, 12, 7, 2, true}, {0b111110110001, 12, 8, 2, true}, {0b111110110010, 12, 9, 2, true}, {0b111110110011, 12, 10, 2, true},
    {0b111110110100, 12, 7, 3, true}, {0b111110110101, 12, 8, 3, true}, {0b111110110110, 12, 4, 5, true}, {0b111110110111, 12, 3, 7, true},
    {0b111110111000, 12, 2, 7, true}, {0b111110111001, 12, 2, 8, true}, {0b111110111010, 12, 2, 9, true}, {0b111110111011, 12, 2, 10, true},
    {0b111110111100, 12, 2, 11, true}, {0b111110111101, 12, 1, 15, true}, {0b111110111110, 12, 1, 16, true}, {0b111110111111, 12, 1, 17, true},
};

constexpr uint32_t kRunOfZerosPrefix = 0b1111110;  // + 6-bit run: 13 bits
constexpr uint32_t kEscapePrefix = 0b1111111;      // + 8-bit amplitude + sign: 16 bits

// Calls fn(code, length, entry) for every whole code, signs included.
template <typename Fn>
void forEachCode(Fn fn) {
  fn(kEndOfBlockCode, kEndOfBlockLength, vlcEntry(kEndOfBlockLength, 0, true, 0));
  for (const AcCode& c : kAcCodes) {
    if (c.sign) {
      const uint32_t len = c.length + 1u;
      fn(uint32_t(c.bits) << 1, len, vlcEntry(len, c.run, false, c.amplitude));
      fn((uint32_t(c.bits) << 1) | 1u, len, vlcEntry(len, c.run, false, -int32_t(c.amplitude)));
    } else {
      fn(c.bits, c.length, vlcEntry(c.length, c.run, false, c.amplitude));
    }
  }
  for (uint32_t run = 0; run < 64; ++run) fn((kRunOfZerosPrefix << 6) | run, 13, vlcEntry(13, run, false, 0));
  for (uint32_t a = 0; a < 256; ++a) {
    fn((kEscapePrefix << 9) | (a << 1), 16, vlcEntry(16, 0, false, int32_t(a)));
    fn((kEscapePrefix << 9) | (a << 1) | 1u, 16, vlcEntry(16, 0, false, -int32_t(a)));
  }
}

}  // namespace

bool vlcMatchCode(uint32_t value, int length, uint32_t* entry) {
  if (length < 3 || length > 16) return false;
  value &= (1u << length) - 1u;
  if (length == kEndOfBlockLength && value == kEndOfBlockCode) {
    *entry = vlcEntry(kEndOfBlockLength, 0, true, 0);
    return true;
  }
  if (length == 13 && (value >> 6) == kRunOfZerosPrefix) {
    *entry = vlcEntry(13, value & 63u, false, 0);
    return true;
  }
  if (length == 16 && (value >> 9) == kEscapePrefix) {
    const int32_t a = int32_t((value >> 1) & 255u);
    *entry = vlcEntry(16, 0, false, (value & 1u) ? -a : a);
    return true;
  }
  for (const AcCode& c : kAcCodes) {
    if (c.sign && length == c.length + 1 && (value >> 1) == c.bits) {
      *entry = vlcEntry(uint32_t(length), c.run, false, (value & 1u) ? -int32_t(c.amplitude) : c.amplitude);
      return true;
    }
    if (!c.sign && length == c.length && value == c.bits) {
      *entry = vlcEntry(uint32_t(length), c.run, false, c.amplitude);
      return true;
    }
  }
  return false;
}

DvcResult vlcTableBuild(uint32_t* table) {
  // The code is prefix-free, so each code owns the run of 16-bit values it begins; the
  // result is the same as trying the lengths 3, 4, ... 16 on each value in turn.
  for (uint32_t i = 0; i < 65536; ++i) table[i] = 0;
  forEachCode([table](uint32_t code, uint32_t length, uint32_t entry) {
    const uint32_t first = code << (16 - length);
    const uint32_t count = 1u << (16 - length);
    for (uint32_t i = 0; i < count; ++i) table[first + i] = entry;
  });
  for (uint32_t i = 0; i < 65536; ++i) {
    if (vlcLength(table[i]) == 0) return DVC_ERR_BAD_ARGUMENT;
  }
  return DVC_OK;
}

namespace {

// The upper half of the float of an amplitude, which holds it whole.
uint32_t amplitudeBits(int32_t amplitude) {
  const float f = float(amplitude);
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits & 0xFFFF0000u;
}

// The pair table's entry (pairVlcTable) of a dual table's entry.
uint64_t pairEntry(uint32_t first, uint32_t second) {
  if (decoderLength(first) == 0) return uint64_t(kPairLongCode) << 32;
  if (decoderEndOfBlock(first)) return decoderLength(first) | uint64_t(kPairEndOfBlock) << 32;
  const bool two = (second & kDualSecond) != 0;
  const uint32_t run1 = decoderRun(first);
  const uint32_t low = decoderLength(first) | run1 << 8 | amplitudeBits(decoderAmplitude(first));
  if (two && decoderEndOfBlock(second)) {
    return low | 1u << 6 | uint64_t(kPairEndOfBlock | (run1 + 1) << 8) << 32;
  }
  const uint32_t place = run1 + 1 + decoderRun(second);
  const uint32_t high = place | (place + (two ? 1 : 0)) << 8 | amplitudeBits(decoderAmplitude(second));
  return low | (two ? 2u : 1u) << 6 | uint64_t(high) << 32;
}

struct SharedTables {
  std::mutex mutex;
  uint32_t* vlc = nullptr;
  uint32_t fast[256] = {};
  uint32_t primary[1u << kPrimaryVlcBits] = {};
  uint64_t dual[1u << kPrimaryVlcBits] = {};
  uint64_t pair[1u << kPrimaryVlcBits] = {};
  bool fastBuilt = false;

  // Built when the library loads; a failure there is retried by the first open.
  SharedTables() { ensure(); }
  ~SharedTables() { std::free(vlc); }

  const uint32_t* ensure() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!vlc) {
      auto* t = static_cast<uint32_t*>(std::malloc(65536 * sizeof(uint32_t)));
      if (t && vlcTableBuild(t) == DVC_OK) {
        vlc = t;
      } else {
        std::free(t);
      }
    }
    if (vlc && !fastBuilt) {
      for (uint32_t b = 0; b < 256; ++b) {
        const uint32_t e = vlc[b << 8];
        fast[b] = vlcLength(e) > 8 ? (e & ~31u) : e;
      }
      for (uint32_t v = 0; v < (1u << kPrimaryVlcBits); ++v) {
        const uint32_t e = vlc[v << (16 - kPrimaryVlcBits)];
        primary[v] = vlcLength(e) > uint32_t(kPrimaryVlcBits) ? 0 : decoderEntry(e);
        dual[v] = 0;
        pair[v] = pairEntry(0, 0);
        const uint32_t len = vlcLength(e);
        if (!primary[v]) continue;
        uint32_t first = primary[v], second = len;
        if (!vlcEndOfBlock(e)) {
          const uint32_t rest = (v << len) & ((1u << kPrimaryVlcBits) - 1);  // the bits after the first code
          const uint32_t e2 = vlc[rest << (16 - kPrimaryVlcBits)];
          if (vlcLength(e2) <= kPrimaryVlcBits - len) {
            first = (first & ~kDecoderLengthMask) | (len + vlcLength(e2));
            second = (decoderEntry(e2) & ~kDecoderLengthMask) | kDualSecond | len;
          }
        }
        dual[v] = first | uint64_t(second) << 32;
        pair[v] = pairEntry(first, second);
      }
      fastBuilt = true;
    }
    return vlc;
  }
};

SharedTables& sharedTables() {
  static SharedTables tables;
  return tables;
}

// Builds the tables as the library is loaded.
[[maybe_unused]] const bool kBuiltAtLoad = (sharedTables(), true);

}  // namespace

const uint32_t* sharedVlcTable() { return sharedTables().ensure(); }

const uint32_t* primaryVlcTable() {
  SharedTables& t = sharedTables();
  return t.ensure() ? t.primary : nullptr;
}

const uint64_t* dualVlcTable() {
  SharedTables& t = sharedTables();
  return t.ensure() ? t.dual : nullptr;
}

const uint64_t* pairVlcTable() {
  SharedTables& t = sharedTables();
  return t.ensure() ? t.pair : nullptr;
}

const uint32_t* fastVlcTable() {
  SharedTables& t = sharedTables();
  return t.ensure() ? t.fast : nullptr;
}

namespace {

struct EncoderCodes {
  VlcCode code[64][256] = {};
  EncoderCodes() {
    // Codes of a run with no amplitude, shortest first, and of (run, amplitude) pairs.
    VlcCode runOnly[64] = {};
    VlcCode pair[64][256] = {};
    forEachCode([&](uint32_t bits, uint32_t length, uint32_t entry) {
      if (vlcEndOfBlock(entry) || vlcAmplitude(entry) < 0) return;  // positive amplitudes: sign bit 0
      const uint32_t run = vlcRun(entry), amplitude = uint32_t(vlcAmplitude(entry));
      VlcCode& slot = amplitude ? pair[run][amplitude] : runOnly[run];
      if (slot.length == 0 || length < slot.length) slot = VlcCode{bits, uint8_t(length)};
    });
    for (uint32_t run = 0; run < 64; ++run) {
      for (uint32_t a = 1; a < 256; ++a) {
        if (pair[run][a].length) {
          code[run][a] = pair[run][a];
        } else {
          // run >= 1 here: run 0 has every amplitude through the escape.
          const VlcCode& zeros = runOnly[run - 1];
          const VlcCode& alone = pair[0][a];
          code[run][a] = VlcCode{(zeros.bits << alone.length) | alone.bits, uint8_t(zeros.length + alone.length)};
        }
      }
    }
  }
};

}  // namespace

const VlcCode (&encoderVlcCodes())[64][256] {
  static const EncoderCodes codes;
  return codes.code;
}

const uint8_t kScan88[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const uint8_t kScan248[64] = {0,  32, 1,  33, 8,  40, 2,  34, 9,  41, 16, 48, 24, 56, 17, 49,
                              10, 42, 3,  35, 4,  36, 11, 43, 18, 50, 25, 57, 26, 58, 19, 51,
                              12, 44, 5,  37, 6,  38, 13, 45, 20, 52, 27, 59, 28, 60, 21, 53,
                              14, 46, 7,  39, 15, 47, 22, 54, 29, 61, 30, 62, 23, 55, 31, 63};

const uint8_t kClassOffset[4] = {6, 3, 0, 1};

const uint8_t kQuantShift[16][4] = {
    {3, 3, 4, 4}, {3, 3, 4, 4}, {2, 3, 3, 4}, {2, 3, 3, 4}, {2, 2, 3, 3}, {2, 2, 3, 3},
    {1, 2, 2, 3}, {1, 2, 2, 3}, {1, 1, 2, 2}, {1, 1, 2, 2}, {0, 1, 1, 2}, {0, 1, 1, 2},
    {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 0},
};

const uint8_t kCoefficientArea[64] = {
    0, 0, 0, 0, 0, 0,                                                     // 0 (DC), 1-5
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                          // 6-20
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,    // 21-42
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};      // 43-63

void dequantize(int qno, int cls, int16_t* coefficients, int last) {
  const int row = quantRow(qno, cls);
  const int extra = (cls & 3) == 3 ? 1 : 0;
  if (last > 63) last = 63;
  for (int k = 1; k <= last; ++k) {
    const int shift = kQuantShift[row][kCoefficientArea[k]] + extra;
    coefficients[k] = int16_t(int32_t(coefficients[k]) * (1 << shift));
  }
}

}  // namespace zebdv
