// Feeds arbitrary bytes to the style table parser and works out each style's font change.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "workspace/lang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  workspace::MLang lang;
  lang.ParseStyles(std::string_view(reinterpret_cast<const char*>(data), size));
  for (int i = 0; i < lang.StyleCount(); ++i) {
    const auto& s = lang.Style(i);
    if (s.name.size() > 19 || s.fontName.size() > 59 || s.size.size() > 2 || s.bold.size() > 5) {
      std::abort();
    }
    if (lang.FindStyle(s.name) > i) std::abort();
    for (bool reduce : {false, true}) {
      auto change = lang.StyleFontChange(i, reduce);
      if (change.pointSize && (*change.pointSize <= 0 || *change.pointSize > 99)) std::abort();
    }
  }
  return 0;
}
