#include "camsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace captest {

using namespace std::chrono_literals;

std::string CamsimPath() { return std::string(AD_BIN_DIR) + "/camsim"; }

bool CamsimProcess::Start(const std::vector<std::string>& args, std::string* why) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    *why = "pipe failed";
    return false;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  std::vector<std::string> all{CamsimPath(), "--pty"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(out[1]);
  stdinFd_ = in[1];
  if (rc != 0) {
    pid_ = -1;
    ::close(out[0]);
    *why = "cannot start " + all[0];
    return false;
  }
  // The first line of its output is the device path.
  std::string line;
  auto until = std::chrono::steady_clock::now() + 30s;
  char c;
  while (std::chrono::steady_clock::now() < until) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    if (::read(out[0], &c, 1) != 1) break;
    if (c == '\n') break;
    line += c;
  }
  ::close(out[0]);
  if (line.empty() || line[0] != '/') {
    *why = "camsim printed no device";
    Stop();
    return false;
  }
  device_ = line;
  return true;
}

void CamsimProcess::Stop() {
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
  if (pid_ <= 0) return;
  // camsim writes its log and files as it ends, which may take a while on a busy machine:
  // a kill before then loses what the test reads. Asked by its closed input first, then by
  // SIGTERM (it still writes them); killed only when it does not end at all.
  auto endsWithin = [&](std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    do {
      if (waitpid(pid_, &status, WNOHANG) == pid_) return true;
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < until);
    return false;
  };
  if (!endsWithin(30s)) {
    ::kill(pid_, SIGTERM);
    if (!endsWithin(10s)) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  pid_ = -1;
}

}  // namespace captest
