// The program's forms, made in their order at start-up.
#include <QCoreApplication>

#include "flames.h"
#include "frmautosave.h"
#include "frmimgprop.h"
#include "frmmain.h"
#include "frmtitle.h"
#include "frmwait.h"
#include "lang.h"
#include "later_forms.h"
#include "profile.h"
#include "program.h"

namespace workspace {

std::string CmdLine;
std::string AppDir;
std::string DesktopDir;
std::string WorkDir;

TfrmMain* frmMain = nullptr;
platform::Form* frmView = nullptr;
platform::Form* frmViewBtn = nullptr;
TfrmTitle* frmTitle = nullptr;
platform::Form* frmAuto = nullptr;
platform::Form* frmAvCtl = nullptr;
platform::Form* frmVarnDev = nullptr;
platform::Form* frmImgFmt = nullptr;
platform::Form* frmMovie = nullptr;
platform::Form* frmHTML = nullptr;
platform::Form* frmTiView = nullptr;
TfrmAutoSave* frmAutoSave = nullptr;
platform::Form* frmSSTime = nullptr;
TfrmImgProp* frmImgProp = nullptr;
platform::Form* frmMltImg = nullptr;
IFlames* Flames = nullptr;
CImageOpe* ImageOpe = nullptr;

namespace {
template <class F>
F* make(F*& instance, std::vector<std::string>* order) {
  instance = platform::createForm<F>();
  if (order) order->push_back(instance->objectName().toStdString());
  return instance;
}

// A window that a module above the workspace registered under its name.
void makeRegistered(const char* name, platform::Form*& instance, std::vector<std::string>* order) {
  instance = MakeRegisteredForm(name);
  if (order) order->push_back(instance->objectName().toStdString());
}
}  // namespace

void CreateForms(std::vector<std::string>* order) {
  platform::Form::setMainForm(make(frmMain, order));
  ProgramWindows().frmMain = frmMain;
  makeRegistered("frmView", frmView, order);
  ProgramWindows().frmView = frmView;
  makeRegistered("frmViewBtn", frmViewBtn, order);
  make(frmTitle, order);
  makeRegistered("frmAuto", frmAuto, order);
  frmWait = new TfrmWait(*Lang);
  if (order) order->push_back(frmWait->objectName().toStdString());
  makeRegistered("frmAvCtl", frmAvCtl, order);
  ProgramWindows().frmAvCtl = frmAvCtl;
  makeRegistered("frmVarnDev", frmVarnDev, order);
  ProgramWindows().frmVarnDev = frmVarnDev;
  makeRegistered("frmImgFmt", frmImgFmt, order);
  makeRegistered("frmMovie", frmMovie, order);
  makeRegistered("frmHTML", frmHTML, order);
  makeRegistered("frmTiView", frmTiView, order);
  make(frmAutoSave, order);
  makeRegistered("frmSSTime", frmSSTime, order);
  make(frmImgProp, order);
  makeRegistered("frmMltImg", frmMltImg, order);
}

void DestroyForms() {
  ProgramWindows() = {};
  for (platform::Form** f : {&frmMltImg, &frmSSTime, &frmTiView, &frmHTML, &frmMovie, &frmImgFmt, &frmVarnDev,
                             &frmAvCtl, &frmAuto, &frmViewBtn, &frmView}) {
    delete *f;
    *f = nullptr;
  }
  delete frmImgProp;
  frmImgProp = nullptr;
  delete frmAutoSave;
  frmAutoSave = nullptr;
  delete frmWait;
  frmWait = nullptr;
  delete frmTitle;
  frmTitle = nullptr;
  delete frmMain;
  frmMain = nullptr;
  Flames = nullptr;
  ImageOpe = nullptr;
  delete Lang;
  Lang = nullptr;
  delete Profile;
  Profile = nullptr;
  DiagnosticFlag = 0;
  CmdLine.clear();
}

}  // namespace workspace
