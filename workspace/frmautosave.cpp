#include "frmautosave.h"

#include <QPlainTextEdit>

#include "lang.h"
#include "program.h"
#include "ui_frmautosave.h"

namespace workspace {

TfrmAutoSave::TfrmAutoSave() : ui_(std::make_unique<Ui::frmAutoSave>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmAutoSave::~TfrmAutoSave() = default;

QPlainTextEdit* TfrmAutoSave::memo() const { return ui_->memo; }

void TfrmAutoSave::FormCreate() {
  Lang->ApplyCaptions(this);
  setWindowTitle(Lang->GetMsg("TI_AUTOSAVE"));
  text1_ = Lang->GetMsg("MSG_AUTOSAVE1");
  text2_ = Lang->GetMsg("MSG_AUTOSAVE2");
  text3_ = Lang->GetMsg("MSG_AUTOSAVE3");
}

void TfrmAutoSave::SetInfo(int number, const QString& name) {
  ui_->memo->appendPlainText(text1_ + QString::asprintf("%03d", number) + text2_ + name + text3_);
}

}  // namespace workspace
