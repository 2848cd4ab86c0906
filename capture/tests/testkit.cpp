#include "testkit.h"

#include "zeb_dv32.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "capture/posix_serial_port.h"
#include "platform/registry_store.h"
#include "platform/testsupport/testsupport.h"

extern char** environ;

namespace captest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// ---- SimPort ---------------------------------------------------------------------------------

camsim::Micros SimPort::now() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(clock_.now().time_since_epoch()).count();
}

camsim::Line SimPort::line() const { return {settings_.baud, settings_.parity == capture::Parity::Odd}; }

void SimPort::sync() {
  const size_t limit = sim_.QueueLimit();
  std::vector<uint8_t> out;
  sim_.Output(now(), out, line());
  for (uint8_t b : out) {
    if (queue_.size() >= limit)
      ++sim_.log().overrun;
    else
      queue_.push_back(b);
  }
}

bool SimPort::apply(const capture::LineSettings& s) {
  sync();
  settings_ = s;
  return true;
}

bool SimPort::write(const uint8_t* data, size_t n) {
  sync();
  sim_.Input(now(), data, n, line());
  return true;
}

bool SimPort::waitReadable(platform::Clock::time_point deadline) {
  for (;;) {
    sync();
    if (!queue_.empty()) return true;
    const camsim::Micros next = sim_.NextOutput();
    auto at = next == camsim::kNever ? platform::Clock::time_point::max()
                                     : platform::Clock::time_point(std::chrono::microseconds(next));
    if (at > deadline) {
      if (deadline > clock_.now()) clock_.advance(deadline - clock_.now());
      sync();
      return !queue_.empty();
    }
    if (at > clock_.now()) clock_.advance(at - clock_.now());
  }
}

int SimPort::queued() {
  sync();
  return int(queue_.size());
}

int SimPort::read(uint8_t* data, size_t n) {
  sync();
  size_t k = std::min(n, queue_.size());
  std::copy_n(queue_.begin(), k, data);
  queue_.erase(queue_.begin(), queue_.begin() + long(k));
  return int(k);
}

void SimPort::flushInput() {
  sync();
  queue_.clear();
}

// ---- rigs ----------------------------------------------------------------------------------------

void Rig::makeObjects() {
  sys_ = std::make_unique<capture::VarnSys>(io());
  cpt_ = std::make_unique<capture::VarnCpt>(io());
  cpt_->settings().workDir = (adtest::testDir() / "work").string();
}

namespace {

class InProcess final : public Rig {
 public:
  explicit InProcess(camsim::Scenario s)
      : sim_(std::move(s)), port_(sim_, clock_), io_(port_, clock_, [](int) { return std::string("sim"); }) {
    io_.Open(1);
    io_.SetupVarn();
    makeObjects();
  }
  capture::CVarnIO& io() override { return io_; }
  void Finish() override {
    logText = sim_.log().Text();
    pictureSent = sim_.log().pictureSent;
    frameGrabbed = sim_.log().frameGrabbed;
  }
  std::string Name() const override { return "in-process"; }

