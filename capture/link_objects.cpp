#include "capture/link_objects.h"

#include <QCoreApplication>
#include <optional>

#include "capture/frmauto.h"
#include "capture/frmavctl.h"
#include "capture/frmvarndev.h"
#include "capture/posix_serial_port.h"
#include "platform/cursor.h"
#include "platform/registry_store.h"
#include "workspace/later_forms.h"
#include "workspace/program.h"

namespace capture {

CVarnIO* VarnIO = nullptr;
VarnVtr* Vtr = nullptr;
VarnSys* DevSys = nullptr;
VarnCpt* Cpt = nullptr;
CVarnReg* VarnReg = nullptr;

TfrmAvCtl* PanelForm() { return dynamic_cast<TfrmAvCtl*>(workspace::frmAvCtl); }
TfrmVarnDev* DeviceForm() { return dynamic_cast<TfrmVarnDev*>(workspace::frmVarnDev); }
TfrmAuto* AutoForm() { return dynamic_cast<TfrmAuto*>(workspace::frmAuto); }

namespace {
std::optional<LinkLine>& givenLine() {
  static std::optional<LinkLine> line;
  return line;
}
}  // namespace

void SetLinkLine(const LinkLine* line) {
  if (line) givenLine() = *line;
  else givenLine().reset();
}

LinkLine CurrentLinkLine() {
  if (givenLine()) return *givenLine();
  static PosixSerialPort port;
  return {&port, &platform::SystemClock::instance(),
          [](int n) { return ComPortPath(n, platform::RegistryStore()); }};
}

void EnterLinkForms() {
  workspace::RegisterForm("frmAuto", [] { return static_cast<platform::Form*>(platform::createForm<TfrmAuto>()); });
  workspace::RegisterForm("frmAvCtl", [] { return static_cast<platform::Form*>(platform::createForm<TfrmAvCtl>()); });
  workspace::RegisterForm("frmVarnDev",
                          [] { return static_cast<platform::Form*>(platform::createForm<TfrmVarnDev>()); });
  workspace::RegisterCommand("mnuCapture", [](workspace::TfrmMain&) {
    // The panel restores the cursor once its link is up.
    if (!workspace::frmAvCtl || workspace::frmAvCtl->isVisible()) return;
    platform::showHourglass();
    workspace::frmAvCtl->show();
  });
}

void LeaveLinkForms() {
  for (const char* form : {"frmAuto", "frmAvCtl", "frmVarnDev"}) workspace::RegisterForm(form, nullptr);
  workspace::RegisterCommand("mnuCapture", nullptr);
}

void ProcessMessages() { QCoreApplication::processEvents(); }

void ProcessMessagesNoInput() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace capture
