// The link's settings: which port, which devices and which transfer rate, kept as DWORD
// values in the registry under "Software\ZEB\VARN\INIT". Older installations kept them in
// section "INIT" of the settings file; that is read when the registry has no value, and
// never written.
//
//   registry    settings file   default   field
//   COM         COM             0         port (0 none, 1..8)
//   DEVICES     DEVICES         0         device count
//   CurID       PlayID          0         play device ID
//   SecID       -               0         capture device ID
//   BAUDRATE    BAUDRATE        115200    transfer rate
//   ID<i>       ID<i>           0         ID of device record i (i from 0)
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/varn.h"

namespace capture {

struct LinkSettings {
  uint32_t rate = 0;          // 9600, 19200, 38400 or 115200
  uint8_t port = 0;           // 0 none, 1..8
  uint8_t deviceCount = 0;
  uint8_t playId = 0;         // 0 none
  uint8_t captureId = 0;      // 0 none
  int32_t playIndex = -1;     // record index of the play device, -1 none
  int32_t captureIndex = -1;  // record index of the capture device, -1 none
  bool operator==(const LinkSettings&) const = default;
};

// At most this many device records: IDs run from 1 to 99.
inline constexpr int kMaxDevices = 99;
inline constexpr uint32_t kDefaultRate = 115200;

// The registry values of the link, under "Software\ZEB\VARN\" + section. Failures are
// silent: a read that fails leaves the caller's default.
class CVarnReg {
 public:
  // The store's file; empty: the program's registry store.
  explicit CVarnReg(std::string storeFile = {});
  bool WriteDword(const std::string& section, const std::string& name, uint32_t value);
  bool ReadDword(const std::string& section, const std::string& name, uint32_t& value) const;
  bool DeleteValue(const std::string& section, const std::string& name);

 private:
  std::string file_;
};

// A settings-file value of section "INIT", when present.
using SettingsFallback = std::function<std::optional<int32_t>(const std::string& key)>;

// The stored settings and the IDs of the stored device records. A device count beyond
// what IDs allow is cut to 99; a rate other than the four known ones reads as 115200,
// the rate the rate list shows for it.
struct StoredLink {
  LinkSettings settings;
  std::vector<uint8_t> ids;
};
StoredLink LoadLinkSettings(const CVarnReg& reg, const SettingsFallback& fallback);
// Writes the settings and the IDs of the records, and removes the IDs of records that
// are no longer there.
void SaveLinkSettings(CVarnReg& reg, const LinkSettings& settings, const std::vector<uint8_t>& ids);

// One of the four rates; any other value gives 115200.
uint32_t NormaliseRate(uint32_t rate);

// The rate the link may use for a play device with the given record (nullptr: none)
// and a separate capture device or not. 115200 is too fast for the first group of
// camcorders and for a separate capture unit; such a choice falls back to 38400.
uint32_t RateForDevices(uint32_t rate, const VarnDev* play, bool captureDevice);

}  // namespace capture
