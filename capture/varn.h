// The control protocol: 11-byte packets with a 7-bit checksum, device IDs, pacing,
// retries and the judging of the reply's status byte; and the device-level commands
// (power, presence, identification, ID change, model tests).
//
//   command  FF FF id c0 c1 c2 c3 c4 c5 c6 ck
//   reply    FC FF id s  p0 p1 p2 p3 p4 p5 ck     s: low 3 bits completion class, 0x40 executing
//
// IDs 1..99 answer; 100..127 take a packet without answering (a broadcast). An answer that
// comes after its wait is never taken for a later packet's where it can be told apart: by
// the ID it comes from, by its still arriving when the next packet is due, or by the
// next packet's own answer right behind it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "capture/comm.h"

namespace capture {

inline constexpr size_t kVarnPacketSize = 11;
using VarnPacket = std::array<uint8_t, kVarnPacketSize>;
using VarnTemplate = std::array<uint8_t, 7>;  // c0..c6

// Result codes of one exchange (shared by the link's protocol operations).
enum LinkResult : uint32_t {
  kLinkOk = 0,
  kLinkWriteRefused = 2,
  kLinkNoReply = 3,
  kLinkBadHead = 4,
  kLinkBadChecksum = 5,
  kLinkBadId = 6,
};

// (256 - sum of bytes 0..9 mod 256) & 0x7F.
uint8_t VarnChecksum(const uint8_t* bytes);

// 0 for a good reply, 4 when it does not begin FC FF, 5 when its checksum is wrong.
uint32_t CheckVarnReply(const uint8_t* rx);

// The completion class of a reply's status byte: its low three bits (bit 3 and the bits
// above it, such as the executing bit 6, are not part of it).
inline uint8_t StatusClass(uint8_t status) { return status & 7; }

// What a reply's status byte says about the command.
enum class VarnVerdict { Done, Refused, Again };
VarnVerdict JudgeVarnStatus(uint8_t status);

struct VarnReply {
  uint32_t code = kLinkOk;  // the exchange's result code
  bool ok = false;          // TransactRetry: the command was done
  int attempts = 0;         // TransactRetry: exchanges made
  VarnPacket rx{};          // the reply; all 0 after codes 3, 4, 5
  uint8_t status() const { return rx[3]; }
  uint8_t p(int i) const { return rx[size_t(4 + i)]; }
};

namespace varn {
inline constexpr VarnTemplate kPowerOn{0x3E, 0x40, 0x70, 0, 0, 0, 0};
inline constexpr VarnTemplate kPowerOff{0x3E, 0x40, 0x60, 0, 0, 0, 0};
inline constexpr VarnTemplate kPowerState{0x3E, 0x4E, 0x20, 0, 0, 0, 0};
inline constexpr VarnTemplate kPresence{0x7C, 0x4E, 0x20, 0, 0, 0, 0};
inline constexpr VarnTemplate kChangeId{0x7C, 0x41, 0xFF, 0, 0, 0, 0};  // c2 = the new ID
inline constexpr VarnTemplate kType{0x7C, 0x49, 0, 0, 0, 0, 0};
inline constexpr VarnTemplate kVersion{0x7C, 0x45, 0, 0, 0, 0, 0};
inline constexpr VarnTemplate kName1{0x7C, 0x4C, 0, 0, 0, 0, 0};
inline constexpr VarnTemplate kName2{0x7C, 0x4D, 0, 0, 0, 0, 0};
// Transport of the play device.
inline constexpr VarnTemplate kStop{0x08, 0x44, 0x60, 0, 0, 0, 0};
inline constexpr VarnTemplate kPause{0x08, 0x43, 0x6D, 0, 0, 0, 0};
inline constexpr VarnTemplate kStatus{0x08, 0x4E, 0x20, 0, 0, 0, 0};
// Capture preparation and the switch to the picture transfer.
inline constexpr VarnTemplate kSelectStandalone{0x16, 0x4C, 0x60, 0, 0, 0, 0};
inline constexpr VarnTemplate kCapturePrepare{0x16, 0x42, 0x71, 0, 0, 0, 0};
inline constexpr VarnTemplate kCaptureStatus{0x16, 0x4E, 0x20, 0, 0, 0, 0};
inline constexpr VarnTemplate kEnter1{0x7C, 0x56, 0x70, 0, 0, 0, 0};
inline constexpr VarnTemplate kEnter2{0x7C, 0x4F, 0x01, 0, 0, 0, 0};  // sent with c2 = 3
inline constexpr VarnTemplate kEnterSptp{0x7C, 0x70, 'S', 'P', 'T', 'P', '1'};
inline constexpr VarnTemplate kAfterLeave{0x18, 0x49, 0x60, 0, 0, 0, 0};
inline constexpr uint8_t kBroadcastId = 127;
}  // namespace varn

class CVarnIO : public CComm {
 public:
  using CComm::CComm;

