#include "lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int openLockFile(const std::string& path) {
  // Non-blocking, so that a pipe under the name cannot hold the open.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

HeldLock::HeldLock(const std::string& path) : fd_(openLockFile(path)) {
  if (fd_ < 0) return;
  int rc;
  do {
    rc = ::flock(fd_, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

HeldLock::~HeldLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the lock
}

}  // namespace platform
