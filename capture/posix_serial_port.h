// The serial line on a termios device (a serial adaptor, a built-in port, a pseudo-terminal).
#pragma once

#include "capture/serial_port.h"

namespace capture {

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(platform::Clock& clock = platform::SystemClock::instance()) : clock_(clock) {}
  ~PosixSerialPort() override { close(); }

  bool open(const std::string& path) override;
  void close() override;
  bool isOpen() const override { return fd_ >= 0; }
  std::optional<LineSettings> settings() override;
  bool apply(const LineSettings& settings) override;
  bool write(const uint8_t* data, size_t n) override;
  bool waitReadable(platform::Clock::time_point deadline) override;
  int queued() override;
  int read(uint8_t* data, size_t n) override;
  void flushInput() override;
  int error() const override { return error_; }

 private:
  bool fail(int err);
  platform::Clock& clock_;
  int fd_ = -1;
  int error_ = 0;
  LineSettings current_{};
};

}  // namespace capture
