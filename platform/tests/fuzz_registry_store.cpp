// Feeds arbitrary bytes to the registry store as its file and reads values back; the
// text must come back byte for byte, and a change must touch only what it changes.
#include "platform/registry_store.h"
#include "platform/registry_text.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace {

using platform::RegistryText;

std::string folded(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return s;
}

// The values the text gives, by folded key and name.
using Values = std::map<std::pair<std::string, std::string>, RegistryText::Value>;
Values valuesOf(const RegistryText& text) {
  Values out;
  for (const auto& e : text.entries()) out[{folded(e.key), folded(e.name)}] = e.value;
  return out;
}

void check(bool holds) {
  if (!holds) __builtin_trap();
}

bool under(const std::string& key, const std::string& parent) {
  return key == parent || (key.size() > parent.size() && key.compare(0, parent.size(), parent) == 0 &&
                           key[parent.size()] == '\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  RegistryText text(input);
  check(text.text() == input);
  Values expected = valuesOf(text);

  // A change picked by the input, to a value it holds where it holds one.
  const auto entries = text.entries();
  std::string key = "HKEY_LOCAL_MACHINE\\Software\\ZEB\\VARN\\INIT", name = "COM";
  if (!entries.empty()) {
    key = entries[size % entries.size()].key;
    name = entries[size % entries.size()].name;
  }
  RegistryText::Value value;
  value.isDword = size % 2 == 0;
  value.dword = static_cast<uint32_t>(size);
  value.text = "v\"\\\n" + std::to_string(size);
  switch (size % 4) {
    case 0:
    case 1:
      text.setValue(key, name, value);
      expected[{folded(key), folded(name)}] = value;
      break;
    case 2:
      text.deleteValue(key, name);
      expected.erase({folded(key), folded(name)});
      break;
    default:
      text.deleteKey(key);
      std::erase_if(expected, [&](const auto& kv) { return under(kv.first.first, folded(key)); });
      break;
  }
  const RegistryText again(text.text());
  check(again.text() == text.text());
  check(valuesOf(again) == expected);
  check(again.hasKey(key) == (size % 4 < 2 || (size % 4 == 2 && text.hasKey(key))));

  // The same bytes as the store's file.
  static const std::string file = "/tmp/fuzz-registry-" + std::to_string(::getpid()) + ".reg";
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  platform::RegistryStore store(file);
  if (auto k = store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")) {
    (void)k->readDword("TIMES");
    (void)k->readString("TIMES");
  }
  return 0;
}