 private:
  platform::ManualClock clock_;
  camsim::Simulator sim_;
  SimPort port_;
  capture::CVarnIO io_;
};

class OnPty final : public Rig {
 public:
  static constexpr int kPtyFirstByteMs = 400;
  bool Start(const std::vector<std::string>& args, std::string* why) {
    dir_ = adtest::testDir() / "camsim";
    fs::create_directories(dir_);
    std::vector<std::string> all{"--log", (dir_ / "log").string(), "--save-picture", (dir_ / "picture").string(),
                                 "--save-frame", (dir_ / "frame").string()};
    all.insert(all.end(), args.begin(), args.end());
    if (!proc_.Start(all, why)) return false;
    platform::RegistryStore store;
    auto key = store.create(platform::RegRoot::LocalMachine, capture::kPortMapKey);
    if (!key || !key->writeString("COM1", proc_.device())) {
      *why = "cannot write the port map";
      return false;
    }
    io_ = std::make_unique<capture::CVarnIO>(port_, platform::SystemClock::instance(),
                                             [](int n) { return capture::ComPortPath(n, platform::RegistryStore()); });
    // camsim is a process like any other: on a busy machine it may start an answer later
    // than a camcorder on its line ever would, and a case that counts on each of its retries
    // (two "not yet" answers, then the real one) would lose one to the scheduler. The
    // line's own first-byte limit is held on virtual time by the in-process rig; here the
    // first byte may take longer, still well short of the answers a case makes late.
    io_->timing().firstByteMs = kPtyFirstByteMs;
    if (!io_->Open(1) || !io_->SetupVarn()) {
      *why = "cannot open " + proc_.device() + ": " + std::strerror(io_->lastError());
      return false;
    }
    makeObjects();
    return true;
  }
  capture::CVarnIO& io() override { return *io_; }
  void Finish() override {
    if (io_) io_->Close();
    proc_.Stop();
    auto read = [&](const char* name) {
      std::error_code ec;
      return fs::exists(dir_ / name, ec) ? adtest::readFile(dir_ / name) : std::string();
    };
    logText = read("log");
    std::string p = read("picture"), f = read("frame");
    pictureSent.assign(p.begin(), p.end());
    frameGrabbed.assign(f.begin(), f.end());
  }
  std::string Name() const override { return "pty"; }
  ~OnPty() override {
    cpt_.reset();
    sys_.reset();
    io_.reset();
  }

 private:
  fs::path dir_;
  CamsimProcess proc_;
  capture::PosixSerialPort port_;
  std::unique_ptr<capture::CVarnIO> io_;
};

}  // namespace

std::unique_ptr<Rig> InProcessRig(const std::vector<std::string>& args) {
  std::string why;
  auto s = camsim::Scenario::Parse(args, &why);
  if (!s) throw std::runtime_error("camsim scenario: " + why);
  return std::make_unique<InProcess>(std::move(*s));
}

std::unique_ptr<Rig> PtyRig(const std::vector<std::string>& args, std::string* why) {
  auto rig = std::make_unique<OnPty>();
  if (!rig->Start(args, why)) return nullptr;
  return rig;
}

// ---- expected files and DV frames -----------------------------------------------------------

std::string ExpectedDvf(const Bytes& frame, uint8_t layout, const std::array<uint8_t, 5>& pack) {
  const int n = int(frame.size() / 12000);
  static const uint8_t head525[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x35,
                                      0x00, 0x00, 0x01, 0xD1, 0xC0, 0x00, 0x01, 0xD1, 0xA0, 0x00, 0x00,
                                      0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  static const uint8_t head625[32] = {0x44, 0x56, 0x46, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x53, 0x44, 0x36,
                                      0x00, 0x00, 0x02, 0x2E, 0xE0, 0x00, 0x02, 0x2E, 0xC0, 0x00, 0x00,
                                      0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::string out(reinterpret_cast<const char*>(n == 12 ? head625 : head525), 32);
  for (int s = 0; s < n; ++s) {
    Bytes seq(frame.begin() + s * 12000, frame.begin() + (s + 1) * 12000);
    int video = 0;
    for (int b = 1; b < 150; ++b) {
      uint8_t* p = seq.data() + b * 80;
      uint8_t kind, number;
      if (b <= 2) {
        kind = 0x3F, number = uint8_t(b - 1);
      } else if (b <= 5) {
        kind = 0x5F, number = uint8_t(b - 3);
      } else if ((b - 6) % 16 == 0) {
        kind = 0x7F, number = uint8_t((b - 6) / 16);
        if (layout == 0x70) std::memset(p, 0xFF, 80);
      } else {
        kind = 0x9F, number = uint8_t(video++);
      }
      p[0] = kind;
      p[1] = uint8_t(16 * s + 7);
      p[2] = number;
      if (layout == 0x60 && b <= 2) {
        std::memcpy(p + 30, pack.data(), 5);
        if (s < n / 2) {
          std::memcpy(p + 38, pack.data(), 5);
          std::memcpy(p + 46, pack.data(), 5);
        }
      }
    }
    out.append(reinterpret_cast<const char*>(seq.data()) + 80, 149 * 80);
  }
  return out;
}

std::string DvFrameFromDvf(const std::string& dvf) {
  if (dvf.size() < 32) return {};
  const int n = dvf[10] == '5' ? 10 : 12;
  if (dvf.size() != 32 + size_t(n) * 11920) return {};
  std::string frame;
  for (int s = 0; s < n; ++s) {
    std::string header(80, char(0xFF));
    const uint8_t h[8] = {0x1F, uint8_t(16 * s + 7), 0x00, uint8_t(n == 12 ? 0xBF : 0x3F), 0x78, 0x78, 0x78, 0x78};
    header.replace(0, 8, reinterpret_cast<const char*>(h), 8);
    frame += header;
    frame.append(dvf, 32 + size_t(s) * 11920, 11920);
  }
  return frame;
}

std::string MakeDvFrameWithFfmpeg(int sequences, const std::string& workDir, bool recorded) {
  const bool pal = sequences == 12;
  const std::string out = workDir + (pal ? "/source625" : "/source525") + (recorded ? "-recorded.dv" : ".dv");
  int rc = adtest::runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                               pal ? "testsrc=size=720x576:rate=25" : "testsrc=size=720x480:rate=30000/1001",
                               "-frames:v", "1", "-c:v", "dvvideo", "-pix_fmt", pal ? "yuv420p" : "yuv411p", "-f",
                               recorded ? "dv" : "rawvideo", out});
  if (rc != 0) return {};
  std::string f = adtest::readFile(out);
  return f.size() == size_t(sequences) * 12000 ? f : std::string();
}

