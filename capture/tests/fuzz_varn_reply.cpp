// Feeds arbitrary bytes to the control protocol as the answers of a device: each write is
// answered by the next chunk (a length byte, then that many bytes), and the device-level
// commands and the play device's transport and status polling run over them. An answer
// taken is always one from the device asked.
#include <cstdint>
#include <cstring>

#include "capture/varn.h"
#include "capture/varn_vtr.h"
#include "scripted_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::ManualClock clock;
  captest::ScriptedPort port(clock);
  size_t i = 0;
  for (int chunks = 0; i < size && chunks < 200; ++chunks) {
    const uint8_t head = data[i++];
    size_t n = std::min<size_t>(head % 24, size - i);
    port.Answer(std::vector<uint8_t>(data + i, data + i + n), std::chrono::milliseconds(head / 24 * 10));
    i += n;
  }
  capture::CVarnIO io(port, clock, [](int) { return std::string("/dev/fuzz"); });
  io.Open(1);
  io.SetupVarn();
  capture::VarnSys sys(io);
  capture::VarnDev dev;
  dev.id = 6;
  sys.Identify(dev);
  if (std::strlen(dev.name) > 12) __builtin_trap();
  sys.SetTarget(6);
  sys.Power(true, true);
  sys.ChangeId(6, 7);
  capture::VarnReply r = io.TransactRetry(capture::CVarnIO::Prepare(6, capture::varn::kStatus), 5);
  if (r.code != capture::kLinkOk && r.rx != capture::VarnPacket{}) __builtin_trap();
  // An answer is only ever the device's own.
  if (r.code == capture::kLinkOk && r.rx[2] != 6) __builtin_trap();

  capture::VarnVtr vtr(io);
  vtr.SetDevice(6);
  vtr.Command(capture::kTransportPlay, true);
  vtr.FrameStep(true);
  capture::VarnVtr::PollCounters counters;
  for (int pass = 0; pass < 40; ++pass) vtr.PollPass(counters);
  const capture::VtrStatus s = vtr.Snapshot();
  const size_t text = std::strlen(s.timeCode.data());
  if ((text != 0 && text != 12) || (s.frameRate != 25 && s.frameRate != 30)) __builtin_trap();
  return 0;
}
