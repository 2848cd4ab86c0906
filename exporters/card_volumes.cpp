#include "card_volumes.h"

#include <QStorageInfo>
#include <filesystem>
#include <fstream>

#include "platform/replaceable.h"

namespace exporters {

namespace {

namespace fs = std::filesystem;

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

class SystemVolumes final : public VolumeList {
 public:
  std::vector<CardVolume> Volumes() override {
    std::vector<CardVolume> out;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
      if (!v.isValid() || !v.isReady()) continue;
      std::string root = fs::path(v.rootPath().toStdString()).lexically_normal().string();
      if (root.size() > 1 && root.back() == '/') root.pop_back();
      const std::string device = v.device().toStdString();
      const bool mediaMount = startsWith(root, "/media/") || startsWith(root, "/run/media/");
      // Pseudo and memory file systems are no place for pictures.
      if (!startsWith(device, "/dev/") && !mediaMount) continue;
      CardVolume c;
      c.root = root;
      const QString name = v.displayName();
      c.label = name.toStdString() == root ? root : name.toStdString() + " (" + root + ")";
      c.removable = IsRemovableVolume(root, device);
      out.push_back(std::move(c));
    }
    return out;
  }
};

platform::Replaceable<VolumeList, SystemVolumes>& installed() {
  static platform::Replaceable<VolumeList, SystemVolumes> r;
  return r;
}

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

VolumeList& volumeList() { return installed().get(); }

VolumeList* setVolumeList(VolumeList* list) { return installed().install(list); }

bool IsRemovableVolume(const std::string& mountPoint, const std::string& device, const std::string& sysRoot) {
  if (startsWith(mountPoint, "/media/") || startsWith(mountPoint, "/run/media/")) return true;
  if (!startsWith(device, "/dev/")) return false;
  std::error_code ec;
  // /dev/disk/by-label/... and the like are links to the device node itself.
  fs::path node = fs::canonical(device, ec);
  if (ec) node = device;
  const std::string name = node.filename().string();
  if (name.empty()) return false;
  // A partition's folder lies in its disk's folder and holds a file "partition".
  const fs::path entry = fs::path(sysRoot) / "class/block" / name;
  fs::path disk = fs::canonical(entry, ec);
  if (ec) return false;
  if (fs::exists(disk / "partition", ec)) disk = disk.parent_path();
  const std::string diskName = disk.filename().string();
  if (startsWith(diskName, "mmcblk")) return true;  // SD slots report 0, yet hold cards
  return firstLine(fs::path(sysRoot) / "block" / diskName / "removable") == "1";
}

}  // namespace exporters
