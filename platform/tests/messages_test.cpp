#include "platform/messages.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace platform;

TEST(Messages, NumbersAreTheProgramsOwn) {
  EXPECT_EQ(WM_IMAGE_INFO, 1125u);
  EXPECT_EQ(WM_VTR_STATUS, 1127u);
  EXPECT_EQ(WM_WAIT_CLOSE, 1132u);
  EXPECT_EQ(WM_WAIT_SHOW, 1134u);
  EXPECT_EQ(WM_CAPTURE_FRAME, 1139u);
  EXPECT_EQ(WM_WAIT_ABORT, 1143u);
  EXPECT_EQ(WM_WAIT_PROGRESS, 1144u);
  EXPECT_EQ(WM_INSERT_FILES, 1144u);
  EXPECT_EQ(WM_CAPTURE_STATE, 1146u);
  EXPECT_EQ(WM_STARTUP, 1154u);
  EXPECT_EQ(WM_AUTO_ERROR, 1154u);
}

TEST(Messages, PostedMessagesArriveInOrderAfterTheCallReturns) {
  int argc = 0;
  QCoreApplication app(argc, nullptr);
  MessageReceiver r;
  std::vector<std::pair<WPARAM, LPARAM>> seen;
  r.onMessage(WM_STARTUP, [&](WPARAM w, LPARAM l) { seen.emplace_back(w, l); return 0; });
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(postMessage(&r, WM_STARTUP, i, -i));
  EXPECT_TRUE(postMessage(&r, 4242));  // no handler: ignored
  EXPECT_TRUE(seen.empty());
  QCoreApplication::processEvents();
  ASSERT_EQ(seen.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(seen[i], std::make_pair(WPARAM(i), LPARAM(-i)));
  EXPECT_FALSE(postMessage(nullptr, WM_STARTUP));
}

TEST(Messages, SendFromGuiThreadIsDirectAndReturnsTheResult) {
  int argc = 0;
  QCoreApplication app(argc, nullptr);
  MessageReceiver r;
  r.onMessage(WM_IMAGE_INFO, [](WPARAM w, LPARAM l) { return w * 10 + l; });
  EXPECT_EQ(sendMessage(&r, WM_IMAGE_INFO, 4, 2), 42);
  EXPECT_EQ(sendMessage(&r, WM_WAIT_CLOSE), 0);
  EXPECT_EQ(sendMessage(nullptr, WM_IMAGE_INFO, 4, 2), 0);
}

TEST(Messages, SendFromWorkerBlocksUntilTheGuiThreadHandledIt) {
  int argc = 0;
  QCoreApplication app(argc, nullptr);
  MessageReceiver r;
  std::atomic<bool> handledOnGui{false};
  std::thread::id guiId = std::this_thread::get_id();
  int progress = -1;
  r.onMessage(WM_WAIT_PROGRESS, [&](WPARAM w, LPARAM) {
    handledOnGui = std::this_thread::get_id() == guiId && isGuiThread();
    progress = static_cast<int>(w);
    return 7;
  });
  std::atomic<int> after{-2};
  LRESULT result = 0;
  std::thread worker([&] {
    EXPECT_FALSE(isGuiThread());
    result = sendMessage(&r, WM_WAIT_PROGRESS, 55);
    after = progress;  // the handler's effect is visible once send returns
    QMetaObject::invokeMethod(&app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(app.exec(), 0);
  worker.join();
  EXPECT_TRUE(handledOnGui);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(after, 55);
}
