// The wait window under a window manager: no frame of the window manager's, so no close,
// minimise or maximise button and no such action allowed (_NET_WM_ALLOWED_ACTIONS, which
// openbox sets from what it grants the window); its own caption shows the window's title.
#include <QLabel>
#include <QTest>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/desktop.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"

namespace {

TEST(WaitWindowOnTheDesktop, OffersNoButtonsAndShowsItsCaption) {
  AD_REQUIRE_TOOL("xprop");
  workspace::MLang lang;
  lang.ParseStyles("none\t$$\t$$\t$$\r\n");
  lang.ParseCaptions("PrgLevel\tMB_TI_CLOSE\tWorking\tnone\r\n");
  workspace::TfrmWait wait(lang);
  const QString caption = "Opening the album";
  platform::sendMessage(&wait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 1);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&wait));
  // Once the window manager manages the window, it says what it allows on it.
  const std::string actions = adtest::allowedActions(wait.winId());
  ASSERT_FALSE(actions.empty()) << "not managed";
  for (const char* action : {"_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ",
                             "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_FULLSCREEN", "_NET_WM_ACTION_SHADE"})
    EXPECT_EQ(actions.find(action), std::string::npos) << actions;
  std::string extents;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !(extents = adtest::windowProperty(wait.winId(), "_NET_FRAME_EXTENTS")).empty(); },
                              20000));
  EXPECT_EQ(extents, "0, 0, 0, 0") << "a frame with a title bar";
  EXPECT_EQ(wait.Caption()->text(), caption);
  EXPECT_TRUE(wait.Caption()->isVisible());
  platform::sendMessage(&wait, platform::WM_WAIT_CLOSE);
}

}  // namespace
