#include "toolkit/effect/resample.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace qm6effect {

namespace {

constexpr uint32_t kWeightBits = 14;
constexpr uint32_t kWeightOne = 1u << kWeightBits;

// For each new pixel along one axis: the source pixels it draws on and their weights,
// which add up to kWeightOne exactly.
struct Taps {
  std::vector<int32_t> first;   // first source pixel of each new pixel
  std::vector<int32_t> count;   // how many source pixels
  std::vector<int32_t> offset;  // where its weights start in `weights`
  std::vector<uint32_t> weights;
};

// Scales the real weights to kWeightOne and gives the rounding remainder to the largest.
void addNormalised(Taps& taps, const std::vector<int64_t>& raw, int64_t total) {
  uint32_t sum = 0;
  size_t largest = 0;
  const size_t start = taps.weights.size();
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto w = static_cast<uint32_t>((raw[i] * kWeightOne + total / 2) / total);
    taps.weights.push_back(w);
    sum += w;
    if (raw[i] > raw[largest]) largest = i;
  }
  taps.weights[start + largest] += kWeightOne - sum;
}

Taps makeTaps(int32_t sourceLength, int32_t targetLength) {
  Taps taps;
  const int64_t s = sourceLength;
  const int64_t d = targetLength;
  taps.first.reserve(static_cast<size_t>(d));
  taps.count.reserve(static_cast<size_t>(d));
  taps.offset.reserve(static_cast<size_t>(d));
  std::vector<int64_t> raw;
  for (int64_t i = 0; i < d; ++i) {
    raw.clear();
    int64_t first = 0;
    if (d <= s) {
      // Area: new pixel i covers [i s, (i + 1) s) and source pixel j covers [j d, (j + 1) d),
      // both in units of 1 / d source pixels.
      const int64_t from = i * s;
      const int64_t to = from + s;
      first = from / d;
      const int64_t last = (to - 1) / d;
      for (int64_t j = first; j <= last; ++j) {
        raw.push_back(std::min(to, (j + 1) * d) - std::max(from, j * d));
      }
      addNormalised(taps, raw, s);
    } else {
      // Linear: the centre of new pixel i lies at ((2 i + 1) s - d) / (2 d) in source pixels.
      const int64_t num = (2 * i + 1) * s - d;
      const int64_t den = 2 * d;
      int64_t j0 = num >= 0 ? num / den : -((-num + den - 1) / den);
      int64_t frac = num - j0 * den;  // 0 .. den - 1
      if (j0 < 0) {
        j0 = 0;
        frac = 0;
      }
      if (j0 >= s - 1) {
        j0 = s - 1;
        frac = 0;
      }
      first = j0;
      raw.push_back(den - frac);
      if (frac > 0) raw.push_back(frac);
      addNormalised(taps, raw, den);
    }
    taps.first.push_back(static_cast<int32_t>(first));
    taps.count.push_back(static_cast<int32_t>(raw.size()));
    taps.offset.push_back(static_cast<int32_t>(taps.weights.size() - raw.size()));
  }
  return taps;
}

// Makes new rows [from, to) of the target.
void resampleRows(const qm6dib::Locked& source, const qm6dib::Locked& target, const Taps& across,
                  const Taps& down, int32_t from, int32_t to) {
  const int32_t width = target.width();
  const size_t rowValues = static_cast<size_t>(source.width()) * 3;
  std::vector<uint32_t> sum(rowValues);
  std::vector<uint16_t> column(rowValues);  // one new row at the source width, 8 fraction bits
  std::vector<uint8_t> scratch(source.bits() == 24 ? 0 : rowValues);

  for (int32_t y = from; y < to; ++y) {
    // Down first: the source rows behind new row y, weighted, at full width.
    std::fill(sum.begin(), sum.end(), 0u);
    const auto yi = static_cast<size_t>(y);
    const int32_t first = down.first[yi];
    const int32_t n = down.count[yi];
    const uint32_t* w = &down.weights[static_cast<size_t>(down.offset[yi])];
    for (int32_t k = 0; k < n; ++k) {
      const uint8_t* src = source.bgrRow(first + k, scratch.data());
      const uint32_t weight = w[k];
      uint32_t* acc = sum.data();
      for (size_t i = 0; i < rowValues; ++i) acc[i] += weight * src[i];
    }
    for (size_t i = 0; i < rowValues; ++i) {
      column[i] = static_cast<uint16_t>((sum[i] + (1u << (kWeightBits - 9))) >> (kWeightBits - 8));
    }
    // Then across.
    uint8_t* out = target.row(y);
    for (int32_t x = 0; x < width; ++x) {
      const auto xi = static_cast<size_t>(x);
      const uint16_t* src = &column[static_cast<size_t>(across.first[xi]) * 3];
      const uint32_t* aw = &across.weights[static_cast<size_t>(across.offset[xi])];
      uint32_t b = 0, g = 0, r = 0;
      for (int32_t k = 0; k < across.count[xi]; ++k, src += 3) {
        b += aw[k] * src[0];
        g += aw[k] * src[1];
        r += aw[k] * src[2];
      }
      constexpr uint32_t shift = kWeightBits + 8;
      constexpr uint32_t half = 1u << (shift - 1);
      out[3 * xi] = static_cast<uint8_t>((b + half) >> shift);
      out[3 * xi + 1] = static_cast<uint8_t>((g + half) >> shift);
      out[3 * xi + 2] = static_cast<uint8_t>((r + half) >> shift);
    }
  }
}

}  // namespace

QmHandle resample(const qm6dib::Locked& source, int32_t width, int32_t height) {
  if (!source.ok()) return 0;
  QmHandle result = qm6dib::create24(width, height);
  if (!result) return 0;
  qm6dib::Locked target(result);
  const Taps across = makeTaps(source.width(), width);
  const Taps down = makeTaps(source.height(), height);

  // Large pictures are shared out among threads by bands of new rows; every new row is
  // made from the source alone, so the bands do not meet.
  const uint64_t work = static_cast<uint64_t>(source.width()) * source.height() +
                        static_cast<uint64_t>(width) * height;
  unsigned threads = std::min<unsigned>(std::max(1u, std::thread::hardware_concurrency()), 8);
  if (work < (1u << 20)) threads = 1;
  threads = std::min<unsigned>(threads, static_cast<unsigned>(height));
  if (threads <= 1) {
    resampleRows(source, target, across, down, 0, height);
    return result;
  }
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    const auto from = static_cast<int32_t>(static_cast<int64_t>(height) * t / threads);
    const auto to = static_cast<int32_t>(static_cast<int64_t>(height) * (t + 1) / threads);
    workers.emplace_back([&, from, to] { resampleRows(source, target, across, down, from, to); });
  }
  for (std::thread& w : workers) w.join();
  return result;
}

}  // namespace qm6effect
