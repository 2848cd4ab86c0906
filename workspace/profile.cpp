#include "profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <optional>

#include "file_name.h"
#include "ini_file.h"
#include "platform/atomic_file.h"
#include "platform/folders.h"

namespace workspace {

namespace {

// The whole file; "" for a missing file; nothing when it exists but cannot be read.
std::optional<std::string> readSettings(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string text;
  char buf[16384];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

std::string withoutTrailingSlash(std::string dir) {
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir;
}

}  // namespace

CProfile::CProfile()
    : CProfile(platform::workDir(), withoutTrailingSlash(platform::appDir())) {}

CProfile::CProfile(std::string workDir, std::string programDir)
    : programDir_(std::move(programDir)), workDir_(std::move(workDir)) {
  if (workDir_.empty() || workDir_.back() != '/') workDir_ += '/';
  settingsPath_ = workDir_ + "kbx40.ini";
  // When this fails the program goes on: reads give defaults, writes fail.
  FileName(workDir_).CheckDirs(true);
}

bool CProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  auto text = readSettings(settingsPath_);
  if (!text) return false;  // never replace a file we could not read
  if (::access(settingsPath_.c_str(), F_OK) == 0 && ::access(settingsPath_.c_str(), W_OK) != 0) {
    return false;  // a read-only settings file stays as it is
  }
  IniFile ini(*text);
  return ini.Set(section, key, value) && platform::writeFileAtomic(settingsPath_, ini.Text());
}

bool CProfile::ReadString(std::string_view section, std::string_view key, std::string& value) const {
  auto text = readSettings(settingsPath_);
  if (!text) return false;
  auto found = IniFile(*text).Get(section, key);
  if (!found || found->empty()) return false;
  value = std::move(*found);
  return true;
}

bool CProfile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool CProfile::ReadInt(std::string_view section, std::string_view key, int32_t& value) const {
  std::string text;
  if (!ReadString(section, key, text)) return false;
  std::string_view digits = text;
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t')) digits.remove_prefix(1);
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) digits.remove_suffix(1);
  if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
  int32_t number = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size()) return false;
  value = number;
  return true;
}

}  // namespace workspace
