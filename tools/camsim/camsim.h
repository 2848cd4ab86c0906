// camsim: the other end of the camcorder's serial line.
//
// A bus of devices (camcorders, decks, capture boxes, printers) that answer the control
// protocol, a camcorder with a tape and a transport, a capture unit that grabs a frame,
// and the picture-transfer session that sends it. Written from the wire protocol alone:
// it shares nothing with the program and knows none of its timings; it answers promptly,
// or as its fault plan says.
//
// The simulator runs on times given by its caller (microseconds): a transport feeds it the
// bytes the program sent, with the time and the program's line settings, and takes the
// bytes that have reached the program by a given time. The line is emulated: every byte
// takes its bit time at the current rate (11 bits with parity, 10 without).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

using Micros = int64_t;
inline constexpr Micros kNever = INT64_MAX;

// A side's line: rate and whether odd parity is on.
struct Line {
  uint32_t baud = 9600;
  bool oddParity = true;
  bool operator==(const Line&) const = default;
};

enum class DeviceKind { Camcorder, Deck, CaptureBox, Printer };

struct DeviceSpec {
  int id = 6;
  DeviceKind kind = DeviceKind::Camcorder;
  std::array<uint8_t, 6> type{};
  std::array<uint8_t, 6> version{};
  std::string name;
  bool powered = true;
  Micros powerUp = 300000;  // after power on, the power state shows on only after this
  std::vector<uint32_t> rates{9600, 19200, 38400, 115200};
};

struct PictureSpec {
  bool dv = false;
  uint8_t layout = 0x40;          // DV block layout: 0x40, 0x60 or 0x70 (any other type is sent as is)
  std::vector<uint8_t> dvFrame;   // a DV frame of 10 or 12 sequences; empty: a made-up one
  int sequences = 10;             // of the made-up frame
  uint16_t width = 64;            // uncompressed picture
  uint16_t height = 48;
  int fill = -1;                  // every byte of the uncompressed picture, or -1 for a pattern
  uint32_t sizeOverride = 0;      // the picture size the header announces (0: the real one)
};

// One planned fault. VARN faults count the packets whose command bytes begin with `cmd`
// (hex, "" for any); block faults count the sends of block `at`.
struct Fault {
  std::string kind;
  std::string cmd;
  int at = 0;     // the first occurrence that is hit (0-based), or the block number
  int times = 1;  // occurrences hit from there; 0 = all
  int value = 0;
  int seen = 0;
};

struct Scenario {
  std::vector<DeviceSpec> devices;
  PictureSpec picture;
  std::vector<Fault> faults;
  Micros latency = 2000;       // from the end of a command to the start of the answer
  Micros transition = 200000;  // a transport change shows as executing this long
  Micros grabTime = 100000;    // the capture unit is busy this long after a grab
  Micros sptpIdle = 10000000;  // a transfer without commands this long falls back to control
  uint32_t seed = 1;
  bool randomise = true;       // bytes the program must not look at are random
  size_t queueLimit = 4096;    // the program's driver input queue
  int fps = 30;
  int32_t tapeStart = 0;       // frames; the tape begins at 0, or here when this is below 0
  bool tape = true;
  std::vector<std::pair<int32_t, int32_t>> blank;  // tape regions without time code or picture
  std::vector<int32_t> photoScenes;

  // The default bus: a camcorder at ID 6 that can capture.
  static Scenario Default();
  // Options as the command line gives them (see camsim --help). Adds to `base`.
  static std::optional<Scenario> Parse(const std::vector<std::string>& args, std::string* error,
                                       Scenario base = Default());
};

struct Log {
  std::vector<std::string> events;
  uint64_t sptpBytesSent = 0;  // bytes sent while in the transfer protocol
  uint64_t blocksSent = 0;
  uint64_t blocksResent = 0;
  uint64_t overrun = 0;        // bytes lost to a full program queue (counted by the transport)
  uint64_t garbageIn = 0;      // bytes received on a line set differently
  std::vector<uint8_t> pictureSent;   // the picture data of the last transfer (its picture size)
  std::vector<uint8_t> frameGrabbed;  // the DV frame of the last grab
  std::string Text() const;
};

class Simulator {
 public:
  explicit Simulator(Scenario scenario);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The program sent these bytes at time t with its line set as `program`.
  void Input(Micros t, const uint8_t* data, size_t n, Line program);
  // Appends the bytes that have reached the program by time t. Bytes sent while the
  // program's line was set otherwise arrive as noise.
  void Output(Micros t, std::vector<uint8_t>& out, Line program);
  // When the next byte reaches the program.
  Micros NextOutput() const;
  // How many bytes the program's input queue holds before it overruns, now.
  size_t QueueLimit() const;
  // The simulator's own line at time t.
  Line LineAt(Micros t) const;

  Log& log();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace camsim
