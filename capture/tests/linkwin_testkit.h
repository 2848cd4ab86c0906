// What the tests of the link's windows share: the program made as its start-up makes it
// (with the link's windows), its link on the simulator in this process, waits that keep
// the event loop turning, clicks on the panel's image buttons, and the dialogs that open
// over the panel.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "camsim.h"
#include "capture/frmauto.h"
#include "capture/frmavctl.h"
#include "capture/frmvarndev.h"
#include "capture/link_objects.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/testsupport/widgets.h"
#include "testkit.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/frmwait.h"
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

// The link on the simulator in this process (given camsim's options), on virtual time; of
// the ports only COM1 is there.
struct SimLine {
  platform::ManualClock clock;
  std::unique_ptr<camsim::Simulator> sim;
  std::unique_ptr<SimPort> port;

  void Use(const std::vector<std::string>& args) {
    std::string why;
    auto scenario = camsim::Scenario::Parse(args, &why);
    ASSERT_TRUE(scenario) << why;
    sim = std::make_unique<camsim::Simulator>(std::move(*scenario));
    port = std::make_unique<SimPort>(*sim, clock);
    capture::LinkLine line{port.get(), &clock, [](int n) { return n == 1 ? std::string("sim") : std::string(); }};
    capture::SetLinkLine(&line);
  }
  ~SimLine() { capture::SetLinkLine(nullptr); }
};

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

// "x,y wxh", for messages about a window's place.
inline std::string RectText(const QRect& r) {
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

// Runs `act` on the next message box of the toolkit once it is shown (from inside its
// showing), then closes it.
inline void WhenBoxShown(std::function<void(QMessageBox*)> act) {
  auto* poll = new QTimer(qApp);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, qApp, [poll, act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(box);
    box->accept();
  });
  poll->start();
}

// Opens, one after the other while the panel is shown, each dialog the panel's work leads
// to, and calls `check` with each while it is shown: the album-full box (owned by the
// panel), the box that reports a stopped automatic run (no owner), the device window, the
// automatic-capture dialog and the wait window. The boxes are the toolkit's own.
inline void ForEachDialogOverThePanel(Program& p, const std::function<void(QWidget*, const std::string&)>& check) {
  platform::MessageBoxes* scripted = platform::setMessageBoxes(nullptr);
  WhenBoxShown([&](QMessageBox* box) { check(box, "album-full box"); });
  workspace::frmMain->ShowFrameOver(p.panel);
  bool reported = false;
  WhenBoxShown([&](QMessageBox* box) {
    check(box, "automatic-capture error box");
    reported = true;
  });
  platform::postMessage(p.panel, platform::WM_AUTO_ERROR, 0, 1);
  EXPECT_TRUE(WaitFor([&] { return reported; }));
  platform::setMessageBoxes(scripted);

  WhenShown(p.dev, [&] {
    check(p.dev, "device window");
    p.dev->closeForm();
  });
  p.panel->pmDeviceClick(nullptr);
  WhenShown(p.dialog, [&] {
    check(p.dialog, "automatic-capture dialog");
    p.dialog->component<QPushButton>("btnCancel")->click();
  });
  p.panel->btnAutoClick();
  p.panel->ShowWait();
  check(workspace::frmWait, "wait window");
  p.panel->CloseWait();
}

}  // namespace captest
