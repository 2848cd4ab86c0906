// The windows and commands of the later parts of the program, which live in modules above
// the workspace: how those modules hand them to the program.
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

}  // namespace workspace
