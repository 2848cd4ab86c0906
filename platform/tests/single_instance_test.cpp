#include "platform/single_instance.h"
#include "platform/testsupport/testsupport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

using platform::SingleInstanceLock;
using Result = SingleInstanceLock::Result;
namespace fs = std::filesystem;

extern char** environ;

namespace {

// What another process gets when it tries to take the lock at `path`; with no path, the
// lock of the work folder its environment gives once `environment` has changed that.
Result acquireInChild(const std::string& path, const std::function<void()>& environment = {}) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (environment) environment();
    SingleInstanceLock lock(path.empty() ? SingleInstanceLock::defaultPath() : path);
    ::_exit(static_cast<int>(lock.acquire()));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? static_cast<Result>(WEXITSTATUS(status)) : Result::Unavailable;
}

// The lock file of the test's work folder, the folder made.
std::string lockPath() {
  fs::create_directories(adtest::testDir() / "Documents/ZEB");
  return (adtest::testDir() / "Documents/ZEB/ZEBStillImageApp4").string();
}

}  // namespace

// The lock belongs to the work folder, whatever else the environment says: copies started
// with another runtime folder or none (as from cron or su) and another temporary folder
// are refused while one holds it; a copy with another work folder is not.
TEST(SingleInstanceLock, OneWorkFolderHasOneHolderWhateverTheEnvironment) {
  ASSERT_EQ(SingleInstanceLock::defaultPath(), lockPath());
  const std::string home = adtest::testDir().string();
  fs::create_directories(home + "/other/run");
  fs::create_directories(home + "/other/tmp");
  fs::create_directories(home + "/Papers/ZEB");
  SingleInstanceLock lock;
  ASSERT_EQ(lock.acquire(), Result::Acquired);
  struct Case {
    const char* what;
    std::function<void()> environment;
    Result expected;
  } cases[] = {
      {"another runtime folder", [&] { ::setenv("XDG_RUNTIME_DIR", (home + "/other/run").c_str(), 1); },
       Result::HeldElsewhere},
      {"no runtime folder, another temporary folder",
       [&] {
         ::unsetenv("XDG_RUNTIME_DIR");
         ::setenv("TMPDIR", (home + "/other/tmp").c_str(), 1);
       },
       Result::HeldElsewhere},
      {"another documents folder",
       [&] { adtest::writeFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"); },
       Result::Acquired},
  };
  for (const Case& c : cases) EXPECT_EQ(acquireInChild("", c.environment), c.expected) << c.what;
}

TEST(SingleInstanceLock, ASecondHolderIsRefusedUntilTheFirstEnds) {
  ASSERT_EQ(SingleInstanceLock::defaultPath(), lockPath());
  EXPECT_EQ(acquireInChild(lockPath()), Result::Acquired);  // the child's lock ended with it
  {
    SingleInstanceLock lock;
    ASSERT_EQ(lock.acquire(), Result::Acquired);
    EXPECT_EQ(lock.acquire(), Result::Acquired);
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(acquireInChild(lockPath()), Result::HeldElsewhere);
    lock.release();
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(acquireInChild(lockPath()), Result::Acquired);
    ASSERT_EQ(lock.acquire(), Result::Acquired);
  }
  EXPECT_EQ(acquireInChild(lockPath()), Result::Acquired);  // released when the holder goes
}

TEST(SingleInstanceLock, TheFlockToolSeesTheSameLock) {
  AD_REQUIRE_TOOL("flock");
  SingleInstanceLock lock(lockPath());
  ASSERT_EQ(lock.acquire(), Result::Acquired);
  EXPECT_EQ(adtest::runProgram({"flock", "-n", lockPath(), "true"}), 1);
  lock.release();
  EXPECT_EQ(adtest::runProgram({"flock", "-n", lockPath(), "true"}), 0);

  // And the other way round: while the tool holds the lock, we are refused. The tool's
  // command reports through one FIFO that it runs and waits on another to end.
  std::string ready = (adtest::testDir() / "ready").string(), done = (adtest::testDir() / "done").string();
  ASSERT_EQ(::mkfifo(ready.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(done.c_str(), 0600), 0);
  std::vector<std::string> args = {"flock", "-n", lockPath(), "sh", "-c", "echo held > \"$0\"; cat \"$1\"", ready, done};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t tool = 0;
  ASSERT_EQ(::posix_spawnp(&tool, "flock", nullptr, nullptr, argv.data(), environ), 0);
  EXPECT_EQ(adtest::readFile(ready), "held\n");  // blocks until the tool holds the lock
  SingleInstanceLock other;
  EXPECT_EQ(other.acquire(), Result::HeldElsewhere);
  adtest::writeFile(done, "");  // lets the tool end
  int status = 0;
  ASSERT_EQ(::waitpid(tool, &status, 0), tool);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(other.acquire(), Result::Acquired);
}

TEST(SingleInstanceLock, ProgramsStartedByTheHolderDoNotKeepIt) {
  SingleInstanceLock lock(lockPath());
  ASSERT_EQ(lock.acquire(), Result::Acquired);
  pid_t child = 0;
  char sleepArg[] = "sleep";
  char seconds[] = "600";
  char* argv[] = {sleepArg, seconds, nullptr};
  ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
  lock.release();
  EXPECT_EQ(acquireInChild(lockPath()), Result::Acquired);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(SingleInstanceLock, UnusableLockFilesAreNotUsed) {
  fs::path dir = adtest::testDir() / "locks";
  fs::create_directories(dir);
  struct Case {
    const char* what;
    std::function<std::string()> prepare;
  } cases[] = {
      {"a planted link",
       [&] {
         fs::create_symlink(dir / "target", dir / "link");
         return (dir / "link").string();
       }},
      {"a folder", [&] { fs::create_directories(dir / "folder"); return (dir / "folder").string(); }},
      {"a missing folder", [&] { return (dir / "missing" / "lock").string(); }},
      {"another user's file",
       [&] {
         adtest::writeFile(dir / "foreign", "");
         if (::geteuid() != 0 || ::chown((dir / "foreign").c_str(), 65534, 65534) != 0) return std::string();
         return (dir / "foreign").string();
       }},
  };
  for (const auto& c : cases) {
    std::string path = c.prepare();
    if (path.empty()) continue;  // needs root to make
    SingleInstanceLock lock(path);
    EXPECT_EQ(lock.acquire(), Result::Unavailable) << c.what;
    EXPECT_FALSE(lock.held()) << c.what;
  }
  EXPECT_FALSE(fs::exists(dir / "target")) << "the link was followed";
}
