#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "capture/serial_port.h"
#include "platform/registry_store.h"

namespace capture {

namespace {

// Devices named prefix + a number, in the order of their numbers.
std::vector<std::string> devicesNamed(const std::string& dir, const std::string& prefix) {
  std::vector<std::pair<unsigned long, std::string>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    found.emplace_back(std::stoul(digits), entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(std::move(f.second));
  return paths;
}

}  // namespace

std::string ComPortPath(int n, const platform::RegistryStore& store, const std::string& devDir) {
  if (n < 1 || n > 8) return {};
  if (auto key = store.open(platform::RegRoot::LocalMachine, kPortMapKey)) {
    if (auto path = key->readString("COM" + std::to_string(n)); path && !path->empty()) return *path;
  }
  std::vector<std::string> all;
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    auto some = devicesNamed(devDir, prefix);
    all.insert(all.end(), some.begin(), some.end());
  }
  return size_t(n) <= all.size() ? all[size_t(n) - 1] : std::string();
}

}  // namespace capture
