#include "platform/atomic_file.h"
#include "platform/testsupport/testsupport.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {
size_t filesIn(const fs::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}
}  // namespace

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporary) {
  fs::path target = adtest::testDir() / "out" / "a.bin";
  fs::create_directories(target.parent_path());
  adtest::writeFile(target, "old content that is longer");
  ASSERT_TRUE(platform::writeFileAtomic(target.string(), "new"));
  EXPECT_EQ(adtest::readFile(target), "new");
  EXPECT_EQ(filesIn(target.parent_path()), 1u);
}

TEST(AtomicFile, UncommittedWriterLeavesTheOldFile) {
  fs::path target = adtest::testDir() / "out" / "a.bin";
  fs::create_directories(target.parent_path());
  adtest::writeFile(target, "old");
  {
    platform::AtomicFileWriter w(target.string());
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(w.write("partial", 7));
    EXPECT_TRUE(fs::exists(w.tempPath()));
  }
  EXPECT_EQ(adtest::readFile(target), "old");
  EXPECT_EQ(filesIn(target.parent_path()), 1u);
}

TEST(AtomicFile, MissingFolderFails) {
  EXPECT_FALSE(platform::writeFileAtomic((adtest::testDir() / "no/such/x").string(), "x"));
  platform::AtomicFileWriter w((adtest::testDir() / "no/such/x").string());
  EXPECT_FALSE(w.open());
  EXPECT_FALSE(w.write("x", 1));
  EXPECT_FALSE(w.commit());
}
