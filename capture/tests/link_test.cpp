// The serial port: opening by port number, the read timing contract, queued reads,
// purges, and the termios line on a real pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "capture/comm.h"
#include "capture/posix_serial_port.h"
#include "platform/registry_store.h"
#include "platform/testsupport/testsupport.h"
#include "scripted_port.h"

using namespace std::chrono_literals;
using capture::CComm;
using captest::ScriptedPort;
using Bytes = std::vector<uint8_t>;

namespace {

struct Link {
  platform::ManualClock clock;
  ScriptedPort port{clock};
  CComm comm{port, clock, [](int n) { return "/dev/port" + std::to_string(n); }};
  Link() {
    EXPECT_TRUE(comm.Open(1));
    EXPECT_TRUE(comm.SetupVarn());
  }
};

Bytes seq(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i);
  return b;
}

}  // namespace

TEST(SerialPort, OpensOnlyPortsOneToEightAndClosesTheOpenOneFirst) {
  Link l;
  EXPECT_FALSE(l.comm.Open(0));
  EXPECT_FALSE(l.comm.Open(9));
  EXPECT_EQ(l.comm.port(), 1) << "a refused number leaves the open port alone";
  EXPECT_TRUE(l.comm.Open(3));
  EXPECT_EQ(l.comm.port(), 3);
  EXPECT_EQ(l.port.path(), "/dev/port3");

  l.port.refuseOpen = true;
  EXPECT_FALSE(l.comm.Open(2));
  EXPECT_EQ(l.comm.port(), 0);
  EXPECT_FALSE(l.comm.SetupVarn()) << "set-ups need an open port";
  uint8_t b[4];
  EXPECT_FALSE(l.comm.Write(b, 4));
  EXPECT_FALSE(l.comm.Read(b, 4));
  EXPECT_EQ(l.comm.ReadAvailable(b, 4), -1);
}

TEST(SerialPort, SetUpsChooseRateParityAndReadConstant) {
  Link l;
  EXPECT_EQ(l.port.line(), (capture::LineSettings{9600, capture::Parity::Odd}));
  EXPECT_EQ(l.comm.readConstant(), 80u);
  ASSERT_TRUE(l.comm.SetupTransfer());
  EXPECT_EQ(l.port.line(), (capture::LineSettings{9600, capture::Parity::None}));
  EXPECT_EQ(l.comm.readConstant(), 2000u);
  ASSERT_TRUE(l.comm.SetBaud(115200));
  EXPECT_EQ(l.port.line(), (capture::LineSettings{115200, capture::Parity::None})) << "only the rate changes";
  EXPECT_EQ(l.comm.Baud(), 115200u);
}

// When the bytes of an 11-byte read arrive, and whether the read takes them.
TEST(SerialPort, ReadKeepsTheLineTimingContract) {
  struct Row {
    const char* what;
    uint32_t readConstant;
    std::vector<std::pair<int, size_t>> arrivals;  // (ms after the call, bytes)
    bool ok;
    int transferred;
  };
  const Row rows[] = {
      {"answer after 40 ms", 80, {{40, 11}}, true, 11},
      {"first byte after 100 ms is too late", 80, {{100, 11}}, false, 0},
      {"7 of 11 bytes", 80, {{10, 7}}, false, 7},
      {"rest within 5 ms a byte + 80", 80, {{10, 6}, {10 + 130, 5}}, true, 11},
      {"rest after 5 ms a byte + 80", 80, {{10, 6}, {10 + 140, 5}}, false, 6},
      {"a long read constant is capped at 500 ms", 2000, {{10, 6}, {10 + 490, 5}}, true, 11},
      {"... and ends there", 2000, {{10, 6}, {10 + 520, 5}}, false, 6},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Link l;
    l.comm.SetTimeouts(r.readConstant);
    for (auto [at, n] : r.arrivals) l.port.Arrive(std::chrono::milliseconds(at), Bytes(n, 0x41));
    uint8_t buf[11];
    EXPECT_EQ(l.comm.Read(buf, 11), r.ok);
    EXPECT_EQ(l.comm.transferred(), r.transferred);
  }
}

TEST(SerialPort, BytesAlreadyQueuedCountAsArrived) {
  Link l;
  l.port.Arrive(0ms, seq(5));
  l.clock.advance(300ms);  // long after they came: no event would be raised for them
  uint8_t buf[5];
  ASSERT_TRUE(l.comm.Read(buf, 5));
  EXPECT_EQ(Bytes(buf, buf + 5), seq(5));
}

