// Writing a file so that readers see either the old content or the new, never a
// torn one: the bytes go to a temporary file in the same folder, are flushed to disk,
// and the temporary is renamed over the target. On failure the temporary is removed
// and the old file is left as it was. A replaced file keeps its permissions; when the
// target is a symbolic link, the link stays and the file it points to is replaced.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool writeFileAtomic(const std::string& path, std::string_view bytes);

// For writers that produce their output piecewise: open() makes the temporary file,
// commit() renames it over the target. A writer destroyed without commit() removes
// its temporary file.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string target);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  bool open();
  bool write(const void* data, size_t size);
  // Flushes, closes and renames. False (and nothing changed at the target) on any failure.
  bool commit();
  // Removes the temporary file without touching the target.
  void discard();

  int fd() const { return fd_; }
  const std::string& tempPath() const { return temp_; }
  const std::string& target() const { return target_; }

 private:
  std::string target_;
  std::string dest_;  // the target with symbolic links followed
  std::string temp_;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace platform
