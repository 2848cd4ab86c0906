// The JPEG module's load and save of a 12-megapixel picture, called through the toolkit's
// file layer as the program calls them, against libjpeg-turbo's TurboJPEG API doing the
// same work in this program on the same picture and file (the same JPEG library is
// underneath, so what differs is our own work around it).
//
//   load: ImageFileLoad (the file layer finds the JPEG file and the module decodes it into
//         a new bottom-up BGR bitmap) against reading the file into memory and
//         tjDecompress2 into freshly allocated memory (BGR, bottom-up, rows padded to 4
//         bytes). Each load runs in a fresh process of its own, with its library loaded
//         and the file's header read once before the timing, as a first picture is loaded.
//   save: ImageFileSaveJpeg (quality 85, 2x2 sampling, written under a temporary name,
//         flushed to the disk and renamed) against tjCompress2 of the same bitmap with
//         the same settings, its bytes written, flushed and renamed the same way.
//
//   bench_jpeg [repetitions] [folder]
//
// Repetitions default to 15; medians are reported. Files go to a new folder below
// `folder` (default: the temporary folder, on a disk) that is removed afterwards.
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_table.h"
#include "bench/peers.h"
#include "toolkit/com/qm6com.h"
#include "toolkit/file/qm6file.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 4000, kHeight = 3000;
constexpr int kQuality = 85;

size_t strideOf(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A photograph-like picture as a 24-bit packed bitmap: smooth shapes with a little grain.
QmHandle makePicture() {
  const size_t stride = strideOf(kWidth);
  QmHandle dib = QmGlobalAlloc(40 + stride * kHeight);
  auto* base = static_cast<uint8_t*>(QmGlobalLock(dib));
  QmBitmapInfoHeader h{};
  h.biSize = 40, h.biWidth = kWidth, h.biHeight = kHeight, h.biPlanes = 1, h.biBitCount = 24;
  h.biSizeImage = static_cast<uint32_t>(stride * kHeight);
  std::memcpy(base, &h, 40);
  uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* out = base + 40 + stride * (kHeight - 1 - y);
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1664525u + 1013904223u;
        int wave = ((x * (c + 2) / 13 + y * (4 - c) / 17) & 255);
        int disc = ((x - 2000) * (x - 2000) + (y - 1500) * (y - 1500)) / (7000 + 2000 * c);
        out[3 * x + 2 - c] = uint8_t(std::clamp((wave + disc) / 2 + static_cast<int>(seed >> 29) - 4, 0, 255));
      }
    }
  }
  QmGlobalUnlock(dib);
  return dib;
}

// Writes the bytes under a temporary name beside the target, flushes them to the disk and
// renames the file over the target, as the module's save does.
bool writeDurably(const std::string& path, const unsigned char* data, size_t size) {
  const std::string temp = path + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size && std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
  ok = std::fclose(f) == 0 && ok;
  return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

// The peer's save: the bitmap's rows (bottom-up BGR) compressed with the module's
// settings, then written like the module's file.
bool peerSave(const uint8_t* rows, bool progressive, const std::string& path) {
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int flags = TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT | (progressive ? TJFLAG_PROGRESSIVE : 0);
  bool ok = tj && tjCompress2(tj, rows, kWidth, int(strideOf(kWidth)), kHeight, TJPF_BGR, &jpeg, &size, TJSAMP_420,
                              kQuality, flags) == 0;
  ok = ok && writeDurably(path, jpeg, size);
  tjFree(jpeg);
  if (tj) tjDestroy(tj);
  return ok;
}

// One timed load in this fresh process ("ours" or "peer"); prints its milliseconds.
int childLoad(const std::string& side, const std::string& path) {
  if (side == "ours") {
    ImageFileInfoRecord info;
    if (!ImageFileInfo(path.c_str(), &info)) return 1;  // loads the module, as the program's first look does
    const auto start = bench::Clock::now();
    const QmHandle dib = ImageFileLoad(path.c_str());
    const double ms = bench::msSince(start);
    if (!dib) return 1;
    std::printf("%.3f\n", ms);
    return 0;
  }
  {
    const std::string head = readAll(path);  // the file's header read once, as on our side
    tjhandle tj = tjInitDecompress();
    int w, h, sub, space;
    const bool ok = tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(head.data()), head.size(), &w, &h,
                                        &sub, &space) == 0;
    tjDestroy(tj);
    if (!ok) return 1;
  }
  int w = 0, h = 0;
  const auto start = bench::Clock::now();
  uint8_t* dib = bench::turboLoad(path, &w, &h);
  const double ms = bench::msSince(start);
  if (!dib) return 1;
  std::printf("%.3f\n", ms);
  std::free(dib);
  return 0;
}

