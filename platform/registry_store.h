// The registry store: the program's stand-in for the system registry.
//
// Keys and typed values (DWORD and string) live in one text file in REGEDIT4 syntax:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\ZEB\RLM]
//   "TIMES"=dword:00000000
//   "Name"="text with \"quotes\" and \\ backslashes"
//
// A key may exist without values (a section with nothing under it). Key paths and
// value names compare without regard to ASCII case and keep the case they were first
// written with. Opening a key never creates it; creating does. Every operation reads
// the file afresh and every change rewrites it whole under a lock, through a temporary
// file renamed over the old one, so other processes (the mail program) see a
// consistent file and a failed write leaves the old one. Only the lines of the values
// and keys changed are rewritten: everything else in the file, also what the store does
// not understand, stays as it was (registry_text.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class RegRoot { LocalMachine, ClassesRoot, CurrentUser };

class RegistryStore;

// An open key: a root and a path below it ("Software\\ZEB\\VARN\\INIT").
class RegKey {
 public:
  std::optional<uint32_t> readDword(const std::string& name) const;
  std::optional<std::string> readString(const std::string& name) const;
  bool writeDword(const std::string& name, uint32_t value);
  bool writeString(const std::string& name, const std::string& value);
  // True when the value existed and is gone.
  bool deleteValue(const std::string& name);
  const std::string& path() const { return path_; }

 private:
  friend class RegistryStore;
  RegKey(const RegistryStore* store, std::string fullPath, std::string path)
      : store_(store), full_(std::move(fullPath)), path_(std::move(path)) {}
  const RegistryStore* store_;
  std::string full_;  // "HKEY_LOCAL_MACHINE\\Software\\..."
  std::string path_;
};

class RegistryStore {
 public:
  // The store in `file`; by default the file of defaultPath().
  explicit RegistryStore(std::string file = defaultPath());

  // $ZEB_REGISTRY_FILE when set, else $XDG_CONFIG_HOME/ZEB/registry.reg
  // (XDG_CONFIG_HOME defaulting to $HOME/.config).
  static std::string defaultPath();

  // The key when it exists; never creates it.
  std::optional<RegKey> open(RegRoot root, const std::string& path) const;
  // The key, created (with its parents) when missing. Empty when the file cannot be written.
  std::optional<RegKey> create(RegRoot root, const std::string& path) const;
  // Removes the key with its values and every key below it. True when something was removed.
  bool deleteKey(RegRoot root, const std::string& path) const;

  const std::string& file() const { return file_; }

 private:
  friend class RegKey;
  std::string file_;
};

// The root's name as written in the file ("HKEY_LOCAL_MACHINE").
const char* regRootName(RegRoot root);

}  // namespace platform
