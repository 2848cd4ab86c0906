// Support for the project's GoogleTest executables.
//
// Every test runs in a fresh temporary folder that is also its HOME, with its own
// XDG folders below it and the current directory set to it, so no test touches the
// user's files or sees another test's.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace adtest {

// The current test's own folder (HOME). Removed after the test unless
// AD_KEEP_TEST_DIRS is set in the environment.
std::filesystem::path testDir();

// A folder in the build tree where tests leave files worth looking at afterwards
// (screenshots, rendered pages). Kept between runs.
std::filesystem::path artefactDir();

// True when the named program is on PATH (or is an existing absolute path).
bool haveTool(const std::string& name);

// Runs a program with an argument vector (no shell). Returns its exit code, or -1
// when it could not be started or was killed. Standard output goes to *out when given;
// standard error to *err when given (otherwise it is discarded).
int runProgram(const std::vector<std::string>& argv, std::string* out = nullptr,
               std::string* err = nullptr);

// Reads and writes whole files as bytes.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// The exit code of a test executable that skips all its tests (CTest's SKIP_RETURN_CODE).
constexpr int kSkipCode = 77;

// Whether a missing outside tool fails the test (CI) or skips it (elsewhere).
bool peersRequired();

// Runs `check` in a child process as an unprivileged user (when the test runs as root)
// so that file permissions apply; true when it held.
bool asOtherUser(const std::function<bool()>& check);

// A stand-in for an outside program, found first on PATH while the object lives: a shell
// script of that name in a folder of the test's own. Each run appends its arguments to a
// record and then runs `commands` (shell), which decide how it ends.
class StandInProgram {
 public:
  explicit StandInProgram(const std::string& name, const std::string& commands = "exit 0");
  ~StandInProgram();
  StandInProgram(const StandInProgram&) = delete;
  StandInProgram& operator=(const StandInProgram&) = delete;
  // What the next runs do after recording their arguments.
  void then(const std::string& commands);
  // The argument lists of every run so far, in order.
  std::vector<std::vector<std::string>> runs() const;
  // PATH before the stand-in's folder was put first.
  const std::string& systemPath() const { return path_; }
  // The folder put first on PATH, which holds the stand-in and its records.
  const std::filesystem::path& folder() const { return dir_; }
  // Takes the stand-in away; its folder stays first on PATH.
  void remove() { std::filesystem::remove(dir_ / name_); }

 private:
  std::string name_;
  std::filesystem::path dir_;
  std::string path_;
};

// A save of `target` through the program's file writer (platform/atomic_file.h) in a
// child process, which stops where it is told to.
class ChildSave {
 public:
  // The child opens the writer and writes until at least `bytes` bytes are in its
  // temporary file; then it waits.
  explicit ChildSave(const std::filesystem::path& target, size_t bytes = 1 << 20);
  ~ChildSave();
  ChildSave(const ChildSave&) = delete;
  ChildSave& operator=(const ChildSave&) = delete;
  // The temporary file the child writes ("" when it could not open its writer).
  const std::string& temporary() const { return temporary_; }
  // Kills the child with SIGKILL while it writes, and waits for it.
  void kill();
  // Lets the child commit its file; true when it did.
  bool finish();

 private:
  int pid_ = -1;
  int go_ = -1;  // the pipe that tells the child to go on
  std::string temporary_;
};

// A folder where writing fails for lack of room, while the object lives. Where the
// process may mount (root, and a system that allows it), a tmpfs of `bytes` bytes is
// mounted on the folder and a full disk is real (ENOSPC). Elsewhere the size of the files
// this process writes is limited to `bytes` (RLIMIT_FSIZE, with SIGXFSZ ignored, so a
// write fails with EFBIG). how() says which.
class FullDisk {
 public:
  FullDisk(const std::filesystem::path& folder, size_t bytes);
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;
  const char* how() const { return mounted_ ? "tmpfs (ENOSPC)" : "RLIMIT_FSIZE (EFBIG)"; }
  // Fills the disk so that no more than about `room` bytes still fit, for files put in
  // the folder first: on the tmpfs a filler file (".filler") takes the rest, elsewhere
  // the size limit becomes `room`. A file larger than `room` fails either way; a larger
  // `room` later makes room again.
  void leave(size_t room);

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
  bool limited_ = false;
  unsigned long long oldLimit_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

// How far this process's resident memory rises while the object lives: the kernel's
// peak is reset when it is made, and rise() is the peak since then less the memory
// resident then. A test that passes its limit must fail without taking the machine's
// memory: a watchdog thread ends the process, saying so, once the rise passes
// `abortAbove`.
class MemoryRise {
 public:
  explicit MemoryRise(uint64_t abortAbove = uint64_t{3} << 29);
  ~MemoryRise();
  MemoryRise(const MemoryRise&) = delete;
  MemoryRise& operator=(const MemoryRise&) = delete;
  uint64_t rise() const;

 private:
  uint64_t start_ = 0;
  std::atomic<bool> done_{false};
  std::thread watchdog_;
};

}  // namespace adtest

// Skips the test (with the reason printed) when an outside tool is missing, or
// fails it when ALBUMDESK_CI_PEERS is set, as in CI.
#define AD_REQUIRE_TOOL(name)                                                          \
  do {                                                                                 \
    if (!adtest::haveTool(name)) {                                                     \
      if (adtest::peersRequired()) {                                                   \
        FAIL() << "outside tool missing: " << (name);                                  \
      } else {                                                                         \
        GTEST_SKIP() << "outside tool missing: " << (name);                            \
      }                                                                                \
    }                                                                                  \
  } while (0)
