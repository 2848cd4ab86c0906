#include "frmwait.h"

#include <QCloseEvent>
#include <QApplication>
#include <QScreen>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "lang.h"
#include "platform/dialog_placement.h"
#include "program.h"
#include "ui_frmwait.h"

namespace workspace {

using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

namespace {
constexpr int kWidth = 246;  // the client area, below the caption
constexpr int kHeight = 57;
constexpr int kHeightWithErrorButton = 115;

// Flags of WM_WAIT_SHOW.
constexpr LPARAM kStopShown = 1;
constexpr LPARAM kProgressShown = 2;
constexpr LPARAM kStopDisabled = 4;

// The four windows in the order of the saved states.
std::array<QWidget*, 4> windowsToDisable() {
  auto& w = ProgramWindows();
  return {w.frmAvCtl.data(), w.frmView.data(), w.frmMain.data(), w.frmVarnDev.data()};
}
enum { kAvCtl, kView, kMain, kVarnDev };

void processPendingEvents() { QCoreApplication::processEvents(); }
}  // namespace

TfrmWait::TfrmWait(const MLang& lang) : ui_(std::make_unique<Ui::frmWait>()) {
  ui_->setupUi(this);
  // A window manager gives a window with a title bar buttons of its own choosing (openbox
  // always a close box, whatever the window asks), and a minimised wait window would
  // leave the program's other windows disabled out of reach. So the window has no frame
  // from the window manager and draws its caption and border itself.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  // A window the window manager offers nothing on, not even from its keys and menus
  // (openbox grants a splash window no action); the type is told once the window-system
  // window exists.
  winId();
  setAttribute(Qt::WA_X11NetWmWindowTypeSplash);
  const QPoint clientOrigin(kBorder, kBorder + kCaptionHeight);
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) w->move(w->pos() + clientOrigin);
  caption_ = new QLabel(this);
  caption_->setProperty("noCaption", true);
  caption_->setGeometry(kBorder, kBorder, kWidth, kCaptionHeight);
  caption_->setIndent(4);
  caption_->setAutoFillBackground(true);
  caption_->setForegroundRole(QPalette::HighlightedText);
  caption_->setBackgroundRole(QPalette::Highlight);
  QFont bold = caption_->font();
  bold.setBold(true);
  caption_->setFont(bold);
  setClientHeight(kHeight);
  ui_->Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  lang.ApplyCaptions(this);
  setWindowTitle(lang.GetMsg("MB_TI_CLOSE"));

  onMessage(platform::WM_WAIT_SHOW, [this](WPARAM w, LPARAM l) { return WMWaitShow(w, l); });
  onMessage(platform::WM_WAIT_ABORT, [this](WPARAM w, LPARAM l) { return WMWaitAbort(w, l); });
  onMessage(platform::WM_WAIT_PROGRESS, [this](WPARAM w, LPARAM l) { return WMWaitProgress(w, l); });
  onMessage(platform::WM_WAIT_CLOSE, [this](WPARAM w, LPARAM l) { return WMWaitClose(w, l); });
  connect(ui_->btnAbort, &QPushButton::clicked, this, &TfrmWait::btnAbortClick);
  connect(ui_->btnErr, &QPushButton::clicked, this, &TfrmWait::btnErrClick);
}

TfrmWait::~TfrmWait() = default;

QLabel* TfrmWait::lblWait() const { return ui_->lblWait; }
QPushButton* TfrmWait::btnAbort() const { return ui_->btnAbort; }
QFrame* TfrmWait::Panel1() const { return ui_->Panel1; }
QProgressBar* TfrmWait::Gauge1() const { return ui_->Gauge1; }
QPushButton* TfrmWait::btnErr() const { return ui_->btnErr; }