TEST(SerialPort, ReadAvailableTakesWhatIsQueuedUpToTheSpaceGiven) {
  Link l;
  uint8_t buf[8192];
  EXPECT_EQ(l.comm.ReadAvailable(buf, sizeof buf), 0) << "nothing queued: nothing read, no wait";
  EXPECT_EQ(l.clock.ticksMs(), 0u);
  l.port.Arrive(0ms, seq(6000));
  EXPECT_EQ(l.comm.ReadAvailable(buf, 4096), 4096);
  EXPECT_EQ(l.comm.ReadAvailable(buf, 100), 100);
  EXPECT_EQ(buf[0], uint8_t(4096 % 256));
  EXPECT_EQ(l.comm.ReadAvailable(buf, sizeof buf), 6000 - 4196);
}

TEST(SerialPort, WriteDropsALateAnswerButSetUpsKeepReceivedBytes) {
  Link l;
  l.port.Arrive(0ms, {1, 2, 3});
  l.clock.advance(1ms);
  ASSERT_TRUE(l.comm.SetTimeouts(10));
  ASSERT_TRUE(l.comm.SetBaud(38400));
  EXPECT_EQ(l.port.queued(), 3) << "changing time-outs or rate between a head and its data must not lose the data";
  uint8_t x = 0x55;
  EXPECT_TRUE(l.comm.Write(&x, 1));
  EXPECT_EQ(l.port.queued(), 0) << "an answer to an earlier packet is gone";
  l.port.refuseWrite = true;
  EXPECT_TRUE(l.comm.Write(&x, 1)) << "a refused write shows as a missing answer";
  l.port.Arrive(0ms, {1, 2});
  EXPECT_TRUE(l.comm.PurgeRx());
  EXPECT_EQ(l.port.queued(), 0);
}

TEST(PortMap, RegistryValueFirstThenSerialDevicesInOrder) {
  namespace fs = std::filesystem;
  fs::path dev = adtest::testDir() / "dev";
  fs::create_directories(dev);
  for (const char* n : {"ttyS10", "ttyS2", "ttyS0", "ttyACM0", "ttyUSB1", "ttyUSB0", "ttySx", "tty0"})
    adtest::writeFile(dev / n, "");
  platform::RegistryStore store((adtest::testDir() / "reg.reg").string());
  const char* order[] = {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS2", "ttyS10"};
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(capture::ComPortPath(n, store, dev.string()), (dev / order[n - 1]).string());
  EXPECT_EQ(capture::ComPortPath(7, store, dev.string()), "");
  EXPECT_EQ(capture::ComPortPath(9, store, dev.string()), "");
  store.create(platform::RegRoot::LocalMachine, capture::kPortMapKey)->writeString("COM2", "/dev/pts/7");
  EXPECT_EQ(capture::ComPortPath(2, store, dev.string()), "/dev/pts/7");
  EXPECT_EQ(capture::ComPortPath(1, store, dev.string()), (dev / "ttyUSB0").string());
}

// The termios line on a real pseudo-terminal: raw both ways, the settings the far end sees,
// and a clean reopen.
TEST(PosixSerialPort, RawLineOnAPseudoTerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string path = ttyname(slave);
  capture::PosixSerialPort port;
  EXPECT_FALSE(port.open("/dev/null")) << "not a serial line";
  EXPECT_EQ(port.error(), ENOTTY);
  ASSERT_TRUE(port.open(path)) << std::strerror(port.error());
  ASSERT_TRUE(port.apply({38400, capture::Parity::Odd}));
  termios t{};
  ASSERT_EQ(tcgetattr(master, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B38400));
  EXPECT_TRUE(t.c_cflag & PARODD);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));

  // Every byte value crosses unchanged in both directions (no echo, no CR/LF or XON/XOFF games).
  Bytes all = seq(256);
  ASSERT_EQ(write(master, all.data(), all.size()), 256);
  Bytes got(256);
  size_t n = 0;
  while (n < 256 && port.waitReadable(platform::SystemClock::instance().now() + 1s)) n += size_t(port.read(got.data() + n, 256 - n));
  EXPECT_EQ(got, all);
  ASSERT_TRUE(port.write(all.data(), all.size()));
  Bytes back(256);
  n = 0;
  for (int i = 0; i < 100 && n < 256; ++i) {
    ssize_t k = read(master, back.data() + n, 256 - n);
    if (k > 0) n += size_t(k);
  }
  EXPECT_EQ(back, all);
  EXPECT_EQ(port.settings(), (capture::LineSettings{38400, capture::Parity::Odd}));

  port.close();
  ASSERT_TRUE(port.open(path)) << "a closed port opens again: " << std::strerror(port.error());
  port.close();
  close(slave);
  close(master);
}
