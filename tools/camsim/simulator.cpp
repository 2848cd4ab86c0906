#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <sstream>

#include "camsim.h"

namespace camsim {

namespace {

constexpr Line kControlLine{9600, true};

Micros byteTime(Line l) { return Micros((l.oddParity ? 11 : 10) * 1000000LL / l.baud); }

std::string hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", p[i]);
    s += b;
  }
  return s;
}

uint8_t varnSum(const uint8_t* p) {
  unsigned s = 0;
  for (int i = 0; i < 10; ++i) s += p[i];
  return uint8_t((0x100 - (s & 0xFF)) & 0x7F);
}

bool canCapture(const DeviceSpec& d) {
  return d.type[0] == 0x3C || std::find(d.type.begin() + 1, d.type.end(), 0x16) != d.type.end();
}

int bcd(int v) { return (v / 10) * 16 + v % 10; }

// Video block k of a sequence stands at DIF block 7 + k + k / 15.
size_t videoAt(size_t k) { return 7 + k + k / 15; }

}  // namespace

std::string Log::Text() const {
  std::ostringstream s;
  for (const auto& e : events) s << e << "\n";
  s << "sptp-bytes " << sptpBytesSent << "\nblocks " << blocksSent << "\nresent " << blocksResent << "\noverrun "
    << overrun << "\ngarbage-in " << garbageIn << "\n";
  return s.str();
}

struct Simulator::Impl {
  struct Device {
    DeviceSpec spec;
    bool gone = false;
    Micros onAt = 0;  // the power state reads on from this time
    // transport
    int mode = 1;  // raw: 1 stop, 2 FF, 3 REW, 5 pause, 6 forward family, 7 reverse family
    int detail = 0x75;
    int detailP[3] = {0, 1, 0};
    double speed = 0;  // tape frames per frame time
    double pos0 = 0;
    Micros t0 = 0;
    Micros busyUntil = 0;  // a transport change is executing
    // photo search
    Micros searchDone = 0;
    int searchResult = 0;  // 0 searching, 2 found, 4 error
    int32_t searchScene = 0;  // the scene found
    bool searchPaused = false;  // the transport has paused on it
    // capture
    Micros grabUntil = 0;
    int busyQueries = 0;
  };

  Scenario sc;
  Log log;
  std::mt19937 rng;
  std::map<int, Device> bus;

  // Line modes of the simulator side from a time on.
  std::vector<std::pair<Micros, Line>> modes{{0, kControlLine}};
  std::deque<std::pair<Micros, uint8_t>> out;
  Micros outFree = 0;  // when the output line is free
  Micros inFree = 0;   // when the last input byte arrived
  std::vector<uint8_t> inBuf;

  // transfer protocol
  bool sptp = false;
  int sptpId = 0;
  Micros sptpLast = 0;
  int lastBlock = -1;    // last block sent
  std::vector<uint8_t> picture;  // what the transfer sends
  uint8_t pictureType = 0;
  uint16_t width = 0, height = 0;
  struct QueueWindow {
    Micros from, to;
    size_t limit;
  };
  std::vector<QueueWindow> queueLimits;

  explicit Impl(Scenario s) : sc(std::move(s)), rng(sc.seed) {
    for (const auto& d : sc.devices) {
      Device dev;
      dev.spec = d;
      dev.onAt = 0;
      dev.pos0 = sc.tapeStart;
      bus[d.id] = dev;
    }
  }

  uint8_t rnd() { return uint8_t(rng() & 0xFF); }

  Line lineAt(Micros t) const {
    Line l = kControlLine;
    for (const auto& [from, m] : modes)
      if (from <= t) l = m;
    return l;
  }
  void switchLine(Micros from, Line l) {
    modes.emplace_back(from, l);
    log.events.push_back("line " + std::to_string(l.baud) + (l.oddParity ? " 8O1" : " 8N1"));
  }

  // Puts bytes on the line: each takes its bit time; they start no earlier than `ready`.
  void send(Micros ready, const std::vector<uint8_t>& bytes) {
    Micros t = std::max(ready, outFree);
    for (uint8_t b : bytes) {
      t += byteTime(lineAt(t));
      out.emplace_back(t, b);
    }
    outFree = t;
    if (sptp) log.sptpBytesSent += bytes.size();
  }