// A load in a fresh process of this program; its milliseconds, or -1.
double freshLoad(const std::string& side, const std::string& path) {
  std::string out;
  if (bench::run({fs::read_symlink("/proc/self/exe").string(), "--child", side, path}, {}, &out) != 0) return -1;
  return std::atof(out.c_str());
}

// True when the module's load and the peer's decode give the same rows, padding included.
bool sameRows(const std::string& path) {
  const QmHandle ours = ImageFileLoad(path.c_str());
  int w = 0, h = 0;
  uint8_t* peer = bench::turboLoad(path, &w, &h);
  bool same = ours && peer && QmGlobalSize(ours) == 40 + strideOf(w) * size_t(h);
  if (same) {
    const auto* base = static_cast<const uint8_t*>(QmGlobalLock(ours));
    for (int y = 0; y < h && same; ++y) {
      const size_t at = 40 + strideOf(w) * size_t(y);
      same = std::memcmp(base + at, peer + at, 3 * size_t(w)) == 0;
      for (size_t p = 3 * size_t(w); same && p < strideOf(w); ++p) same = base[at + p] == 0;
    }
    QmGlobalUnlock(ours);
  }
  if (ours) QmGlobalFree(ours);
  std::free(peer);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return childLoad(argv[2], argv[3]);
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const fs::path dir = bench::newFolder("bench-jpeg", argc > 2 ? argv[2] : "");
  if (dir.empty()) return 1;
  const std::string ours = (dir / "ours.jpg").string(), peer = (dir / "peer.jpg").string();
  const QmHandle dib = makePicture();
  const auto* rows = static_cast<const uint8_t*>(QmGlobalLock(dib)) + 40;
  std::printf("JPEG: a %dx%d picture (%.1f megapixels), quality %d, 2x2 sampling, %d repetitions, files in %s\n",
              kWidth, kHeight, kWidth * kHeight / 1e6, kQuality, reps, dir.c_str());

  bool failed = false;
  for (bool progressive : {false, true}) {
    const std::string mode = progressive ? "progressive" : "baseline";
    const auto [saveOurs, savePeer] = bench::medianPairMs(
        reps, [&] { return ImageFileSaveJpeg(ours.c_str(), dib, progressive ? 1 : 0, kQuality, 0, nullptr) != 0; },
        [&] { return peerSave(rows, progressive, peer); });
    const bool sameFile = readAll(ours) == readAll(peer);
    std::printf("%s: the module's file %s the peer's\n", mode.c_str(), sameFile ? "is byte-identical to" : "DIFFERS from");
    bench::row("JPEG save 12 MP " + mode, saveOurs, savePeer,
               "ImageFileSaveJpeg via libQm6File and the module (temporary name, fsync, rename)",
               "TurboJPEG tjCompress2 of the same bitmap, same settings, written, fsynced and renamed");

    // The times the fresh processes report (their start is not in them), in turns.
    std::vector<double> loadOurs, loadPeer;
    for (int i = 0; i < reps; ++i) {
      for (int k = 0; k < 2; ++k) {
        const bool oursNow = (i + k) % 2 == 0;
        const double ms = freshLoad(oursNow ? "ours" : "peer", ours);
        (oursNow ? loadOurs : loadPeer).push_back(ms);
        failed = failed || ms < 0;
      }
    }
    const bool sameLoad = sameRows(ours);
    std::printf("%s: the module's bitmap %s the peer's decode\n", mode.c_str(), sameLoad ? "is identical to" : "DIFFERS from");
    bench::row("JPEG load 12 MP " + mode + ", fresh process", bench::median(loadOurs), bench::median(loadPeer),
               "ImageFileLoad via libQm6File and the module into a new bitmap",
               "file read + TurboJPEG tjDecompress2 into fresh malloc memory (BGR, bottom-up)");
    failed = failed || saveOurs < 0 || savePeer < 0 || !sameFile || !sameLoad;
  }
  QmGlobalUnlock(dib);
  QmGlobalFree(dib);
  fs::remove_all(dir);
  return failed ? 1 : 0;
}