LRESULT TfrmWait::WMWaitShow(WPARAM w, LPARAM l) {
  if (w != 0 && w != -1) setWindowTitle(*reinterpret_cast<const QString*>(w));
  ui_->Panel1->setVisible(l & kProgressShown);
  if (l & kProgressShown) ui_->Gauge1->setValue(0);
  ui_->btnAbort->setVisible(l & kStopShown);
  ui_->btnAbort->setEnabled(!(l & kStopDisabled));
  ShowOnTop();
  processPendingEvents();
  return 0;
}

LRESULT TfrmWait::WMWaitAbort(WPARAM w, LPARAM) {
  ui_->btnAbort->setEnabled(w != 0);
  if (w == 1 && ui_->btnAbort->isVisibleTo(this)) {
    // The keyboard comes to Stop from whichever of the program's windows had it, so that
    // Enter or Space presses it at once; another program's window keeps it.
    if (QApplication::activeWindow()) activateWindow();
    ui_->btnAbort->setFocus();
  }
  return 0;
}

LRESULT TfrmWait::WMWaitProgress(WPARAM w, LPARAM) {
  ui_->Gauge1->setValue(static_cast<int>(std::clamp<WPARAM>(w, 0, 100)));
  processPendingEvents();
  return 0;
}

LRESULT TfrmWait::WMWaitClose(WPARAM, LPARAM) {
  CloseIfShown();
  return 0;
}

void TfrmWait::ShowDirect(const QString& caption, bool progressShown, bool stopShown) {
  setWindowTitle(caption);
  ui_->Panel1->setVisible(progressShown);
  ui_->btnAbort->setVisible(stopShown);
  ShowOnTop();
  processPendingEvents();
}

void TfrmWait::CloseIfShown() {
  if (!isVisible()) return;
  // The events that came during the work are handled while this window still shows, so
  // that a close the main window got meanwhile is refused as it was during the work.
  FormClose();
  hide();
}

void TfrmWait::ShowOnTop() {
  if (!isVisible()) {
    if (!placed_) {
      if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
      placed_ = true;
    }
    platform::placeAboveStayOnTop(this);
    // Shown first, so that a request arriving while FormShow processes events finds
    // the window shown and does not save the states a second time.
    show();
    FormShow();
  }
  raise();
}

void TfrmWait::FormShow() {
  AbortFlag = 0;
  auto windows = windowsToDisable();
  for (size_t i = 0; i < windows.size(); ++i) {
    savedStates_[i] = windows[i] ? std::optional<bool>(windows[i]->isEnabled()) : std::nullopt;
  }
  for (int i : {kVarnDev, kAvCtl, kMain, kView}) {
    if (windows[i] && windows[i]->isVisible()) windows[i]->setEnabled(false);
  }
  processPendingEvents();
  const bool diagnostic = DiagnosticFlag.load() == 1;
  ui_->btnErr->setVisible(diagnostic);
  setClientHeight(diagnostic ? kHeightWithErrorButton : kHeight);
  BlockErrFlag = 0;
}

void TfrmWait::FormClose() {
  // What came during the work is handled while the windows are still disabled, so that a
  // close of any of them that came meanwhile is refused as it was during the work.
  processPendingEvents();
  auto windows = windowsToDisable();
  for (int i : {kAvCtl, kMain, kView, kVarnDev}) {
    if (windows[i] && savedStates_[i]) windows[i]->setEnabled(*savedStates_[i]);
  }
}

void TfrmWait::btnAbortClick() {
  ui_->btnAbort->setEnabled(false);
  AbortFlag = 1;
}

void TfrmWait::btnErrClick() { BlockErrFlag = 1; }

void TfrmWait::closeEvent(QCloseEvent* event) { event->ignore(); }

void TfrmWait::setClientHeight(int height) {
  setFixedSize(kWidth + 2 * kBorder, height + kCaptionHeight + 2 * kBorder);
}

void TfrmWait::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange && caption_) caption_->setText(windowTitle());
  QDialog::changeEvent(event);
}

void TfrmWait::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TfrmWait::reject() {}

}  // namespace workspace
