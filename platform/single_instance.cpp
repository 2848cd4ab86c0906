#include "single_instance.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "folders.h"
#include "lock_file.h"

namespace platform {

std::string SingleInstanceLock::defaultPath() { return workDir() + "ZEBStillImageApp4"; }

SingleInstanceLock::SingleInstanceLock(std::string path) : path_(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() { release(); }

SingleInstanceLock::Result SingleInstanceLock::acquire() {
  if (fd_ >= 0) return Result::Acquired;
  const int fd = openLockFile(path_);
  if (fd < 0) return Result::Unavailable;
  // A file that is not our own is not used: its owner could hold it for ever.
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
    ::close(fd);
    return Result::Unavailable;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
  }
  fd_ = fd;
  return Result::Acquired;
}

void SingleInstanceLock::release() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the only descriptor drops the lock
  fd_ = -1;
}

}  // namespace platform
