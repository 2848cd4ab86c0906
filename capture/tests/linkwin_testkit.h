// What the tests of the link's windows share: the program made as its start-up makes it
// (with the link's windows), waits that keep the event loop turning, and clicks on the
// panel's image buttons.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "capture/frmauto.h"
#include "capture/frmavctl.h"
#include "capture/frmvarndev.h"
#include "capture/link_objects.h"
#include "platform/testsupport/widgets.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/later_forms.h"
#include "workspace/program.h"

namespace captest {

// Processes events until `done` holds; false when it does not within the limit (the
// limit only guards against a hang: nothing waits for a time to pass).
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs `act` once `form` is shown (a modal form: from inside its showing).
inline void WhenShown(QWidget* form, std::function<void()> act) { adtest::whenShown(form, std::move(act)); }

// The program's forms with the link's windows, the main window shown.
struct Program {
  capture::TfrmAvCtl* panel = nullptr;
  capture::TfrmVarnDev* dev = nullptr;
  capture::TfrmAuto* dialog = nullptr;

  void Start() {
    capture::EnterLinkForms();
    workspace::CreateForms();
    workspace::frmTitle->Timer1()->setInterval(0);  // the splash closes at once
    workspace::frmTitle->Timer2()->setInterval(0);
    workspace::frmMain->show();
    QCoreApplication::processEvents();
    panel = capture::PanelForm();
    dev = capture::DeviceForm();
    dialog = capture::AutoForm();
    ASSERT_TRUE(panel && dev && dialog);
  }
  ~Program() {
    workspace::DestroyForms();
    capture::LeaveLinkForms();
  }
  // A left click (press and release) on a panel button at a point of it (its centre by default).
  void Press(const char* button, QPoint at = QPoint(-1, -1)) const {
    QLabel* b = panel->Button(button);
    if (at.x() < 0) at = b->rect().center();
    QTest::mousePress(b, Qt::LeftButton, {}, at);
    QTest::mouseRelease(b, Qt::LeftButton, {}, at);
  }
};

}  // namespace captest
