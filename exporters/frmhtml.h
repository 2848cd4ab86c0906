// The HTML album options dialog: the album's title, the page and text colours (the title
// edit previews them) and the widest picture. The HTML album command shows it modally
// and reads its state unless Cancelled is 1. The title, both colours and the width
// limit are kept in the settings ("INIT": "HTML_TITLE", "HTML_BG", "HTML_TX",
// "HTML_SIZE"), read at each showing and written by OK; whether the width is limited
// is kept only for the run.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace Ui {
class frmHTML;
}

namespace exporters {

class TfrmHTML : public platform::Form {
  Q_OBJECT

 public:
  // The widest picture when the width is not limited.
  static constexpr int32_t kUnlimitedWidth = 4000;

  TfrmHTML();
  ~TfrmHTML() override;

  // ---- the state the HTML album command reads -------------------------------------------
  // Colours as stored (0x00BBGGRR; a stored value's top byte is kept, the pages ignore it).
  uint32_t TextColor = 0;
  uint32_t PageColor = 0xFFFFFF;
  int32_t MaxWidth = kUnlimitedWidth;
  uint8_t Cancelled = 0;  // 1 from each showing until OK
  QString Title() const;

  QLineEdit* edTitle() const;
  QCheckBox* cbImgSize() const;
  QSpinBox* seMax() const;
  QLabel* lblMax() const;
  // The edit's preview colours.
  uint32_t EditBackColor() const { return editBack_; }
  uint32_t EditTextColor() const { return editText_; }

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  void SetEditColors(uint32_t back, uint32_t text);
  void btnBColorClick(QObject* sender);
  void btnFColorClick(QObject* sender);
  void cbImgSizeClick(QObject* sender);
  void seMaxChange(QObject* sender);
  void btnOkClick(QObject* sender);

  std::unique_ptr<Ui::frmHTML> ui_;
  uint32_t editBack_ = 0xFFFFFF;
  uint32_t editText_ = 0;
};

}  // namespace exporters
