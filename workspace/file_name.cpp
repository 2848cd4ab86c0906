#include "file_name.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/folders.h"
#include "platform/messages.h"

namespace workspace {

namespace {

bool statPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

bool isFolder(const std::string& path) {
  struct stat st;
  return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isPresent(const std::string& path) {
  struct stat st;
  return statPath(path, st);
}

// A regular file (or anything else that is not a folder).
bool statFile(const std::string& path, struct stat& st) {
  return statPath(path, st) && !S_ISDIR(st.st_mode);
}

std::string currentDir() {
  std::error_code ec;
  std::string cwd = std::filesystem::current_path(ec).string();
  return ec ? std::string("/") : cwd;
}

}  // namespace

size_t FileName::FileStart() const {
  size_t slash = path_.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

size_t FileName::FirstDot() const {
  size_t dot = path_.find('.', FileStart());
  return dot == std::string::npos ? path_.size() : dot;
}

std::string FileName::GetExt() const {
  size_t from = path_.size() > 5 ? path_.size() - 5 : 0;
  if (from < FileStart()) from = FileStart();
  size_t dot = path_.rfind('.');
  if (dot == std::string::npos || dot < from) return {};
  return path_.substr(dot + 1);
}

std::string FileName::GetBaseName() const {
  size_t start = FileStart();
  return path_.substr(start, FirstDot() - start);
}

std::string FileName::RemoveExt() const {
  size_t dot = FirstDot();
  if (dot < path_.size() && dot == FileStart()) return {};
  return path_.substr(0, dot);
}

std::string FileName::GetDir() const {
  size_t slash = path_.rfind('/');
  return slash == std::string::npos ? std::string() : path_.substr(0, slash);
}

std::string FileName::GetFullPath() const {
  if (path_.empty() || path_[0] == '/') return path_;
  std::string cwd = currentDir();
  if (cwd.back() != '/') cwd += '/';
  return cwd + path_;
}

bool FileName::CheckDirs(bool create) const {
  std::string full = GetFullPath();
  if (full.empty()) return false;
  for (size_t i = 1; i < full.size(); ++i) {
    if (full[i] != '/') continue;
    std::string folder = full.substr(0, i);
    if (isFolder(folder)) continue;
    if (!create) return false;
    // A failed mkdir still counts when the folder is there now (made by someone else).
    if (::mkdir(folder.c_str(), 0777) != 0 && !isFolder(folder)) return false;
  }
  return true;
}

bool FileName::Exists() const {
  struct stat st;
  return !path_.empty() && statFile(path_, st);
}

bool FileName::Occupied() const {
  struct stat st;
  return !path_.empty() && ::lstat(path_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileName::GetDiskFree(uint64_t& bytes) const {
  std::string probe = GetFullPath();
  if (probe.empty()) return false;
  for (;;) {
    struct statvfs vfs;
    if (::statvfs(probe.c_str(), &vfs) == 0) {
      bytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
      return true;
    }
    if ((errno != ENOENT && errno != ENOTDIR) || probe == "/") return false;
    probe = FileName(probe).GetDir();
    if (probe.empty()) probe = "/";  // the parent of "/x"
  }
}

bool FileName::GetSize(uint64_t& size) const {
  struct stat st;
  if (path_.empty() || !statFile(path_, st)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

std::string FileName::NextFreeName(uint32_t start) const {
  std::string base = GetBaseName();
  std::string ext = GetExt();
  if (!ext.empty()) ext.insert(0, ".");
  size_t digits = 0;
  for (char c : base) digits += (c >= '0' && c <= '9');
  if (digits == 0 || digits >= 9) return {};
  std::string prefix = base.substr(0, base.size() - digits);
  // A name in the current folder stays relative; anything else keeps its folder.
  std::string folder = path_.find('/') == std::string::npos ? std::string() : GetDir() + "/";
  uint32_t limit = 1;
  for (size_t i = 0; i < digits; ++i) limit *= 10;
  char counter[16];
  for (uint32_t n = start; n < limit; ++n) {
    std::snprintf(counter, sizeof counter, "%0*u", static_cast<int>(digits), n);
    std::string candidate = folder + prefix + counter + ext;
    struct stat st;
    if (::lstat(candidate.c_str(), &st) == 0) continue;
    if (errno == ENOENT) return candidate;
    return {};  // the folder cannot be searched: no name in it can be had
  }
  return {};
}

void Wait(uint32_t ms, platform::Clock& clock) {
  using std::chrono::milliseconds;
  const auto startTime = clock.now();
  const auto total = milliseconds(ms);
  const bool gui = platform::isGuiThread();
  for (;;) {
    if (gui) {
      QCoreApplication::processEvents();
      if (ms > 10) clock.sleepFor(milliseconds(10));
    } else {
      auto left = total - (clock.now() - startTime);
      if (left > milliseconds(10)) left = milliseconds(10);
      if (left > left.zero()) clock.sleepFor(left);
    }
    if (clock.now() - startTime >= total) return;
  }
}

std::string GetExistingDir(const std::string& path) { return isFolder(path) ? path : std::string(); }

bool GetFileWriteTime(const std::string& path, FileTime& time) {
  struct stat st;
  if (!statFile(path, st)) return false;
  time = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

namespace {
bool waitForPresence(const std::string& path, bool present, platform::Clock& clock) {
  const auto startTime = clock.now();
  for (;;) {
    if (isPresent(path) == present) return true;
    if (clock.now() - startTime > kFileWaitLimit) return false;
    Wait(static_cast<uint32_t>(kFileWaitStep.count()), clock);
  }
}
}  // namespace

bool WaitFileExists(const std::string& path, platform::Clock& clock) {
  return waitForPresence(path, true, clock);
}

bool WaitFileGone(const std::string& path, platform::Clock& clock) {
  return waitForPresence(path, false, clock);
}

bool MakeReplaceable(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR)) return true;
  return ::fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0;
}

ModeKeeper::ModeKeeper(std::string path) : path_(std::move(path)) {
  struct stat st;
  if (::lstat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  kept_ = true;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  mode_ = st.st_mode & 07777;
}

ModeKeeper::~ModeKeeper() {
  struct stat st;
  if (!kept_ || ::lstat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != device_ ||
      st.st_ino != inode_ || (st.st_mode & 07777) == mode_) {
    return;
  }
  ::fchmodat(AT_FDCWD, path_.c_str(), mode_, AT_SYMLINK_NOFOLLOW);
}

bool GetDesktopFolder(std::string& folder) {
  folder = platform::desktopDir();
  return !folder.empty();
}

}  // namespace workspace
