#include "exporters/export_monitor.h"

#include <QCoreApplication>

#include "platform/messages.h"
#include "workspace/frmwait.h"

namespace exporters {

void WaitWindowMonitor::ProcessMessages() {
  if (platform::isGuiThread()) QCoreApplication::processEvents();
}

bool WaitWindowMonitor::Aborted() const { return wait_.AbortFlag.load() != 0; }

void WaitWindowMonitor::Progress(int percent) {
  // The window processes pending events after moving its bar.
  platform::sendMessage(&wait_, platform::WM_WAIT_PROGRESS, percent);
}

}  // namespace exporters
