#include "frmmain.h"

#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "file_name.h"
#include "form_position.h"
#include "frmimgprop.h"
#include "frmtitle.h"
#include "frmwait.h"
#include "icons.h"
#include "image_ope.h"
#include "lang.h"
#include "later_forms.h"
#include "open_document.h"
#include "platform/atomic_file.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/registry_store.h"
#include "platform/single_instance.h"
#include "profile.h"
#include "program.h"
#include "sframe.h"
#include "ui_frmmain.h"
#include "work_folder.h"

// The pictures of the main window are built into the program's library.
static void initResources() { Q_INIT_RESOURCE(frmmain); }

namespace workspace {

using platform::Event;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

namespace {

// Commands whose work comes with later parts of the program: the camcorder panel, the
// viewer and the exporters. They stay in the menus, disabled, and their icons do nothing,
// until a module registers its work for them (RegisterCommand).
const std::set<QString> kLaterCommands = {
    "mnuCapture", "mnuMulti", "mnuHTML", "mnuMovie", "mnuFmt", "mnuTitleImage", "mnuView",
};

// The commands of the icons, by page (1 import, 0 export) and icon.
const char* const kImportCommands[] = {"mnuAlbumOpen", "mnuImgOpen", "mnuCapture"};
const char* const kExportCommands[] = {"mnuAlbumSave", "mnuImgSave", "mnuMail", "mnuMulti",
                                       "mnuHTML",      "mnuMovie",   "mnuFmt",  "mnuTitleImage"};

// Icon labels by page and icon.
const char* const kImportLabels[] = {TextKey("IC_ALBUM"), TextKey("IC_IMG"), TextKey("IC_CPT")};
const char* const kExportLabels[] = {TextKey("IC_ALBUM"), TextKey("IC_IMG"),    TextKey("IC_MAIL"),
                                     TextKey("IC_MULTI"), TextKey("IC_HTML"),   TextKey("IC_MOVIE"),
                                     TextKey("IC_FORMAT"), TextKey("TI_TITLE")};

constexpr int kTabStrip = 60;      // rows of the tab strip at the top of the icon bar
constexpr int kImportTabRight = 75;
constexpr int kWheelNotch = 120;
constexpr int kScrollStep = 60;

std::vector<QPixmap> imageList(const QString& name, int count) {
  std::vector<QPixmap> list;
  for (int i = 0; i < count; ++i) list.emplace_back(QString(":/frmMain/%1/%2.png").arg(name).arg(i));
  return list;
}

}  // namespace

TfrmMain::TfrmMain() : ui_(std::make_unique<Ui::frmMain>()) {
  initResources();
  ui_->setupUi(this);
  AppDir = platform::appDir();
  GetDesktopFolder(DesktopDir);
  WorkDir = platform::workDir();
  // The copy that holds the lock in the work folder owns the folder.
  FileName(WorkDir).CheckDirs(true);
  lock_ = std::make_unique<platform::SingleInstanceLock>();
  const platform::SingleInstanceLock::Result owner = lock_->acquire();
  if (owner == platform::SingleInstanceLock::Result::HeldElsewhere) {
    // Another copy runs: this one ends before it shows anything, without a word.
    std::_Exit(0);
  }
  // What copies that ended without cleaning up left in the work folder (working copies
  // take up the names of new ones, and captures, frames and work files can be large).
  // Without the lock another copy may be at work there: then only the temporaries of
  // killed saves go, as a save still at work holds its file and keeps it.
  if (owner == platform::SingleInstanceLock::Result::Acquired) {
    RemoveEndedSessionFiles(WorkDir);
  } else {
    platform::removeStaleTemporaries(WorkDir);
  }
  IconPage = 1;
  ClearMailTimes();
}

TfrmMain::~TfrmMain() {
  // The album's cells lie on the scroll box: they go before the window's controls.
  if (Flames == flames_.get()) Flames = nullptr;
  if (ImageOpe == imageOpe_.get()) ImageOpe = nullptr;
  imageOpe_.reset();
  flames_.reset();
  importIcons_.reset();
  exportIcons_.reset();
}

QScrollArea* TfrmMain::sbTN() const { return ui_->sbTN; }

QAction* TfrmMain::Action(const char* name) const { return component<QAction>(QString::fromLatin1(name)); }

void TfrmMain::ClearMailTimes() {
  // The mail program's counter is reset when its key exists; the key is never made here.
  platform::RegistryStore store;
  if (auto key = store.open(platform::RegRoot::LocalMachine, "Software\\ZEB\\RLM")) key->writeDword("TIMES", 0);
}

// ---- creation and showing --------------------------------------------------------------------

void TfrmMain::FormCreate() {
  CreateProfileAndLang();
  imageOpe_ = std::make_unique<CImageOpe>(this, this);
  ImageOpe = imageOpe_.get();
  flames_ = std::make_unique<IFlames>(ui_->sbTN, this);
  Flames = flames_.get();
  importIcons_ = std::make_unique<CIcons>(ui_->pnlIco, platform::userLanguageId());
  exportIcons_ = std::make_unique<CIcons>(ui_->pnlIco, platform::userLanguageId());

  const QString title = Lang->GetMsg("TI_MAIN");
  setWindowTitle(title);
  platform::setApplicationTitle(title.toStdString());

  ilPage_ = imageList("ilPage", 2);
  ilImp_ = imageList("ilImp", 3);
  ilExp_ = imageList("ilExp", 8);
  for (int i = 0; i < 3; ++i) importIcons_->AddIcon(ilImp_, i);
  for (int i = 0; i < 8; ++i) exportIcons_->AddIcon(ilExp_, i);

  ui_->imgBack->setPixmap(QPixmap(":/frmMain/imgBack.png"));
  ui_->imgBack->hide();
  flames_->SetShadowPicture(ui_->imgBack->pixmap());
  ui_->imgPageR->setPixmap(QPixmap(":/frmMain/imgPageR.png"));
  ui_->imgPageU->setPixmap(QPixmap(":/frmMain/imgPageU.png"));
  ui_->imgTab->lower();
  ui_->sbTN->verticalScrollBar()->setSingleStep(kScrollStep);

  pmMain_ = new QMenu(this);
  pmMain_->setObjectName("pmMain");
  for (const char* name : {"pmCut", "pmCopy", "pmPaste", "", "pmDelete", "", "pmProp"}) {
    if (*name) pmMain_->addAction(Action(name));
    else pmMain_->addSeparator();
  }

  const auto iconBar = {"pnlIco", "imgTab", "imgPageR", "imgPageU"};
  for (const char* c : iconBar) {
    bind(c, Event::MouseDown, handler(&TfrmMain::pnlIcoMouseDown));
    bind(c, Event::MouseMove, handler(&TfrmMain::pnlIcoMouseMove));
    bind(c, Event::MouseUp, handler(&TfrmMain::pnlIcoMouseUp));
    bind(c, Event::Click, handler(&TfrmMain::pnlIcoClick));
  }
  bindHandlers({
      {"mnuExit", Event::Click, handler(&TfrmMain::mnuExitClick)},
      {"mnuDelete", Event::Click, handler(&TfrmMain::mnuDeleteClick)},
      {"pmDelete", Event::Click, handler(&TfrmMain::mnuDeleteClick)},
      {"mnuAllSel", Event::Click, handler(&TfrmMain::mnuAllSelClick)},
      {"mnuInv", Event::Click, handler(&TfrmMain::mnuInvClick)},
      {"mnuKey", Event::Click, handler(&TfrmMain::mnuKeyClick)},
      {"mnuAbout", Event::Click, handler(&TfrmMain::mnuAboutClick)},
      {"pmProp", Event::Click, handler(&TfrmMain::pmPropClick)},
      {"mnuEdit", Event::Popup, handler(&TfrmMain::mnuEditPopup)},
      {"mnuExport", Event::Popup, handler(&TfrmMain::mnuExportPopup)},
      {"mnuWin", Event::Popup, handler(&TfrmMain::mnuWinPopup)},
      {"pmMain", Event::Popup, handler(&TfrmMain::pmMainPopup)},
      {"lblImp", Event::Click, handler(&TfrmMain::lblTabClick)},
      {"lblExp", Event::Click, handler(&TfrmMain::lblTabClick)},
      {"lblImp", Event::MouseMove, handler(&TfrmMain::pnlIcoMouseMove)},
      {"lblExp", Event::MouseMove, handler(&TfrmMain::pnlIcoMouseMove)},
      {"sbTNBox", Event::MouseDown, handler(&TfrmMain::sbTNMouseDown)},
      {"sbTNBox", Event::MouseMove, handler(&TfrmMain::sbTNMouseMove)},
      {"sbTNBox", Event::MouseUp, handler(&TfrmMain::sbTNMouseUp)},
  });
  // Commands whose work a module above the workspace registered.
  for (const QString& name : kLaterCommands) {
    if (MainCommand command = RegisteredCommand(name.toStdString()))
      bind(name, Event::Click, [this, command](platform::EventArgs&) { command(*this); });
  }
  for (const char* menu : {"mnuEdit", "mnuExport", "mnuWin"})
    connect(component<QMenu>(menu), &QMenu::aboutToHide, this, &TfrmMain::EnableAllCommands);
  connect(pmMain_, &QMenu::aboutToHide, this, [this] {
    popupIndex_ = -1;
    EnableAllCommands();
  });
  connect(ui_->sbTNBox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowPopup(-1, ui_->sbTNBox->mapToGlobal(pos)); });

