// A movie written under the real wait window: its bar follows the frames, and its Stop,
// pressed while the writer lets events through, ends the movie with nothing left behind.
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "exporters/avi_writer.h"
#include "exporters/export_monitor.h"
#include "frames.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"

using namespace exporters;
using namespace extest;

TEST(MovieUnderWaitWindow, ProgressAndStop) {
  workspace::MLang lang;
  workspace::TfrmWait wait(lang);
  auto frames = writeFrames(adtest::testDir(), 32, 24, 4);
  const fs::path out = adtest::testDir() / "movie.avi";
  WaitWindowMonitor monitor(wait);

  // Stop and progress bar shown, bar at 0.
  platform::sendMessage(&wait, platform::WM_WAIT_SHOW, 0, 3);
  ASSERT_EQ(wait.Gauge1()->value(), 0);
  std::vector<int> seen;
  QObject::connect(wait.Gauge1(), &QProgressBar::valueChanged, [&](int v) { seen.push_back(v); });
  ASSERT_TRUE(MakeMovie(frames, out, 1, 10, kHandlerMJPG, &monitor));
  EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_TRUE(fs::exists(out));

  // Stop pressed from the event loop: the writer sees it before its next frame.
  platform::sendMessage(&wait, platform::WM_WAIT_SHOW, 0, 3);
  ASSERT_EQ(wait.AbortFlag.load(), 0);
  int stopAfter = 2;
  QObject::connect(wait.Gauge1(), &QProgressBar::valueChanged, [&](int) {
    if (--stopAfter == 0) QTimer::singleShot(0, wait.btnAbort(), &QPushButton::click);
  });
  const fs::path stopped = adtest::testDir() / "stopped.avi";
  EXPECT_FALSE(MakeMovie(frames, stopped, 1, 10, 0, &monitor));
  EXPECT_EQ(wait.AbortFlag.load(), 1);
  EXPECT_EQ(wait.Gauge1()->value(), 50) << "stopped after two frames";
  EXPECT_FALSE(fs::exists(stopped));
  EXPECT_EQ(strayTemporaries(adtest::testDir()), 0);
  platform::sendMessage(&wait, platform::WM_WAIT_CLOSE);
}
