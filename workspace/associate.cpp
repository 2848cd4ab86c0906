#include "associate.h"

#include <unistd.h>

#include <climits>

#include "platform/registry_store.h"

namespace workspace {

namespace {

using platform::RegRoot;

std::string programFile() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace

int SystemMajorVersion() { return 6; }

std::string ASSOCIATE::CommandText() { return "\"" + programFile() + "\"%1"; }

std::string ASSOCIATE::IconText() { return programFile() + ",1"; }

bool ASSOCIATE::IsAssociated() const {
  const platform::RegistryStore store;
  for (const std::string& ext : Extensions) {
    if (!store.open(RegRoot::ClassesRoot, ext)) return false;
  }
  const auto command = store.open(RegRoot::ClassesRoot, Name + "\\shell\\open\\command");
  if (!command || command->readString("") != CommandText()) return false;
  return store.open(RegRoot::ClassesRoot, Name + "\\DefaultIcon").has_value();
}

bool ASSOCIATE::Associate() const {
  const platform::RegistryStore store;
  auto setDefault = [&](const std::string& path, const std::string& value) {
    auto key = store.create(RegRoot::ClassesRoot, path);
    return key && key->writeString("", value);
  };
  for (const std::string& ext : Extensions) {
    if (!setDefault(ext, Name)) return false;
  }
  return setDefault(Name, Name) && setDefault(Name + "\\shell\\open\\command", CommandText()) &&
         setDefault(Name + "\\DefaultIcon", IconText());
}

}  // namespace workspace