  // Resizing, the wheel and the pointer leaving the icon bar.
  for (QObject* o : {static_cast<QObject*>(ui_->sbTN->viewport()), static_cast<QObject*>(ui_->sbTNBox),
                     static_cast<QObject*>(ui_->sbTN->verticalScrollBar()),
                     static_cast<QObject*>(ui_->sbTN->horizontalScrollBar()), static_cast<QObject*>(ui_->pnlIco)})
    o->installEventFilter(this);

  onMessage(platform::WM_IMAGE_INFO, [this](WPARAM w, LPARAM l) { return WMImageInfo(w, l); });
  onMessage(platform::WM_CAPTURE_FRAME, [this](WPARAM w, LPARAM l) { return WMCaptureFrame(w, l); });
  onMessage(platform::WM_STARTUP, [this](WPARAM w, LPARAM l) { return WMStartup(w, l); });
  BindAlbumCommands();
  EnableAllCommands();
}

void TfrmMain::FormShow() {
  if (shown_) return;
  shown_ = true;
  if (frmTitle) {
    frmTitle->SplashFlag = 1;
    frmTitle->showModal();
  }
  QCoreApplication::processEvents();
  if (!LoadFormPosition(this, *Profile)) ResizeForm(this, QSize(600, 450));
  Lang->ApplyCaptions(this);
  for (int i = 0; i < 3; ++i) importIcons_->Icon(i)->SetCaption(Lang->GetMsg(kImportLabels[i]));
  for (int i = 0; i < 8; ++i) exportIcons_->Icon(i)->SetCaption(Lang->GetMsg(kExportLabels[i]));
  ApplyModelSwitches();
  const char* help = Lang->Language() == kJapanese ? "wro10j35.chm"
                     : Lang->Language() == kFrench ? "wro10f35.chm"
                                                   : "wro10e35.chm";
  HelpFile = AppDir + help;
  IconPage = 1;
  ShowIconPage(0);
  Modified = 0;
  // Files dropped from elsewhere come in; pictures dragged out of the grid go out.
  dropTarget_ = std::make_unique<CDropTarget>(this, this, *this);
  platform::postMessage(this, platform::WM_STARTUP);
}

