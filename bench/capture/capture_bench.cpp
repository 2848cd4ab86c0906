// The picture transfer on the emulated line: the time of one DV frame transfer against the
// line's own limit (the bytes the camcorder puts on the wire x 10 bits / rate).
//
// The peer is the camsim program on a pseudo-terminal, sending at the emulated line rate;
// the program's link runs on the real device and clock, as in the program.
//
//   capture_bench [--rate 115200] [--runs 3] [--layout 40] [--dv FRAME]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "camsim_process.h"
#include "capture/posix_serial_port.h"
#include "capture/varn_cpt.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Timing : capture::CaptureHooks {
  Clock::time_point start, done;
  int RunTransfer(const std::function<int()>& transfer) override {
    start = Clock::now();
    return transfer();
  }
  bool CaptureFileReady(capture::CaptureFile, const std::string&) override {
    done = Clock::now();
    return true;
  }
};

// Bytes the camcorder sent from the start of the picture to its last block: the start
// acknowledgement and every block frame, resent ones included.
uint64_t wireBytes(const std::string& log, int* blocks, int* resent) {
  std::istringstream in(log);
  std::string line;
  uint64_t bytes = 11;
  *blocks = *resent = 0;
  while (std::getline(in, line)) {
    unsigned number = 0;
    unsigned long size = 0;
    if (std::sscanf(line.c_str(), "block %u %lu", &number, &size) == 2) {
      bytes += size;
      ++*blocks;
    } else if (std::sscanf(line.c_str(), "block-again %u %lu", &number, &size) == 2) {
      bytes += size;
      ++*resent;
    }
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t rate = 115200;
  int runs = 3;
  std::string layout = "40", frame;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--rate") rate = uint32_t(std::stoul(argv[i + 1]));
    else if (a == "--runs") runs = std::stoi(argv[i + 1]);
    else if (a == "--layout") layout = argv[i + 1];
    else if (a == "--dv") frame = argv[i + 1];
  }
  const fs::path dir = fs::temp_directory_path() / ("capture-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("DV frame transfer, layout %s, %u baud 8N1, camsim on a pseudo-terminal at the emulated line rate\n",
              layout.c_str(), rate);
  std::printf("%-4s %7s %7s %10s %11s %11s %10s\n", "run", "blocks", "resent", "wire bytes", "line limit",
              "transfer", "of limit");
  std::vector<double> ratios, tooks, limits;
  for (int run = 1; run <= runs; ++run) {
    std::vector<std::string> args{"--layout", layout, "--log", (dir / "log").string(), "--seed", std::to_string(run)};
    if (!frame.empty()) args.insert(args.end(), {"--dv", frame});
    captest::CamsimProcess sim;
    std::string why;
    if (!sim.Start(args, &why)) {
      std::fprintf(stderr, "capture_bench: %s\n", why.c_str());
      return 1;
    }
    capture::PosixSerialPort port;
    const std::string device = sim.device();
    capture::CVarnIO io(port, platform::SystemClock::instance(), [&](int) { return device; });
    if (!io.Open(1) || !io.SetupVarn()) {
      std::fprintf(stderr, "capture_bench: cannot open %s\n", device.c_str());
      return 1;
    }
    capture::VarnCpt cpt(io);
    Timing timing;
    cpt.SetHooks(&timing);
    cpt.SetId(6);
    cpt.settings().baud = rate;
    cpt.settings().workDir = dir.string();
    const int result = cpt.CaptureSequence();
    io.Close();
    sim.Stop();
    std::ifstream in(dir / "log");
    std::stringstream log;
    log << in.rdbuf();
    if (result != capture::kCaptured) {
      std::fprintf(stderr, "capture_bench: capture failed with %d\n", result);
      return 1;
    }
    int blocks = 0, resent = 0;
    const uint64_t bytes = wireBytes(log.str(), &blocks, &resent);
    const double limit = double(bytes) * 10 / rate;
    const double took = std::chrono::duration<double>(timing.done - timing.start).count();
    ratios.push_back(limit / took);
    tooks.push_back(took);
    limits.push_back(limit);
    std::printf("%-4d %7d %7d %10llu %10.3fs %10.3fs %9.1f%%\n", run, blocks, resent, (unsigned long long)bytes, limit,
                took, 100 * limit / took);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("median: %.1f%% of the line's rate (goal: at least 85%%)\n", 100 * ratios[ratios.size() / 2]);
  bench::row("DV frame transfer at " + std::to_string(rate) + " baud, layout " + layout, 1000 * bench::median(tooks),
             1000 * bench::median(limits), "the link's capture sequence against camsim on a pseudo-terminal",
             "the line's own limit: the bytes camsim put on the wire x 10 bits / rate");
  fs::remove_all(dir);
  return 0;
}