  // The packet for `id` with the command bytes of the template (head and checksum are set on sending).
  static VarnPacket Prepare(uint8_t id, const VarnTemplate& command);
  // One exchange: sends tx and, for IDs 1..99, reads and checks the reply.
  VarnReply Transact(const VarnPacket& tx);
  // Repeats the exchange until the status says done, at most n times. A broadcast is sent once.
  VarnReply TransactRetry(const VarnPacket& tx, int n);

  uint32_t error() const { return error_; }
  // Set while a GUI sequence of several exchanges (a transport or power command) owns the
  // bus; the polling thread does not poll while it is set.
  std::atomic<bool>& BusBusy() { return busBusy_; }

  // Minimum time between a send and the next one when the first got no answer.
  static constexpr std::chrono::milliseconds kPacing{80};
  // How long after a packet that got no answer in time its answer is watched for.
  static constexpr std::chrono::milliseconds kLateReplies{1000};
  // A packet's time on the line: 11 bytes of 11 bits at 9600 baud.
  static constexpr std::chrono::microseconds kPacketTime{kVarnPacketSize * 11 * 1000000 / 9600};
  // Replies of other devices an exchange passes over while it waits for its own.
  static constexpr int kRepliesPassedOver = 3;

 private:
  void pace();
  // Reads the reply from `id`: its check's code, or kLinkNoReply when none came in time.
  uint32_t readReply(uint8_t id, VarnPacket& rx);
  void letAnswerInFlightPass();
  uint32_t error_ = 0;
  std::optional<platform::Clock::time_point> lastSend_;
  // When each device (1..99) last got a packet that it did not answer in time.
  std::array<std::optional<platform::Clock::time_point>, 100> unanswered_{};
  std::atomic<bool> busBusy_{false};
};

// The device record that identification fills.
struct VarnDev {
  uint8_t id = 0;
  uint8_t flags = 0;  // 1 movie device, 2 printer, 4 capture device
  std::array<uint8_t, 6> type{};
  std::array<uint8_t, 6> version{};
  char name[13] = {};
  uint8_t present = 0;
};

class VarnSys {
 public:
  explicit VarnSys(CVarnIO& io) : io_(io) {}

  bool SetTarget(uint32_t id) {
    target_ = id;
    return true;
  }
  uint32_t target() const { return target_; }

  bool Power(bool on, bool wait);
  bool IsPresent(uint32_t id);
  bool EnsureOn(uint32_t id);
  bool ChangeId(uint32_t id, uint32_t newId);
  bool Identify(VarnDev& dev);
  bool GetType(VarnDev& dev);
  bool GetVersion(VarnDev& dev);
  bool GetName(VarnDev& dev);

  static bool IsMovie(const VarnDev& dev);
  static bool IsPrinter(const VarnDev& dev);
  static bool IsCapture(const VarnDev& dev);
  static bool IsVersionGroup1(const VarnDev& dev);
  static bool IsVersionGroup2(const VarnDev& dev);
  static bool IsVersionAtMost394(const VarnDev& dev);

  // Power-state queries after a power command; the last one still in the other state fails.
  static constexpr int kPowerQueries = 52;

 private:
  VarnReply send(uint32_t id, const VarnTemplate& command, int attempts = 5);
  CVarnIO& io_;
  uint32_t target_ = 0;
};

}  // namespace capture
