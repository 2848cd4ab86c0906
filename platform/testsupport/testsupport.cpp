#include "testsupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace adtest {
namespace fs = std::filesystem;

namespace {

fs::path g_testDir;
fs::path g_originalCwd;

void setEnv(const char* name, const fs::path& value) { ::setenv(name, value.c_str(), 1); }

// Gives each test its own HOME, XDG folders and current directory.
class TestFolders : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    fs::path base = fs::temp_directory_path();
    std::string pattern = (base / "adtest-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    g_testDir = pattern;
    fs::create_directories(g_testDir / ".config");
    fs::create_directories(g_testDir / ".local/share");
    fs::create_directories(g_testDir / ".cache");
    fs::create_directories(g_testDir / "run");
    ::chmod((g_testDir / "run").c_str(), 0700);
    setEnv("HOME", g_testDir);
    setEnv("XDG_CONFIG_HOME", g_testDir / ".config");
    setEnv("XDG_DATA_HOME", g_testDir / ".local/share");
    setEnv("XDG_CACHE_HOME", g_testDir / ".cache");
    setEnv("XDG_RUNTIME_DIR", g_testDir / "run");
    ::unsetenv("ZEB_REGISTRY_FILE");
    if (g_originalCwd.empty()) g_originalCwd = fs::current_path();
    fs::current_path(g_testDir);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    fs::current_path(g_originalCwd);
    if (!std::getenv("AD_KEEP_TEST_DIRS")) {
      std::error_code ec;
      fs::remove_all(g_testDir, ec);
    }
  }
};

}  // namespace

fs::path testDir() { return g_testDir; }

fs::path artefactDir() {
#ifdef AD_BIN_DIR
  fs::path dir = fs::path(AD_BIN_DIR).parent_path() / "test-artefacts";
#else
  fs::path dir = g_originalCwd / "test-artefacts";
#endif
  fs::create_directories(dir);
  return dir;
}

bool peersRequired() { return std::getenv("ALBUMDESK_CI_PEERS") != nullptr; }

bool haveTool(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

namespace {
std::string drain(int fd) {
  std::string data;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
  return data;
}
}  // namespace

int runProgram(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  if (argv.empty()) return -1;
  // Output and errors go to temporary files, so a chatty program never blocks on a pipe.
  char outName[] = "/tmp/adrun-out-XXXXXX";
  char errName[] = "/tmp/adrun-err-XXXXXX";
  int outFd = ::mkstemp(outName);
  int errFd = ::mkstemp(errName);
  if (outFd < 0 || errFd < 0) return -1;
  ::unlink(outName);
  ::unlink(errName);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  int result = -1;
  if (rc == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result = WEXITSTATUS(status);
  ::lseek(outFd, 0, SEEK_SET);
  ::lseek(errFd, 0, SEEK_SET);
  if (out) *out = drain(outFd);
  if (err) *err = drain(errFd);
  ::close(outFd);
  ::close(errFd);
  return result;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void installTestFolders() {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TestFolders);
}

}  // namespace adtest
