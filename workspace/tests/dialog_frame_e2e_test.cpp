// A dialog of the program under a window manager. The program asks for a frame without
// minimise and maximise buttons or functions (the Motif hints every window manager reads)
// and keeps the dialog's size; the window manager then grants moving and closing it, never
// maximising (_NET_WM_ALLOWED_ACTIONS says what it grants). Whether it still offers to
// minimise a dialog is its own rule (openbox does), not the program's.
#include <QTest>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/form.h"
#include "platform/testsupport/testsupport.h"
#include "platform/testsupport/widgets.h"

namespace {

std::string xprop(QWidget* w, const char* property) {
  std::string out;
  adtest::runProgram({"xprop", "-id", std::to_string(w->winId()), property}, &out);
  return out;
}

// What the window manager allows on `w` once it manages it.
std::string allowedActions(QWidget* w) {
  std::string actions;
  (void)QTest::qWaitFor([&] {
    actions = xprop(w, "_NET_WM_ALLOWED_ACTIONS");
    return actions.find("_NET_WM_ALLOWED_ACTIONS(ATOM)") != std::string::npos;
  }, 20000);
  return actions;
}

TEST(DialogOnTheDesktop, AsksForNeitherMinimiseNorMaximiseAndKeepsItsSize) {
  AD_REQUIRE_TOOL("xprop");
  struct Case {
    const char* name;
    bool modal;
    bool borderIcons;
  };
  for (const Case& c : {Case{"shown", false, true}, Case{"shown modally", true, true},
                        Case{"without border icons", false, false}}) {
    SCOPED_TRACE(c.name);
    platform::Form dialog;
    dialog.setObjectName("frmDialog");
    dialog.setWindowTitle("Device selection");
    dialog.setBorderStyle(platform::BorderStyle::Dialog);
    dialog.setBorderIcons(c.borderIcons);
    dialog.resize(320, 200);
    std::string actions, hints;
    auto look = [&] {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
      actions = allowedActions(&dialog);
      hints = xprop(&dialog, "_MOTIF_WM_HINTS");
      dialog.closeForm();
    };
    if (c.modal) {
      adtest::whenShown(&dialog, look);
      dialog.showModal();
    } else {
      dialog.show();
      look();
    }
    // flags, functions, decorations: the functions are given (flag 1) without "all" (1),
    // minimise (8) or maximise (16); decorations, where given (flag 2), without "all" (1),
    // minimise (32) or maximise (64).
    unsigned flags = 0, functions = 0, decorations = 0;
    ASSERT_EQ(std::sscanf(hints.c_str(), "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = %x, %x, %x", &flags, &functions,
                          &decorations), 3) << hints;
    EXPECT_TRUE(flags & 1u) << hints;
    EXPECT_EQ(functions & (1u | 8u | 16u), 0u) << hints;
    if (flags & 2u) {
      EXPECT_EQ(decorations & (1u | 32u | 64u), 0u) << hints;
    }
    ASSERT_NE(actions.find("_NET_WM_ALLOWED_ACTIONS(ATOM)"), std::string::npos) << "not managed: " << actions;
    EXPECT_NE(actions.find("_NET_WM_ACTION_MOVE"), std::string::npos) << actions;
    if (c.borderIcons) {
      EXPECT_NE(actions.find("_NET_WM_ACTION_CLOSE"), std::string::npos) << actions;
    }
    for (const char* action : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT",
                               "_NET_WM_ACTION_RESIZE"})
      EXPECT_EQ(actions.find(action), std::string::npos) << action << " in " << actions;
  }
}

}  // namespace
