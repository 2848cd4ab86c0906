// The viewer's button bar: a small tool window on top of the others with six buttons
// (first, previous, stop, slide show, next, last), each running the viewer's Navigate
// with its Tag. The slide-show button shows whether the show runs.
#pragma once

#include <memory>

#include "platform/form.h"

class QPushButton;

namespace Ui {
class frmViewBtn;
}

namespace exporters {

class TfrmViewBtn : public platform::Form {
  Q_OBJECT

 public:
  TfrmViewBtn();
  ~TfrmViewBtn() override;

  // The slide-show button's glyph: running or stopped.
  void ShowRunning(bool running);
  bool ShowsRunning() const { return running_; }
  QPushButton* Button(const char* name) const;

 protected:
  void FormCreate() override;

 private:
  void ButtonClick(QObject* sender);
  void btnFirstKeyDown(platform::EventArgs& a);
  void FormKeyDown(platform::EventArgs& a);

  std::unique_ptr<Ui::frmViewBtn> ui_;
  bool running_ = false;
};

}  // namespace exporters
