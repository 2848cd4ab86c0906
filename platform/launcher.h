// Starting other programs and opening documents.
//
// Two ways out of the program: a program file is started directly with an argument
// vector (no shell, so no argument is ever interpreted), and a document is handed to
// the desktop's default handler for its type. Neither waits for what it started.
// Both go through the installed Launcher, so tests can record what would be started.
#pragma once

#include <string>
#include <vector>

namespace platform {

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts `program` (a path; a bare name is looked up on PATH) with `args` as its
  // arguments after the program name. True when the program was started.
  virtual bool startProgram(const std::string& program, const std::vector<std::string>& args) = 0;
  // Opens the document with the desktop's default handler. False when the file does
  // not exist or no handler could be asked.
  virtual bool openDocument(const std::string& path) = 0;
};

// The installed launcher; the system's own unless another was installed.
Launcher& launcher();
// Installs `l` (nullptr: the system's own again) and returns the one it replaces.
Launcher* setLauncher(Launcher* l);

// The system's own: posix_spawn for programs, QDesktopServices for documents.
class SystemLauncher final : public Launcher {
 public:
  bool startProgram(const std::string& program, const std::vector<std::string>& args) override;
  bool openDocument(const std::string& path) override;
};

}  // namespace platform