void TfrmMain::ApplyModelSwitches() {
  ModelText = Lang->GetMsg("MODEL_ID").toStdString();
  if (ModelText == "K1" || ModelText == "KMS") {
    Action("mnuCapture")->setVisible(false);
    importIcons_->SetAvailable(2, false);
  }
  if (ModelText == "K2" || ModelText == "KMS") {
    Action("mnuTitleImage")->setVisible(false);
    exportIcons_->SetAvailable(7, false);
  }
  DiagnosticFlag = ModelText == "K9" ? 1 : 0;
}

void TfrmMain::FormResize() {
  if (flames_) flames_->Relayout();
  const int height = ui_->pnlIco->height();
  const int tab = ui_->imgTab->height();
  const int lower = ui_->imgPageU->height();
  ui_->imgPageU->move(0, height - lower);
  ui_->imgPageU->setVisible(height > tab);
  ui_->imgPageR->setGeometry(ui_->imgPageR->x(), tab, ui_->imgPageR->width(), std::max(0, height - tab - lower));
}

// ---- closing ------------------------------------------------------------------------------------

bool TfrmMain::AskSaveAlbum() {
  if (Modified != 1 || flames_->Count() < 1) return true;
  const QString text = Lang->GetMsg("MSG_SAVE1") + "\n" + Lang->GetMsg("MSG_SAVE2");
  return !platform::askYesNo(this, text.toStdString()) || SaveAlbumAs();
}