  // ---- faults ----
  std::vector<Fault*> varnFaults(const uint8_t* cmd) {
    std::vector<Fault*> hit;
    std::string h = hex(cmd, 7);
    for (auto& f : sc.faults) {
      static const char* kinds[] = {"noreply", "late", "truncate", "badhead", "badsum", "refuse", "notyet",
                                    "garbage", "otherid", "gone", "nosignal", "busy", "executing"};
      if (std::find_if(std::begin(kinds), std::end(kinds), [&](const char* k) { return f.kind == k; }) == std::end(kinds))
        continue;
      if (h.compare(0, f.cmd.size(), f.cmd) != 0) continue;
      int i = f.seen++;
      if (i >= f.at && (f.times == 0 || i < f.at + f.times)) hit.push_back(&f);
    }
    return hit;
  }
  Fault* blockFault(const std::string& kind, int block) {
    for (auto& f : sc.faults) {
      if (f.kind != kind || f.at != block) continue;
      int i = f.seen++;
      if (f.times == 0 || i < f.times) return &f;
    }
    return nullptr;
  }
  static const Fault* find(const std::vector<Fault*>& v, const char* kind) {
    for (auto* f : v)
      if (f->kind == kind) return f;
    return nullptr;
  }

  // ---- tape ----
  // Where the tape begins: at zero, or where a tape that begins before zero stood.
  double tapeBegin() const { return std::min<double>(0, sc.tapeStart); }
  double position(const Device& d, Micros t) const {
    double p = d.pos0 + d.speed * double(t - d.t0) * sc.fps / 1e6;
    return std::max(p, tapeBegin());
  }
  // What the transport does by itself, at the moment it happens: a photo search pauses on
  // the scene it found, and winding back stops when the tape reaches its beginning.
  void settle(Device& d, Micros t) {
    if (d.searchResult == 2 && !d.searchPaused && t >= d.searchDone) {
      transport(d, d.searchDone, 5, 0, 0x05, 0, 0, 0);
      d.pos0 = d.searchScene;
      d.searchPaused = true;
    }
    if (d.speed >= 0) return;
    const double perMicro = -d.speed * sc.fps / 1e6;
    const Micros reached = d.t0 + Micros(std::max<double>(0, d.pos0 - tapeBegin()) / perMicro);
    if (reached > t) return;
    d.pos0 = tapeBegin();
    d.t0 = reached;
    d.mode = 1;
    d.speed = 0;
    d.detail = 0x01;
    d.detailP[0] = d.detailP[1] = d.detailP[2] = 0;
    log.events.push_back("tape at its start: stop");
  }
  void transport(Device& d, Micros t, int mode, double speed, int detail, int p1, int p2, int p3) {
    d.pos0 = position(d, t);
    d.t0 = t;
    d.mode = mode;
    d.speed = speed;
    d.detail = detail;
    d.detailP[0] = p1;
    d.detailP[1] = p2;
    d.detailP[2] = p3;
    d.busyUntil = t + sc.transition;
  }
  // The six data bytes of a status reply: mode, frame rate, and the time code in binary.
  void statusData(const Device& d, Micros t, uint8_t* p) const {
    const int64_t f = int64_t(position(d, t));
    const int64_t a = f < 0 ? -f : f;
    const int r = sc.fps;
    p[0] = uint8_t(d.mode);
    p[1] = r == 25 ? 0x04 : 0x00;
    p[2] = uint8_t(a / (3600 * r) % 64);
    p[3] = uint8_t(a / (60 * r) % 60) | (f < 0 ? 0x40 : 0);
    p[4] = uint8_t(a / r % 60) | (blankAt(int32_t(f)) ? 0x40 : 0);
    p[5] = uint8_t(a % r);
  }
  bool blankAt(int32_t f) const {
    if (!sc.tape) return true;
    for (auto [a, b] : sc.blank)
      if (f >= a && f < b) return true;
    return false;
  }

  // ---- pictures ----
  std::vector<uint8_t> madeUpFrame(int n) {
    std::vector<uint8_t> f(size_t(n) * 12000);
    for (auto& b : f) b = rnd();
    for (int s = 0; s < n; ++s) {
      uint8_t* q = f.data() + size_t(s) * 12000;
      auto id = [&](size_t blk, uint8_t b0, uint8_t b2) {
        q[blk * 80] = b0;
        q[blk * 80 + 1] = uint8_t(s * 16 + 7);
        q[blk * 80 + 2] = b2;
      };
      id(0, 0x1F, 0);
      id(1, 0x3F, 0);
      id(2, 0x3F, 1);
      for (uint8_t i = 0; i < 3; ++i) id(3 + i, 0x5F, i);
      for (uint8_t g = 0; g < 9; ++g) id(6 + 16u * g, 0x7F, g);
      for (uint8_t k = 0; k < 135; ++k) id(videoAt(k), 0x9F, k);
    }
    return f;
  }

