// The wait window on offscreen widgets, driven by its messages as the program drives it.
#include "workspace/frmwait.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <thread>

#include <gtest/gtest.h>

#include "workspace/lang.h"
#include "workspace/program.h"

using namespace workspace;
using platform::sendMessage;
using platform::WM_WAIT_ABORT;
using platform::WM_WAIT_CLOSE;
using platform::WM_WAIT_PROGRESS;
using platform::WM_WAIT_SHOW;

namespace {

class WaitWindow : public ::testing::Test {
 protected:
  WaitWindow() {
    lang.ParseStyles("none\t$$\t$$\t$$\r\nSTD\t$$\t9\ttrue\r\n");
    lang.ParseCaptions(
        "PrgLevel\tMB_TI_CLOSE\tWorking\tSTD\r\n"
        "frmWait\tlblWait\tPlease wait...\tSTD\r\n"
        "frmWait\tbtnAbort\tStop\tSTD\r\n"
        "frmWait\tbtnErr\tBlock error\tSTD\r\n");
    auto& w = ProgramWindows();
    w.frmAvCtl = &avCtl;
    w.frmView = &view;
    w.frmMain = &main;
    w.frmVarnDev = &varnDev;
    DiagnosticFlag = 0;
  }
  ~WaitWindow() override {
    ProgramWindows() = {};
    DiagnosticFlag = 0;
  }
  void send(uint32_t msg, platform::WPARAM w = 0, platform::LPARAM l = 0) { sendMessage(wait.get(), msg, w, l); }
  std::array<bool, 4> enabled() const {
    return {avCtl.isEnabled(), view.isEnabled(), main.isEnabled(), varnDev.isEnabled()};
  }

