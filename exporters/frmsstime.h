// The slide-show interval dialog: the viewer's interval in whole seconds, 1 to 60. The
// viewer puts its interval into csTime, shows the dialog modally and takes the value
// back unless Cancelled is 1 (Cancel, Escape or the close box).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/form.h"

namespace Ui {
class frmSSTime;
}

namespace exporters {

class LimitSpinBox;

class TfrmSSTime : public platform::Form {
  Q_OBJECT

 public:
  static constexpr int kMinSeconds = 1;
  static constexpr int kMaxSeconds = 60;

  TfrmSSTime();
  ~TfrmSSTime() override;

  // 1 from each showing until a valid value is accepted.
  uint8_t Cancelled = 0;
  LimitSpinBox* csTime() const;

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  void csTimeChange(QObject* sender);
  void csTimeKeyDown(platform::EventArgs& a);
  void btnOkClick(QObject* sender);

  std::unique_ptr<Ui::frmSSTime> ui_;
};

}  // namespace exporters
