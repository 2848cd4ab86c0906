// What the exporters' benchmarks share: ffmpeg as their peer, held to one thread, with its
// start-up taken out of its time and its files flushed to the disk as ours are.
#pragma once

#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace benchutil {

// An ffmpeg command line held to one thread: the filter graphs, the decoder of the input
// and the encoder of the output each get one.
inline std::vector<std::string> ffmpeg(const std::vector<std::string>& input, const std::vector<std::string>& output) {
  std::vector<std::string> argv{"ffmpeg", "-v", "error", "-y", "-nostdin", "-filter_threads", "1", "-threads", "1"};
  argv.insert(argv.end(), input.begin(), input.end());
  argv.insert(argv.end(), {"-threads", "1"});
  argv.insert(argv.end(), output.begin(), output.end());
  return argv;
}

// True when ffmpeg runs.
inline bool haveFfmpeg() {
  return bench::runOk(ffmpeg({"-f", "lavfi", "-i", "nullsrc=s=16x16"}, {"-frames:v", "1", "-f", "null", "-"}));
}

// A peer's work as commands: they run one after the other, then every file they wrote
// (the files in `outputs`, or in the folders there) is flushed to the disk; true when
// all of it succeeded.
inline bool runAndFlush(const std::vector<std::vector<std::string>>& commands, const std::vector<std::string>& outputs) {
  for (const auto& argv : commands) {
    if (!bench::runOk(argv)) return false;
  }
  for (const std::string& out : outputs) {
    if (std::filesystem::is_directory(out)) {
      for (const auto& entry : std::filesystem::directory_iterator(out)) {
        if (!bench::flushToDisk(entry.path().string())) return false;
      }
    } else if (!bench::flushToDisk(out)) {
      return false;
    }
  }
  return true;
}

}  // namespace benchutil