bool TfrmMain::FormCloseQuery() {
  // While the wait window is up, work is running on the album's files (an import, a save,
  // an export): the window takes no close and asks nothing. (The wait window handles the
  // events that came meanwhile before it goes, so a close that came during the work meets
  // it still shown.)
  if (frmWait && frmWait->isVisible()) return false;
  // Closing deletes the working copies: an album the user wanted saved and that was not
  // keeps the window open.
  if (!AskSaveAlbum()) return false;
  return platform::askYesNo(this, Lang->GetMsg("MSG_CLOSE").toStdString());
}

void TfrmMain::FormClose(platform::CloseAction&) {
  platform::showHourglass();
  if (frmAvCtl && frmAvCtl->isVisible()) {
    frmAvCtl->closeForm();
    Wait(300);
  }
  if (!LastCaptureFile.empty()) ::unlink(LastCaptureFile.c_str());
  setEnabled(false);
  SaveFormPosition(this, *Profile);
  // Every working copy, thumbnail and unpacked album picture, and movie frames should a
  // movie have left any.
  imageOpe_->DeleteFiles(WorkDir + "zbm*.*");
  imageOpe_->DeleteFiles(WorkDir + "MVTMP*.BMP");
  dropTarget_.reset();
  // The clipboard could only name working files, which are gone now.
  ClearClipboardIfOwned();
  lock_->release();
  QCoreApplication::processEvents();
  platform::restoreCursor();
}

// ---- commands --------------------------------------------------------------------------------------

bool TfrmMain::CommandAvailable(const QAction* command) const {
  return command && command->isVisible() &&
         (!kLaterCommands.count(command->objectName()) || RegisteredCommand(command->objectName().toStdString()));
}

void TfrmMain::EnableAllCommands() {
  for (QAction* a : findChildren<QAction*>()) {
    if (!a->objectName().isEmpty()) a->setEnabled(CommandAvailable(a));
  }
}

void TfrmMain::mnuExitClick(QObject*) { closeForm(); }

void TfrmMain::mnuDeleteClick(QObject*) {
  flames_->CountSelected();
  const int selected = flames_->SelectedCount();
  if (selected == 0) return;
  const QString text = Lang->GetMsg("MSG_DEL1") + QString::number(selected) + Lang->GetMsg("MSG_DEL2");
  if (!platform::askYesNo(this, text.toStdString())) return;
  // The clipboard may name pictures about to be deleted.
  ClearClipboardIfOwned();
  platform::showHourglass();
  setEnabled(false);
  flames_->DeleteSelected(true);
  Modified = 1;
  setEnabled(true);
  platform::restoreCursor();
}

void TfrmMain::mnuAllSelClick(QObject*) {
  if (flames_->Count() == 0) return;
  flames_->SelectAll(true);
}

void TfrmMain::mnuInvClick(QObject*) {
  flames_->CountSelected();
  if (flames_->SelectedCount() == 0) return;
  for (int i = 0; i < flames_->Count(); ++i) flames_->Cell(i)->Select(!flames_->Cell(i)->selected());
  flames_->CountSelected();
}

void TfrmMain::mnuKeyClick(QObject*) {
  if (FileName(HelpFile).Exists()) OpenDocument(this, HelpFile);
}

