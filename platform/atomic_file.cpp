#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

namespace platform {

namespace {

// The file that writing `target` replaces: a link stays a link, and the file it
// points to (in whatever folder) gets the new content.
std::string resolveLinks(const std::string& target) {
  std::string path = target;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) break;
    std::string link(buf.data(), static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
  }
  return path;
}

constexpr size_t kNameMax = 255;
constexpr char kSuffix[] = ".tmp";
constexpr size_t kRandomChars = 6;

// A temporary name beside `path` whose file name stays within the system's limit.
std::string tempName(const std::string& path, std::mt19937_64& rng) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t room = kNameMax - (sizeof kSuffix - 1) - kRandomChars;
  if (name.size() > room) name.resize(room);
  static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string out = dir + name + kSuffix;
  for (size_t i = 0; i < kRandomChars; ++i) out += chars[rng() % (sizeof chars - 1)];
  return out;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target)) {}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

bool AtomicFileWriter::open() {
  discard();
  failed_ = false;
  dest_ = resolveLinks(target_);
  // A file that is replaced keeps its permissions and, where we may, its owner; a new
  // one is made as any new file is (the process's umask applies).
  struct stat old;
  bool replacing = ::stat(dest_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  thread_local std::mt19937_64 rng(std::random_device{}());
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string name = tempName(dest_, rng);
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) temp_ = name;
    else if (errno != EEXIST) return false;
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
  bool ok = ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = ::rename(temp_.c_str(), dest_.c_str()) == 0;
  if (!ok) ::unlink(temp_.c_str());
  temp_.clear();
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
