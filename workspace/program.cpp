#include "program.h"

#include "lang.h"
#include "platform/application.h"
#include "profile.h"

namespace workspace {

CProfile* Profile = nullptr;
MLang* Lang = nullptr;
TfrmWait* frmWait = nullptr;
std::atomic<uint8_t> DiagnosticFlag{0};

WaitDisabledWindows& ProgramWindows() {
  static WaitDisabledWindows windows;
  return windows;
}

void CreateProfileAndLang() {
  Profile = new CProfile;
  Lang = new MLang;
  Lang->GetLanguage();
  // The standard buttons and dialogs speak the captions' language.
  platform::useToolkitLanguage(Lang->Language());
  Lang->LoadStyles(Profile->ProgramDir() + "/kbx40.sty");
  Lang->LoadCaptions(Profile->ProgramDir() + "/kbx40.cpt");
}

}  // namespace workspace
