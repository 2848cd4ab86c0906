// The camsim program on a pseudo-terminal, as a child process of a test or benchmark.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace captest {

// Started with --pty and the given options; Stop closes its standard input (it then writes
// its log and ends) and waits for it.
class CamsimProcess {
 public:
  bool Start(const std::vector<std::string>& args, std::string* why);
  void Stop();
  ~CamsimProcess() { Stop(); }
  const std::string& device() const { return device_; }

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  std::string device_;
};

// The path of the camsim program in the build tree.
std::string CamsimPath();

}  // namespace captest