  MLang lang;
  QWidget avCtl, view, main, varnDev;
  std::unique_ptr<TfrmWait> wait;
  void make() { wait = std::make_unique<TfrmWait>(lang); }
};

TEST_F(WaitWindow, IsDressedFromTheTablesAndStaysOnTopWithoutCloseBox) {
  make();
  EXPECT_EQ(wait->objectName(), "frmWait");
  EXPECT_EQ(wait->windowTitle(), "Working");
  EXPECT_EQ(wait->lblWait()->text(), "Please wait...");
  EXPECT_EQ(wait->btnAbort()->text(), "Stop");
  EXPECT_TRUE(wait->btnAbort()->font().bold());
  // A client area of 246 by 57 below its own caption, within its border.
  const int frame = 2 * TfrmWait::kBorder;
  EXPECT_EQ(wait->size(), QSize(246 + frame, 57 + TfrmWait::kCaptionHeight + frame));
  EXPECT_EQ(wait->lblWait()->pos(), QPoint(48, 3) + QPoint(TfrmWait::kBorder, TfrmWait::kBorder + TfrmWait::kCaptionHeight));
  EXPECT_EQ(wait->Caption()->text(), "Working");
  EXPECT_EQ(wait->Gauge1()->maximum(), 100);
  Qt::WindowFlags f = wait->windowFlags();
  EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(f & Qt::WindowCloseButtonHint);
  EXPECT_EQ(wait->cursor().shape(), Qt::WaitCursor);
  EXPECT_FALSE(wait->isVisible());
}

TEST_F(WaitWindow, ShowFlagsSetItsParts) {
  make();
  struct Case {
    platform::LPARAM flags;
    bool stopShown, progressShown, stopEnabled;
  } cases[] = {
      {0, false, false, true}, {1, true, false, true},  {2, false, true, true},
      {3, true, true, true},   {5, true, false, false}, {7, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    wait->Gauge1()->setValue(40);
    send(WM_WAIT_SHOW, 0, c.flags);
    EXPECT_TRUE(wait->isVisible());
    EXPECT_EQ(wait->btnAbort()->isVisible(), c.stopShown);
    EXPECT_EQ(wait->Panel1()->isVisible(), c.progressShown);
    EXPECT_EQ(wait->btnAbort()->isEnabled(), c.stopEnabled);
    EXPECT_EQ(wait->Gauge1()->value(), c.progressShown ? 0 : 40);
    send(WM_WAIT_CLOSE);
    EXPECT_FALSE(wait->isVisible());
  }
}

TEST_F(WaitWindow, CaptionIsKeptUnlessAShowRequestGivesOne) {
  make();
  const QString mine = "Saving pictures";
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_EQ(wait->windowTitle(), "Working");
  send(WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&mine), 1);
  EXPECT_EQ(wait->windowTitle(), mine);
  send(WM_WAIT_SHOW, -1, 1);
  EXPECT_EQ(wait->windowTitle(), mine);
}

TEST_F(WaitWindow, DisablesTheShownWindowsAndRestoresTheirStates) {
  make();
  main.show();
  avCtl.show();
  varnDev.show();  // the viewer stays hidden
  main.setEnabled(false);  // its caller disabled it already
  send(WM_WAIT_SHOW, 0, 3);
  EXPECT_EQ(enabled(), (std::array<bool, 4>{false, true, false, false}));

  // A second request while shown changes no state.
  view.setEnabled(false);
  wait->btnAbort()->click();
  wait->BlockErrFlag = 1;
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_EQ(wait->AbortFlag, 1);
  EXPECT_EQ(wait->BlockErrFlag, 1);

  send(WM_WAIT_CLOSE);
  // Each gets the state it had when the window was shown.
  EXPECT_EQ(enabled(), (std::array<bool, 4>{true, true, false, true}));

  // Closing while hidden does nothing.
  avCtl.setEnabled(false);
  send(WM_WAIT_CLOSE);
  wait->CloseIfShown();
  EXPECT_FALSE(avCtl.isEnabled());
}

TEST_F(WaitWindow, WindowsNotMadeYetAreLeftAlone) {
  ProgramWindows() = {};
  ProgramWindows().frmMain = &main;
  main.show();
  make();
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_FALSE(main.isEnabled());
  ProgramWindows().frmView = &view;  // made while the wait window is shown
  view.setEnabled(false);
  send(WM_WAIT_CLOSE);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_FALSE(view.isEnabled());
}

TEST_F(WaitWindow, StopSetsTheAbortFlagUntilTheNextShowing) {
  make();
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_EQ(wait->AbortFlag, 0);
  QTest::mouseClick(wait->btnAbort(), Qt::LeftButton);
  EXPECT_EQ(wait->AbortFlag, 1);
  EXPECT_FALSE(wait->btnAbort()->isEnabled());
  EXPECT_TRUE(wait->isVisible());  // the operation closes it
  send(WM_WAIT_CLOSE);
  EXPECT_EQ(wait->AbortFlag, 1);
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_EQ(wait->AbortFlag, 0);
}

TEST_F(WaitWindow, OnlyTheProgramClosesIt) {
  make();
  send(WM_WAIT_SHOW, 0, 1);
  EXPECT_FALSE(wait->close());
  QTest::keyClick(wait.get(), Qt::Key_Escape);
  EXPECT_TRUE(wait->isVisible());
  wait->CloseIfShown();
  EXPECT_FALSE(wait->isVisible());
}

TEST_F(WaitWindow, ProgressIsHeldToItsRange) {
  make();
  send(WM_WAIT_SHOW, 0, 3);
  struct Case {
    platform::WPARAM sent;
    int shown;
  } cases[] = {{42, 42}, {100, 100}, {150, 100}, {0, 0}, {-5, 0}};
  for (const auto& c : cases) {
    send(WM_WAIT_PROGRESS, c.sent);
    EXPECT_EQ(wait->Gauge1()->value(), c.shown) << c.sent;
  }
}

TEST_F(WaitWindow, AbortMessageEnablesAndFocusesStop) {
  make();
  struct Case {
    platform::LPARAM showFlags;
    platform::WPARAM w;
    bool enabled, focused;
  } cases[] = {
      {5, 1, true, true}, {5, 2, true, false}, {1, 0, false, false}, {4, 1, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.w);
    send(WM_WAIT_SHOW, 0, c.showFlags);
    wait->setFocus();
    send(WM_WAIT_ABORT, c.w);
    EXPECT_EQ(wait->btnAbort()->isEnabled(), c.enabled);
    EXPECT_EQ(wait->focusWidget() == wait->btnAbort(), c.focused);
    send(WM_WAIT_CLOSE);
  }
}

TEST_F(WaitWindow, BlockErrorButtonShowsOnlyWithTheDiagnosticFlag) {
  for (uint8_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    DiagnosticFlag = flag;
    make();
    for (int showing = 0; showing < 2; ++showing) {
      send(WM_WAIT_SHOW, 0, 3);
      EXPECT_EQ(wait->btnErr()->isVisible(), flag == 1);
      EXPECT_EQ(wait->height(), (flag ? 115 : 57) + TfrmWait::kCaptionHeight + 2 * TfrmWait::kBorder);
      EXPECT_EQ(wait->BlockErrFlag, 0);
      if (flag) QTest::mouseClick(wait->btnErr(), Qt::LeftButton);
      EXPECT_EQ(wait->BlockErrFlag, flag);
      send(WM_WAIT_CLOSE);
    }
  }
}

TEST_F(WaitWindow, DirectShowKeepsBarAndStopState) {
  make();
  main.show();
  wait->Gauge1()->setValue(30);
  wait->btnAbort()->setEnabled(false);
  wait->ShowDirect("Scanning", true, true);
  EXPECT_TRUE(wait->isVisible());
  EXPECT_EQ(wait->windowTitle(), "Scanning");
  EXPECT_TRUE(wait->Panel1()->isVisible());
  EXPECT_TRUE(wait->btnAbort()->isVisible());
  EXPECT_EQ(wait->Gauge1()->value(), 30);
  EXPECT_FALSE(wait->btnAbort()->isEnabled());
  EXPECT_FALSE(main.isEnabled());
  wait->ShowDirect("Scanning", false, false);
  EXPECT_FALSE(wait->Panel1()->isVisible());
  EXPECT_FALSE(wait->btnAbort()->isVisible());
  wait->CloseIfShown();
  EXPECT_FALSE(wait->isVisible());
  EXPECT_TRUE(main.isEnabled());
}

// A worker thread drives the window as the capture does: it sends its messages, waits
// for the user's Stop through the abort flag, and closes the window.
TEST_F(WaitWindow, WorkerThreadDrivesItThroughSentMessages) {
  make();
  main.show();
  const QString caption = "Receiving";
  std::atomic<int> gaugeSeen{-1};
  std::atomic<bool> mainDisabledSeen{false};
  std::thread worker([&] {
    send(WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 7);
    send(WM_WAIT_ABORT, 1);
    send(WM_WAIT_PROGRESS, 55);
    // Each send returns only after the GUI thread handled it, so what it did is visible.
    QMetaObject::invokeMethod(
        wait.get(),
        [&] {
          gaugeSeen = wait->Gauge1()->value();
          mainDisabledSeen = !main.isEnabled();
          QTest::mouseClick(wait->btnAbort(), Qt::LeftButton);  // the user presses Stop
        },
        Qt::BlockingQueuedConnection);
    EXPECT_EQ(wait->AbortFlag.load(), 1);
    send(WM_WAIT_CLOSE);
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  worker.join();
  EXPECT_EQ(gaugeSeen, 55);
  EXPECT_TRUE(mainDisabledSeen);
  EXPECT_EQ(wait->windowTitle(), caption);
  EXPECT_FALSE(wait->isVisible());
  EXPECT_TRUE(main.isEnabled());
}

}  // namespace
