// Paths and the small file helpers the whole program uses.
//
// Paths are POSIX paths in UTF-8 bytes with "/" as the one separator; there are no
// drive letters. UTF-8 never puts the bytes '.', '/' or ':' inside a multi-byte
// character, so every search here works on single bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace workspace {

// One path and the questions the program asks about it. No operation changes the
// stored path except Set; every text returned is a new string.
class FileName {
 public:
  FileName() = default;
  explicit FileName(std::string path) : path_(std::move(path)) {}

  void Set(std::string path) { path_ = std::move(path); }
  const std::string& Get() const { return path_; }

  // The text after the last '.' that stands both after the last '/' and among the
  // last five characters (so at most 4 characters); "" when there is none.
  std::string GetExt() const;
  // The file name (after the last '/') up to its first '.'.
  std::string GetBaseName() const;
  // The path up to the first '.' of the file name; the whole path when the file name
  // has no '.'; "" when the file name starts with '.'.
  std::string RemoveExt() const;
  // Everything before the last '/'; "" when there is no '/'.
  std::string GetDir() const;
  // Always "": paths here have no drive.
  std::string GetDrive() const { return {}; }
  // The path itself when absolute, else the current directory + "/" + the path.
  std::string GetFullPath() const;
  // Whether every folder of the path that is followed by a '/' exists; with create,
  // missing ones are made, from the top down. A folder path must end with '/' for
  // its last folder to count.
  bool CheckDirs(bool create) const;
  // True when the path names an existing object that is not a folder.
  bool Exists() const;
  // The question before a file is replaced: true when something that is not a folder
  // has the name, a symbolic link counting as itself, also one that names nothing or a
  // folder (a save replaces the link, never what it names).
  bool Occupied() const;
  // Bytes free for the user on the file system that holds the path (or its nearest
  // existing parent).
  bool GetDiskFree(uint64_t& bytes) const;
  // The size of the file in bytes; false for a folder or a missing file.
  bool GetSize(uint64_t& size) const;
  // The first free name of the numbered series the path gives: its base name's
  // digits (1 to 8 of them, at its end) are the counter, which counts from `start`.
  // A name is free when nothing at all (file, folder or link) has it. "" when the
  // base name has no digits or more than 8, or every name is taken.
  std::string NextFreeName(uint32_t start) const;

 private:
  size_t FileStart() const;
  size_t FirstDot() const;
  std::string path_;
};

// Last-write time of a file: nanoseconds since 1970-01-01 00:00 UTC.
using FileTime = int64_t;

// How long WaitFileExists and WaitFileGone wait at most, and how often they look.
constexpr std::chrono::milliseconds kFileWaitLimit{10000};
constexpr std::chrono::milliseconds kFileWaitStep{20};

// Returns after at least `ms` milliseconds. On the GUI thread it keeps processing
// pending events meanwhile (at least once, sleeping in 10 ms steps when ms > 10);
// on any other thread it only sleeps.
void Wait(uint32_t ms, platform::Clock& clock = platform::SystemClock::instance());

// The path itself when it names an existing folder, else "".
std::string GetExistingDir(const std::string& path);

// The last-write time of a file (not a folder); false and `time` unchanged when it
// cannot be read.
bool GetFileWriteTime(const std::string& path, FileTime& time);

// Wait until the path exists, or until it does not; false after kFileWaitLimit.
bool WaitFileExists(const std::string& path,
                    platform::Clock& clock = platform::SystemClock::instance());
bool WaitFileGone(const std::string& path,
                  platform::Clock& clock = platform::SystemClock::instance());

// After the user agreed to replace the file at `path`: a regular file gets the owner's
// write permission (the normal attributes) where it lacks it; anything else, a link too,
// is left as it is, since the save replaces it. False when the permission cannot be set.
bool MakeReplaceable(const std::string& path);

// The permissions of the regular file at `path` as they are when the object is made, put
// back when it goes unless the file was replaced meanwhile: every save puts a new file in
// the old one's place, so a save that failed after MakeReplaceable (or after anything
// else that changed the mode) leaves the old file as it was.
class ModeKeeper {
 public:
  explicit ModeKeeper(std::string path);
  ~ModeKeeper();
  ModeKeeper(const ModeKeeper&) = delete;
  ModeKeeper& operator=(const ModeKeeper&) = delete;

 private:
  std::string path_;
  bool kept_ = false;
  uint64_t device_ = 0, inode_ = 0;
  uint32_t mode_ = 0;
};

// The user's desktop folder (without a trailing '/'); false and "" when there is none.
bool GetDesktopFolder(std::string& folder);

}  // namespace workspace
