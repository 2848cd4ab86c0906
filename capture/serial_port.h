// The serial line under the camcorder link, and how COM1..COM8 map to devices.
//
// SerialPort is one open line: the link (CComm) builds its time-outs, exact reads and
// purges on top of it, so the same link code runs on a real termios device or on an
// in-process line in a test. Waits take a deadline on the link's Clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace platform {
class RegistryStore;
}

namespace capture {

enum class Parity : uint8_t { None, Odd };

// What the link sets: the rate and the parity sent. Always 8 data bits, one stop bit,
// no flow control, binary; the parity of received bytes is not checked.
struct LineSettings {
  uint32_t baud = 9600;
  Parity parity = Parity::None;
  bool operator==(const LineSettings&) const = default;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens the device for this process alone, in raw mode. False when it does not exist,
  // is in use or is not a serial line (error() tells why).
  virtual bool open(const std::string& path) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // The settings last applied; empty when the line cannot be read.
  virtual std::optional<LineSettings> settings() = 0;
  virtual bool apply(const LineSettings& settings) = 0;
  // Hands the bytes to the driver; does not wait for them to leave.
  virtual bool write(const uint8_t* data, size_t n) = 0;
  // Waits until a received byte is queued or the deadline passes; true when bytes are queued.
  virtual bool waitReadable(platform::Clock::time_point deadline) = 0;
  // Received bytes queued, -1 on failure.
  virtual int queued() = 0;
  // Takes up to n queued bytes without waiting: the count, or -1 on failure.
  virtual int read(uint8_t* data, size_t n) = 0;
  // Discards the received bytes queued.
  virtual void flushInput() = 0;
  // The errno of the last failure, 0 when none.
  virtual int error() const = 0;
};

// The registry key of the port map: value "COMn" (a string) is the device of port n.
inline constexpr const char* kPortMapKey = "Software\\ZEB\\VARN\\Ports";

// The device path of port n (1..8): the port map's value "COMn" when set, else the n-th
// serial device in the order ttyUSB*, ttyACM*, ttyS* (each by number) below devDir.
// Empty when there is none.
std::string ComPortPath(int n, const platform::RegistryStore& store, const std::string& devDir = "/dev");

}  // namespace capture
