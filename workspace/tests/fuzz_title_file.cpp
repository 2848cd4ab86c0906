// Title picture files as the title import reads them: any bytes give a title number or
// none, never a read outside the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "workspace/dcf_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so that the sanitizer sees any read beyond it.
  std::vector<uint8_t> file(data, data + size);
  (void)workspace::ReadTitleNumber(file.data(), file.size());
  // The two readers on the input taken as TIFF data, with the maker note wherever the
  // first four bytes say.
  if (size >= 4) {
    const uint32_t note = workspace::C_DCF_Data::FindMakerNote(file.data(), file.size());
    const uint32_t at = note ? note : (uint32_t{file[0]} | uint32_t{file[1]} << 8);
    (void)workspace::C_DCF_Data::FindTagValue(file.data(), file.size(), at);
  }
  return 0;
}
