#include "platform/atomic_file.h"
#include "platform/testsupport/testsupport.h"

#include <sys/stat.h>

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

TEST(AtomicFile, ReplacedFilesKeepTheirPermissionsAndNewOnesFollowTheUmask) {
  fs::path dir = adtest::testDir() / "out";
  fs::create_directories(dir);
  mode_t oldMask = ::umask(027);
  struct Case {
    const char* name;
    int before;  // -1: no file yet
    mode_t after;
  } cases[] = {{"private.ini", 0600, 0600}, {"shared.reg", 0664, 0664}, {"script", 0750, 0750},
               {"new.qla", -1, 0640}};
  for (const auto& c : cases) {
    fs::path target = dir / c.name;
    if (c.before >= 0) {
      adtest::writeFile(target, "old");
      ::chmod(target.c_str(), static_cast<mode_t>(c.before));
    }
    ASSERT_TRUE(platform::writeFileAtomic(target.string(), "new")) << c.name;
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after) << c.name;
  }
  ::umask(oldMask);
}

TEST(AtomicFile, LinksStayAndTheFileTheyNameIsReplaced) {
  fs::path real = adtest::testDir() / "real";
  fs::path links = adtest::testDir() / "links";
  fs::create_directories(real);
  fs::create_directories(links);
  adtest::writeFile(real / "settings.ini", "old");
  fs::create_symlink(real / "settings.ini", links / "absolute.ini");
  fs::create_symlink("../real/settings.ini", links / "relative.ini");
  fs::create_symlink("relative.ini", links / "chained.ini");
  fs::create_symlink("../real/made.ini", links / "dangling.ini");
  for (const char* link : {"absolute.ini", "relative.ini", "chained.ini"}) {
    ASSERT_TRUE(platform::writeFileAtomic((links / link).string(), link));
    EXPECT_TRUE(fs::is_symlink(links / link)) << link;
    EXPECT_EQ(adtest::readFile(real / "settings.ini"), link);
  }
  ASSERT_TRUE(platform::writeFileAtomic((links / "dangling.ini").string(), "made"));
  EXPECT_TRUE(fs::is_symlink(links / "dangling.ini"));
  EXPECT_EQ(adtest::readFile(real / "made.ini"), "made");
  EXPECT_EQ(filesIn(links), 4u);  // no temporary left in either folder
  EXPECT_EQ(filesIn(real), 2u);
}

TEST(AtomicFile, NamesAtTheLengthLimitCanBeWritten) {
  fs::path dir = adtest::testDir() / "out";
  fs::create_directories(dir);
  for (size_t len : {250u, 255u}) {
    fs::path target = dir / (std::string(len - 4, 'n') + ".JPG");
    ASSERT_TRUE(platform::writeFileAtomic(target.string(), "x")) << len;
    EXPECT_EQ(adtest::readFile(target), "x");
    ASSERT_TRUE(platform::writeFileAtomic(target.string(), "y")) << len;
    EXPECT_EQ(adtest::readFile(target), "y");
  }
  EXPECT_EQ(filesIn(dir), 2u);
}
