// Feeds arbitrary bytes to the caption table parser in each language and looks texts up.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "workspace/lang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int language = in.PickValueInArray({9, 12, 17});
  std::string name = in.ConsumeRandomLengthString(32);
  std::string text = in.ConsumeRemainingBytesAsString();

  workspace::MLang lang;
  lang.SetLanguage(language);
  lang.ParseCaptions(text);
  for (int i = 0; i < lang.CaptionCount(); ++i) {
    const auto& r = lang.Caption(i);
    if (r.owner.size() > 99 || r.name.size() > 99 || r.text.size() > 199 || r.styleName.size() > 19) {
      std::abort();
    }
  }
  (void)lang.GetMsg(name);
  (void)lang.GetMsg("TI_MAIN");
  int found = lang.FindCaption(name, "frmWait", "");
  if (found < -1 || found >= lang.CaptionCount()) std::abort();
  return 0;
}
