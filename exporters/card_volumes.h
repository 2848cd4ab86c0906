// The mounted volumes a title card can be chosen from, and whether each is removable
// media (a memory card or a USB stick) rather than a fixed disk.
//
// The system's own list comes from the mounted file systems: every volume on a block
// device, and every volume mounted where the desktop mounts removable media
// (/media/..., /run/media/...). A volume counts as removable when it is mounted there,
// when its disk says so in /sys/block/<disk>/removable, or when it is an MMC/SD card.
// Tests install a list of their own (folders of the test standing in for cards).
#pragma once

#include <string>
#include <vector>

namespace exporters {

struct CardVolume {
  std::string root;   // the mount point, without a trailing '/'
  std::string label;  // what the drive list shows
  bool removable = false;

  bool operator==(const CardVolume&) const = default;
};

class VolumeList {
 public:
  virtual ~VolumeList() = default;
  // The volumes mounted now, in the order the drive list shows them.
  virtual std::vector<CardVolume> Volumes() = 0;
};

// The installed list: the system's own unless a test installed another.
VolumeList& volumeList();
// Installs `list` (nullptr: the system's own again) and returns the one it replaces.
VolumeList* setVolumeList(VolumeList* list);

// Whether the volume of `device` mounted at `mountPoint` is removable media. `sysRoot`
// is where the kernel's device tree is mounted ("/sys"; tests give a folder of their own).
bool IsRemovableVolume(const std::string& mountPoint, const std::string& device,
                       const std::string& sysRoot = "/sys");

}  // namespace exporters
