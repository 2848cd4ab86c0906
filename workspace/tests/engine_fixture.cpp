#include "engine_fixture.h"

#include <cstring>

namespace enginetest {

std::string yuvFile(const std::string& name, uint32_t width, uint32_t height, uint8_t y, uint8_t u, uint8_t v,
                    int64_t sizeDelta, const char* magic) {
  const uint32_t dataSize = width * height * 3 / 2;
  std::string bytes(magic, 4);
  for (uint32_t field : {static_cast<uint32_t>(dataSize + sizeDelta), width, height}) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(field >> (8 * i)));
  }
  for (uint32_t g = 0; g < dataSize / 6; ++g) {
    const char group[6] = {char(y), char(y), char(v), char(u), char(y), char(y)};
    bytes.append(group, 6);
  }
  const std::string path = (adtest::testDir() / name).string();
  adtest::writeFile(path, bytes);
  return path;
}

std::string writeDvf(const std::string& name, const std::string& frame) {
  const size_t sequences = frame.size() / 12000;
  std::string file("DVF 1.00SD", 10);
  file.push_back(sequences == 12 ? '6' : '5');
  file.append(21, '\0');
  for (size_t s = 0; s < sequences; ++s) file.append(frame, s * 12000 + 80, 11920);
  const std::string path = (adtest::testDir() / name).string();
  adtest::writeFile(path, file);
  return path;
}

}  // namespace enginetest
