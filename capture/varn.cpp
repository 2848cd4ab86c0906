#include "capture/varn.h"

#include <algorithm>
#include <cstring>

namespace capture {

uint8_t VarnChecksum(const uint8_t* bytes) {
  unsigned sum = 0;
  for (int i = 0; i < 10; ++i) sum += bytes[i];
  return uint8_t((256 - (sum & 0xFF)) & 0x7F);
}

uint32_t CheckVarnReply(const uint8_t* rx) {
  if (rx[0] != 0xFC || rx[1] != 0xFF) return kLinkBadHead;
  if (VarnChecksum(rx) != rx[10]) return kLinkBadChecksum;
  return kLinkOk;
}

VarnVerdict JudgeVarnStatus(uint8_t s) {
  // The class comes first: 0x41 is refused although its executing bit is set.
  const uint8_t c = StatusClass(s);
  if (c == 1) return VarnVerdict::Refused;
  if (s & 0x40) return VarnVerdict::Done;
  if (c >= 2 && c <= 4) return VarnVerdict::Done;
  return VarnVerdict::Again;
}

VarnPacket CVarnIO::Prepare(uint8_t id, const VarnTemplate& command) {
  VarnPacket tx{};
  tx[0] = tx[1] = 0xFF;
  tx[2] = id;
  std::copy(command.begin(), command.end(), tx.begin() + 3);
  tx[10] = VarnChecksum(tx.data());
  return tx;
}

void CVarnIO::pace() {
  if (!lastSend_) return;
  auto due = *lastSend_ + kPacing;
  auto now = clock().now();
  if (now < due) Pause(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1));
}

VarnReply CVarnIO::Transact(const VarnPacket& packet) {
  VarnReply reply;
  if (packet[2] == 0 || packet[2] > 127) {
    error_ = reply.code = kLinkBadId;
    return reply;
  }
  std::lock_guard lock(link());
  VarnPacket tx = packet;
  tx[0] = tx[1] = 0xFF;
  tx[10] = VarnChecksum(tx.data());
  pace();
  letAnswerInFlightPass();
  const auto sent = clock().now();
  lastSend_ = sent;
  if (!isOpen() || !Write(tx.data(), tx.size())) {
    error_ = reply.code = kLinkWriteRefused;
    return reply;
  }
  const uint8_t id = tx[2];
  if (id > 99) {
    error_ = reply.code = kLinkOk;
    return reply;
  }
  // The device may still owe the answer to a packet that got none in time: that answer,
  // coming now, is not this packet's.
  const bool owing = unanswered_[id] && sent - *unanswered_[id] < kLateReplies;
  reply.code = readReply(id, reply.rx);
  if (reply.code == kLinkNoReply) {
    reply.rx.fill(0);
    unanswered_[id] = sent;
    error_ = reply.code;
    return reply;
  }
  // Whatever arrived from the device, it answered: the next send need not wait.
  lastSend_.reset();
  if (reply.code != kLinkOk) {
    reply.rx.fill(0);
  } else if (owing) {
    // Answers come in the order of the packets: a second one right behind the first
    // answers this packet, and the first was the late one.
    VarnPacket next{};
    while (ByteComing(uint32_t(timing().perByteMs)) && readReply(id, next) == kLinkOk) reply.rx = next;
  }
  error_ = reply.code;
  return reply;
}

uint32_t CVarnIO::readReply(uint8_t id, VarnPacket& rx) {
  // A well-formed reply from another device is a late answer to a packet sent to it: it
  // is passed over and the answer to this one awaited, within the line's usual limits.
  for (int passed = 0; passed <= kRepliesPassedOver; ++passed) {
    if (!Read(rx.data(), rx.size())) return kLinkNoReply;
    const uint32_t code = CheckVarnReply(rx.data());
    if (code != kLinkOk || rx[2] == id) return code;
  }
  return kLinkNoReply;
}

void CVarnIO::letAnswerInFlightPass() {
  // Answers still coming in when a packet is due answer earlier ones: they are let finish
  // (for at most the time of a few on the line) and discarded, so that no part of one is
  // read as the head of this packet's answer.
  uint8_t scrap[kVarnPacketSize];
  const auto until = clock().now() + (kRepliesPassedOver + 1) * kPacketTime;
  while (ReadAvailable(scrap, sizeof scrap) > 0 && clock().now() < until && ByteComing(uint32_t(timing().perByteMs))) {
  }
}

VarnReply CVarnIO::TransactRetry(const VarnPacket& tx, int n) {
  VarnReply reply;
  if (n < 1) return reply;
  std::lock_guard lock(link());
  for (int attempt = 1; attempt <= n; ++attempt) {
    reply = Transact(tx);
    reply.attempts = attempt;
    if (reply.code != kLinkOk && reply.code != kLinkNoReply) return reply;
    // A broadcast has no reply to judge: it was sent, and that is all it can do.
    if (reply.code == kLinkOk && tx[2] > 99) {
      reply.ok = true;
      return reply;
    }
    switch (JudgeVarnStatus(reply.status())) {
      case VarnVerdict::Refused: return reply;
      case VarnVerdict::Done: reply.ok = true; return reply;
      case VarnVerdict::Again: break;
    }
  }
  return reply;
}

