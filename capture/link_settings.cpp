#include "capture/link_settings.h"

#include <algorithm>

#include "platform/registry_store.h"

namespace capture {

namespace {
const std::string kKeyBase = "Software\\ZEB\\VARN\\";
const std::string kInit = "INIT";
}  // namespace

CVarnReg::CVarnReg(std::string storeFile) : file_(std::move(storeFile)) {}

bool CVarnReg::WriteDword(const std::string& section, const std::string& name, uint32_t value) {
  platform::RegistryStore store = file_.empty() ? platform::RegistryStore() : platform::RegistryStore(file_);
  auto key = store.create(platform::RegRoot::LocalMachine, kKeyBase + section);
  return key && key->writeDword(name, value);
}

bool CVarnReg::ReadDword(const std::string& section, const std::string& name, uint32_t& value) const {
  platform::RegistryStore store = file_.empty() ? platform::RegistryStore() : platform::RegistryStore(file_);
  auto key = store.open(platform::RegRoot::LocalMachine, kKeyBase + section);
  if (!key) return false;
  auto v = key->readDword(name);
  if (!v) return false;
  value = *v;
  return true;
}

bool CVarnReg::DeleteValue(const std::string& section, const std::string& name) {
  platform::RegistryStore store = file_.empty() ? platform::RegistryStore() : platform::RegistryStore(file_);
  auto key = store.open(platform::RegRoot::LocalMachine, kKeyBase + section);
  return key && key->deleteValue(name);
}

uint32_t NormaliseRate(uint32_t rate) {
  switch (rate) {
    case 9600:
    case 19200:
    case 38400:
    case 115200: return rate;
    default: return kDefaultRate;
  }
}

StoredLink LoadLinkSettings(const CVarnReg& reg, const SettingsFallback& fallback) {
  // Registry, else settings file (when that key has a fallback), else the default.
  auto value = [&](const std::string& name, const char* iniKey, uint32_t def) {
    uint32_t v = 0;
    if (reg.ReadDword(kInit, name, v)) return v;
    if (iniKey && fallback) {
      if (auto f = fallback(iniKey)) return uint32_t(*f);
    }
    return def;
  };
  StoredLink s;
  LinkSettings& l = s.settings;
  l.port = uint8_t(value("COM", "COM", 0));
  if (l.port > 8) l.port = 0;
  l.deviceCount = uint8_t(std::min<uint32_t>(value("DEVICES", "DEVICES", 0), kMaxDevices));
  l.playId = uint8_t(value("CurID", "PlayID", 0));
  l.captureId = uint8_t(value("SecID", nullptr, 0));
  l.rate = NormaliseRate(value("BAUDRATE", "BAUDRATE", kDefaultRate));
  for (int i = 0; i < l.deviceCount; ++i) {
    const std::string name = "ID" + std::to_string(i);
    s.ids.push_back(uint8_t(value(name, name.c_str(), 0)));
  }
  return s;
}

void SaveLinkSettings(CVarnReg& reg, const LinkSettings& l, const std::vector<uint8_t>& ids) {
  reg.WriteDword(kInit, "COM", l.port);
  reg.WriteDword(kInit, "CurID", l.playId);
  reg.WriteDword(kInit, "SecID", l.captureId);
  reg.WriteDword(kInit, "DEVICES", l.deviceCount);
  reg.WriteDword(kInit, "BAUDRATE", l.rate);
  for (int i = 0; i < l.deviceCount && size_t(i) < ids.size(); ++i) reg.WriteDword(kInit, "ID" + std::to_string(i), ids[size_t(i)]);
  for (int i = l.deviceCount; i <= kMaxDevices; ++i) reg.DeleteValue(kInit, "ID" + std::to_string(i));
}

uint32_t RateForDevices(uint32_t rate, const VarnDev* play, bool captureDevice) {
  if (rate != 115200) return rate;
  if (play && VarnSys::IsVersionGroup1(*play)) return 38400;
  // A separate capture unit takes the picture: the play device does not capture itself.
  if (captureDevice && !(play && (play->flags & 4))) return 38400;
  return rate;
}

}  // namespace capture
