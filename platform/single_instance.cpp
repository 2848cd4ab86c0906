#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {
constexpr const char* kLockName = "ZEBStillImageApp4";

bool isDirectory(const char* path) {
  struct stat st;
  return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string withoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}
}  // namespace

std::string SingleInstanceLock::defaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (isDirectory(runtime)) return withoutTrailingSlash(runtime) + "/" + kLockName;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = isDirectory(tmp) ? withoutTrailingSlash(tmp) : "/tmp";
  return dir + "/" + kLockName + "-" + std::to_string(::getuid());
}

SingleInstanceLock::SingleInstanceLock(std::string path) : path_(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() { release(); }

SingleInstanceLock::Result SingleInstanceLock::acquire() {
  if (fd_ >= 0) return Result::Acquired;
  // The temporary folder is shared with other users: a link planted under our
  // name is not followed, and a file that is not our own is not used.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Result::Unavailable;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return Result::Unavailable;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int err = errno;
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
