// The single-instance lock: only one copy of the program runs per user.
//
// The lock is an exclusive flock on a lock file named "ZEBStillImageApp4" in the
// user's runtime folder ($XDG_RUNTIME_DIR), or "ZEBStillImageApp4-<uid>" in the
// temporary folder when there is none. The kernel drops the lock when the holder
// ends, however it ends, so a crashed copy never blocks the next start. The file
// descriptor is closed on exec, so programs started by the holder do not keep
// the lock alive after it has gone.
#pragma once

#include <string>

namespace platform {

class SingleInstanceLock {
 public:
  enum class Result {
    Acquired,       // this process holds the lock now (or held it already)
    HeldElsewhere,  // another process holds it
    Unavailable,    // the lock file cannot be used (not creatable, not ours, a link)
  };

  // The lock file of this user as described above.
  static std::string defaultPath();

  explicit SingleInstanceLock(std::string path = defaultPath());
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  Result acquire();
  // Gives the lock up; nothing happens when it is not held.
  void release();
  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
