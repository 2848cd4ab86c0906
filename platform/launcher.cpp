#include "launcher.h"

#include "folders.h"
#include "replaceable.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {

namespace {
Replaceable<Launcher, SystemLauncher> g_launcher;

// xdg-open's exit code when it found no way to open the document.
constexpr int kOpenerFoundNothing = 3;

// Starts `program` living on its own: its own session (a signal to our terminal does not
// reach it), default signal handling and an empty signal mask. Its process id, or -1.
pid_t spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  int rc = program.find('/') == std::string::npos
               ? ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ)
               : ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

// Nobody waits for the program; a small waiter collects its exit so it leaves no zombie.
// The program runs whether or not the waiter could be made.
void reapLater(pid_t pid) {
  try {
    std::thread([pid] {
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
  }
}

// Calls `done` from the event loop, after the caller has returned.
void tell(const OpeningDone& done, Opening opening) {
  if (!done) return;
  if (auto* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [done, opening] { done(opening); }, Qt::QueuedConnection);
  else
    done(opening);
}

Opening openingOf(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Opening::Opened;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kOpenerFoundNothing) return Opening::NoProgram;
  return Opening::Failed;
}

// Waits for the opener in the event loop, through a descriptor of the process that becomes
// readable when it ends, and tells how it ended. Without an event loop or such a
// descriptor its end is not watched and nothing is known against the opening.
void watchOpener(pid_t pid, OpeningDone done) {
  auto* app = QCoreApplication::instance();
  const int fd = app ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
  if (fd < 0) {
    reapLater(pid);
    tell(done, Opening::Opened);
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  auto* ended = new QSocketNotifier(fd, QSocketNotifier::Read, app);
  QObject::connect(ended, &QObject::destroyed, [fd] { ::close(fd); });
  QObject::connect(ended, &QSocketNotifier::activated, ended, [ended, pid, started, done] {
    ended->setEnabled(false);
    ended->deleteLater();
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    const bool watched = std::chrono::steady_clock::now() - started < SystemLauncher::kOpenerWatch;
    tell(done, got == pid && watched ? openingOf(status) : Opening::Opened);
  });
}
}  // namespace

Launcher& launcher() { return g_launcher.get(); }

Launcher* setLauncher(Launcher* l) { return g_launcher.install(l); }

bool SystemLauncher::startProgram(const std::string& program, const std::vector<std::string>& args) {
  if (program.empty()) return false;
  const pid_t pid = spawn(program, args);
  if (pid < 0) return false;
  reapLater(pid);
  return true;
}

bool SystemLauncher::openDocument(const std::string& path, OpeningDone done) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  const pid_t pid = spawn("xdg-open", {wholePath(path)});
  if (pid < 0) {
    tell(done, Opening::NoProgram);
    return true;
  }
  if (done)
    watchOpener(pid, std::move(done));
  else
    reapLater(pid);
  return true;
}

}  // namespace platform
