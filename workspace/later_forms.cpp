#include "later_forms.h"

#include "lang.h"
#include "program.h"
#include "ui_frmview.h"
#include "ui_frmviewbtn.h"
#include "ui_frmimgfmt.h"
#include "ui_frmmovie.h"
#include "ui_frmhtml.h"
#include "ui_frmtiview.h"
#include "ui_frmsstime.h"
#include "ui_frmmltimg.h"

namespace workspace {

LaterForm::LaterForm(Setup setup) { setup(this); }

void LaterForm::FormCreate() { Lang->ApplyCaptions(this); }

TfrmView::TfrmView() : LaterForm([](QDialog* d) { Ui::frmView().setupUi(d); }) {}

TfrmViewBtn::TfrmViewBtn() : LaterForm([](QDialog* d) { Ui::frmViewBtn().setupUi(d); }) {}

TfrmImgFmt::TfrmImgFmt() : LaterForm([](QDialog* d) { Ui::frmImgFmt().setupUi(d); }) {}

TfrmMovie::TfrmMovie() : LaterForm([](QDialog* d) { Ui::frmMovie().setupUi(d); }) {}

TfrmHTML::TfrmHTML() : LaterForm([](QDialog* d) { Ui::frmHTML().setupUi(d); }) {}

TfrmTiView::TfrmTiView() : LaterForm([](QDialog* d) { Ui::frmTiView().setupUi(d); }) {}

TfrmSSTime::TfrmSSTime() : LaterForm([](QDialog* d) { Ui::frmSSTime().setupUi(d); }) {}

TfrmMltImg::TfrmMltImg() : LaterForm([](QDialog* d) { Ui::frmMltImg().setupUi(d); }) {}

LinkFormMakers& LinkForms() {
  static LinkFormMakers makers;
  return makers;
}

namespace {
class EmptyForm final : public LaterForm {
 public:
  explicit EmptyForm(const char* name) : LaterForm([](QDialog*) {}) { setObjectName(QString::fromLatin1(name)); }
};
}  // namespace

platform::Form* MakeLinkForm(FormMaker maker, const char* name) {
  if (maker) return maker();
  return platform::createForm<EmptyForm>(name);
}

}  // namespace workspace
