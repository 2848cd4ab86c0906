// Which mounted volumes count as removable media, from a device tree made here.
#include "exporters/card_volumes.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"

namespace {

using namespace exporters;
namespace fs = std::filesystem;

// A device tree as the kernel shows it: /sys/class/block/<name> links into the devices,
// where a partition's folder lies in its disk's, and /sys/block/<disk>/removable.
fs::path sysTree() {
  const fs::path sys = adtest::testDir() / "sys";
  struct Disk {
    const char* name;
    const char* removable;
    std::vector<const char*> partitions;
  } disks[] = {{"sda", "0", {"sda1", "sda2"}}, {"sdb", "1", {"sdb1"}}, {"mmcblk0", "0", {"mmcblk0p1"}}, {"sr0", "1", {}}};
  for (const Disk& d : disks) {
    const fs::path disk = sys / "devices/pci0/host0/block" / d.name;
    fs::create_directories(disk);
    adtest::writeFile(disk / "removable", std::string(d.removable) + "\n");
    fs::create_directories(sys / "block");
    fs::create_directories(sys / "class/block");
    fs::create_symlink(disk, sys / "block" / d.name);
    fs::create_symlink(disk, sys / "class/block" / d.name);
    for (const char* part : d.partitions) {
      fs::create_directories(disk / part);
      adtest::writeFile(disk / part / "partition", "1\n");
      fs::create_symlink(disk / part, sys / "class/block" / part);
    }
  }
  return sys;
}

TEST(CardVolumes, RemovableMediaAreFoundByMountPlaceOrDisk) {
  const std::string sys = sysTree().string();
  struct Case {
    const char* mount;
    const char* device;
    bool removable;
  } cases[] = {
      {"/media/ann/CARD", "/dev/sdx9", true},      // where the desktop mounts media
      {"/run/media/ann/CARD", "/dev/sdx9", true},
      {"/mnt/card", "/dev/sdb1", true},            // a partition of a removable disk
      {"/mnt/disc", "/dev/sr0", true},             // a whole removable disk
      {"/", "/dev/sda1", false},                   // a fixed disk
      {"/home", "/dev/sda2", false},
      {"/mnt/sd", "/dev/mmcblk0p1", true},         // SD slots report 0 and still hold cards
      {"/mnt/gone", "/dev/sdq1", false},           // a device the tree does not know
      {"/tmp", "tmpfs", false},
      {"/mediafiles", "tmpfs", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsRemovableVolume(c.mount, c.device, sys), c.removable) << c.mount;
}

class FixedList : public VolumeList {
 public:
  std::vector<CardVolume> Volumes() override { return {{"/x", "X", true}}; }
};

TEST(CardVolumes, TheSystemsListHoldsRealVolumesAndCanBeReplaced) {
  for (const CardVolume& v : volumeList().Volumes()) {
    EXPECT_TRUE(fs::is_directory(v.root)) << v.root;
    EXPECT_FALSE(v.label.empty());
    EXPECT_TRUE(v.root == "/" || v.root.back() != '/') << v.root;
    EXPECT_NE(v.root.rfind("/proc", 0), 0u);
    EXPECT_NE(v.root.rfind("/sys", 0), 0u);
  }
  FixedList fixed;
  VolumeList* previous = setVolumeList(&fixed);
  EXPECT_EQ(volumeList().Volumes(), (std::vector<CardVolume>{{"/x", "X", true}}));
  EXPECT_EQ(setVolumeList(previous), &fixed);
}

}  // namespace
