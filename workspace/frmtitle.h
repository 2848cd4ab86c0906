// The splash and about window: a picture chosen by language with a short animation clip
// over it. At start-up it is the splash, which closes itself about 2.8 seconds after it
// is shown; from the Help menu it is the about window, taller by its panel with the
// version and OK, which the user closes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/form.h"

class QLabel;
class QTimer;

namespace Ui {
class frmTitle;
}

namespace workspace {

class ClipView;

class TfrmTitle : public platform::Form {
  Q_OBJECT

 public:
  TfrmTitle();
  ~TfrmTitle() override;

  // 1 while the window is shown as the splash; the main window sets it before the
  // start-up showing, every close clears it.
  uint8_t SplashFlag = 0;

  // The picture that was loaded ("" when none could be).
  const std::string& PictureFile() const { return pictureFile_; }
  QLabel* Image1() const;
  ClipView* anmSp() const;
  QTimer* Timer1() const { return timer1_; }
  QTimer* Timer2() const { return timer2_; }

  void Timer1Timer(QObject* sender);
  void Timer2Timer(QObject* sender);
  void btnOkClick(QObject* sender);
  void btnOkKeyDown(platform::EventArgs& a);
  void Image2MouseDown(platform::EventArgs& a);

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;

 private:
  std::unique_ptr<Ui::frmTitle> ui_;
  QTimer* timer1_;
  QTimer* timer2_;
  std::string pictureFile_;
};

}  // namespace workspace
