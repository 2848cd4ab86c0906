// CComm: the one serial port of the camcorder link.
//
// The same port carries the control protocol (9600 baud, 8 data bits, odd parity sent,
// 1 stop bit) and, after the camcorder has been switched over, the picture transfer
// (9600 8N1, then a faster rate). No operation raises or shows anything: each returns
// false (or -1) and lastError() keeps the errno where one was seen.
//
// Reads keep the line's timing contract: when nothing is queued the first byte must come
// within 65 ms; after that all bytes within 5 ms a byte plus the read constant, at most
// 500 ms. Bytes already queued count as arrived.
//
// The port is shared by the GUI thread, the polling thread and the capture thread. Every
// exchange (a packet and its answer, one picture block) holds link() for its whole
// length, so two exchanges never interleave on the line.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "capture/serial_port.h"
#include "platform/clock.h"

namespace capture {

// The time limits of the line, in milliseconds.
struct LinkTiming {
  int firstByteMs = 65;   // a read with nothing queued gives up when no byte comes in this time
  int perByteMs = 5;      // read time-out: this much a byte plus the read constant ...
  int readCapMs = 500;    // ... but never more than this after the first byte
};

class CComm {
 public:
  // `resolve` maps a port number 1..8 to a device path ("" when there is none).
  using PortResolver = std::function<std::string(int)>;

  CComm(SerialPort& line, platform::Clock& clock, PortResolver resolve);
  ~CComm();
  CComm(const CComm&) = delete;
  CComm& operator=(const CComm&) = delete;

  // Opens port n (1..8), closing an open port first. n outside 1..8 changes nothing.
  bool Open(int n);
  void Close();
  // 9600 baud, odd parity, read constant 80 ms.
  bool SetupVarn();
  // 9600 baud, no parity, read constant 2000 ms.
  bool SetupTransfer();
  // Replaces only the rate.
  bool SetBaud(uint32_t rate);
  // The rate set on the line; 0 when closed.
  uint32_t Baud();
  // Sets the read constant (ms). Never discards received bytes.
  bool SetTimeouts(uint32_t readConstantMs);
  // Discards what was received so far (a late answer to an earlier packet), then sends.
  // True whenever the port is open: a refused write shows as a missing answer.
  bool Write(const uint8_t* buffer, size_t n);
  // Exactly n bytes, or false.
  bool Read(uint8_t* buffer, size_t n);
  // Whether a received byte is queued or comes within ms milliseconds.
  bool ByteComing(uint32_t ms);
  // What is queued, at most `capacity` bytes: the count, 0 when nothing is queued, -1 on failure.
  int ReadAvailable(uint8_t* buffer, size_t capacity);
  // Discards the received bytes queued. Always true.
  bool PurgeRx();

  int port() const { return port_; }
  bool isOpen() const { return port_ != 0; }
  int lastError() const { return lastError_; }
  int transferred() const { return transferred_; }
  uint32_t readConstant() const { return readConstant_; }

  std::recursive_mutex& link() { return link_; }
  platform::Clock& clock() { return clock_; }
  LinkTiming& timing() { return timing_; }

  // Called between the short steps of the waits made on the calling thread (the GUI thread
  // passes a function that processes its pending events); waits on other threads just wait.
  void SetIdle(std::function<void()> idle) {
    idle_ = std::move(idle);
    idleThread_ = std::this_thread::get_id();
  }
  // Waits ms milliseconds in steps of at most 10 ms, calling the idle function between them.
  void Pause(uint32_t ms);

 private:
  bool waitBytes(platform::Clock::time_point deadline);
  bool idleHere() const { return idle_ && std::this_thread::get_id() == idleThread_; }
  bool applyLine(const LineSettings& s, uint32_t readConstant);

  SerialPort& line_;
  platform::Clock& clock_;
  PortResolver resolve_;
  std::recursive_mutex link_;
  std::function<void()> idle_;
  std::thread::id idleThread_;
  LinkTiming timing_;
  int port_ = 0;
  int lastError_ = 0;
  int transferred_ = 0;
  uint32_t readConstant_ = 0;
};

}  // namespace capture
