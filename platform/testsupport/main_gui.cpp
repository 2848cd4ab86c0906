// Test main for widget tests: one QApplication on the offscreen platform (unless the
// test runs under a real or virtual display that asked for another platform).
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace adtest { void installTestFolders(); }

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  adtest::installTestFolders();
  return RUN_ALL_TESTS();
}
