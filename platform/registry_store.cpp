#include "registry_store.h"

#include "atomic_file.h"
#include "lock_file.h"
#include "registry_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace platform {
namespace fs = std::filesystem;

namespace {

std::string fullPath(RegRoot root, const std::string& path) {
  std::string p = RegistryText::normalisePath(path);
  return p.empty() ? std::string(regRootName(root)) : std::string(regRootName(root)) + "\\" + p;
}

// The store's text; nullopt when the file exists but cannot be read. A missing file is
// an empty store.
std::optional<RegistryText> load(const std::string& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? std::optional<RegistryText>(RegistryText()) : std::nullopt;
  std::string text;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (n < 0) return std::nullopt;
  return RegistryText(text);
}

// Runs `change` on the text under an exclusive lock and writes the result when it
// says it changed something. Returns false when the file could not be written.
bool modify(const std::string& file, const std::function<bool(RegistryText&)>& change) {
  std::error_code ec;
  fs::path parent = fs::path(file).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  const HeldLock lock(file + ".lock");
  // A store that is there but cannot be read is left alone: rewriting it from
  // nothing would lose every key in it.
  std::optional<RegistryText> text = load(file);
  bool ok = text.has_value();
  if (ok && change(*text)) ok = writeFileAtomic(file, text->text());
  return ok;
}

}  // namespace

const char* regRootName(RegRoot root) {
  switch (root) {
    case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
  }
  return "HKEY_LOCAL_MACHINE";
}

RegistryStore::RegistryStore(std::string file) : file_(std::move(file)) {}

std::string RegistryStore::defaultPath() {
  if (const char* env = std::getenv("ZEB_REGISTRY_FILE"); env && *env) return env;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    config = std::string(home) + "/.config";
  else
    config = ".config";
  return config + "/ZEB/registry.reg";
}

std::optional<RegKey> RegistryStore::open(RegRoot root, const std::string& path) const {
  std::string full = fullPath(root, path);
  std::optional<RegistryText> text = load(file_);
  if (!text || !text->hasKey(full)) return std::nullopt;
  return RegKey(this, full, RegistryText::normalisePath(path));
}

std::optional<RegKey> RegistryStore::create(RegRoot root, const std::string& path) const {
  std::string full = fullPath(root, path);
  bool ok = modify(file_, [&](RegistryText& text) { return text.createKey(full); });
  if (!ok) return std::nullopt;
  return RegKey(this, full, RegistryText::normalisePath(path));
}

bool RegistryStore::deleteKey(RegRoot root, const std::string& path) const {
  std::string full = fullPath(root, path);
  bool removed = false;
  bool ok = modify(file_, [&](RegistryText& text) { return removed = text.deleteKey(full); });
  return ok && removed;
}

std::optional<uint32_t> RegKey::readDword(const std::string& name) const {
  std::optional<RegistryText> text = load(store_->file_);
  std::optional<RegistryText::Value> v = text ? text->value(full_, name) : std::nullopt;
  if (!v || !v->isDword) return std::nullopt;
  return v->dword;
}

std::optional<std::string> RegKey::readString(const std::string& name) const {
  std::optional<RegistryText> text = load(store_->file_);
  std::optional<RegistryText::Value> v = text ? text->value(full_, name) : std::nullopt;
  if (!v || v->isDword) return std::nullopt;
  return v->text;
}

bool RegKey::writeDword(const std::string& name, uint32_t value) {
  RegistryText::Value v;
  v.isDword = true;
  v.dword = value;
  return modify(store_->file_, [&](RegistryText& text) { return text.setValue(full_, name, v); });
}

bool RegKey::writeString(const std::string& name, const std::string& value) {
  RegistryText::Value v;
  v.text = value;
  return modify(store_->file_, [&](RegistryText& text) { return text.setValue(full_, name, v); });
}

bool RegKey::deleteValue(const std::string& name) {
  bool removed = false;
  bool written = modify(store_->file_, [&](RegistryText& text) { return removed = text.deleteValue(full_, name); });
  return written && removed;
}

}  // namespace platform
