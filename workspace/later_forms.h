// The windows of later parts of the program (the viewer and its buttons, automatic
// capture, the camcorder panel and device window, the output settings, the title card
// and slide-show dialogs, the multi-image sheet). Each is made at start-up in
// its place with its name, from its own form file, and takes its texts like every form;
// the commands that would show them stay disabled until the windows are complete.
#pragma once

#include <QString>

#include "platform/form.h"

namespace workspace {

class TfrmMain;

// ---- forms and commands of the modules built on the workspace ----------------------------
// The viewer and the exporters live in modules above the workspace, which therefore
// cannot make their forms or run their commands itself. Such a module enters a maker
// for each of its forms and a command for each main-window command it serves before
// the program makes its forms (the program's main does this). A form without a maker
// is made as an empty form of its name; a command without one stays disabled.
using FormMaker = platform::Form* (*)();
using MainCommand = void (*)(TfrmMain& main);
void EnterFormMaker(const QString& name, FormMaker maker);
void EnterMainCommand(const QString& name, MainCommand command);
// The entered command of that name, or nullptr.
MainCommand FindMainCommand(const QString& name);
// The form of that name from its entered maker, else an empty form of that name.
platform::Form* MakeEnteredForm(const QString& name);

class LaterForm : public platform::Form {
 protected:
  using Setup = void (*)(QDialog*);
  explicit LaterForm(Setup setup);
  void FormCreate() override;
};

class TfrmView final : public LaterForm {
 public:
  TfrmView();
};

class TfrmViewBtn final : public LaterForm {
 public:
  TfrmViewBtn();
};

class TfrmAuto final : public LaterForm {
 public:
  TfrmAuto();
};

class TfrmAvCtl final : public LaterForm {
 public:
  TfrmAvCtl();
};

class TfrmVarnDev final : public LaterForm {
 public:
  TfrmVarnDev();
};

class TfrmImgFmt final : public LaterForm {
 public:
  TfrmImgFmt();
};

class TfrmTiView final : public LaterForm {
 public:
  TfrmTiView();
};

class TfrmSSTime final : public LaterForm {
 public:
  TfrmSSTime();
};

class TfrmMltImg final : public LaterForm {
 public:
  TfrmMltImg();
};

}  // namespace workspace
