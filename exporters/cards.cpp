#include "cards.h"

#include "exporters/frmmltimg.h"
#include "exporters/frmtiview.h"
#include "exporters/title_command.h"
#include "workspace/frmmain.h"
#include "workspace/later_forms.h"
#include "workspace/program.h"

namespace exporters {

void mnuMultiClick(workspace::TfrmMain&) {
  if (workspace::frmMltImg && workspace::frmMain->CheckSelection()) workspace::frmMltImg->show();
}

void RegisterCards() {
  workspace::RegisterForm("frmTiView", [] { return static_cast<platform::Form*>(platform::createForm<TfrmTiView>()); });
  workspace::RegisterForm("frmMltImg", [] { return static_cast<platform::Form*>(platform::createForm<TfrmMltImg>()); });
  workspace::RegisterCommand("mnuTitleImage", mnuTitleImageClick);
  workspace::RegisterCommand("mnuMulti", mnuMultiClick);
}

}  // namespace exporters
