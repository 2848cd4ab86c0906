// Test main for widget tests: one QApplication on the offscreen platform (unless the
// test runs under a real or virtual display that asked for another platform).
//
// Built with AD_TEST_DESKTOP for the desktop tests: these run on a desktop of their own,
// a virtual display with a window manager, started before the application and stopped
// after the last test.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#ifdef AD_TEST_DESKTOP
#include "desktop.h"
#include "testsupport.h"
#endif

namespace adtest { void installTestFolders(); }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifdef AD_TEST_DESKTOP
  // Listing the tests needs no desktop.
  const bool listing = ::testing::GTEST_FLAG(list_tests);
  adtest::VirtualDesktop desktop;
  if (!listing) {
    std::string why;
    if (!desktop.start(&why)) {
      std::fprintf(stderr, "No desktop for the tests: %s\n", why.c_str());
      // A missing tool skips the tests (CTest's skip code) unless the run requires them.
      return adtest::peersRequired() || why.rfind("outside tool missing", 0) != 0 ? 1 : adtest::kSkipCode;
    }
  } else {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
#endif
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  adtest::installTestFolders();
  return RUN_ALL_TESTS();
}
