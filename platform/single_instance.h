// The single-instance lock: one work folder has one running copy of the program.
//
// The running copy owns the work folder: its working copies, thumbnails and temporary
// files, and what a copy that ended without cleaning up left there. The lock is an
// exclusive flock on the lock file "ZEBStillImageApp4" inside the work folder, so two
// copies that share the folder exclude each other however their environments differ
// (a runtime folder set or not, as from cron or su). The kernel drops the lock when the
// holder ends, however it ends, so a crashed copy never blocks the next start. The lock
// file is opened as every lock file is (lock_file.h): never through a link, never
// inherited by programs the holder starts.
#pragma once

#include <string>

namespace platform {

class SingleInstanceLock {
 public:
  enum class Result {
    Acquired,       // this process holds the lock now (or held it already)
    HeldElsewhere,  // another process holds it
    Unavailable,    // the lock file cannot be used (no folder, not ours, a link)
  };

  // The lock file of the work folder (folders.h); the folder must exist to take it.
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
