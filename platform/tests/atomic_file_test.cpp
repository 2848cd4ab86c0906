#include "platform/atomic_file.h"
#include "platform/testsupport/testsupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

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

TEST(AtomicFile, ALinkAtTheTargetIsReplacedAndWhatItNamesIsLeftAlone) {
  fs::path real = adtest::testDir() / "real";
  fs::path links = adtest::testDir() / "links";
  fs::create_directories(real);
  fs::create_directories(links);
  adtest::writeFile(real / "settings.ini", "old");
  fs::create_symlink(real / "settings.ini", links / "absolute.ini");
  fs::create_symlink("../real/settings.ini", links / "relative.ini");
  fs::create_symlink("relative.ini", links / "chained.ini");
  fs::create_symlink("../real/made.ini", links / "dangling.ini");
  for (const char* link : {"absolute.ini", "relative.ini", "chained.ini", "dangling.ini"}) {
    ASSERT_TRUE(platform::writeFileAtomic((links / link).string(), link)) << link;
    EXPECT_FALSE(fs::is_symlink(links / link)) << link;
    EXPECT_EQ(adtest::readFile(links / link), link);
  }
  EXPECT_EQ(adtest::readFile(real / "settings.ini"), "old");
  EXPECT_FALSE(fs::exists(real / "made.ini"));
  EXPECT_EQ(filesIn(links), 4u);  // no temporary left in either folder
  EXPECT_EQ(filesIn(real), 1u);
}