void TfrmMain::mnuAboutClick(QObject*) {
  if (frmTitle) frmTitle->showModal();
}

void TfrmMain::pmPropClick(QObject*) {
  if (!frmImgProp || frmImgProp->Index < 0 || frmImgProp->Index >= flames_->Count()) return;
  frmImgProp->showModal();
}

bool TfrmMain::CheckSelection() {
  if (flames_->Count() == 0) return false;
  flames_->CountSelected();
  if (flames_->SelectedCount() > 0) return true;
  const QString text = Lang->GetMsg("MSG_NOSELECT1") + "\n" + Lang->GetMsg("MSG_NOSELECT2");
  if (!platform::askYesNo(this, text.toStdString())) return false;
  flames_->SelectAll(true);
  return true;
}

void TfrmMain::ShowFrameOver(QWidget* owner) {
  const QString text = Lang->GetMsg("MSG_FRMOVER1") + QString::number(kAlbumLimit) + Lang->GetMsg("MSG_FRMOVER2");
  if (frmWait) {
    platform::sendMessage(frmWait, platform::WM_WAIT_CLOSE);
    frmWait->AbortFlag = 1;  // a loop that is adding pictures ends
  }
  platform::messageBox(owner, text.toStdString(), platform::MsgButtons::Ok, platform::MsgIcon::Stop);
}

void TfrmMain::EnableMenus(bool on) {
  for (const char* menu : {"mnuFile", "mnuEdit", "mnuInport", "mnuExport", "mnuWin"})
    component<QMenu>(menu)->menuAction()->setEnabled(on);
}

bool TfrmMain::OpenFile(const std::string& path, int position) {
  return imageOpe_->LoadImage(path, static_cast<uint32_t>(position));
}

// ---- the album as the picture engine sees it ---------------------------------------------------

uint32_t TfrmMain::PictureCount() const { return static_cast<uint32_t>(flames_ ? flames_->Count() : 0); }

platform::MessageReceiver* TfrmMain::MainWindow() const { return const_cast<TfrmMain*>(this); }

void TfrmMain::ShowFrameOver() { ShowFrameOver(this); }

void TfrmMain::SetModified() { Modified = 1; }

void TfrmMain::SetBusy(bool busy) {
  if (busy) platform::showHourglass();
  else platform::restoreCursor();
}

// ---- menus -------------------------------------------------------------------------------------------

namespace {
void enable(TfrmMain* form, const char* name, bool rule) {
  QAction* a = form->component<QAction>(name);
  a->setEnabled(rule && form->CommandAvailable(a));
}
}  // namespace

void TfrmMain::mnuEditPopup(QObject*) {
  flames_->CountSelected();
  const bool any = flames_->SelectedCount() > 0;
  enable(this, "mnuAllSel", flames_->Count() > 0);
  for (const char* name : {"mnuCut", "mnuCopy", "mnuDelete", "mnuInv"}) enable(this, name, any);
  enable(this, "mnuPaste", ClipboardOffersFiles());
}

void TfrmMain::mnuExportPopup(QObject*) {
  for (const char* name : kExportCommands) enable(this, name, flames_->Count() > 0);
}

void TfrmMain::mnuWinPopup(QObject*) { enable(this, "mnuView", flames_->Count() > 0); }

void TfrmMain::pmMainPopup(QObject*) {
  const int i = popupIndex_;
  const bool picture = i >= 0 && i < flames_->Count();
  enable(this, "pmProp", picture);
  if (picture && frmImgProp) frmImgProp->Index = i;
  flames_->CountSelected();
  const bool editable = !SheetShown();
  for (const char* name : {"pmCut", "pmCopy", "pmDelete"}) enable(this, name, flames_->SelectedCount() > 0 && editable);
  enable(this, "pmPaste", ClipboardOffersFiles() && editable);
}

void TfrmMain::ShowPopup(int index, QPoint globalPos) {
  popupIndex_ = index;
  pmMain_->popup(globalPos);
}

// ---- the icon bar --------------------------------------------------------------------------------------

bool TfrmMain::SheetShown() const { return frmMltImg && frmMltImg->isVisible(); }

