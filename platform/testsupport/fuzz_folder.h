// A fuzz target's own folder for the files it writes: on the memory file system where
// there is one (on a disk file system, creating and removing files for every input costs
// far more than reading them), removed with its contents when the run ends.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace adfuzz {

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
