// Drives the link's byte reader (CComm's exact and available reads, with its purges,
// writes, time-outs and waits) over a scripted line whose arrivals come from the input:
// when bytes arrive, how many, and which reads, purges and pauses run in between.
//
// The line carries a counting stream (byte k of the stream is k mod 256) arriving in
// order, so every read can be checked: the bytes read continue the stream where the last
// read stopped, with a gap only where a purge or a write discarded queued bytes. A read
// reports success exactly when it filled its buffer, says how much it took, and keeps the
// line's time limits: with nothing queued it gives up after the first-byte time, and
// once a byte is there it waits no longer than the read cap. A purge drops exactly the
// bytes that have arrived.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/comm.h"
#include "scripted_port.h"

namespace {

using std::chrono::milliseconds;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool more() const { return at_ < size_; }
  uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // a few hundred operations say all a longer script would
  Input in(data, size);
  platform::ManualClock clock;
  captest::ScriptedPort port(clock);
  capture::CComm comm(port, clock, [](int n) { return n == 7 ? std::string() : "/dev/fuzz" + std::to_string(n); });
  check(comm.Open(1));
  comm.SetupVarn();

  struct Arrival {
    platform::Clock::time_point at;
    uint32_t end;  // the stream position after its bytes
  };
  std::vector<Arrival> arrivals;  // in the order of their times
  uint32_t sent = 0;              // bytes put on the line so far
  uint32_t expected = 0;          // the stream position the next byte read must have
  int idleCalls = 0;
  uint8_t buffer[256];

  // A purge drops every byte that has arrived by now, and no other.
  auto purged = [&] {
    for (const Arrival& a : arrivals) {
      if (a.at <= clock.now()) expected = std::max(expected, a.end);
    }
  };
  auto taken = [&](const uint8_t* bytes, size_t n) {
    for (size_t k = 0; k < n; ++k, ++expected) check(expected < sent && bytes[k] == uint8_t(expected));
  };

  while (in.more()) {
    const uint8_t op = in.next();
    switch (op % 9) {
      case 0: {  // bytes that arrive later: delay, count
        const int delay = in.next();
        const size_t n = 1 + in.next() % 48;
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = uint8_t(sent++);
        auto at = clock.now() + milliseconds(delay);
        if (!arrivals.empty()) at = std::max(at, arrivals.back().at);
        arrivals.push_back({at, sent});
        port.Arrive(std::chrono::duration_cast<milliseconds>(at - clock.now()), bytes);
        break;
      }
      case 1: {  // an exact read
        const size_t n = in.next() % 80;
        const bool wasQueued = port.queued() > 0;
        const auto start = clock.now();
        const bool ok = comm.Read(buffer, n);
        const auto spent = clock.now() - start;
        const int got = comm.transferred();
        check(got >= 0 && size_t(got) <= n);
        check(ok == (size_t(got) == n));
        taken(buffer, size_t(got));
        const auto& t = comm.timing();
        if (!wasQueued && got == 0 && n > 0) check(spent <= milliseconds(t.firstByteMs));
        check(spent <= milliseconds(t.firstByteMs + t.readCapMs));
        break;
      }
      case 2: {  // what is queued
        const size_t capacity = in.next() % 80;
        const int queued = port.queued();
        const int got = comm.ReadAvailable(buffer, capacity);
        check(got >= 0 && size_t(got) <= capacity && got <= queued);
        check(got == std::min(queued, int(capacity)));
        taken(buffer, size_t(got));
        break;
      }
      case 3:
        comm.PurgeRx();
        purged();
        break;
      case 4: {  // a packet out: discards what was queued
        const uint8_t packet[3] = {0xFF, 0xFF, in.next()};
        check(comm.Write(packet, sizeof packet));
        purged();
        break;
      }
      case 5:
        comm.SetTimeouts(uint32_t(in.next()) * 8);
        break;
      case 6:
        comm.Pause(in.next());
        break;
      case 7: {  // the line's limits
        capture::LinkTiming& t = comm.timing();
        t.firstByteMs = in.next() % 200;
        t.perByteMs = in.next() % 20;
        t.readCapMs = int(in.next()) * 4;
        break;
      }
      default:  // waits that let the window run between their steps, or not
        if ((op / 9) & 1) {
          comm.SetIdle([&] { ++idleCalls; });
        } else {
          comm.SetIdle({});
        }
        break;
    }
  }
  // A closed port reads nothing.
  comm.Close();
  check(!comm.Read(buffer, 1) && comm.ReadAvailable(buffer, 1) == -1);
  return 0;
}
