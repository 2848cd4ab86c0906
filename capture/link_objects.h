// The camcorder link inside the program: its objects, made by the control panel when the
// panel is made and kept while it lives, the line they run on, and the link's windows.
#pragma once

#include "capture/comm.h"

namespace capture {

class CVarnIO;
class VarnVtr;
class VarnSys;
class VarnCpt;
class CVarnReg;
class TfrmAvCtl;
class TfrmVarnDev;
class TfrmAuto;

extern CVarnIO* VarnIO;
extern VarnVtr* Vtr;
extern VarnSys* DevSys;
extern VarnCpt* Cpt;
extern CVarnReg* VarnReg;

// The program's link windows, once made.
TfrmAvCtl* PanelForm();
TfrmVarnDev* DeviceForm();
TfrmAuto* AutoForm();

// The line the link runs on. By default the machine's serial ports (COM1..COM8 through
// the port map) on the system clock; a test gives another before the panel is made.
struct LinkLine {
  SerialPort* port = nullptr;
  platform::Clock* clock = nullptr;
  CComm::PortResolver resolve;
};
void SetLinkLine(const LinkLine* line);
LinkLine CurrentLinkLine();

// Registers the link's windows, so that the program's start-up makes them, and the main
// window's capture command, which shows the control panel.
void EnterLinkForms();
// Takes them back out (for tests that start the program again without them).
void LeaveLinkForms();

// Processes pending events, user input included (the waits of the link that must let
// Stop be pressed); and the lighter form that the link's exchanges use, which leaves
// clicks and keys for later so that a click cannot start a second exchange inside one.
void ProcessMessages();
void ProcessMessagesNoInput();

}  // namespace capture
