// Files for fuzz targets: the input as a file that readers open by name, and a folder for
// the files a target writes.
#pragma once

#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

namespace adfuzz {

// The input as a file in memory; path() names it while the object lives (empty when it
// could not be made).
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(::memfd_create("fuzz-input", 0)) {
    if (fd_ >= 0 && ::write(fd_, data, size) == static_cast<ssize_t>(size)) {
      path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// The target's own folder for the files it writes: on the memory file system where there
// is one (on a disk file system, creating and removing files for every input costs far
// more than reading them), removed with its contents when the run ends.
inline std::string folder() {
  // Plain bytes, so that the name outlives every destructor run at exit.
  static char name[64];
  static const bool made = [] {
    struct stat st;
    const bool memory = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode);
    std::strcpy(name, memory ? "/dev/shm/albumdesk-fuzz-XXXXXX" : "/tmp/albumdesk-fuzz-XXXXXX");
    if (!::mkdtemp(name)) return false;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(name, ec);
    });
    return true;
  }();
  return made ? name : "/tmp";
}

}  // namespace adfuzz
