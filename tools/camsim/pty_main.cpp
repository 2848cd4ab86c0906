// camsim --pty: the simulated bus on a pseudo-terminal, at the emulated line rate.
//
// Prints the device path to give the program as its serial port, then serves until its
// standard input closes (or it is ended), and writes what happened to the --log file.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "camsim.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

camsim::Micros nowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t baudOf(speed_t s) {
  switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

// The program's line as the pseudo-terminal shows it: its rate, and odd parity by the
// PARODD flag (a pseudo-terminal clears PARENB but keeps PARODD).
camsim::Line programLine(int master) {
  termios t{};
  if (tcgetattr(master, &t) != 0) return {};
  return camsim::Line{baudOf(cfgetospeed(&t)), (t.c_cflag & PARODD) != 0};
}

void usage() {
  std::fputs(
      "usage: camsim --pty [--log FILE] [--save-picture FILE] [--save-frame FILE] [options]\n"
      "  --device ID:KIND[,type=HEX12][,version=HEX12][,name=TEXT][,off][,powerup=MS][,rates=R/R..]\n"
      "           KIND: camcorder, deck, capture, printer (default: 6:camcorder)\n"
      "  --dv FILE | --sequences 10|12   DV frame to grab (default: a made-up frame)\n"
      "  --layout 40|60|70               DV block layout of the transfer\n"
      "  --yuv WxH [--fill N]            send an uncompressed picture instead\n"
      "  --size N                        picture size to announce\n"
      "  --fault KIND[,cmd=HEX][,at=N][,times=N][,value=N]\n"
      "           control: noreply late truncate badhead badsum refuse notyet garbage otherid gone\n"
      "                    nosignal busy executing\n"
      "           transfer: rate-refuse rate-noack start-noack drop corrupt badtail badhead pause stall\n"
      "                     skip repeat vanish queue (block faults take at=BLOCK)\n"
      "  --latency MS --transition MS --grab MS --idle MS --seed N --plain --queue N\n"
      "  --fps 25|30 --tape-start F --no-tape --blank A-B --photo F\n"
      "           the tape begins at frame 0 (at F when F is below 0): winding back stops there\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> rest;
  std::string logFile, pictureFile, frameFile;
  bool pty = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--pty") pty = true;
    else if (a == "--help" || a == "-h") return usage(), 0;
    else if (a == "--log" && i + 1 < argc) logFile = argv[++i];
    else if (a == "--save-picture" && i + 1 < argc) pictureFile = argv[++i];
    else if (a == "--save-frame" && i + 1 < argc) frameFile = argv[++i];
    else rest.push_back(a);
  }
  std::string error;
  auto scenario = camsim::Scenario::Parse(rest, &error);
  if (!pty || !scenario) {
    if (!error.empty()) std::fprintf(stderr, "camsim: %s\n", error.c_str());
    usage();
    return 2;
  }

  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    std::perror("camsim: openpty");
    return 1;
  }
  // Our own descriptor of the device stays open and is never read: the master then does
  // not fail when the program closes and reopens the port, and it shows how many bytes
  // the program has not read yet.
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  std::printf("%s\n", ttyname(slave));
  std::fflush(stdout);
  signal(SIGTERM, onSignal);
  signal(SIGINT, onSignal);
  signal(SIGPIPE, SIG_IGN);

  camsim::Simulator sim(*scenario);
  std::vector<uint8_t> out;
  uint8_t buf[4096];
  while (!g_stop) {
    camsim::Micros now = nowMicros();
    camsim::Micros next = sim.NextOutput();
    int timeout = next == camsim::kNever ? 50 : int(std::clamp<camsim::Micros>((next - now) / 1000, 0, 2));
    pollfd p[2] = {{master, POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(p, 2, timeout) < 0 && errno != EINTR) break;
    if (p[1].revents & (POLLIN | POLLHUP)) {
      char c;
      if (read(0, &c, 1) <= 0) break;
    }
    now = nowMicros();
    if (p[0].revents & POLLIN) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) sim.Input(now, buf, size_t(n), programLine(master));
    }
    out.clear();
    sim.Output(now, out, programLine(master));
    if (!out.empty()) {
      // The program's input queue holds so much; what does not fit is lost, as on a real line.
      int queued = 0;
      ioctl(slave, FIONREAD, &queued);
      size_t room = size_t(std::max<long>(0, long(sim.QueueLimit()) - queued));
      size_t keep = std::min(room, out.size());
      sim.log().overrun += out.size() - keep;
      size_t done = 0;
      while (done < keep) {
        ssize_t w = write(master, out.data() + done, keep - done);
        if (w <= 0) break;
        done += size_t(w);
      }
    }
  }

  if (!logFile.empty()) std::ofstream(logFile) << sim.log().Text();
  auto save = [](const std::string& file, const std::vector<uint8_t>& bytes) {
    if (!file.empty()) std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  };
  save(pictureFile, sim.log().pictureSent);
  save(frameFile, sim.log().frameGrabbed);
  close(slave);
  close(master);
  return 0;
}
