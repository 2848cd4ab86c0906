// Times the JPEG module's save and load of a 12-megapixel picture against cjpeg and
// djpeg on the same picture and file with the same settings, in one run, and prints
// the ratios (the module's time over the tool's; the goal is at most 1.10).
//
//   bench_jpeg [repetitions]      (default 7; the median of each is reported)
//
// Files live in /dev/shm when it exists, so disk speed does not enter the figures. The
// tools read and write their files there; the module saves from and loads into memory.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jpegmodule/qm6jpeg.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 4000, kHeight = 3000;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool runTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A photograph-like picture: smooth shapes with a little grain. Returns the PPM bytes
// and fills a 24-bit packed bitmap with the same pixels.
std::string makePicture(QmHandle& dib) {
  std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  size_t header = ppm.size();
  ppm.resize(header + size_t(kWidth) * kHeight * 3);
  size_t rowBytes = (size_t(kWidth) * 24 + 31) / 32 * 4;
  dib = QmGlobalAlloc(40 + rowBytes * kHeight);
  auto* base = static_cast<uint8_t*>(QmGlobalLock(dib));
  QmBitmapInfoHeader h{};
  h.biSize = 40, h.biWidth = kWidth, h.biHeight = kHeight, h.biPlanes = 1, h.biBitCount = 24;
  h.biSizeImage = static_cast<uint32_t>(rowBytes * kHeight);
  std::memcpy(base, &h, 40);
  uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* out = base + 40 + rowBytes * (kHeight - 1 - y);
    for (int x = 0; x < kWidth; ++x) {
      int rgb[3];
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1664525u + 1013904223u;
        int wave = ((x * (c + 2) / 13 + y * (4 - c) / 17) & 255);
        int disc = ((x - 2000) * (x - 2000) + (y - 1500) * (y - 1500)) / (7000 + 2000 * c);
        rgb[c] = std::clamp((wave + disc) / 2 + static_cast<int>(seed >> 29) - 4, 0, 255);
      }
      uint8_t* p = reinterpret_cast<uint8_t*>(&ppm[header + (size_t(y) * kWidth + x) * 3]);
      p[0] = uint8_t(rgb[0]), p[1] = uint8_t(rgb[1]), p[2] = uint8_t(rgb[2]);
      out[3 * x] = uint8_t(rgb[2]), out[3 * x + 1] = uint8_t(rgb[1]), out[3 * x + 2] = uint8_t(rgb[0]);
    }
  }
  QmGlobalUnlock(dib);
  return ppm;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Result {
  std::string name;
  double ours, tool;
};

}  // namespace

int main(int argc, char** argv) {
  int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  fs::path dir = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  dir /= "bench-jpeg-" + std::to_string(getpid());
  fs::create_directories(dir);
  const std::string ppm = (dir / "in.ppm").string(), ours = (dir / "ours.jpg").string(),
                    tool = (dir / "tool.jpg").string(), bmp = (dir / "tool.bmp").string();

  QmHandle dib = 0;
  {
    std::string bytes = makePicture(dib);
    std::ofstream(ppm, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::printf("picture %dx%d (%.1f megapixels), %d repetitions, files in %s\n", kWidth, kHeight,
              kWidth * kHeight / 1e6, reps, dir.parent_path().c_str());

  std::vector<Result> results;
  bool allSame = true;
  for (bool progressive : {false, true}) {
    const char* mode = progressive ? "progressive" : "baseline";
    std::vector<std::string> cjpeg = {"cjpeg", "-quality", "85", "-baseline", "-sample", "2x2"};
    if (progressive) cjpeg.push_back("-progressive");
    cjpeg.insert(cjpeg.end(), {"-outfile", tool, ppm});
    std::vector<std::string> djpeg = {"djpeg", "-bmp", "-outfile", bmp, tool};

    std::vector<double> saveOurs, saveTool, loadOurs, loadTool;
    for (int i = 0; i < reps; ++i) {
      auto t0 = Clock::now();
      if (!_QMJpegFileSave(ours.c_str(), dib, progressive ? 1 : 0, 85, 0, nullptr, 1, 0, 0, 0)) {
        std::fprintf(stderr, "save failed, status %d\n", GetErrorStatus());
        return 1;
      }
      auto t1 = Clock::now();
      if (!runTool(cjpeg)) {
        std::fprintf(stderr, "cjpeg failed\n");
        return 1;
      }
      auto t2 = Clock::now();
      QmHandle loaded = _QMJpegFileLoad(tool.c_str(), 1, 0, 0, 0);
      auto t3 = Clock::now();
      if (!loaded) {
        std::fprintf(stderr, "load failed, status %d\n", GetErrorStatus());
        return 1;
      }
      QmGlobalFree(loaded);
      auto t4 = Clock::now();
      if (!runTool(djpeg)) {
        std::fprintf(stderr, "djpeg failed\n");
        return 1;
      }
      auto t5 = Clock::now();
      saveOurs.push_back(seconds(t1 - t0));
      saveTool.push_back(seconds(t2 - t1));
      loadOurs.push_back(seconds(t3 - t2));
      loadTool.push_back(seconds(t5 - t4));
    }
    bool same = readAll(ours) == readAll(tool);
    allSame = allSame && same;
    std::printf("%s: module's file %s cjpeg's\n", mode, same ? "is byte-identical to" : "DIFFERS from");
    results.push_back({std::string("save ") + mode, median(saveOurs), median(saveTool)});
    results.push_back({std::string("load ") + mode, median(loadOurs), median(loadTool)});
  }

  std::printf("\n%-18s %12s %12s %8s\n", "operation", "module ms", "tool ms", "ratio");
  for (const Result& r : results) {
    std::printf("%-18s %12.1f %12.1f %8.3f%s\n", r.name.c_str(), r.ours * 1e3, r.tool * 1e3, r.ours / r.tool,
                r.ours / r.tool <= 1.10 ? "" : "  (above 1.10)");
  }
  QmGlobalFree(dib);
  fs::remove_all(dir);
  return allSame ? 0 : 1;
}