  void grab(const Device& d, Micros t) {
    const PictureSpec& ps = sc.picture;
    width = ps.width;
    height = ps.height;
    if (!ps.dv) {
      picture.assign(size_t(ps.width) * ps.height * 3 / 2, 0);
      for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = ps.fill >= 0 ? uint8_t(ps.fill) : uint8_t((i * 7 + i / 256 + sc.seed) & 0xFF);
      pictureType = 0x00;
      log.frameGrabbed.clear();
    } else {
      std::vector<uint8_t> frame = ps.dvFrame.empty() ? madeUpFrame(ps.sequences) : ps.dvFrame;
      const int n = int(frame.size() / 12000);
      width = 720;
      height = n == 12 ? 576 : 480;
      // The frame carries the time code of the grabbed position in its subcode packs: the
      // last three of each subcode block, and every slot where the source frame had a
      // time-code pack of its own, so no reader finds the time the source was made at.
      int64_t f = std::max<int64_t>(0, int64_t(position(d, t)));
      const int r = sc.fps;
      const uint8_t pack[5] = {0x13, uint8_t(0xC0 | bcd(int(f % r))), uint8_t(0x80 | bcd(int(f / r % 60))),
                               uint8_t(0x80 | bcd(int(f / (60 * r) % 60))), uint8_t(0xC0 | bcd(int(f / (3600 * r) % 24)))};
      for (int s = 0; s < n; ++s)
        for (int blk = 1; blk <= 2; ++blk)
          for (int k = 0; k < 6; ++k) {
            uint8_t* slot = frame.data() + size_t(s) * 12000 + blk * 80 + 6 + 8 * k;
            if (k >= 3 || slot[0] == pack[0]) std::memcpy(slot, pack, 5);
          }
      log.frameGrabbed = frame;
      picture = encodeLayout(frame, ps.layout);
      pictureType = ps.layout;
    }
    log.pictureSent = picture;
  }

  std::vector<uint8_t> encodeLayout(const std::vector<uint8_t>& frame, uint8_t layout) {
    const int n = int(frame.size() / 12000);
    std::vector<uint8_t> p;
    auto blocks = [&](const uint8_t* seq, size_t first, size_t count) {
      p.insert(p.end(), seq + first * 80, seq + (first + count) * 80);
    };
    auto filler = [&] {
      for (int i = 0; i < 80; ++i) p.push_back(rnd());
    };
    for (int s = 0; s < n; ++s) {
      const uint8_t* seq = frame.data() + size_t(s) * 12000;
      if (layout == 0x70) {
        for (size_t k = 0; k < 135; ++k) blocks(seq, videoAt(k), 1);
        blocks(seq, 3, 3);
        blocks(seq, 1, 2);
        for (int i = 0; i < 4; ++i) filler();
        continue;
      }
      blocks(seq, 0, 6);
      for (size_t g = 0; g < 9; ++g) {
        const size_t a = 6 + 16 * g;
        if (layout == 0x60) {
          blocks(seq, a, 1);
          blocks(seq, a + 1, 5);
          filler();
          blocks(seq, a + 6, 5);
          filler();
          blocks(seq, a + 11, 5);
        } else {
          blocks(seq, a + 1, 5);
          blocks(seq, a, 1);
          blocks(seq, a + 6, 5);
          filler();
          blocks(seq, a + 11, 5);
          filler();
        }
      }
    }
    return p;
  }

