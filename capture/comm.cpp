#include "capture/comm.h"

#include <algorithm>
#include <cerrno>

namespace capture {

using namespace std::chrono_literals;
using Clock = platform::Clock;

CComm::CComm(SerialPort& line, platform::Clock& clock, PortResolver resolve)
    : line_(line), clock_(clock), resolve_(std::move(resolve)) {}

CComm::~CComm() { Close(); }

bool CComm::Open(int n) {
  if (n < 1 || n > 8) return false;
  std::lock_guard lock(link_);
  Close();
  std::string path = resolve_ ? resolve_(n) : std::string();
  if (path.empty()) {
    lastError_ = ENOENT;
    return false;
  }
  if (!line_.open(path)) {
    lastError_ = line_.error();
    return false;
  }
  port_ = n;
  lastError_ = 0;
  return true;
}

void CComm::Close() {
  std::lock_guard lock(link_);
  if (line_.isOpen()) line_.close();
  port_ = 0;
}

bool CComm::applyLine(const LineSettings& s, uint32_t readConstant) {
  std::lock_guard lock(link_);
  if (!isOpen()) return false;
  if (!line_.apply(s)) {
    lastError_ = line_.error();
    return false;
  }
  return SetTimeouts(readConstant);
}

bool CComm::SetupVarn() { return applyLine({9600, Parity::Odd}, 80); }

bool CComm::SetupTransfer() { return applyLine({9600, Parity::None}, 2000); }

bool CComm::SetBaud(uint32_t rate) {
  std::lock_guard lock(link_);
  if (!isOpen()) return false;
  auto s = line_.settings();
  if (!s) {
    lastError_ = line_.error();
    return false;
  }
  s->baud = rate;
  if (!line_.apply(*s)) {
    lastError_ = line_.error();
    return false;
  }
  return true;
}

uint32_t CComm::Baud() {
  std::lock_guard lock(link_);
  if (!isOpen()) return 0;
  auto s = line_.settings();
  return s ? s->baud : 0;
}

bool CComm::SetTimeouts(uint32_t readConstantMs) {
  if (!isOpen()) return false;
  readConstant_ = readConstantMs;
  return true;
}

bool CComm::Write(const uint8_t* buffer, size_t n) {
  std::lock_guard lock(link_);
  if (!isOpen() || !buffer) return false;
  line_.flushInput();
  if (!line_.write(buffer, n)) {
    // The answer's absence reports it; the error is kept for the curious.
    lastError_ = line_.error();
    return true;
  }
  lastError_ = 0;
  return true;
}

void CComm::Pause(uint32_t ms) {
  auto end = clock_.now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto now = clock_.now();
    if (now >= end) return;
    clock_.sleepFor(std::min<Clock::duration>(end - now, 10ms));
    if (idleHere()) idle_();
  }
}

bool CComm::waitBytes(Clock::time_point deadline) {
  if (!idleHere()) return line_.waitReadable(deadline);
  for (;;) {
    auto step = std::min(deadline, clock_.now() + 10ms);
    if (line_.waitReadable(step)) return true;
    if (line_.error() != 0 || clock_.now() >= deadline) return false;
    idle_();
  }
}

bool CComm::Read(uint8_t* buffer, size_t n) {
  std::lock_guard lock(link_);
  transferred_ = 0;
  if (!isOpen() || !buffer) return false;
  if (n == 0) return true;
  int q = line_.queued();
  if (q < 0) {
    lastError_ = line_.error();
    return false;
  }
  if (q == 0 && !waitBytes(clock_.now() + std::chrono::milliseconds(timing_.firstByteMs))) {
    lastError_ = line_.error();
    return false;
  }
  uint64_t limit = std::min<uint64_t>(uint64_t(timing_.perByteMs) * n + readConstant_, uint64_t(timing_.readCapMs));
  auto deadline = clock_.now() + std::chrono::milliseconds(limit);
  size_t got = 0;
  for (;;) {
    int k = line_.read(buffer + got, n - got);
    if (k < 0) {
      lastError_ = line_.error();
      break;
    }
    got += size_t(k);
    if (got == n) break;
    if (!waitBytes(deadline)) break;
  }
  transferred_ = int(got);
  return got == n;
}

bool CComm::ByteComing(uint32_t ms) {
  std::lock_guard lock(link_);
  if (!isOpen()) return false;
  const int q = line_.queued();
  if (q != 0) return q > 0;
  return waitBytes(clock_.now() + std::chrono::milliseconds(ms));
}

int CComm::ReadAvailable(uint8_t* buffer, size_t capacity) {
  std::lock_guard lock(link_);
  transferred_ = 0;
  if (!isOpen() || !buffer) return -1;
  int q = line_.queued();
  if (q < 0) {
    lastError_ = line_.error();
    transferred_ = -1;
    return -1;
  }
  if (q == 0 || capacity == 0) return 0;
  int k = line_.read(buffer, std::min(size_t(q), capacity));
  if (k < 0) {
    lastError_ = line_.error();
    transferred_ = -1;
    return -1;
  }
  transferred_ = k;
  return k;
}

bool CComm::PurgeRx() {
  std::lock_guard lock(link_);
  if (isOpen()) line_.flushInput();
  return true;
}

}  // namespace capture
