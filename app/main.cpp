// The entry point of albumdesk.
#include <malloc.h>

#include <exception>
#include <string>

#include "exporters/cards.h"
#include "exporters/viewer_forms.h"
#include "capture/link_objects.h"
#include "exporters/export_commands.h"
#include "platform/application.h"
#include "program_identity.h"
#include "workspace/frmmain.h"
#include "workspace/program.h"

int main(int argc, char** argv) {
  // How the program keeps the memory of pictures. A camera picture takes tens of megabytes
  // as a bitmap, and every import, view and export makes and frees a few of them. Served
  // from fresh mappings, each costs its pages anew (a page fault and a cleared page for
  // every 4 KiB); kept in the heap, the next picture reuses them. So blocks up to 128 MiB
  // come from the heap, and the heap gives back only what lies above 256 MiB at its top.
  // This is the program's own choice for its own process; the libraries leave it alone.
  mallopt(M_MMAP_THRESHOLD, 128 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  platform::Application app(argc, argv);
  albumdesk::SetProgramIdentity();
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
    // A close accepted while the window was being shown, before any event loop ran, has
    // ended the program already.
    if (workspace::frmMain->isVisible()) app.exec();
  } catch (const std::exception& e) {
    platform::Application::showException(&e);
  } catch (...) {
    platform::Application::showException(nullptr);
  }
  return 0;
}