TEST(AtomicFile, AFileThatMayNotBeWrittenIsLeftAsItWas) {
  fs::path dir = adtest::testDir() / "out";
  fs::create_directories(dir);
  ::chmod(adtest::testDir().c_str(), 0755);
  ::chmod(dir.c_str(), 0777);  // the folder lets anyone replace a file in it
  struct Case {
    const char* name;
    mode_t mode;
    bool ours;  // written by this process (else by another user)
    bool written;
  } cases[] = {{"read-only.jpg", 0444, true, false},   {"no bits.jpg", 0, true, false},
               {"owner writes.jpg", 0644, true, true}, {"others' file.jpg", 0644, false, false},
               {"all write.jpg", 0666, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path target = dir / c.name;
    adtest::writeFile(target, "kept");
    ::chmod(target.c_str(), c.mode);
    auto save = [&] {
      errno = 0;
      bool ok = platform::writeFileAtomic(target.string(), "new");
      return ok == c.written && (ok || errno == EACCES);
    };
    EXPECT_TRUE(c.ours ? save() : adtest::asOtherUser(save));
    ::chmod(target.c_str(), 0644);
    EXPECT_EQ(adtest::readFile(target), c.written ? "new" : "kept");
    EXPECT_EQ(filesIn(dir), static_cast<size_t>(&c - cases + 1)) << "a temporary was left";
  }

  // A target made read-only while the new file was being written stays too.
  fs::path target = dir / "late.jpg";
  adtest::writeFile(target, "kept");
  platform::AtomicFileWriter w(target.string());
  ASSERT_TRUE(w.open());
  ASSERT_TRUE(w.write("new", 3));
  ::chmod(target.c_str(), 0444);
  EXPECT_FALSE(w.commit());
  EXPECT_EQ(adtest::readFile(target), "kept");
  EXPECT_FALSE(fs::exists(w.tempPath()));
}

namespace {
std::vector<std::string> temporariesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(dir)) {
    if (platform::isTemporaryName(e.path().filename().string())) names.push_back(e.path().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

TEST(AtomicFile, ASaveKilledHalfWayLeavesATemporaryThatTheNextSaveRemoves) {
  fs::path dir = adtest::testDir() / "out";
  fs::create_directories(dir);
  fs::path target = dir / "album.qla";
  adtest::writeFile(target, "old album");

  // Another save of the same target is at work all the while: its temporary stays.
  adtest::ChildSave live(target);
  ASSERT_FALSE(live.temporary().empty());
  adtest::ChildSave killed(target);
  ASSERT_FALSE(killed.temporary().empty());
  killed.kill();
  EXPECT_GE(fs::file_size(killed.temporary()), 1u << 20);
  EXPECT_TRUE(platform::isTemporaryNameOf(fs::path(killed.temporary()).filename().string(), "album.qla"));
  std::vector<std::string> both = {live.temporary(), killed.temporary()};
  std::sort(both.begin(), both.end());
  EXPECT_EQ(temporariesIn(dir), both);
  EXPECT_EQ(adtest::readFile(target), "old album");

  ASSERT_TRUE(platform::writeFileAtomic(target.string(), "new album"));
  EXPECT_EQ(adtest::readFile(target), "new album");
  EXPECT_EQ(temporariesIn(dir), std::vector<std::string>{live.temporary()});
  EXPECT_TRUE(live.finish());
  EXPECT_GE(fs::file_size(target), 1u << 20) << "the live save completed";
  EXPECT_EQ(filesIn(dir), 1u);
}

TEST(AtomicFile, StaleTemporariesOfAFolderAreRemovedAndNothingElse) {
  fs::path dir = adtest::testDir() / "work";
  fs::create_directories(dir);
  std::vector<std::string> kept = {"notes.tmp", "a.~Ab3.tmp", "b.~Ab3dE!9x.tmp", "c.~Ab3dEf9x.tmpx", "zbm0001.bmp"};
  for (const auto& name : kept) adtest::writeFile(dir / name, "user's");
  fs::create_symlink("zbm0001.bmp", dir / "link.~Ab3dEf9x.tmp");
  for (const char* target : {"temp.dvf", "zbm0002.jpg"}) {
    adtest::ChildSave killed(dir / target, 64 << 10);
    ASSERT_FALSE(killed.temporary().empty());
    killed.kill();
  }
  adtest::ChildSave live(dir / "settings.ini", 64 << 10);
  ASSERT_EQ(temporariesIn(dir).size(), 4u);  // two killed, one live, the link

  EXPECT_EQ(platform::removeStaleTemporaries(dir.string() + "/"), 2u);
  std::vector<std::string> left = {(dir / "link.~Ab3dEf9x.tmp").string(), live.temporary()};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(temporariesIn(dir), left);
  for (const auto& name : kept) EXPECT_EQ(adtest::readFile(dir / name), "user's") << name;
  EXPECT_TRUE(live.finish());
}

TEST(AtomicFile, TemporaryNamesStayWithinTheLimitAndWholeCharacters) {
  // 85 three-byte characters: a 255-byte name.
  std::string japanese;
  for (int i = 0; i < 85; ++i) japanese += "\xE3\x81\x82";
  struct Case {
    std::string name;
    size_t kept;  // bytes of the name in the temporary's
  } cases[] = {{"a.jpg", 5}, {std::string(241, 'n'), 241}, {std::string(242, 'n'), 241}, {japanese, 240}};
  for (const Case& c : cases) {
    const std::string temp = platform::temporaryName(c.name, "Ab3dEf9x");
    EXPECT_LE(temp.size(), 255u);
    EXPECT_EQ(temp, c.name.substr(0, c.kept) + ".~Ab3dEf9x.tmp");
    EXPECT_TRUE(platform::isTemporaryNameOf(temp, c.name));
    EXPECT_FALSE(platform::isTemporaryNameOf(temp, "b" + c.name.substr(1)));
  }
}

TEST(AtomicFile, NewWorkFilesAreNeverMadeThroughALink) {
  fs::path dir = adtest::testDir() / "work";
  fs::create_directories(dir);
  fs::create_symlink(adtest::testDir() / "elsewhere", dir / "zbmt.jpg");
  EXPECT_LT(platform::createNewFile((dir / "zbmt.jpg").string()), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(fs::exists(adtest::testDir() / "elsewhere"));
  const int fd = platform::createNewFile((dir / "zbmt.bmp").string());
  EXPECT_GE(fd, 0);
  ::close(fd);
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
