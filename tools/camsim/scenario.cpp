#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "camsim.h"

namespace camsim {

namespace {

bool parseHex6(const std::string& s, std::array<uint8_t, 6>& out) {
  if (s.size() != 12) return false;
  for (size_t i = 0; i < 6; ++i) {
    char* end = nullptr;
    std::string byte = s.substr(2 * i, 2);
    long v = std::strtol(byte.c_str(), &end, 16);
    if (*end) return false;
    out[i] = uint8_t(v);
  }
  return true;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(s);
  std::string p;
  while (std::getline(in, p, sep)) parts.push_back(p);
  return parts;
}

bool toInt(const std::string& s, long& v) {
  char* end = nullptr;
  v = std::strtol(s.c_str(), &end, 0);
  return !s.empty() && *end == 0;
}

DeviceSpec preset(int id, const std::string& kind, bool& ok) {
  struct Kind {
    const char* name;
    DeviceKind kind;
    std::array<uint8_t, 6> type, version;
    const char* label;
  };
  static const Kind kinds[] = {
      {"camcorder", DeviceKind::Camcorder, {0x07, 0x16, 0, 0, 0, 0}, {0, 1, 0, 4, 10, 0}, "CAMCORDER-"},
      {"deck", DeviceKind::Deck, {0x01, 0, 0, 0, 0, 0}, {0, 1, 0, 3, 0, 0}, "DECK-"},
      {"capture", DeviceKind::CaptureBox, {0x3C, 0, 0, 0, 0, 0}, {0, 1, 0, 2, 5, 0}, "CAPTURE-"},
      {"printer", DeviceKind::Printer, {0x00, 0x0E, 0, 0, 0, 0}, {0, 1, 0, 1, 0, 0}, "PRINTER-"},
  };
  DeviceSpec d;
  d.id = id;
  ok = false;
  for (const Kind& k : kinds) {
    if (kind != k.name) continue;
    d.kind = k.kind;
    d.type = k.type;
    d.version = k.version;
    d.name = k.label + std::to_string(id);
    ok = true;
  }
  return d;
}

}  // namespace

Scenario Scenario::Default() {
  Scenario s;
  bool ok;
  s.devices.push_back(preset(6, "camcorder", ok));
  return s;
}

std::optional<Scenario> Scenario::Parse(const std::vector<std::string>& args, std::string* error, Scenario s) {
  bool devicesGiven = false;
  auto fail = [&](const std::string& why) -> std::optional<Scenario> {
    if (error) *error = why;
    return std::nullopt;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    long n = 0;
    if (a == "--plain") {
      s.randomise = false;
    } else if (a == "--no-tape") {
      s.tape = false;
    } else if (!value(v)) {
      return fail("missing value after " + a);
    } else if (a == "--device") {
      auto parts = split(v, ',');
      auto head = split(parts.empty() ? "" : parts[0], ':');
      if (head.size() != 2 || !toInt(head[0], n) || n < 1 || n > 99) return fail("bad device: " + v);
      bool ok;
      DeviceSpec d = preset(int(n), head[1], ok);
      if (!ok) return fail("unknown device kind: " + head[1]);
      for (size_t k = 1; k < parts.size(); ++k) {
        const std::string& o = parts[k];
        auto eq = o.find('=');
        std::string key = o.substr(0, eq), val = eq == std::string::npos ? "" : o.substr(eq + 1);
        if (key == "off") d.powered = false;
        else if (key == "type" && parseHex6(val, d.type)) {
        } else if (key == "version" && parseHex6(val, d.version)) {
        } else if (key == "name") d.name = val.substr(0, 12);
        else if (key == "powerup" && toInt(val, n)) d.powerUp = Micros(n) * 1000;
        else if (key == "rates") {
          d.rates.clear();
          for (const auto& r : split(val, '/'))
            if (toInt(r, n)) d.rates.push_back(uint32_t(n));
        } else return fail("bad device option: " + o);
      }
      if (!devicesGiven) s.devices.clear();
      devicesGiven = true;
      s.devices.push_back(d);
    } else if (a == "--dv") {
      std::ifstream in(v, std::ios::binary);
      std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (f.size() != 120000 && f.size() != 144000) return fail("not a DV frame of 10 or 12 sequences: " + v);
      s.picture.dv = true;
      s.picture.dvFrame = std::move(f);
    } else if (a == "--layout") {
      if (!toInt("0x" + v, n)) return fail("bad layout: " + v);
      s.picture.dv = true;
      s.picture.layout = uint8_t(n);
    } else if (a == "--sequences" && toInt(v, n) && (n == 10 || n == 12)) {
      s.picture.sequences = int(n);
    } else if (a == "--yuv") {
      auto wh = split(v, 'x');
      long w, h;
      if (wh.size() != 2 || !toInt(wh[0], w) || !toInt(wh[1], h) || w < 1 || h < 1 || w > 4096 || h > 4096)
        return fail("bad size: " + v);
      s.picture.dv = false;
      s.picture.width = uint16_t(w);
      s.picture.height = uint16_t(h);
    } else if (a == "--fill" && toInt(v, n)) {
      s.picture.fill = int(n & 0xFF);
    } else if (a == "--size" && toInt(v, n)) {
      s.picture.sizeOverride = uint32_t(n);
    } else if (a == "--fault") {
      auto parts = split(v, ',');
      Fault f;
      f.kind = parts.empty() ? "" : parts[0];
      for (size_t k = 1; k < parts.size(); ++k) {
        auto eq = parts[k].find('=');
        if (eq == std::string::npos) return fail("bad fault option: " + parts[k]);
        std::string key = parts[k].substr(0, eq), val = parts[k].substr(eq + 1);
        if (key == "cmd") f.cmd = val;
        else if (key == "at" && toInt(val, n)) f.at = int(n);
        else if (key == "times" && toInt(val, n)) f.times = int(n);
        else if (key == "value" && toInt(val, n)) f.value = int(n);
        else return fail("bad fault option: " + parts[k]);
      }
      for (auto& ch : f.cmd) ch = char(std::toupper(static_cast<unsigned char>(ch)));
      s.faults.push_back(f);
    } else if (a == "--latency" && toInt(v, n)) {
      s.latency = Micros(n) * 1000;
    } else if (a == "--transition" && toInt(v, n)) {
      s.transition = Micros(n) * 1000;
    } else if (a == "--grab" && toInt(v, n)) {
      s.grabTime = Micros(n) * 1000;
    } else if (a == "--idle" && toInt(v, n)) {
      s.sptpIdle = Micros(n) * 1000;
    } else if (a == "--seed" && toInt(v, n)) {
      s.seed = uint32_t(n);
    } else if (a == "--queue" && toInt(v, n) && n > 0) {
      s.queueLimit = size_t(n);
    } else if (a == "--fps" && toInt(v, n) && (n == 25 || n == 30)) {
      s.fps = int(n);
    } else if (a == "--tape-start" && toInt(v, n)) {
      s.tapeStart = int32_t(n);
    } else if (a == "--blank") {
      auto ab = split(v, '-');
      long x, y;
      if (ab.size() != 2 || !toInt(ab[0], x) || !toInt(ab[1], y)) return fail("bad range: " + v);
      s.blank.emplace_back(int32_t(x), int32_t(y));
    } else if (a == "--photo" && toInt(v, n)) {
      s.photoScenes.push_back(int32_t(n));
    } else {
      return fail("unknown option or bad value: " + a + " " + v);
    }
  }
  return s;
}

}  // namespace camsim
