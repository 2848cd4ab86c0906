#include "registry_store.h"

#include "atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

namespace platform {
namespace fs = std::filesystem;

namespace {

struct Value {
  std::string name;
  bool isDword = false;
  uint32_t dword = 0;
  std::string text;
};

struct Key {
  std::string path;  // full path with the root name
  std::vector<Value> values;
};

using Tree = std::vector<Key>;

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

// "a\\\\b\\" -> "a\\b": runs of separators collapse, none leads or trails.
std::string normalisePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    char ch = c == '/' ? '\\' : c;
    if (ch == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += ch;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string fullPath(RegRoot root, const std::string& path) {
  std::string p = normalisePath(path);
  return p.empty() ? std::string(regRootName(root)) : std::string(regRootName(root)) + "\\" + p;
}

bool isUnder(const std::string& child, const std::string& parent) {
  return child.size() > parent.size() && child[parent.size()] == '\\' &&
         sameName(child.substr(0, parent.size()), parent);
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// Reads a quoted string starting at s[pos] == '"'. Returns the position after the
// closing quote, or npos when the string does not end on this line.
size_t unquote(const std::string& s, size_t pos, std::string& out) {
  out.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return i + 1;
    if (c == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return std::string::npos;
}

Tree parse(const std::string& text) {
  Tree tree;
  std::istringstream in(text);
  std::string line;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t end = line.rfind(']');
      current = nullptr;
      if (end == std::string::npos || end < 2) continue;
      std::string path = normalisePath(line.substr(1, end - 1));
      if (path.empty()) continue;
      auto it = std::find_if(tree.begin(), tree.end(),
                             [&](const Key& k) { return sameName(k.path, path); });
      if (it == tree.end()) {
        tree.push_back({path, {}});
        current = &tree.back();
      } else {
        current = &*it;
      }
      continue;
    }
    if (!current || line[0] != '"') continue;
    Value v;
    size_t pos = unquote(line, 0, v.name);
    if (pos == std::string::npos || pos >= line.size() || line[pos] != '=') continue;
    std::string data = line.substr(pos + 1);
    if (data.size() > 6 && data.compare(0, 6, "dword:") == 0) {
      std::string hex = data.substr(6);
      if (hex.empty() || hex.size() > 8 ||
          hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        continue;
      v.isDword = true;
      v.dword = static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    } else if (!data.empty() && data[0] == '"') {
      if (unquote(data, 0, v.text) == std::string::npos) continue;
    } else {
      continue;
    }
    auto it = std::find_if(current->values.begin(), current->values.end(),
                           [&](const Value& x) { return sameName(x.name, v.name); });
    if (it == current->values.end())
      current->values.push_back(std::move(v));
    else
      *it = std::move(v);
  }
  return tree;
}

std::string format(const Tree& tree) {
  std::ostringstream out;
  out << "REGEDIT4\n";
  for (const Key& k : tree) {
    out << "\n[" << k.path << "]\n";
    for (const Value& v : k.values) {
      out << '"' << escape(v.name) << "\"=";
      if (v.isDword) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", v.dword);
        out << "dword:" << hex << '\n';
      } else {
        out << '"' << escape(v.text) << "\"\n";
      }
    }
  }
  return out.str();
}

// The keys of the store; nullopt when the file exists but cannot be read. A missing
// file is an empty store.
std::optional<Tree> load(const std::string& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? std::optional<Tree>(Tree{}) : std::nullopt;
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
  return parse(text);
}

Key* findKey(Tree& tree, const std::string& full) {
  auto it = std::find_if(tree.begin(), tree.end(), [&](const Key& k) { return sameName(k.path, full); });
  return it == tree.end() ? nullptr : &*it;
}

// Runs `change` on the tree under an exclusive lock and writes the result when it
// says so. Returns false when the file could not be written.
bool modify(const std::string& file, const std::function<bool(Tree&)>& change) {
  std::error_code ec;
  fs::path parent = fs::path(file).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  std::string lockName = file + ".lock";
  int lock = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  // A store that is there but cannot be read is left alone: rewriting it from
  // nothing would lose every key in it.
  std::optional<Tree> tree = load(file);
  bool ok = tree.has_value();
  if (ok && change(*tree)) ok = writeFileAtomic(file, format(*tree));
  if (lock >= 0) ::close(lock);
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
  std::optional<Tree> tree = load(file_);
  if (!tree || !findKey(*tree, full)) return std::nullopt;
  return RegKey(this, full, normalisePath(path));
}

std::optional<RegKey> RegistryStore::create(RegRoot root, const std::string& path) const {
  std::string full = fullPath(root, path);
  bool ok = modify(file_, [&](Tree& tree) {
    if (findKey(tree, full)) return false;
    tree.push_back({full, {}});
    return true;
  });
  if (!ok) return std::nullopt;
  return RegKey(this, full, normalisePath(path));
}

bool RegistryStore::deleteKey(RegRoot root, const std::string& path) const {
  std::string full = fullPath(root, path);
  bool removed = false;
  bool ok = modify(file_, [&](Tree& tree) {
    auto end = std::remove_if(tree.begin(), tree.end(), [&](const Key& k) {
      return sameName(k.path, full) || isUnder(k.path, full);
    });
    removed = end != tree.end();
    tree.erase(end, tree.end());
    return removed;
  });
  return ok && removed;
}

namespace {
const Value* findValue(const Tree& tree, const std::string& full, const std::string& name) {
  for (const Key& k : tree) {
    if (!sameName(k.path, full)) continue;
    for (const Value& v : k.values)
      if (sameName(v.name, name)) return &v;
  }
  return nullptr;
}

bool setValue(const std::string& file, const std::string& full, Value v) {
  return modify(file, [&](Tree& tree) {
    Key* key = findKey(tree, full);
    if (!key) {
      tree.push_back({full, {}});
      key = &tree.back();
    }
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const Value& x) { return sameName(x.name, v.name); });
    if (it == key->values.end()) {
      key->values.push_back(v);
    } else {
      v.name = it->name;
      *it = v;
    }
    return true;
  });
}
}  // namespace

std::optional<uint32_t> RegKey::readDword(const std::string& name) const {
  std::optional<Tree> tree = load(store_->file_);
  const Value* v = tree ? findValue(*tree, full_, name) : nullptr;
  if (!v || !v->isDword) return std::nullopt;
  return v->dword;
}

std::optional<std::string> RegKey::readString(const std::string& name) const {
  std::optional<Tree> tree = load(store_->file_);
  const Value* v = tree ? findValue(*tree, full_, name) : nullptr;
  if (!v || v->isDword) return std::nullopt;
  return v->text;
}

bool RegKey::writeDword(const std::string& name, uint32_t value) {
  Value v;
  v.name = name;
  v.isDword = true;
  v.dword = value;
  return setValue(store_->file_, full_, std::move(v));
}

bool RegKey::writeString(const std::string& name, const std::string& value) {
  Value v;
  v.name = name;
  v.text = value;
  return setValue(store_->file_, full_, std::move(v));
}

bool RegKey::deleteValue(const std::string& name) {
  bool removed = false;
  bool written = modify(store_->file_, [&](Tree& tree) {
    Key* key = findKey(tree, full_);
    if (!key) return false;
    auto end = std::remove_if(key->values.begin(), key->values.end(),
                              [&](const Value& x) { return sameName(x.name, name); });
    removed = end != key->values.end();
    key->values.erase(end, key->values.end());
    return removed;
  });
  return written && removed;
}

}  // namespace platform
