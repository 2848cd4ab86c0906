// Feeds arbitrary bytes to the registry store as its file and reads every value back.
#include "platform/registry_store.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = "/tmp/fuzz-registry-" + std::to_string(::getpid()) + ".reg";
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  platform::RegistryStore store(file);
  if (auto key = store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")) {
    (void)key->readDword("TIMES");
    (void)key->readString("TIMES");
  }
  if (auto key = store.create(platform::RegRoot::LocalMachine, "Software\\ZEB\\VARN\\INIT")) {
    key->writeDword("COM", 1);
    (void)key->readDword("COM");
  }
  return 0;
}