CIcons& TfrmMain::ShownPage() const { return IconPage == 1 ? *importIcons_ : *exportIcons_; }

QPoint TfrmMain::InPanel(const platform::EventArgs& a) const {
  auto* w = qobject_cast<QWidget*>(a.sender);
  return w && w != ui_->pnlIco ? w->mapTo(ui_->pnlIco, a.pos) : a.pos;
}

void TfrmMain::ShowIconPage(int page) {
  if (page == 1 && IconPage != 1) {
    ui_->imgTab->setPixmap(ilPage_[0]);
    importIcons_->Show(true);
    exportIcons_->Show(false);
  } else if (page == 0 && IconPage != 0) {
    ui_->imgTab->setPixmap(ilPage_[1]);
    importIcons_->Show(false);
    exportIcons_->Show(true);
  }
  IconPage = static_cast<uint8_t>(page);
}

void TfrmMain::pnlIcoMouseDown(platform::EventArgs& a) {
  if (SheetShown()) return;
  const QPoint p = InPanel(a);
  if (p.y() <= kTabStrip) {
    ShowIconPage(p.x() <= kImportTabRight ? 1 : 0);
    return;
  }
  ShownPage().MouseDown(p.x(), p.y());
}

void TfrmMain::pnlIcoMouseMove(platform::EventArgs& a) {
  if (SheetShown()) return;
  const QPoint p = InPanel(a);
  ShownPage().MouseMove(p.x(), p.y());
}

void TfrmMain::pnlIcoMouseUp(platform::EventArgs& a) {
  if (SheetShown()) return;
  const QPoint p = InPanel(a);
  ShownPage().MouseUp(p.x(), p.y());
}

void TfrmMain::pnlIcoClick(platform::EventArgs& a) {
  if (SheetShown()) return;
  const QPoint p = InPanel(a);
  // The tab strip switches pages; icons begin below it.
  if (p.y() <= kTabStrip) return;
  const int i = ShownPage().IndexAt(p.x(), p.y());
  if (i >= 0) RunIconCommand(i);
}

void TfrmMain::RunIconCommand(int index) {
  const bool import = IconPage == 1;
  if (index >= (import ? 3 : 8)) return;
  QAction* command = Action(import ? kImportCommands[index] : kExportCommands[index]);
  // Icons of commands the model hides (capture, title pictures) do nothing.
  if (!command->isVisible()) return;
  command->trigger();
}

void TfrmMain::lblTabClick(QObject* sender) { ShowIconPage(platform::tagOf(sender) == 1 ? 0 : 1); }

// ---- the grid ----------------------------------------------------------------------------------------------

void TfrmMain::CellPressed(int) { Action("pmProp")->setEnabled(true); }

void TfrmMain::CellContextMenu(int index, QPoint globalPos) { ShowPopup(index, globalPos); }

void TfrmMain::CellDoubleClicked() { Action("mnuView")->trigger(); }

void TfrmMain::sbTNMouseDown(platform::EventArgs& a) {
  flames_->SelectAll(false);
  Action("pmProp")->setEnabled(false);
  if (a.button != Qt::LeftButton) return;
  bandStart_ = a.pos;
  ui_->shRect->setGeometry(QRect(a.pos, QSize(0, 0)));
  ui_->shRect->raise();
  ui_->shRect->show();
}

void TfrmMain::sbTNMouseMove(platform::EventArgs& a) {
  if (!ui_->shRect->isVisible()) return;
  // Points outside the view leave the band as it is.
  const QPoint inView = ui_->sbTNBox->mapToParent(a.pos);
  const QWidget* view = ui_->sbTN->viewport();
  if (inView.x() < 0 || inView.x() > view->width() || inView.y() < 0 || inView.y() > view->height()) return;
  const int left = std::min(bandStart_.x(), a.pos.x()), top = std::min(bandStart_.y(), a.pos.y());
  const int width = std::abs(a.pos.x() - bandStart_.x()), height = std::abs(a.pos.y() - bandStart_.y());
  ui_->shRect->setGeometry(left, top, width, height);
  flames_->SelectInRect(left, top, left + width, top + height);
}

