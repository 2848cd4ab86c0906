// ZEB_RLM.EXE, the mail program that albumdesk starts beside itself (see mail_program.h).
#include <QApplication>
#include <string>
#include <vector>

#include "mail_program.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "program_identity.h"
#include "workspace/lang.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  albumdesk::SetProgramIdentity();
  // The texts come from the caption table beside the program, in the user's language.
  workspace::MLang lang;
  lang.SetLanguage(platform::userLanguageId());
  platform::useToolkitLanguage(lang.Language());
  lang.LoadCaptions(platform::appDir() + "kbx40.cpt");
  platform::setApplicationTitle(lang.GetMsg("TI_RLM").toStdString());
  std::vector<std::string> args(argv + 1, argv + argc);
  return rlm::RunMailProgram(args, lang, rlm::RunXdgEmail);
}