  // ---- control protocol ----
  void reply(Micros ready, int id, uint8_t status, const uint8_t* data, const std::vector<Fault*>& faults) {
    std::vector<uint8_t> r{0xFC, 0xFF, uint8_t(id), status};
    for (int i = 0; i < 6; ++i) r.push_back(data ? data[i] : 0);
    if (find(faults, "refuse")) r[3] = 0x01;
    if (find(faults, "notyet")) r[3] = 0x00;
    if (find(faults, "otherid")) r[2] = uint8_t(id + 1);
    r.push_back(varnSum(r.data()));
    if (find(faults, "badhead")) r[1] = 0xFE;
    if (find(faults, "badsum")) r[10] = uint8_t((r[10] + 1) & 0x7F);
    if (const Fault* f = find(faults, "truncate")) r.resize(size_t(std::clamp(f->value, 0, 10)));
    if (const Fault* f = find(faults, "garbage")) r.insert(r.begin(), size_t(std::max(f->value, 1)), 0x55);
    if (const Fault* f = find(faults, "late")) ready += Micros(f->value) * 1000;
    if (find(faults, "noreply")) {
      log.events.push_back("reply lost");
      return;
    }
    send(ready, r);
  }

  void onVarn(Micros t, const uint8_t* pk) {
    const int id = pk[2];
    const uint8_t* c = pk + 3;
    log.events.push_back("varn " + std::to_string(id) + " " + hex(c, 7));
    auto faults = varnFaults(c);
    if (id >= 100) return;  // a broadcast: nobody answers
    auto it = bus.find(id);
    if (it == bus.end()) return;
    Device& d = it->second;
    for (auto& [other, dev] : bus) settle(dev, t);
    if (find(faults, "gone")) d.gone = true;
    if (d.gone) return;
    const Micros ready = t + sc.latency;
    uint8_t p[6] = {0, 0, 0, 0, 0, 0};
    const bool on = d.spec.powered && t >= d.onAt;
    auto ok = [&](uint8_t status = 0x03) { reply(ready, id, status, p, faults); };
    auto refuse = [&] { reply(ready, id, 0x01, p, faults); };
    const bool tapeDevice = d.spec.kind == DeviceKind::Camcorder || d.spec.kind == DeviceKind::Deck;
    const uint32_t cmd = uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];

    switch (cmd >> 8) {
      case 0x3E40:  // power on / off
        if (c[2] == 0x70) {
          if (!d.spec.powered) d.onAt = t + d.spec.powerUp;
          d.spec.powered = true;
        } else if (c[2] == 0x60) {
          d.spec.powered = false;
        } else {
          return refuse();
        }
        return ok();
      case 0x3E4E:
      case 0x7C4E:  // power state, presence
        p[0] = on ? 1 : 0;
        return ok();
      case 0x7C41: {  // change ID: answered from the old ID
        int to = c[2];
        if (to < 1 || to > 99 || bus.count(to)) return refuse();
        ok();
        Device moved = d;
        moved.spec.id = to;
        bus.erase(it);
        bus[to] = moved;
        return;
      }
      case 0x7C49: std::memcpy(p, d.spec.type.data(), 6); return ok();
      case 0x7C45: std::memcpy(p, d.spec.version.data(), 6); return ok();
      case 0x7C4C:
      case 0x7C4D: {
        const size_t from = c[1] == 0x4C ? 0 : 6;
        std::memset(p, 0x7F, 6);
        for (size_t i = 0; i < 6 && from + i < d.spec.name.size() && from + i < 12; ++i) p[i] = uint8_t(d.spec.name[from + i]);
        return ok();
      }
      default: break;
    }
    if (!on) return refuse();

