#include "launcher.h"

#include "replaceable.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QString>
#include <QUrl>
#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {

namespace {
Replaceable<Launcher, SystemLauncher> g_launcher;
}

Launcher& launcher() { return g_launcher.get(); }

Launcher* setLauncher(Launcher* l) { return g_launcher.install(l); }

bool SystemLauncher::startProgram(const std::string& program, const std::vector<std::string>& args) {
  if (program.empty()) return false;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // The started program lives on its own: its own session (a signal to our terminal
  // does not reach it), default signal handling and an empty signal mask.
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
  if (rc != 0) return false;
  // Nobody waits for the program; a small waiter collects its exit so it leaves no
  // zombie. The program runs whether or not the waiter could be made.
  try {
    std::thread([pid] {
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
  }
  return true;
}

bool SystemLauncher::openDocument(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  QString abs = QDir(QDir::currentPath()).absoluteFilePath(QString::fromStdString(path));
  return QDesktopServices::openUrl(QUrl::fromLocalFile(abs));
}

}  // namespace platform
