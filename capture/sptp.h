// The picture-transfer protocol the camcorder speaks after the switch from the control
// protocol: short framed commands from the program, 11-byte acknowledgements, and the
// picture as data block frames.
//
//   command  10 16 id 10 02 00 cmd data(0..3) 10 03 sumH sumL   (sum of the bytes before it,
//                                                                no byte stuffing)
//   ack      10 16 id 10 .. .. verdict ....                      ("1" = done)
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "capture/comm.h"
#include "capture/varn.h"

namespace capture {

struct SptpCommand {
  uint8_t character = 0;
  uint8_t length = 0;  // data bytes, 0..3
  std::array<uint8_t, 3> data{};
};

namespace sptp {
inline constexpr SptpCommand kRate9600{'2', 2, {0x00, 0x96}};
inline constexpr SptpCommand kRate19200{'2', 2, {0x01, 0x92}};
inline constexpr SptpCommand kRate38400{'2', 2, {0x03, 0x84}};
inline constexpr SptpCommand kRate115200{'2', 2, {0x11, 0x52}};
inline constexpr SptpCommand kStart{':', 1, {0x00}};
inline constexpr SptpCommand kNext{'1', 0, {}};
inline constexpr SptpCommand kResend{'5', 0, {}};
inline constexpr SptpCommand kEnd{';', 0, {}};
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEtx = 0x03;  // end code: more blocks follow
inline constexpr uint8_t kEtb = 0x17;  // end code: the last block
}  // namespace sptp

// The rate command, the rate it asks for and the block polling pace for a configured line
// rate (any rate other than 9600, 19200 and 115200 is asked as 38400).
struct RateChoice {
  SptpCommand command;
  uint32_t baud;
  uint32_t paceMs;
};
RateChoice RateFor(uint32_t baud);

struct SptpFrame {
  uint8_t length = 0;
  std::array<uint8_t, 14> bytes{};
};
SptpFrame BuildSptpFrame(uint8_t id, const SptpCommand& command);

class CSptpIO {
 public:
  explicit CSptpIO(CComm& comm) : comm_(comm) {}

  // Builds the frame for `id`.
  void Build(uint8_t id, const SptpCommand& command);
  // Sends the frame; reads and checks the acknowledgement unless the command is "1" or "5".
  uint32_t Send();
  // Repeats Send until an acknowledgement says done, at most n times.
  bool SendRetry(int n);

  const SptpFrame& frame() const { return frame_; }
  const std::array<uint8_t, 11>& ack() const { return ack_; }
  uint32_t error() const { return error_; }

  // Minimum time between a send and the next one when the first got no acknowledgement.
  static constexpr std::chrono::milliseconds kPacing{2000};

 private:
  CComm& comm_;
  SptpFrame frame_;
  std::array<uint8_t, 11> ack_{};
  uint32_t error_ = 0;
  std::optional<platform::Clock::time_point> lastSend_;
};

}  // namespace capture
