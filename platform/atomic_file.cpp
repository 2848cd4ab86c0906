#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <vector>

namespace platform {

namespace {

constexpr size_t kNameMax = 255;
constexpr std::string_view kMark = ".~";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kTagChars = 8;
constexpr size_t kAdded = kMark.size() + kTagChars + kSuffix.size();

bool isTagChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// The target's name as it stands in its temporaries: cut to leave room for the rest,
// never inside a UTF-8 sequence.
std::string_view namePart(std::string_view targetName) {
  if (targetName.size() + kAdded <= kNameMax) return targetName;
  size_t keep = kNameMax - kAdded;
  while (keep > 0 && (static_cast<unsigned char>(targetName[keep]) & 0xC0) == 0x80) --keep;
  return targetName.substr(0, keep);
}

// The folder part with its slash ("" for a name in the current folder).
std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the permission bits let this process write the file. The mode decides, not
// access(): a root process may write anything, but a file that nobody may write is
// one the user keeps from being changed.
bool writableByMode(const struct stat& st) {
  const uid_t uid = ::geteuid();
  if (uid == 0) return (st.st_mode & 0222) != 0;
  if (uid == st.st_uid) return (st.st_mode & S_IWUSR) != 0;
  bool inGroup = ::getegid() == st.st_gid;
  if (!inGroup) {
    int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(n > 0 ? static_cast<size_t>(n) : 0);
    n = groups.empty() ? 0 : ::getgroups(n, groups.data());
    for (int i = 0; i < n && !inGroup; ++i) inGroup = groups[static_cast<size_t>(i)] == st.st_gid;
  }
  return (st.st_mode & (inGroup ? S_IWGRP : S_IWOTH)) != 0;
}

// Checks what stands at the target before it is replaced: nothing, a link (replaced
// itself), or a file this process may write. `old` receives a regular file's status.
bool mayReplace(const std::string& target, struct stat& old, bool& regular) {
  regular = false;
  if (::lstat(target.c_str(), &old) != 0) return errno == ENOENT;
  if (S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return false;
  }
  regular = S_ISREG(old.st_mode);
  if (regular && !writableByMode(old)) {
    errno = EACCES;
    return false;
  }
  return true;
}

// Removes the temporary `name` in the folder when it is a regular file of ours that no
// writer holds locked. The lock is kept until the name is gone, and the name must still
// be the file that was locked.
bool removeIfStale(int dir, const char* name) {
  int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::openat(dir, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat held, named;
  bool removed = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
                 ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                 named.st_dev == held.st_dev && named.st_ino == held.st_ino && ::unlinkat(dir, name, 0) == 0;
  ::close(fd);
  return removed;
}

// Removes the stale temporaries in `folder` whose names pass `wanted`.
template <class Wanted>
size_t removeStale(const std::string& folder, Wanted&& wanted) {
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return 0;
  size_t removed = 0;
  const int dir = ::dirfd(d);
  while (const dirent* e = ::readdir(d)) {
    if (wanted(std::string_view(e->d_name)) && removeIfStale(dir, e->d_name)) ++removed;
  }
  ::closedir(d);
  return removed;
}

}  // namespace

std::string temporaryName(std::string_view targetName, std::string_view tag) {
  std::string out(namePart(targetName));
  out += kMark;
  out += tag;
  out += kSuffix;
  return out;
}

bool isTemporaryName(std::string_view fileName) {
  if (fileName.size() <= kAdded || fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) return false;
  const size_t tag = fileName.size() - kSuffix.size() - kTagChars;
  for (size_t i = tag; i < tag + kTagChars; ++i) {
    if (!isTagChar(fileName[i])) return false;
  }
  return fileName.substr(tag - kMark.size(), kMark.size()) == kMark;
}

bool isTemporaryNameOf(std::string_view fileName, std::string_view targetName) {
  const std::string_view part = namePart(targetName);
  return fileName.size() == part.size() + kAdded && fileName.substr(0, part.size()) == part &&
         isTemporaryName(fileName);
}

size_t removeStaleTemporaries(const std::string& folder) {
  return removeStale(folder, [](std::string_view name) { return isTemporaryName(name); });
}

int createNewFile(const std::string& path, mode_t mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target)) {}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

bool AtomicFileWriter::open() {
  discard();
  failed_ = false;
  const std::string folder = folderOf(target_);
  const std::string name = nameOf(target_);
  if (name.empty()) {
    errno = EISDIR;
    return false;
  }
  struct stat old;
  bool replacing = false;
  if (!mayReplace(target_, old, replacing)) return false;
  // What an earlier save of this target left when it was killed goes first.
  removeStale(folder, [&](std::string_view entry) { return isTemporaryNameOf(entry, name); });

  thread_local std::mt19937_64 rng(std::random_device{}());
  static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string tag;
    for (size_t i = 0; i < kTagChars; ++i) tag += chars[rng() % (sizeof chars - 1)];
    const std::string path = folder + temporaryName(name, tag);
    int fd = createNewFile(path);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // Held from now on: a cleaner that opened the file before the lock was taken may
    // have removed it, so the name must still be this file.
    struct stat held, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 ||
        ::lstat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino || named.st_dev != held.st_dev) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    temp_ = path;
  }
  if (fd_ < 0) return false;
  if (replacing) {
    // Only a privileged process may hand the file to its old owner; otherwise the new
    // file is ours, with the old permissions.
    int owned = ::fchown(fd_, old.st_uid, old.st_gid);
    (void)owned;
    ::fchmod(fd_, old.st_mode & 07777);
  }
  return true;
}

bool AtomicFileWriter::write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFileWriter::commit() {
  if (fd_ < 0 || failed_) {
    discard();
    return false;
  }
  // The target may have been made read-only while the file was written.
  struct stat old;
  bool regular = false;
  bool ok = ::fsync(fd_) == 0 && mayReplace(target_, old, regular);
  // The lock is held until the temporary's name is gone.
  if (ok) ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
  const int error = errno;
  if (ok) temp_.clear();
  discard();
  errno = error;
  return ok;
}

void AtomicFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool writeFileAtomic(const std::string& path, std::string_view bytes) {
  AtomicFileWriter w(path);
  return w.open() && w.write(bytes.data(), bytes.size()) && w.commit();
}

}  // namespace platform
