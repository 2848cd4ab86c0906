// The entry point of albumdesk.
#include <exception>
#include <string>

#include "exporters/cards.h"
#include "exporters/viewer_forms.h"
#include "capture/link_objects.h"
#include "exporters/export_commands.h"
#include "platform/application.h"
#include "workspace/frmmain.h"
#include "workspace/program.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  // The whole command line after the program's name is the path of one file to open:
  // its words are joined again as they were given, and nothing is removed.
  for (int i = 1; i < argc; ++i) {
    if (i > 1) workspace::CmdLine += ' ';
    workspace::CmdLine += argv[i];
  }
  try {
    exporters::RegisterCards();
    exporters::EnterViewerForms();
    capture::EnterLinkForms();
    exporters::EnterExportForms();
    workspace::CreateForms();
    workspace::frmMain->show();
    app.exec();
  } catch (const std::exception& e) {
    platform::Application::showException(&e);
  } catch (...) {
    platform::Application::showException(nullptr);
  }
  return 0;
}
