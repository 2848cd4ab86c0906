// The link's settings in the registry store, with the settings file's old values as the
// fallback, and the rate the devices allow.
#include <map>

#include "capture/link_settings.h"
#include "platform/registry_store.h"
#include "platform/testsupport/testsupport.h"

using namespace capture;

namespace {

const char* const kKey = "Software\\ZEB\\VARN\\INIT";

void store(const std::map<std::string, uint32_t>& values) {
  platform::RegistryStore s;
  auto key = s.create(platform::RegRoot::LocalMachine, kKey);
  for (const auto& [name, v] : values) key->writeDword(name, v);
}

SettingsFallback ini(std::map<std::string, int32_t> values) {
  return [values](const std::string& key) -> std::optional<int32_t> {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

VarnDev device(std::array<uint8_t, 6> version, bool captures) {
  VarnDev d;
  d.version = version;
  d.flags = captures ? 5 : 1;
  return d;
}

}  // namespace

TEST(LinkSettings, ComeFromTheRegistryElseTheSettingsFileElseTheDefault) {
  struct Row {
    const char* what;
    std::map<std::string, uint32_t> registry;
    std::map<std::string, int32_t> file;
    LinkSettings expected;
    std::vector<uint8_t> ids;
  } rows[] = {
      {"nothing stored", {}, {}, {115200, 0, 0, 0, 0, -1, -1}, {}},
      {"registry",
       {{"COM", 2}, {"DEVICES", 2}, {"CurID", 6}, {"SecID", 10}, {"BAUDRATE", 38400}, {"ID0", 6}, {"ID1", 10}},
       {{"COM", 5}, {"PlayID", 3}},
       {38400, 2, 2, 6, 10, -1, -1},
       {6, 10}},
      {"settings file, which has no capture ID",
       {},
       {{"COM", 3}, {"DEVICES", 1}, {"PlayID", 7}, {"SecID", 10}, {"BAUDRATE", 19200}, {"ID0", 7}},
       {19200, 3, 1, 7, 0, -1, -1},
       {7}},
      {"a mix, value by value", {{"COM", 1}}, {{"COM", 4}, {"PlayID", 9}}, {115200, 1, 0, 9, 0, -1, -1}, {}},
      {"an unknown rate reads as the rate the list shows", {{"BAUDRATE", 57600}}, {}, {115200, 0, 0, 0, 0, -1, -1}, {}},
      {"more devices than IDs", {{"DEVICES", 300}}, {}, {115200, 0, 99, 0, 0, -1, -1}, std::vector<uint8_t>(99, 0)},
      {"a port beyond COM8", {{"COM", 9}}, {}, {115200, 0, 0, 0, 0, -1, -1}, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    platform::RegistryStore().deleteKey(platform::RegRoot::LocalMachine, kKey);
    store(r.registry);
    StoredLink s = LoadLinkSettings(CVarnReg(), ini(r.file));
    EXPECT_EQ(s.settings, r.expected);
    EXPECT_EQ(s.ids, r.ids);
  }
}

TEST(LinkSettings, SavingWritesTheRegistryOnlyAndRemovesStaleIds) {
  store({{"ID0", 1}, {"ID1", 2}, {"ID2", 3}, {"ID3", 4}, {"ID4", 5}, {"DEVICES", 5}});
  CVarnReg reg;
  LinkSettings l{38400, 1, 3, 6, 0, 1, -1};
  SaveLinkSettings(reg, l, {3, 6, 10});
  platform::RegistryStore s;
  auto key = s.open(platform::RegRoot::LocalMachine, kKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readDword("COM"), 1u);
  EXPECT_EQ(key->readDword("CurID"), 6u);
  EXPECT_EQ(key->readDword("SecID"), 0u);
  EXPECT_EQ(key->readDword("DEVICES"), 3u);
  EXPECT_EQ(key->readDword("BAUDRATE"), 38400u);
  EXPECT_EQ(key->readDword("ID2"), 10u);
  EXPECT_FALSE(key->readDword("ID3"));
  EXPECT_FALSE(key->readDword("ID4"));
  EXPECT_EQ(LoadLinkSettings(reg, {}).ids, (std::vector<uint8_t>{3, 6, 10}));
}

TEST(LinkSettings, TheFastestRateIsKeptForDevicesThatTakeIt) {
  const std::array<uint8_t, 6> group1{0, 1, 0, 1, 92, 0}, newer{0, 1, 0, 4, 10, 0};
  const VarnDev g1 = device(group1, true), camcorder = device(newer, true), deck = device(newer, false);
  struct Row {
    uint32_t rate;
    const VarnDev* play;
    bool captureUnit;
    uint32_t expected;
  } rows[] = {
      {115200, &g1, false, 38400},        {115200, &camcorder, false, 115200}, {115200, &deck, true, 38400},
      {115200, &camcorder, true, 115200}, {115200, nullptr, true, 38400},      {19200, &g1, false, 19200},
      {115200, &deck, false, 115200},
  };
  for (const Row& r : rows) EXPECT_EQ(RateForDevices(r.rate, r.play, r.captureUnit), r.expected);
}
