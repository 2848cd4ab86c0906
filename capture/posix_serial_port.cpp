#include "capture/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace capture {

namespace {

speed_t speedFor(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

}  // namespace

bool PosixSerialPort::fail(int err) {
  error_ = err;
  return false;
}

bool PosixSerialPort::open(const std::string& path) {
  close();
  // Non-blocking, so a line without carrier never hangs the open or a read.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  termios t{};
  if (!::isatty(fd) || ::tcgetattr(fd, &t) != 0) {
    ::close(fd);
    return fail(ENOTTY);
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    int err = errno;
    ::close(fd);
    return fail(err);
  }
  fd_ = fd;
  error_ = 0;
  // Raw at once: a cooked line would echo, translate and swallow bytes before the set-up.
  current_ = {9600, Parity::None};
  if (!apply(current_)) {
    int err = error_;
    close();
    return fail(err);
  }
  return true;
}

void PosixSerialPort::close() {
  if (fd_ < 0) return;
  // The exclusive flag outlives this descriptor while another one is open on the line;
  // clear it, or the next open of the port fails.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

std::optional<LineSettings> PosixSerialPort::settings() {
  termios t{};
  if (fd_ < 0) {
    fail(EBADF);
    return std::nullopt;
  }
  if (::tcgetattr(fd_, &t) != 0) {
    fail(errno);
    return std::nullopt;
  }
  return current_;
}

bool PosixSerialPort::apply(const LineSettings& s) {
  if (fd_ < 0) return fail(EBADF);
  speed_t speed = speedFor(s.baud);
  if (speed == B0) return fail(EINVAL);
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return fail(errno);
  ::cfmakeraw(&t);
  t.c_iflag &= ~tcflag_t(INPCK | IXON | IXOFF | IXANY | PARMRK);
  t.c_iflag |= IGNBRK;
  t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  if (s.parity == Parity::Odd) t.c_cflag |= PARENB | PARODD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return fail(errno);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return fail(errno);
  // DTR and RTS on; a pseudo-terminal has no modem lines and refuses, which is fine.
  int bits = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd_, TIOCMBIS, &bits);
  current_ = s;
  error_ = 0;
  return true;
}

bool PosixSerialPort::write(const uint8_t* data, size_t n) {
  if (fd_ < 0) return fail(EBADF);
  size_t done = 0;
  int stalls = 0;
  while (done < n) {
    ssize_t k = ::write(fd_, data + done, n - done);
    if (k > 0) {
      done += size_t(k);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && errno != EAGAIN) return fail(errno);
    // The driver's output queue is full: wait for room, but not for ever.
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 100) <= 0 && ++stalls > 10) return fail(EAGAIN);
  }
  error_ = 0;
  return true;
}

bool PosixSerialPort::waitReadable(platform::Clock::time_point deadline) {
  for (;;) {
    int q = queued();
    if (q < 0) return false;
    if (q > 0) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_.now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, int(std::min<long long>(left, 1000)));
    if (r < 0 && errno != EINTR) return fail(errno);
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return fail(EIO);
    if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) return fail(EIO);
  }
}

int PosixSerialPort::queued() {
  if (fd_ < 0) {
    fail(EBADF);
    return -1;
  }
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) {
    fail(errno);
    return -1;
  }
  return n;
}

int PosixSerialPort::read(uint8_t* data, size_t n) {
  if (fd_ < 0) {
    fail(EBADF);
    return -1;
  }
  for (;;) {
    ssize_t k = ::read(fd_, data, n);
    if (k >= 0) return int(k);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    fail(errno);
    return -1;
  }
}

void PosixSerialPort::flushInput() {
  if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

}  // namespace capture
