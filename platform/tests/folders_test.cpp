#include "platform/folders.h"
#include "platform/testsupport/testsupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <filesystem>

TEST(Folders, AppDirIsTheProgramFolderWithSlash) {
  std::string dir = platform::appDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  ASSERT_GT(n, 0);
  buf[n] = 0;
  EXPECT_EQ(dir, std::filesystem::path(buf).parent_path().string() + "/");
}

TEST(Folders, WorkAndDesktopFoldersFollowTheUserFolders) {
  std::string home = adtest::testDir().string();
  EXPECT_EQ(platform::workDir(), home + "/Documents/ZEB/");
  EXPECT_EQ(platform::desktopDir(), home + "/Desktop");
  // The documents folder named in the user's folder list is taken.
  adtest::writeFile(adtest::testDir() / ".config/user-dirs.dirs",
                    "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n");
  EXPECT_EQ(platform::workDir(), home + "/Papers/ZEB/");
  EXPECT_EQ(platform::desktopDir(), home + "/Desk");
}

// A home folder whose name is not UTF-8: the program's folders lie in it, byte for byte,
// and not in a new tree of the name Qt's text makes of it.
TEST(Folders, AHomeNotInUtf8KeepsItsBytes) {
  const std::string home = (adtest::testDir() / "caf\xe9 \xff\xfe").string();
  std::filesystem::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(platform::workDir(), home + "/Documents/ZEB/");
  EXPECT_EQ(platform::desktopDir(), home + "/Desktop");
  adtest::writeFile(adtest::testDir() / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  EXPECT_EQ(platform::workDir(), home + "/Papers/ZEB/");
  // Paths through Qt and back: those in the home folder get its bytes again; others are
  // decoded and encoded as Qt does with file names.
  const std::string summer = "\xc3\xa9t\xc3\xa9";
  for (const std::string& path : {home, home + "/Pictures/" + summer + ".jpg", "/tmp/" + summer})
    EXPECT_EQ(platform::localPath(platform::qtPath(path)), path);
  // A folder beside it whose name begins with the home folder's is not taken for it.
  EXPECT_NE(platform::localPath(platform::qtPath(home + "x/a")), home + "x/a");
}

// Qt reads the system locale once per process, so each locale is tried in a child
// process whose environment names it.
TEST(Folders, LanguageIdFromTheLocale) {
  struct Case { const char* locale; int id; } cases[] = {
      {"ja_JP.UTF-8", 17}, {"fr_FR.UTF-8", 12}, {"fr_CA.UTF-8", 12},
      {"en_US.UTF-8", 9},  {"de_DE.UTF-8", 9},  {"C", 9}};
  for (const auto& c : cases) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::setenv("LC_ALL", c.locale, 1);
      ::setenv("LANG", c.locale, 1);
      ::_exit(platform::userLanguageId());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.id) << c.locale;
  }
}
