#include "viewer_forms.h"

#include "frmimgfmt.h"
#include "frmsstime.h"
#include "frmview.h"
#include "frmviewbtn.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/later_forms.h"
#include "workspace/program.h"

namespace exporters {

namespace {
template <class F>
platform::Form* make() {
  return platform::createForm<F>();
}
}  // namespace

void EnterViewerForms() {
  workspace::RegisterForm("frmView", &make<TfrmView>);
  workspace::RegisterForm("frmViewBtn", &make<TfrmViewBtn>);
  workspace::RegisterForm("frmImgFmt", &make<TfrmImgFmt>);
  workspace::RegisterForm("frmSSTime", &make<TfrmSSTime>);
  workspace::RegisterCommand("mnuView", &mnuViewClick);
  workspace::RegisterCommand("mnuFmt", &mnuFmtClick);
}

TfrmView* ViewForm() { return dynamic_cast<TfrmView*>(workspace::frmView); }
TfrmViewBtn* ViewButtons() { return dynamic_cast<TfrmViewBtn*>(workspace::frmViewBtn); }
TfrmImgFmt* ImgFmtForm() { return dynamic_cast<TfrmImgFmt*>(workspace::frmImgFmt); }
TfrmSSTime* SSTimeForm() { return dynamic_cast<TfrmSSTime*>(workspace::frmSSTime); }

void mnuViewClick(workspace::TfrmMain& main) {
  TfrmView* view = ViewForm();
  workspace::IFlames& album = main.Album();
  if (!view || album.Count() < 1) return;
  album.CountSelected();
  if (view->isMinimized()) view->showNormal();
  view->show();
  view->raise();
  view->activateWindow();
  view->ShowPicture(album.SelectedCount() > 0 ? album.FirstSelected() : 0);
}

}  // namespace exporters
