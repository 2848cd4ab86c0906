// What the exporters' benchmarks share: the median time of repeated runs, and whether
// ffmpeg is there (outside tools run through bench::run, told to be quiet).
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace benchutil {

// The median time of `repetitions` runs in milliseconds; -1 when a run failed.
inline double medianMs(int repetitions, const std::function<bool()>& run) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// True when ffmpeg runs.
inline bool haveFfmpeg() {
  return bench::run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "nullsrc=s=16x16", "-frames:v", "1", "-f", "null",
                     "-"}) == 0;
}

// Runs a tool (which must keep quiet itself); true when it ended with 0.
inline bool runTool(const std::vector<std::string>& argv) { return bench::run(argv) == 0; }

}  // namespace benchutil
