#include "frames.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/testsupport/testsupport.h"

namespace extest {

Frame testFrame(int width, int height, int i) {
  Frame f{width, height, {}};
  f.pixels.reserve(size_t(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgb p;
      if (y < height / 4) {
        p = {255, 255, 255};
      } else if (x < width / 8) {
        p = {255, 0, 0};
      } else {
        p = {uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t((i * 37 + 40) % 256)};
      }
      f.pixels.push_back(p);
    }
  }
  return f;
}

std::string bmpPixels(const Frame& f) {
  const size_t stride = (size_t(f.width) * 3 + 3) / 4 * 4;
  std::string rows(stride * f.height, '\0');
  for (int y = 0; y < f.height; ++y) {
    char* row = &rows[stride * (f.height - 1 - y)];
    for (int x = 0; x < f.width; ++x) {
      Rgb p = f.at(x, y);
      row[3 * x] = char(p.b), row[3 * x + 1] = char(p.g), row[3 * x + 2] = char(p.r);
    }
  }
  return rows;
}

namespace {

void put(std::string& s, size_t offset, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[offset + i] = char(v >> (8 * i));
}

}  // namespace

std::string bmpBytes(const Frame& f, const BmpLayout& l) {
  const std::string rows = bmpPixels(f);
  const uint32_t pixelOffset = 14 + l.infoSize + l.gap;
  std::string s(pixelOffset, '\0');
  s.replace(0, 2, l.magic.substr(0, 2));
  put(s, 2, uint32_t(pixelOffset + rows.size()), 4);
  put(s, 10, pixelOffset, 4);
  put(s, 14, l.infoSize, 4);
  if (l.infoSize >= 40) {
    put(s, 18, uint32_t(f.width), 4);
    put(s, 22, uint32_t(l.height ? l.height : f.height), 4);
    put(s, 26, l.planes, 2);
    put(s, 28, l.bits, 2);
    put(s, 30, l.compression, 4);
    put(s, 34, uint32_t(rows.size()), 4);
    put(s, 38, 2835, 4);
    put(s, 42, 2835, 4);
  }
  s += rows;
  if (l.cut > 0) s.resize(s.size() - size_t(l.cut));
  return s;
}

void writeBmp(const fs::path& path, const Frame& f, const BmpLayout& layout) {
  adtest::writeFile(path, bmpBytes(f, layout));
}

std::vector<std::string> writeFrames(const fs::path& dir, int width, int height, int n) {
  std::vector<std::string> paths;
  for (int i = 0; i < n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "MVTMP%03d.BMP", i + 1);
    writeBmp(dir / name, testFrame(width, height, i));
    paths.push_back((dir / name).string());
  }
  return paths;
}

uint32_t le32(const std::string& b, size_t o) {
  return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 | uint32_t(uint8_t(b[o + 2])) << 16 |
         uint32_t(uint8_t(b[o + 3])) << 24;
}

uint16_t le16(const std::string& b, size_t o) { return uint16_t(uint8_t(b[o]) | uint8_t(b[o + 1]) << 8); }

namespace {

bool walk(const std::string& b, size_t begin, size_t end, std::vector<Chunk>& out) {
  size_t pos = begin;
  while (pos < end) {
    if (end - pos < 8) return false;
    Chunk c;
    c.id = b.substr(pos, 4);
    c.size = le32(b, pos + 4);
    c.offset = pos + 8;
    if (c.size > end - c.offset) return false;
    if (c.id == "RIFF" || c.id == "LIST") {
      if (c.size < 4) return false;
      c.type = b.substr(c.offset, 4);
      if (!walk(b, c.offset + 4, c.offset + c.size, c.children)) return false;
    }
    pos = c.offset + c.size + (c.size & 1);
    out.push_back(std::move(c));
  }
  return pos == end;
}

}  // namespace

Chunk walkRiff(const std::string& bytes) {
  std::vector<Chunk> top;
  if (!walk(bytes, 0, bytes.size(), top) || top.size() != 1) return {};
  return top[0];
}

std::string shape(const Chunk& c) {
  std::string s = c.id;
  if (!c.type.empty()) {
    s += " " + c.type + " {";
    for (size_t i = 0; i < c.children.size(); ++i) s += (i ? " " : "") + shape(c.children[i]);
    s += "}";
  }
  return s;
}

int underFileSizeLimit(uint64_t bytes, const std::function<bool()>& f) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(f() ? 1 : 0);
  }
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 1 ? 1 : WEXITSTATUS(status) == 0 ? 0 : -1;
}

int strayTemporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    n += e.path().filename().string().find(".tmp") != std::string::npos;
  }
  return n;
}

}  // namespace extest
