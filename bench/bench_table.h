// What every benchmark shares: timing and medians, the folder its files go to, running a
// peer program (with its start-up measured, so that it can be taken out), and the rows
// that bench/run gathers into one table.
//
// A row is one line of the benchmark's output:
//   row | <work> | <ours ms> | <peer ms> | <ratio> | ours: <what we do> | peer: <what the peer does>
// Times are milliseconds (medians); the ratio is ours over the peer's, so below 1 is
// faster. A row without a peer has "-" for the peer and the ratio. A row with a goal
// ends in " | goal: <the largest ratio that meets it>".
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median time of `repetitions` runs in milliseconds; -1 when a run failed.
inline double medianMs(int repetitions, const std::function<bool()>& step) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    if (!step()) return -1;
    times.push_back(msSince(start));
  }
  return median(times);
}

// Medians of two steps timed in turns, so that both see the same moments of a shared
// machine; which goes first alternates, so neither always finds the caches and the heap as
// the other left them. A failed step gives -1 for its side.
inline std::pair<double, double> medianPairMs(int repetitions, const std::function<bool()>& ours,
                                              const std::function<bool()>& peer) {
  std::vector<double> times[2];
  bool ok[2] = {true, true};
  const std::function<bool()>* steps[2] = {&ours, &peer};
  for (int i = 0; i < repetitions && (ok[0] || ok[1]); ++i) {
    for (int k = 0; k < 2; ++k) {
      const int side = (i + k) % 2;
      const auto start = Clock::now();
      if (ok[side] && (ok[side] = (*steps[side])())) times[side].push_back(msSince(start));
    }
  }
  return {ok[0] ? median(times[0]) : -1, ok[1] ? median(times[1]) : -1};
}

// Runs a program (looked up on PATH) with its arguments, in `dir` when given, its output
// discarded unless `output` is given (then its standard output lands there); its exit
// code, -1 when it could not run.
inline int run(const std::vector<std::string>& argv, const std::string& dir = {}, std::string* output = nullptr) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  if (output && ::pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  if (output) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output) {
    ::close(pipeFds[1]);
    if (started == 0) {
      char buf[4096];
      ssize_t n;
      while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) output->append(buf, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  if (started != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool runOk(const std::vector<std::string>& argv) { return run(argv) == 0; }

// The median time a command takes on a trivial input (its start-up, loading its
// libraries, opening its trivial input); a peer's time as a command less this is the
// time of its work. -1 when the command fails.
inline double startupMs(int repetitions, const std::vector<std::string>& trivial) {
  runOk(trivial);  // the first start loads the program's files into the cache
  return medianMs(std::max(repetitions, 5), [&] { return runOk(trivial); });
}

// Writes the file's data to the disk, as our writers do before they rename a file into
// place; a peer program that only closes its file is held to the same.
inline bool flushToDisk(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// A new folder for the benchmark's files: below `base` when given, else below the
// temporary folder (TMPDIR), which is on a disk unless the user points it elsewhere, so
// writing a file includes its way to the disk. Empty when it cannot be made.
inline std::filesystem::path newFolder(const std::string& name, const std::string& base = {}) {
  std::string pattern =
      ((base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base)) / (name + "-XXXXXX"))
          .string();
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

// Prints one row of the table (see above). peerMs < 0 means no peer; goal > 0 is the
// largest ratio that meets the row's goal.
inline void row(const std::string& work, double oursMs, double peerMs, const std::string& oursDoes,
                const std::string& peerDoes, double goal = 0) {
  char ours[32], peer[32] = "-", ratio[32] = "-", goalCell[32] = "";
  std::snprintf(ours, sizeof ours, "%.3f", oursMs);
  if (peerMs > 0) {
    std::snprintf(peer, sizeof peer, "%.3f", peerMs);
    std::snprintf(ratio, sizeof ratio, "%.3f", oursMs / peerMs);
  }
  if (goal > 0) std::snprintf(goalCell, sizeof goalCell, " | goal: %.2f", goal);
  std::printf("row | %s | %s | %s | %s | ours: %s | peer: %s%s\n", work.c_str(), ours, peer, ratio, oursDoes.c_str(),
              peerMs > 0 ? peerDoes.c_str() : "none", goalCell);
  std::fflush(stdout);
}

}  // namespace bench
