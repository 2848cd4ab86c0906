// Test main for tests without widgets.
#include <gtest/gtest.h>

namespace adtest { void installTestFolders(); }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  adtest::installTestFolders();
  return RUN_ALL_TESTS();
}
