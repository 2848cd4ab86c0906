// Feeds arbitrary bytes to the settings file reader as a file's text, looks values up,
// and checks that a value written into that text reads back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "workspace/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string section = in.ConsumeRandomLengthString(24);
  std::string key = in.ConsumeRandomLengthString(24);
  std::string value = in.ConsumeRandomLengthString(64);
  std::string text = in.ConsumeRemainingBytesAsString();

  workspace::IniFile ini(text);
  (void)ini.Get(section, key);
  (void)ini.Get("INIT", "ALBUM");
  if (ini.Set(section, key, value)) {
    workspace::IniFile reread(ini.Text());
    auto back = reread.Get(section, key);
    if (!back || *back != value) std::abort();
  }
  return 0;
}
