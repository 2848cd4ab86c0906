#include "capture/sptp.h"

#include <mutex>

namespace capture {

RateChoice RateFor(uint32_t baud) {
  switch (baud) {
    case 9600: return {sptp::kRate9600, 9600, 100};
    case 19200: return {sptp::kRate19200, 19200, 100};
    case 115200: return {sptp::kRate115200, 115200, 10};
    default: return {sptp::kRate38400, 38400, 50};
  }
}

SptpFrame BuildSptpFrame(uint8_t id, const SptpCommand& c) {
  SptpFrame f;
  uint8_t n = c.length > 3 ? 3 : c.length;
  auto& b = f.bytes;
  b[0] = sptp::kDle;
  b[1] = 0x16;
  b[2] = id;
  b[3] = sptp::kDle;
  b[4] = 0x02;
  b[5] = 0x00;
  b[6] = c.character;
  for (uint8_t i = 0; i < n; ++i) b[7 + i] = c.data[i];
  b[7 + n] = sptp::kDle;
  b[8 + n] = sptp::kEtx;
  unsigned sum = 0;
  for (int i = 0; i <= 8 + n; ++i) sum += b[size_t(i)];
  b[9 + n] = uint8_t((sum >> 8) & 0xFF);
  b[10 + n] = uint8_t(sum & 0xFF);
  f.length = uint8_t(11 + n);
  return f;
}

void CSptpIO::Build(uint8_t id, const SptpCommand& command) {
  std::lock_guard lock(comm_.link());
  frame_ = BuildSptpFrame(id, command);
}

uint32_t CSptpIO::Send() {
  uint8_t id = frame_.bytes[2];
  if (id == 0 || id > 99) return error_ = kLinkBadId;
  std::lock_guard lock(comm_.link());
  error_ = kLinkOk;
  if (lastSend_) {
    auto due = *lastSend_ + kPacing;
    auto now = comm_.clock().now();
    if (now < due) comm_.Pause(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1));
  }
  lastSend_ = comm_.clock().now();
  if (!comm_.isOpen() || !comm_.Write(frame_.bytes.data(), frame_.length)) return error_ = kLinkWriteRefused;
  uint8_t c = frame_.bytes[6];
  if (c == '1' || c == '5') {
    lastSend_.reset();
    return error_ = kLinkOk;
  }
  if (!comm_.Read(ack_.data(), ack_.size())) {
    ack_.fill(0);
    return error_ = kLinkNoReply;
  }
  lastSend_.reset();
  if (ack_[0] != sptp::kDle || ack_[1] != 0x16 || ack_[2] != id || ack_[3] != sptp::kDle) {
    ack_.fill(0);
    return error_ = kLinkBadHead;
  }
  return error_;
}

bool CSptpIO::SendRetry(int n) {
  std::lock_guard lock(comm_.link());
  for (int i = 0; i < n; ++i) {
    if (Send() == kLinkOk && ack_[6] == '1') return true;
  }
  return false;
}

}  // namespace capture
