// Lock files: files that exist only to carry an flock, so that processes take turns.
//
// A lock file is opened without following a symbolic link and is used only when it is a
// regular file: a link or a pipe planted under its name never makes the program create,
// open or block on something elsewhere. The descriptor is closed on exec, so programs
// started by the holder do not keep a lock alive after it has gone.
#pragma once

#include <string>

namespace platform {

// Opens the lock file at `path`, creating it (mode 0600) when it is not there; its
// descriptor, or -1 (errno set) when it cannot be used.
int openLockFile(const std::string& path);

// An exclusive lock on the lock file at `path`, waited for, held while the object lives.
// When the file cannot be used the work goes on without the lock: held() is false.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path);
  ~HeldLock();
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform
