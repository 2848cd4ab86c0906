// What the link's tests share: the simulator as an in-process line on virtual time, the
// simulator as a process on a pseudo-terminal, the expected capture files computed from
// what the simulator sent, and the decoding of DV frames by an outside decoder.
#pragma once

#include <sys/types.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camsim.h"
#include "camsim_process.h"
#include "capture/serial_port.h"
#include "capture/varn.h"
#include "capture/varn_cpt.h"
#include "platform/clock.h"

namespace captest {

using Bytes = std::vector<uint8_t>;

// The simulator as the program's serial line: what the program writes reaches it at the
// virtual time of the write, and its answers queue up as their bytes arrive. Waits move
// the virtual clock to the next byte or the deadline.
class SimPort final : public capture::SerialPort {
 public:
  SimPort(camsim::Simulator& sim, platform::ManualClock& clock) : sim_(sim), clock_(clock) {}

  bool open(const std::string&) override {
    open_ = true;
    return true;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  std::optional<capture::LineSettings> settings() override { return settings_; }
  bool apply(const capture::LineSettings& s) override;
  bool write(const uint8_t* data, size_t n) override;
  bool waitReadable(platform::Clock::time_point deadline) override;
  int queued() override;
  int read(uint8_t* data, size_t n) override;
  void flushInput() override;
  int error() const override { return 0; }

 private:
  camsim::Micros now() const;
  camsim::Line line() const;
  void sync();
  camsim::Simulator& sim_;
  platform::ManualClock& clock_;
  capture::LineSettings settings_{};
  std::deque<uint8_t> queue_;
  bool open_ = false;
};

// One test's link: the program's objects on a line to the simulator.
class Rig {
 public:
  virtual ~Rig() = default;
  virtual capture::CVarnIO& io() = 0;
  // Ends the simulator and collects what it did.
  virtual void Finish() = 0;
  virtual std::string Name() const = 0;

  capture::VarnCpt& cpt() { return *cpt_; }
  capture::VarnSys& sys() { return *sys_; }
  std::string logText;
  Bytes pictureSent;
  Bytes frameGrabbed;

 protected:
  void makeObjects();
  std::unique_ptr<capture::VarnSys> sys_;
  std::unique_ptr<capture::VarnCpt> cpt_;
};

// The simulator in this process on a virtual clock: fast and deterministic.
std::unique_ptr<Rig> InProcessRig(const std::vector<std::string>& camsimArgs);
// The camsim program on a pseudo-terminal, the program's link on the real device and clock.
// Empty (with *why) when camsim cannot be started.
std::unique_ptr<Rig> PtyRig(const std::vector<std::string>& camsimArgs, std::string* why);

// The frame file the rebuild must give for a grabbed frame sent in `layout`
// (`pack`: the program's time-code pack, written for layout 0x60).
std::string ExpectedDvf(const Bytes& frame, uint8_t layout, const std::array<uint8_t, 5>& pack);

// A plain DV frame from a frame file: the stored blocks, and a header block for each sequence.
std::string DvFrameFromDvf(const std::string& dvf);

// Makes a DV frame (10 sequences: 720 x 480; 12: 720 x 576) of a test picture with ffmpeg.
// `recorded`: as a DV file holds it, with time-code packs (00:00:00:00) in its subcode;
// otherwise the bare frame of the encoder. Empty when ffmpeg fails.
std::string MakeDvFrameWithFfmpeg(int sequences, const std::string& workDir, bool recorded = false);

// Decodes DV frames into packed RGB pictures, top row first: ffmpeg, and the program's own codec.
class DvDecoder {
 public:
  virtual ~DvDecoder() = default;
  virtual std::string name() const = 0;
  // The packed 24-bit picture, or empty when the frame does not decode.
  virtual std::string Decode(const std::string& frame) = 0;
};
std::unique_ptr<DvDecoder> FfmpegDvDecoder(const std::string& workDir);
std::unique_ptr<DvDecoder> CodecDvDecoder();

// How often `what` occurs in `text`.
inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// How many times the log shows the program asking for `packet` (a line that begins with it),
// a packet sent again straight after itself counted once: the program repeats a packet
// whose answer came too late, as it may on a busy machine, and that is one request.
inline int Requests(const std::string& log, const std::string& packet) {
  int n = 0;
  bool previous = false;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const bool is = log.compare(at, packet.size(), packet) == 0;
    n += is && !previous;
    previous = is;
    at = end + 1;
  }
  return n;
}

// The capture hooks of a test: records what the capture reported, and answers the wait
// window's flags as planned.
struct RecordingHooks : capture::CaptureHooks {
  std::vector<int> progress;
  std::vector<std::string> calls;
  std::vector<std::string> files;
  bool albumTakes = true;      // the album takes the pictures handed to it
  int abortAfterBlocks = -1;   // Stop pressed once this many progress reports have come
  int blockErrorAt = -1;       // the block-error button pressed on this poll of a block
  int polls = 0;

  void ShowWait() override { calls.push_back("show"); }
  void AllowAbort(bool allow) override { calls.push_back(allow ? "abort-on" : "abort-off"); }
  void Progress(int p) override { progress.push_back(p); }
  bool AbortRequested() override { return abortAfterBlocks >= 0 && int(progress.size()) >= abortAfterBlocks; }
  bool TakeBlockError() override { return ++polls == blockErrorAt; }
  bool CaptureFileReady(capture::CaptureFile, const std::string& path) override {
    files.push_back(path);
    return albumTakes;
  }
  void CloseWait() override { calls.push_back("close"); }
};

}  // namespace captest
