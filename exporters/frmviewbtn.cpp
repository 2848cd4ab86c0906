#include "frmviewbtn.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "frmview.h"
#include "ui_frmviewbtn.h"
#include "viewer_forms.h"
#include "viewer_geometry.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;

namespace {
constexpr int kGlyphSize = 16;
}

TfrmViewBtn::TfrmViewBtn() : ui_(std::make_unique<Ui::frmViewBtn>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setStayOnTop(true);
  // A tool window: a small title bar, no place in the task bar.
  setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool);
}

TfrmViewBtn::~TfrmViewBtn() = default;

QPushButton* TfrmViewBtn::Button(const char* name) const {
  return component<QPushButton>(QString::fromLatin1(name));
}

void TfrmViewBtn::FormCreate() {
  workspace::Lang->ApplyCaptions(this);
  const struct {
    QPushButton* button;
    QStyle::StandardPixmap glyph;
  } glyphs[] = {{ui_->btnFirst, QStyle::SP_MediaSkipBackward}, {ui_->btnPrev, QStyle::SP_MediaSeekBackward},
                {ui_->btnStop, QStyle::SP_MediaStop},          {ui_->btnNext, QStyle::SP_MediaSeekForward},
                {ui_->btnLast, QStyle::SP_MediaSkipForward}};
  for (const auto& g : glyphs) {
    g.button->setIcon(style()->standardIcon(g.glyph));
    g.button->setText(QString());
  }
  ui_->btnSS->setText(QString());
  ui_->imgSSStop->setPixmap(style()->standardIcon(QStyle::SP_MediaPlay).pixmap(kGlyphSize));
  ui_->imgSSRun->setPixmap(style()->standardIcon(QStyle::SP_MediaPause).pixmap(kGlyphSize));
  ShowRunning(false);
  // One button high, six buttons wide.
  const int w = ui_->btnFirst->width(), h = ui_->btnFirst->height();
  resize(6 * w, h);

  bindHandlers({
      {"btnFirst", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnPrev", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnStop", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnSS", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnNext", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnLast", Event::Click, handler(&TfrmViewBtn::ButtonClick)},
      {"btnFirst", Event::KeyDown, handler(&TfrmViewBtn::btnFirstKeyDown)},
      {"frmViewBtn", Event::KeyDown, handler(&TfrmViewBtn::FormKeyDown)},
  });
}

void TfrmViewBtn::ShowRunning(bool running) {
  running_ = running;
  ui_->btnSS->setIcon(QIcon((running ? ui_->imgSSRun : ui_->imgSSStop)->pixmap()));
}

void TfrmViewBtn::ButtonClick(QObject* sender) {
  if (TfrmView* view = ViewForm()) view->Navigate(platform::tagOf(sender));
}

void TfrmViewBtn::btnFirstKeyDown(platform::EventArgs& a) {
  const std::optional<viewer::Command> command = viewer::NavigationKey(a.key, a.modifiers);
  if (!command) return;
  if (TfrmView* view = ViewForm()) view->Navigate(*command);
  a.key = 0;  // not also a click of the button
}

void TfrmViewBtn::FormKeyDown(platform::EventArgs& a) {
  if (a.key != Qt::Key_S || a.modifiers != Qt::ControlModifier) return;
  if (TfrmView* view = ViewForm()) view->Navigate(viewer::kStart);
  a.key = 0;
}

}  // namespace exporters
