// The windows of later parts of the program (the viewer and its buttons, automatic
// capture, the camcorder panel and device window, the output settings, the movie, HTML,
// title card and slide-show dialogs, the multi-image sheet). Each is made at start-up in
// its place with its name, from its own form file, and takes its texts like every form;
// the commands that would show them stay disabled until the windows are complete.
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
