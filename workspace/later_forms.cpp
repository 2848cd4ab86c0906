#include "later_forms.h"

#include <map>

#include "lang.h"
#include "program.h"
#include "ui_frmview.h"
#include "ui_frmviewbtn.h"
#include "ui_frmauto.h"
#include "ui_frmavctl.h"
#include "ui_frmvarndev.h"
#include "ui_frmimgfmt.h"
#include "ui_frmtiview.h"
#include "ui_frmsstime.h"
#include "ui_frmmltimg.h"

namespace workspace {

namespace {
std::map<QString, FormMaker>& formMakers() {
  static std::map<QString, FormMaker> makers;
  return makers;
}
std::map<QString, MainCommand>& mainCommands() {
  static std::map<QString, MainCommand> commands;
  return commands;
}
}  // namespace

void EnterFormMaker(const QString& name, FormMaker maker) { formMakers()[name] = maker; }

void EnterMainCommand(const QString& name, MainCommand command) { mainCommands()[name] = command; }

MainCommand FindMainCommand(const QString& name) {
  auto it = mainCommands().find(name);
  return it == mainCommands().end() ? nullptr : it->second;
}

platform::Form* MakeEnteredForm(const QString& name) {
  auto it = formMakers().find(name);
  if (it != formMakers().end() && it->second) return it->second();
  auto* form = new platform::Form;
  form->setObjectName(name);
  form->create();
  return form;
}

LaterForm::LaterForm(Setup setup) { setup(this); }

void LaterForm::FormCreate() { Lang->ApplyCaptions(this); }

TfrmView::TfrmView() : LaterForm([](QDialog* d) { Ui::frmView().setupUi(d); }) {}

TfrmViewBtn::TfrmViewBtn() : LaterForm([](QDialog* d) { Ui::frmViewBtn().setupUi(d); }) {}

TfrmAuto::TfrmAuto() : LaterForm([](QDialog* d) { Ui::frmAuto().setupUi(d); }) {}

TfrmAvCtl::TfrmAvCtl() : LaterForm([](QDialog* d) { Ui::frmAvCtl().setupUi(d); }) {}

TfrmVarnDev::TfrmVarnDev() : LaterForm([](QDialog* d) { Ui::frmVarnDev().setupUi(d); }) {}

TfrmImgFmt::TfrmImgFmt() : LaterForm([](QDialog* d) { Ui::frmImgFmt().setupUi(d); }) {}

TfrmTiView::TfrmTiView() : LaterForm([](QDialog* d) { Ui::frmTiView().setupUi(d); }) {}

TfrmSSTime::TfrmSSTime() : LaterForm([](QDialog* d) { Ui::frmSSTime().setupUi(d); }) {}

TfrmMltImg::TfrmMltImg() : LaterForm([](QDialog* d) { Ui::frmMltImg().setupUi(d); }) {}

}  // namespace workspace