    if (tapeDevice) {
      const uint8_t st = t < d.busyUntil ? 0x43 : 0x03;
      // A transport command starts a change: it is answered as executing, with the status.
      auto moved = [&](int mode, double speed, int detail, int p1, int p2, int p3) {
        d.searchDone = 0;  // a transport command ends a photo search
        d.searchResult = 0;
        transport(d, t, mode, speed, detail, p1, p2, p3);
        statusData(d, t, p);
        return ok(0x43);
      };
      switch (cmd) {
        case 0x084460: return moved(1, 0, 0x01, 0, 0, 0);
        case 0x084475: return moved(2, 40, 0x02, 0, 0, 0);
        case 0x084465: return moved(3, -40, 0x03, 0, 0, 0);
        case 0x08436D: return moved(5, 0, 0x05, 0, 0, 0);
        case 0x084375: return moved(6, 1, 0x75, 0, 1, 0);
        case 0x084320: return moved(6, 0.2, 0x77, 0, 0, 0x33);
        case 0x084324: return moved(7, -0.2, 0x67, 0, 0, 0x33);
        case 0x084321: return moved(6, 10, 0x77, 0, 10, 0);
        case 0x084325: return moved(7, -10, 0x67, 0, 10, 0);
        case 0x084E20:  // status
          statusData(d, t, p);
          return ok(find(faults, "executing") ? 0x43 : st);
        case 0x484E20:
          p[0] = uint8_t(d.detail);
          p[1] = uint8_t(d.detailP[0]);
          p[2] = uint8_t(d.detailP[1]);
          p[3] = uint8_t(d.detailP[2]);
          return ok();
        case 0x484675:
        case 0x484665:
          if (d.mode != 5) return refuse();
          d.pos0 = position(d, t) + (c[2] == 0x75 ? 1 : -1);
          d.t0 = t;
          statusData(d, t, p);
          return ok();
        case 0x485370: return ok();
        case 0x485175: {  // photo search
          const double from = position(d, t) + 1;
          auto next = std::find_if(sc.photoScenes.begin(), sc.photoScenes.end(), [&](int32_t s) { return s >= from; });
          transport(d, t, 6, 10, 0x77, 0, 10, 0);
          d.searchPaused = false;
          if (next == sc.photoScenes.end()) {
            d.searchDone = t + 1000000;
            d.searchResult = 4;
          } else {
            d.searchDone = t + Micros((*next - from) / 10.0 / sc.fps * 1e6);
            d.searchResult = 2;
            d.searchScene = *next;
            d.pos0 = from;
          }
          return ok();
        }
        case 0x485220:
          if (d.searchDone && t >= d.searchDone) p[0] = uint8_t(d.searchResult);
          return ok(0x03);
        default: break;
      }
    }
    if (canCapture(d.spec) || tapeDevice) {
      switch (cmd) {
        case 0x164C60:
        case 0x7C5670:
        case 0x184960: return ok();
        case 0x164271: {  // grab the frame at the tape position
          Device& src = tapeDevice ? d : playDevice(d);
          if (find(faults, "nosignal") || blankAt(int32_t(position(src, t)))) {
            p[0] = 1;
            return ok();
          }
          grab(src, t);
          d.grabUntil = t + sc.grabTime;
          return ok();
        }
        case 0x164E20:
          if (const Fault* f = find(faults, "busy")) d.busyQueries = std::max(d.busyQueries, f->value);
          if (t < d.grabUntil || d.busyQueries > 0) {
            if (d.busyQueries > 0) --d.busyQueries;
            p[0] = 2;
          }
          return ok();
        default: break;
      }
      if (c[0] == 0x7C && c[1] == 0x70 && std::memcmp(c + 2, "SPTP1", 5) == 0) {
        reply(ready, id, 0x03, p, faults);
        // The camcorder speaks the transfer protocol once the answer is out.
        sptp = true;
        sptpId = id;
        sptpLast = t;
        lastBlock = -1;
        switchLine(std::max(outFree, ready), Line{9600, false});
        inBuf.clear();
        return;
      }
    }
    refuse();
  }

  Device& playDevice(Device& fallback) {
    for (auto& [id, d] : bus)
      if (d.spec.kind == DeviceKind::Camcorder || d.spec.kind == DeviceKind::Deck) return d;
    return fallback;
  }

  // ---- transfer protocol ----
  void ack(Micros ready, char verdict) {
    std::vector<uint8_t> a{0x10, 0x16, uint8_t(sptpId), 0x10, 0x02, 0x00, uint8_t(verdict), 0x10, 0x03};
    unsigned s = 0;
    for (uint8_t b : a) s += b;
    a.push_back(uint8_t(s >> 8));
    a.push_back(uint8_t(s));
    send(ready, a);
  }

  static void stuff(std::vector<uint8_t>& o, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      o.push_back(p[i]);
      if (p[i] == 0x10) o.push_back(0x10);
    }
  }

  void sendBlock(Micros ready, int k, bool again) {
    const uint32_t bsize = (pictureType & 0x40) ? 1920 : 2048;
    const int last = picture.empty() ? 0 : int((picture.size() + bsize - 1) / bsize) - 1;
    int number = k;
    if (blockFault("skip", k)) number = k + 1;
    if (blockFault("vanish", k)) {
      if (bus.count(sptpId)) bus[sptpId].gone = true;  // gone: nothing answers any more
      sptp = false;
      sptpId = -1;
      log.events.push_back("camcorder gone at block " + std::to_string(k));
      return;
    }
    std::vector<uint8_t> payload(bsize, 0);
    for (uint32_t i = 0; i < bsize; ++i) {
      size_t at = size_t(number) * bsize + i;
      payload[i] = at < picture.size() ? picture[at] : (sc.randomise ? rnd() : 0);
    }
    const uint32_t size = sc.picture.sizeOverride ? sc.picture.sizeOverride : uint32_t(picture.size());
    uint8_t h[14] = {uint8_t(number >> 8), uint8_t(number), sc.randomise ? rnd() : uint8_t(0),
                     uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size), pictureType,
                     sc.randomise ? rnd() : uint8_t(0), sc.randomise ? rnd() : uint8_t(0),
                     uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8), uint8_t(height)};
    std::vector<uint8_t> o;
    if (sc.randomise)
      for (int i = 0; i < 4; ++i) o.push_back(rnd());
    else
      o.insert(o.end(), {0x10, 0x16, uint8_t(sptpId), 0x10});
    o.push_back(blockFault("headbyte", k) ? 0x02 : 0x01);
    stuff(o, h, 14);
    o.push_back(0x10);
    o.push_back(0x02);
    if (blockFault("corrupt", k)) payload[bsize / 2] ^= 0x5A;
    const size_t payloadAt = o.size();
    stuff(o, payload.data(), payload.size());
    if (const Fault* f = blockFault("drop", k)) {
      size_t n = size_t(std::max(f->value, 1));
      o.erase(o.begin() + long(payloadAt + 500), o.begin() + long(payloadAt + 500 + n));
    }
    unsigned sum = 0;
    for (uint8_t b : h) sum += b;
    for (uint8_t b : payload) sum += b;
    o.push_back(0x10);
    o.push_back(blockFault("badtail", k) ? 0x05 : (number >= last ? 0x17 : 0x03));
    o.push_back(sc.randomise ? rnd() : uint8_t(sum >> 8));
    o.push_back(sc.randomise ? rnd() : uint8_t(sum));

    const Fault* slow = blockFault("queue", k);
    const Micros start = std::max(ready, outFree);
    // The line goes quiet for a while inside the block: "pause" once more bytes are out than
    // a DV block's data, "stall" before that.
    const Fault* pause = blockFault("pause", k);
    const Fault* stall = pause ? nullptr : blockFault("stall", k);
    if (const Fault* f = pause ? pause : stall) {
      const size_t cut = std::min<size_t>(o.size() - 10, pause ? 1930 : 1800);
      send(ready, std::vector<uint8_t>(o.begin(), o.begin() + long(cut)));
      send(outFree + Micros(f->value) * 1000, std::vector<uint8_t>(o.begin() + long(cut), o.end()));
    } else {
      send(ready, o);
    }
    // A reader that falls behind: while this block comes in, the program's queue is small.
    if (slow) queueLimits.push_back({start, outFree, size_t(slow->value)});
    lastBlock = number;
    ++log.blocksSent;
    if (again) ++log.blocksResent;
    log.events.push_back(std::string(again ? "block-again " : "block ") + std::to_string(number) + " " +
                         std::to_string(o.size()));
  }

  void onSptp(Micros t, const uint8_t* f, size_t len) {
    const uint8_t c = f[6];
    sptpLast = t;
    const Micros ready = t + sc.latency;
    log.events.push_back(std::string("sptp ") + char(c) + (len > 11 ? " " + hex(f + 7, len - 11) : ""));
    switch (c) {
      case '2': {
        auto fromBcd = [](uint8_t b) { return (b >> 4) * 10 + (b & 15); };
        uint32_t rate = uint32_t(fromBcd(f[7]) * 100 + fromBcd(f[8])) * 100;
        const DeviceSpec& d = bus.count(sptpId) ? bus[sptpId].spec : sc.devices.front();
        bool supported = std::find(d.rates.begin(), d.rates.end(), rate) != d.rates.end();
        bool refused = blockFault("rate-refuse", 0) != nullptr;
        bool noAck = blockFault("rate-noack", 0) != nullptr;
        if (!supported || refused) return ack(ready, '0');
        if (!noAck) ack(ready, '1');
        switchLine(std::max(outFree, ready), Line{rate, false});
        return;
      }
      case ':':
        if (!blockFault("start-noack", 0)) ack(ready, '1');
        return sendBlock(ready, 0, false);
      case '1': {
        const uint32_t bsize = (pictureType & 0x40) ? 1920 : 2048;
        const int last = int((picture.size() + bsize - 1) / bsize) - 1;
        if (lastBlock >= last) return;
        if (blockFault("repeat", lastBlock + 1)) return sendBlock(ready, lastBlock, true);
        return sendBlock(ready, lastBlock + 1, false);
      }
      case '5':
        if (lastBlock >= 0) sendBlock(ready, lastBlock, true);
        return;
      case ';':
        ack(ready, '1');
        sptp = false;
        switchLine(std::max(outFree, ready), kControlLine);
        return;
      default: return;
    }
  }

  // ---- input ----
  void onByte(Micros t, uint8_t b) {
    if (sptp && t - sptpLast > sc.sptpIdle) {
      sptp = false;
      switchLine(t, kControlLine);
      inBuf.clear();
      log.events.push_back("transfer idle: back to control");
    }
    inBuf.push_back(b);
    if (!sptp) {
      // control packets: FF FF id c0..c6 ck
      while (!inBuf.empty() && inBuf[0] != 0xFF) inBuf.erase(inBuf.begin());
      if (inBuf.size() >= 2 && inBuf[1] != 0xFF) inBuf.erase(inBuf.begin());
      if (inBuf.size() < 11) return;
      std::vector<uint8_t> pk(inBuf.begin(), inBuf.begin() + 11);
      if (varnSum(pk.data()) != pk[10]) {
        log.events.push_back("varn bad checksum " + hex(pk.data(), 11));
        inBuf.erase(inBuf.begin());
        return;
      }
      inBuf.erase(inBuf.begin(), inBuf.begin() + 11);
      onVarn(t, pk.data());
      return;
    }
    // transfer commands: 10 16 id 10 02 00 cmd data 10 03 sumH sumL
    static const uint8_t head[] = {0x10, 0x16};
    while (!inBuf.empty() && inBuf[0] != head[0]) inBuf.erase(inBuf.begin());
    if (inBuf.size() >= 2 && inBuf[1] != head[1]) {
      inBuf.erase(inBuf.begin());
      return;
    }
    if (inBuf.size() < 7) return;
    const uint8_t c = inBuf[6];
    const size_t n = c == '2' ? 2 : c == ':' ? 1 : 0;
    if (inBuf.size() < 11 + n) return;
    const uint8_t* f = inBuf.data();
    unsigned sum = 0;
    for (size_t i = 0; i < 9 + n; ++i) sum += f[i];
    bool good = f[3] == 0x10 && f[4] == 0x02 && f[5] == 0x00 && f[7 + n] == 0x10 && f[8 + n] == 0x03 &&
                f[9 + n] == uint8_t(sum >> 8) && f[10 + n] == uint8_t(sum) && f[2] == sptpId;
    if (!good) {
      log.events.push_back("sptp bad frame " + hex(f, 11 + n));
      inBuf.erase(inBuf.begin());
      return;
    }
    std::vector<uint8_t> frame(inBuf.begin(), inBuf.begin() + long(11 + n));
    inBuf.erase(inBuf.begin(), inBuf.begin() + long(11 + n));
    onSptp(t, frame.data(), frame.size());
  }
};