// ---- VarnSys -----------------------------------------------------------------------------

VarnReply VarnSys::send(uint32_t id, const VarnTemplate& command, int attempts) {
  if (id == 0 || id > 127) {
    VarnReply r;
    r.code = kLinkBadId;
    return r;
  }
  VarnPacket tx = CVarnIO::Prepare(uint8_t(id), command);
  return attempts == 1 ? io_.Transact(tx) : io_.TransactRetry(tx, attempts);
}

bool VarnSys::Power(bool on, bool wait) {
  struct Busy {
    std::atomic<bool>& flag;
    explicit Busy(std::atomic<bool>& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
  } busy(io_.BusBusy());
  if (!send(target_, on ? varn::kPowerOn : varn::kPowerOff).ok) return false;
  if (!wait) return true;
  for (int i = 0; i < kPowerQueries; ++i) {
    VarnReply r = send(target_, varn::kPowerState);
    if (!r.ok) return false;
    if (bool(r.p(0) & 1) == on) return true;
  }
  return false;
}

bool VarnSys::IsPresent(uint32_t id) { return send(id, varn::kPresence).ok; }

bool VarnSys::EnsureOn(uint32_t id) {
  VarnReply r = send(id, varn::kPresence, 1);
  if (r.code != kLinkOk) return false;
  if (r.p(0) & 1) return true;
  r = send(id, varn::kPowerState);
  if (!r.ok) return false;
  if (r.p(0) & 1) return true;
  uint32_t keep = target_;
  target_ = id;
  bool ok = Power(true, true);
  target_ = keep;
  return ok;
}

bool VarnSys::ChangeId(uint32_t id, uint32_t newId) {
  VarnTemplate t = varn::kChangeId;
  t[2] = uint8_t(newId);
  return send(id, t).ok;
}

bool VarnSys::GetType(VarnDev& dev) {
  VarnReply r = send(target_, varn::kType);
  if (!r.ok) return false;
  std::copy(r.rx.begin() + 4, r.rx.begin() + 10, dev.type.begin());
  return true;
}

bool VarnSys::GetVersion(VarnDev& dev) {
  VarnReply r = send(target_, varn::kVersion);
  if (!r.ok) return false;
  std::copy(r.rx.begin() + 4, r.rx.begin() + 10, dev.version.begin());
  return true;
}

bool VarnSys::GetName(VarnDev& dev) {
  // A re-identified device must not keep characters of its old, longer name.
  std::memset(dev.name, 0, sizeof dev.name);
  size_t len = 0;
  for (const VarnTemplate* part : {&varn::kName1, &varn::kName2}) {
    VarnReply r = send(target_, *part);
    if (!r.ok) return false;
    for (int i = 0; i < 6; ++i) {
      if (r.p(i) == 0x7F) return true;
      dev.name[len++] = char(r.p(i));
    }
  }
  return true;
}

bool VarnSys::Identify(VarnDev& dev) {
  target_ = dev.id;
  if (!EnsureOn(dev.id) || !GetType(dev) || !GetVersion(dev)) return false;
  dev.flags = uint8_t((IsMovie(dev) ? 1 : 0) | (IsPrinter(dev) ? 2 : 0) | (IsCapture(dev) ? 4 : 0));
  GetName(dev);
  return true;
}

namespace {
bool anyOf15(const VarnDev& d, uint8_t v) { return std::find(d.type.begin() + 1, d.type.end(), v) != d.type.end(); }
bool versionBase(const VarnDev& d) { return d.version[0] == 0 && d.version[1] == 1 && d.version[2] == 0; }
}  // namespace

bool VarnSys::IsMovie(const VarnDev& d) { return d.type[0] == 1 || d.type[0] == 7 || d.type[0] == 9; }
bool VarnSys::IsPrinter(const VarnDev& d) { return anyOf15(d, 0x0E); }
bool VarnSys::IsCapture(const VarnDev& d) { return d.type[0] == 0x3C || anyOf15(d, 0x16); }
bool VarnSys::IsVersionGroup1(const VarnDev& d) {
  return versionBase(d) && d.version[3] == 1 && d.version[4] >= 90 && d.version[4] <= 94;
}
bool VarnSys::IsVersionGroup2(const VarnDev& d) {
  return versionBase(d) && d.version[3] == 2 && d.version[4] >= 40 && d.version[4] <= 44;
}
bool VarnSys::IsVersionAtMost394(const VarnDev& d) {
  return versionBase(d) && d.version[3] * 100 + d.version[4] <= 394;
}

}  // namespace capture
