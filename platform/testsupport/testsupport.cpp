#include "testsupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/atomic_file.h"

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

bool asOtherUser(const std::function<bool()>& check) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ChildSave::ChildSave(const fs::path& target, size_t bytes) {
  int ready[2], go[2];
  if (::pipe(ready) != 0 || ::pipe(go) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    platform::AtomicFileWriter writer(target.string());
    if (!writer.open()) ::_exit(2);
    const std::vector<char> piece(64 << 10, 'x');
    for (size_t done = 0; done < bytes; done += piece.size()) {
      if (!writer.write(piece.data(), piece.size())) ::_exit(3);
    }
    const std::string& name = writer.tempPath();
    if (::write(ready[1], name.data(), name.size()) != static_cast<ssize_t>(name.size())) ::_exit(4);
    ::close(ready[1]);
    // Writes on until told what to do: a kill finds it writing.
    char what = 0;
    ::fcntl(go[0], F_SETFL, O_NONBLOCK);
    for (size_t more = 0; ::read(go[0], &what, 1) != 1; ++more) {
      if (more < 32 && !writer.write(piece.data(), piece.size())) ::_exit(3);
      if (more >= 32) ::usleep(1000);
    }
    ::_exit(what == 'c' && writer.commit() ? 0 : 5);
  }
  ::close(ready[1]);
  ::close(go[0]);
  go_ = go[1];
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(ready[0], buffer, sizeof buffer)) > 0) temporary_.append(buffer, static_cast<size_t>(n));
  ::close(ready[0]);
}

ChildSave::~ChildSave() { kill(); }

void ChildSave::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  ::close(go_);
}

bool ChildSave::finish() {
  if (pid_ <= 0) return false;
  int status = 0;
  bool told = ::write(go_, "c", 1) == 1;
  ::close(go_);
  bool done = told && ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  pid_ = -1;
  return done;
}

FullDisk::FullDisk(const fs::path& folder, size_t bytes) : folder_(folder) {
  fs::create_directories(folder);
  const std::string size = "size=" + std::to_string(bytes);
  mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
  if (mounted_) return;
  struct rlimit limit;
  ::getrlimit(RLIMIT_FSIZE, &limit);
  oldLimit_ = limit.rlim_cur;
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

void FullDisk::leave(size_t room) {
  if (!mounted_) {
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    if (!limited_) {
      oldLimit_ = limit.rlim_cur;
      oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    limit.rlim_cur = room;
    limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    return;
  }
  ::unlink((folder_ / ".filler").c_str());
  struct statvfs fs;
  if (::statvfs(folder_.c_str(), &fs) != 0) return;
  const unsigned long long free = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
  if (free <= room) return;
  const int fd = ::open((folder_ / ".filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::vector<char> zeros(1 << 16, 0);
  for (unsigned long long left = free - room; left > 0;) {
    const ssize_t n = ::write(fd, zeros.data(), std::min<unsigned long long>(left, zeros.size()));
    if (n <= 0) break;
    left -= static_cast<unsigned long long>(n);
  }
  ::close(fd);
}

FullDisk::~FullDisk() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  if (!limited_) return;
  struct rlimit limit;
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = oldLimit_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, oldHandler_);
}

void installTestFolders() {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TestFolders);
}

// ---- stand-in programs --------------------------------------------------------------------

StandInProgram::StandInProgram(const std::string& name, const std::string& commands)
    : name_(name), dir_(testDir() / ("stand-in-" + name)) {
  fs::create_directories(dir_);
  then(commands);
  path_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  ::setenv("PATH", (dir_.string() + ":" + path_).c_str(), 1);
}

StandInProgram::~StandInProgram() { ::setenv("PATH", path_.c_str(), 1); }

void StandInProgram::then(const std::string& commands) {
  const fs::path record = dir_ / "runs";
  // Each run writes its own file and appends it whole, so that runs at the same time do
  // not mix their lines.
  writeFile(dir_ / name_, "#!/bin/sh\n"
                          "run=\"" + record.string() + ".$$\"\n"
                          "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo ---; } > \"$run\"\n"
                          "cat \"$run\" >> \"" + record.string() + "\"\n"
                          "rm -f \"$run\"\n" +
                          commands + "\n");
  fs::permissions(dir_ / name_, fs::perms::owner_all);
}

std::vector<std::vector<std::string>> StandInProgram::runs() const {
  std::vector<std::vector<std::string>> runs;
  std::istringstream in(fs::exists(dir_ / "runs") ? readFile(dir_ / "runs") : std::string());
  std::vector<std::string> run;
  for (std::string line; std::getline(in, line);) {
    if (line == "---") {
      runs.push_back(run);
      run.clear();
    } else {
      run.push_back(line);
    }
  }
  return runs;
}

namespace {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
uint64_t statusBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  const std::string key = std::string(field) + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size(), key) == 0) return std::stoull(line.substr(key.size())) * 1024;
  }
  return 0;
}

}  // namespace

MemoryRise::MemoryRise(uint64_t abortAbove) {
  // Writing 5 resets the peak resident size to the present one.
  std::ofstream("/proc/self/clear_refs") << "5";
  start_ = statusBytes("VmRSS");
  watchdog_ = std::thread([this, abortAbove] {
    while (!done_) {
      const uint64_t now = statusBytes("VmRSS");
      if (now > start_ + abortAbove) {
        std::fprintf(stderr, "resident memory rose by %llu MiB, past the test's limit of %llu MiB: ended\n",
                     static_cast<unsigned long long>((now - start_) >> 20),
                     static_cast<unsigned long long>(abortAbove >> 20));
        std::_Exit(3);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
}

MemoryRise::~MemoryRise() {
  done_ = true;
  watchdog_.join();
}

uint64_t MemoryRise::rise() const {
  const uint64_t peak = statusBytes("VmHWM");
  return peak > start_ ? peak - start_ : 0;
}

}  // namespace adtest
