// Starting other programs and opening documents.
//
// Two ways out of the program: a program file is started directly with an argument
// vector (no shell, so no argument is ever interpreted), and a document is handed to
// the desktop's opener, which starts the program the desktop has for its type. Neither
// blocks the window; what the opener made of a document is told afterwards.
// Both go through the installed Launcher, so tests can record what would be started.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// What became of a document handed to the desktop's opener.
enum class Opening {
  Opened,     // a program has it (or nothing is known against it)
  NoProgram,  // there is no opener, or the desktop has no program for the file's type
  Failed,     // the program for the file's type failed on it
};
using OpeningDone = std::function<void(Opening)>;

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts `program` (a path; a bare name is looked up on PATH) with `args` as its
  // arguments after the program name. True when the program was started.
  virtual bool startProgram(const std::string& program, const std::vector<std::string>& args) = 0;
  // Opens the document with the desktop's program for its type, without waiting for it.
  // False, and `done` never called, when the file does not exist. Otherwise `done` (when
  // given) is called once, on the GUI thread, with what became of the document.
  virtual bool openDocument(const std::string& path, OpeningDone done = {}) = 0;
};

// The installed launcher; the system's own unless another was installed.
Launcher& launcher();
// Installs `l` (nullptr: the system's own again) and returns the one it replaces.
Launcher* setLauncher(Launcher* l);

// The system's own: posix_spawn for programs; for documents the desktop's opener,
// "xdg-open" from PATH, started the same way with the document's whole path, and watched
// until it ends. Its exit code tells the opening: 0 opened, 3 no program for the type,
// anything else failed. An opener that runs on past kOpenerWatch has started a program
// that keeps the document open (the opener of a desktop without its own services waits
// for that program to end); how that program ends later says nothing about the opening,
// so the document counts as opened.
class SystemLauncher final : public Launcher {
 public:
  static constexpr std::chrono::seconds kOpenerWatch{20};

  bool startProgram(const std::string& program, const std::vector<std::string>& args) override;
  bool openDocument(const std::string& path, OpeningDone done = {}) override;
};

}  // namespace platform