void TfrmMain::sbTNMouseUp(platform::EventArgs&) {
  ui_->shRect->hide();
  flames_->CountSelected();
}

void TfrmMain::ScrollToEnd() {
  QScrollBar* bar = ui_->sbTN->verticalScrollBar();
  if (bar->maximum() > 0 && bar->maximum() > bar->value()) {
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
  }
}

void TfrmMain::CMMouseWheel(int delta) {
  if (delta == 0) return;
  // Fine-grained wheels send parts of a notch: they add up to one step per notch, and a
  // turn the other way starts afresh.
  if ((wheelRest_ > 0 && delta < 0) || (wheelRest_ < 0 && delta > 0)) wheelRest_ = 0;
  wheelRest_ += delta;
  while (std::abs(wheelRest_) >= kWheelNotch) {
    const bool up = wheelRest_ > 0;
    wheelRest_ -= up ? kWheelNotch : -kWheelNotch;
    QScrollBar* bar = ui_->sbTN->verticalScrollBar();
    if (!bar->isVisible()) bar = ui_->sbTN->horizontalScrollBar();
    if (!bar->isVisible()) return;
    const int pos = bar->value(), step = bar->singleStep();
    if (up) bar->setValue(pos - step >= 1 ? pos - step : 0);
    else bar->setValue(pos + step < bar->maximum() ? pos + step : bar->maximum());
  }
}

void TfrmMain::wheelEvent(QWheelEvent* e) {
  CMMouseWheel(e->angleDelta().y());
  e->accept();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::Wheel:
      if (watched != ui_->pnlIco) {
        CMMouseWheel(static_cast<QWheelEvent*>(e)->angleDelta().y());
        return true;
      }
      break;
    case QEvent::Resize:
      if (watched == ui_->sbTN->viewport() || watched == ui_->pnlIco) FormResize();
      break;
    case QEvent::Leave:
      // The pointer left the icon bar: no icon stays raised.
      if (watched == ui_->pnlIco && !SheetShown() && importIcons_) ShownPage().MouseMove(-1, -1);
      break;
    default:
      break;
  }
  return Form::eventFilter(watched, e);
}

// ---- messages -----------------------------------------------------------------------------------------------

LRESULT TfrmMain::WMImageInfo(WPARAM index, LPARAM) {
  if (index < 0 || index >= kAlbumLimit) return 0;
  const CImageOpe& e = *imageOpe_;
  int slot = static_cast<int>(index);
  FlameInfo* record = flames_->Record(slot);
  if (record) {
    flames_->Cell(slot)->LoadPicture(e.ThumbnailPath);
  } else {
    // A new picture goes to the end: the album never has a gap.
    slot = flames_->Count();
    if (!flames_->AddItem(slot, e.ThumbnailPath)) return 0;
    record = flames_->Record(slot);
  }
  record->width = e.Width;
  record->height = e.Height;
  record->type = e.PictureType;
  record->titleNo = e.TitleNumber;
  record->sourceSize = e.SourceSize;
  record->thumbPath = e.ThumbnailPath;
  record->workPath = e.WorkingPath;
  record->sourceTime = e.SourceWriteTime;
  std::copy(std::begin(e.TimeCode), std::end(e.TimeCode), record->timeCode.begin());
  record->timeCode.back() = '\0';
  flames_->PlaceItem(slot);
  if (slot == flames_->Count() - 1 && scrollToAdded_) ScrollToEnd();
  return 0;
}

LRESULT TfrmMain::WMCaptureFrame(WPARAM which, LPARAM) {
  LastCaptureFile = WorkDir + (which != 0 ? "temp.yuv" : "temp.dvf");
  WaitFileExists(LastCaptureFile);
  // 1 when the album took the picture: the capture reports a picture it did not take.
  return OpenFile(LastCaptureFile, flames_->Count()) ? 1 : 0;
}

LRESULT TfrmMain::WMStartup(WPARAM, LPARAM) {
  OpenCommandLine();
  return 0;
}

void TfrmMain::OpenCommandLine() {
  if (CmdLine.empty()) return;
  AddFileList({CmdLine}, 0);
}

}  // namespace workspace
