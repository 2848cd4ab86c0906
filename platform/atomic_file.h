// Writing a file so that readers see either the old content or the new, never a
// torn one: the bytes go to a temporary file in the same folder, are flushed to disk,
// and the temporary is renamed over the target. On failure the temporary is removed
// and the old file is left as it was.
//
// The rules every file the program writes follows, in one place:
// - A temporary has one name form, "<target name>.~<8 letters or digits>.tmp" beside the
//   target, the target's name shortened (at a character boundary) so that the whole
//   stays within the system's 255-byte limit. While a writer uses it, it holds an
//   exclusive flock on it; a temporary that nobody holds was left by a save that was
//   killed, and is removed by the next save of the same target and by
//   removeStaleTemporaries (the program's start-up, for the work folder).
// - A symbolic link at the target is never followed: the new file replaces the link
//   itself, and whatever the link names is left alone. (The folder part of the path is
//   resolved by the system as usual.)
// - An existing regular file whose permission bits do not let this process write it is
//   a file the user keeps from being changed: it is left as it is and the write fails
//   with EACCES. Root may write a file that has any write bit set.
// - A replaced file keeps its permissions (and, where the process may, its owner); a new
//   one is made as any new file is (the process's umask applies).
//
// This file's code has no dependency beyond the C and C++ runtime, so the JPEG module
// links it as it is.
#pragma once

#include <sys/types.h>

#include <cstddef>
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

  // False (errno set) when the folder cannot be written, the target is a folder or a
  // file the process may not write.
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
  std::string temp_;
  int fd_ = -1;
  bool failed_ = false;
};

// The temporary name form. `tag` is the eight letters or digits that make it unique.
std::string temporaryName(std::string_view targetName, std::string_view tag);
// Whether a file name has the form, for any target or for the target named.
bool isTemporaryName(std::string_view fileName);
bool isTemporaryNameOf(std::string_view fileName, std::string_view targetName);

// Removes the temporaries in `folder` that no live writer holds; the number removed.
size_t removeStaleTemporaries(const std::string& folder);

// Creates a file that is not there yet, for writing (a descriptor, or -1 with errno).
// Anything already at the path, a symbolic link too, makes it fail: for work files the
// program makes anew (removing the old one first) and must never write through a link.
int createNewFile(const std::string& path, mode_t mode = 0666);

}  // namespace platform
