#include "work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/atomic_file.h"

namespace workspace {

namespace {

// The session files' names: '#' stands for a digit, '?' for an ASCII letter or digit,
// anything else for itself.
constexpr std::string_view kSessionNames[] = {
    "zbm1###.???",   "zbm1###TN.bmp", "zbmt.",         "zbmt.?",      "zbmt.??", "zbmt.???",
    "zbmt####.dvf",  "zbm??????.bmp", "zbm??????.jpg", "zbmview.bmp", "MVTMP###.BMP",
    "tmp.bmp",       "tn.jpg",        "temp.jpg",      "temp.dvf",    "temp.yuv",
};

bool fits(std::string_view name, std::string_view form) {
  if (name.size() != form.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool digit = c >= '0' && c <= '9';
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool ok = form[i] == '#' ? digit : form[i] == '?' ? digit || letter : c == form[i];
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool IsSessionFileName(std::string_view name) {
  for (std::string_view form : kSessionNames) {
    if (fits(name, form)) return true;
  }
  return false;
}

size_t RemoveEndedSessionFiles(const std::string& workDir) {
  size_t removed = platform::removeStaleTemporaries(workDir);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(workDir.empty() ? "." : workDir.c_str()), &::closedir);
  if (!dir) return removed;
  const int fd = ::dirfd(dir.get());
  while (const dirent* e = ::readdir(dir.get())) {
    if (!IsSessionFileName(e->d_name)) continue;
    struct stat st;
    if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if ((S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && ::unlinkat(fd, e->d_name, 0) == 0) ++removed;
  }
  return removed;
}

}  // namespace workspace