Simulator::Simulator(Scenario scenario) : d_(std::make_unique<Impl>(std::move(scenario))) {}
Simulator::~Simulator() = default;

void Simulator::Input(Micros t, const uint8_t* data, size_t n, Line program) {
  for (size_t i = 0; i < n; ++i) {
    const Micros at = std::max(t, d_->inFree) + byteTime(program);
    d_->inFree = at;
    if (!(program == d_->lineAt(at))) {
      ++d_->log.garbageIn;
      continue;
    }
    d_->onByte(at, data[i]);
  }
}

void Simulator::Output(Micros t, std::vector<uint8_t>& out, Line program) {
  auto& q = d_->out;
  while (!q.empty() && q.front().first <= t) {
    auto [at, b] = q.front();
    q.pop_front();
    out.push_back(program == d_->lineAt(at - 1) ? b : d_->rnd());
  }
}

Micros Simulator::NextOutput() const { return d_->out.empty() ? kNever : d_->out.front().first; }

size_t Simulator::QueueLimit() const {
  const Micros next = NextOutput();
  for (const auto& w : d_->queueLimits)
    if (next > w.from && next <= w.to) return w.limit;
  return d_->sc.queueLimit;
}

Line Simulator::LineAt(Micros t) const { return d_->lineAt(t); }

Log& Simulator::log() { return d_->log; }

}  // namespace camsim
