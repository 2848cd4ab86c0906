// A serial line for tests: received bytes arrive at set times on a ManualClock, and
// every write is recorded with its time. Waits move the clock.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "capture/serial_port.h"
#include "platform/clock.h"

namespace captest {

class ScriptedPort final : public capture::SerialPort {
 public:
  using Bytes = std::vector<uint8_t>;
  using ms = std::chrono::milliseconds;
  explicit ScriptedPort(platform::ManualClock& clock) : clock_(clock) {}

  // Bytes that arrive `after` from now.
  void Arrive(ms after, const Bytes& bytes) { pending_.emplace(clock_.now() + after, bytes); }
  // The answers to the coming writes, one a write, each arriving `delay` after its write
  // (an empty answer: nothing comes).
  void Answer(const Bytes& bytes, ms delay = ms(5)) { answers_.push_back({bytes, delay}); }

  struct Write {
    platform::Clock::time_point at;
    Bytes bytes;
  };
  std::vector<Write> writes;
  bool refuseOpen = false;
  bool refuseWrite = false;
  int flushes = 0;

  bool open(const std::string& path) override {
    if (refuseOpen) return fail(ENOENT);
    open_ = true;
    path_ = path;
    return true;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  std::optional<capture::LineSettings> settings() override { return settings_; }
  bool apply(const capture::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool write(const uint8_t* data, size_t n) override {
    if (refuseWrite) return fail(EIO);
    writes.push_back({clock_.now(), Bytes(data, data + n)});
    if (!answers_.empty()) {
      auto a = answers_.front();
      answers_.pop_front();
      if (!a.first.empty()) Arrive(a.second, a.first);
    }
    return true;
  }
  bool waitReadable(platform::Clock::time_point deadline) override {
    sync();
    if (!queue_.empty()) return true;
    if (!pending_.empty() && pending_.begin()->first <= deadline) {
      advanceTo(pending_.begin()->first);
      sync();
      return true;
    }
    advanceTo(deadline);
    return false;
  }
  int queued() override {
    sync();
    return int(queue_.size());
  }
  int read(uint8_t* data, size_t n) override {
    sync();
    size_t k = std::min(n, queue_.size());
    std::copy_n(queue_.begin(), k, data);
    queue_.erase(queue_.begin(), queue_.begin() + long(k));
    return int(k);
  }
  void flushInput() override {
    sync();
    queue_.clear();
    ++flushes;
  }
  int error() const override { return error_; }

  const std::string& path() const { return path_; }
  const capture::LineSettings& line() const { return settings_; }

 private:
  bool fail(int e) {
    error_ = e;
    return false;
  }
  void advanceTo(platform::Clock::time_point t) {
    if (t > clock_.now()) clock_.advance(t - clock_.now());
  }
  void sync() {
    while (!pending_.empty() && pending_.begin()->first <= clock_.now()) {
      auto& b = pending_.begin()->second;
      queue_.insert(queue_.end(), b.begin(), b.end());
      pending_.erase(pending_.begin());
    }
  }

  platform::ManualClock& clock_;
  std::multimap<platform::Clock::time_point, Bytes> pending_;
  std::deque<std::pair<Bytes, ms>> answers_;
  std::deque<uint8_t> queue_;
  capture::LineSettings settings_{};
  std::string path_;
  bool open_ = false;
  int error_ = 0;
};

// A control-protocol reply with its checksum: FC FF id status p0..p5 ck.
inline std::vector<uint8_t> ReplyBytes(uint8_t status, std::vector<uint8_t> data = std::vector<uint8_t>(6, 0),
                                       uint8_t id = 6) {
  std::vector<uint8_t> r(11, 0);
  r[0] = 0xFC;
  r[1] = 0xFF;
  r[2] = id;
  r[3] = status;
  for (size_t i = 0; i < 6 && i < data.size(); ++i) r[4 + i] = data[i];
  unsigned s = 0;
  for (size_t i = 0; i < 10; ++i) s += r[i];
  r[10] = uint8_t((256 - s % 256) & 0x7F);
  return r;
}

// Bytes from hex text with spaces between them: "FF FF 06".
inline std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> b;
  for (size_t i = 0; i + 1 < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    b.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return b;
}

}  // namespace captest
