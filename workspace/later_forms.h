// The windows of later parts of the program (the movie and HTML dialogs). Each is made at start-up in its place with
// its name, from its own form file, and takes its texts like every form; the commands
// that would show them stay disabled until the windows are complete.
#pragma once

#include <string>

#include "platform/form.h"

namespace workspace {

class TfrmMain;

// ---- windows and commands of the modules above the workspace -----------------------------------
// The viewer, the exporters (and the other modules the workspace cannot see) register
// their windows and their main-window commands here before the forms are made (the
// program's main does this). CreateForms makes a registered window in its place at
// start-up, and an empty form of that name when none is registered; the main window
// binds a registered command to its menu item (and so to its icon) and enables it by its
// own rules; a command without one stays disabled.
using FormMaker = platform::Form* (*)();
void RegisterForm(const std::string& name, FormMaker maker);
// The registered window of that name, made and created; an empty form of that name
// (made and created too) when none is registered.
platform::Form* MakeRegisteredForm(const std::string& name);

using MainCommand = void (*)(TfrmMain& main);
void RegisterCommand(const std::string& name, MainCommand command);
// The command registered for the menu item of that name; nullptr when there is none.
MainCommand RegisteredCommand(const std::string& name);

class LaterForm : public platform::Form {
 protected:
  using Setup = void (*)(QDialog*);
  explicit LaterForm(Setup setup);
  void FormCreate() override;
};

class TfrmMovie final : public LaterForm {
 public:
  TfrmMovie();
};

class TfrmHTML final : public LaterForm {
 public:
  TfrmHTML();
};

}  // namespace workspace
