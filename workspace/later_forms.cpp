#include "later_forms.h"

#include <map>

#include "lang.h"
#include "program.h"

namespace workspace {

// ---- windows and commands of the modules above the workspace -----------------------------------

namespace {

std::map<std::string, FormMaker>& formMakers() {
  static std::map<std::string, FormMaker> makers;
  return makers;
}

std::map<std::string, MainCommand>& commands() {
  static std::map<std::string, MainCommand> registered;
  return registered;
}

// The window of a module that is not part of this program: its name and texts only.
class EmptyForm final : public platform::Form {
 public:
  explicit EmptyForm(const std::string& name) { setObjectName(QString::fromStdString(name)); }

 protected:
  void FormCreate() override { Lang->ApplyCaptions(this); }
};

}  // namespace

void RegisterForm(const std::string& name, FormMaker maker) { formMakers()[name] = maker; }

platform::Form* MakeRegisteredForm(const std::string& name) {
  const auto it = formMakers().find(name);
  if (it != formMakers().end() && it->second) return it->second();
  return platform::createForm<EmptyForm>(name);
}

void RegisterCommand(const std::string& name, MainCommand command) { commands()[name] = command; }

MainCommand RegisteredCommand(const std::string& name) {
  const auto it = commands().find(name);
  return it == commands().end() ? nullptr : it->second;
}

}  // namespace workspace