namespace {
class Ffmpeg final : public DvDecoder {
 public:
  explicit Ffmpeg(std::string dir) : dir_(std::move(dir)) {}
  std::string name() const override { return "ffmpeg"; }
  std::string Decode(const std::string& frame) override {
    const std::string in = dir_ + "/decode-in.dv", out = dir_ + "/decode-out.rgb";
    adtest::writeFile(in, frame);
    std::error_code ec;
    fs::remove(out, ec);
    if (adtest::runProgram({"ffmpeg", "-v", "error", "-y", "-f", "dv", "-i", in, "-frames:v", "1", "-f", "rawvideo",
                            "-pix_fmt", "rgb24", out}) != 0)
      return {};
    return fs::exists(out) ? adtest::readFile(out) : std::string();
  }

 private:
  std::string dir_;
};
}  // namespace

std::unique_ptr<DvDecoder> FfmpegDvDecoder(const std::string& workDir) { return std::make_unique<Ffmpeg>(workDir); }

namespace {
class Codec final : public DvDecoder {
 public:
  std::string name() const override { return "zeb_dv32"; }
  std::string Decode(const std::string& frame) override {
    const bool pal = frame.size() == 144000;
    if (!pal && frame.size() != 120000) return {};
    const uint32_t width = 720, height = pal ? 576 : 480;
    ::DvDecoder* dec = DvcOpenDecoder(pal ? DVC_SYSTEM_625 : 0);
    if (!dec) return {};
    DvcDibFormat fmt{};
    fmt.width = width;
    fmt.height = height;
    fmt.inputForm = DVC_FORM_FRAME;
    const uint32_t stride = DvcGetDibInfo(width, height) / height;
    std::vector<uint8_t> src(frame.begin(), frame.end()), dib(size_t(stride) * height);
    uint32_t outSize = uint32_t(dib.size());
    const DvcResult rc = DvcDecode(dec, src.data(), uint32_t(src.size()), dib.data(), &outSize, &fmt);
    DvcCloseDecoder(dec);
    if (rc != DVC_OK) return {};
    // The bitmap is BGR, bottom row first; the other decoders give RGB, top row first.
    std::string rgb(size_t(width) * height * 3, '\0');
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* row = dib.data() + size_t(height - 1 - y) * fmt.stride;
      for (uint32_t x = 0; x < width; ++x) {
        char* px = &rgb[(size_t(y) * width + x) * 3];
        px[0] = char(row[x * 3 + 2]);
        px[1] = char(row[x * 3 + 1]);
        px[2] = char(row[x * 3]);
      }
    }
    return rgb;
  }
};
}  // namespace

std::unique_ptr<DvDecoder> CodecDvDecoder() { return std::make_unique<Codec>(); }

}  // namespace captest
