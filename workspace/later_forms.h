// The windows of later parts of the program (the viewer and its buttons, the output
// settings, the movie, HTML, title card and slide-show dialogs, the multi-image sheet).
// Each is made at start-up in its place with its name, from its own form file, and takes
// its texts like every form; the commands that would show them stay disabled until the
// windows are complete.
//
// The camcorder link's windows (automatic capture, the control panel, the device window)
// belong to the capture module, which enters their makers in LinkForms() before the
// forms are made. A program without them gets an empty form of each name, and its capture
// command stays disabled.
#pragma once

#include "platform/form.h"

namespace workspace {

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

using FormMaker = platform::Form* (*)();
struct LinkFormMakers {
  FormMaker frmAuto = nullptr;
  FormMaker frmAvCtl = nullptr;
  FormMaker frmVarnDev = nullptr;
};
LinkFormMakers& LinkForms();
// The form the maker makes, or an empty form named `name` when there is no maker.
platform::Form* MakeLinkForm(FormMaker maker, const char* name);

class TfrmImgFmt final : public LaterForm {
 public:
  TfrmImgFmt();
};

class TfrmMovie final : public LaterForm {
 public:
  TfrmMovie();
};

class TfrmHTML final : public LaterForm {
 public:
  TfrmHTML();
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
