#include "frmtitle.h"

#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>

#include "clip_view.h"
#include "file_name.h"
#include "lang.h"
#include "platform/cursor.h"
#include "profile.h"
#include "program.h"
#include "ui_frmtitle.h"

namespace workspace {

namespace {
constexpr int kClipFirst = 1;
constexpr int kClipLast = 10;
}  // namespace

TfrmTitle::TfrmTitle()
    : ui_(std::make_unique<Ui::frmTitle>()), timer1_(new QTimer(this)), timer2_(new QTimer(this)) {
  ui_->setupUi(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(800);
  timer1_->setSingleShot(true);
  timer2_->setObjectName("Timer2");
  timer2_->setInterval(2000);
  timer2_->setSingleShot(true);
  setBorderStyle(platform::BorderStyle::None);
  setStayOnTop(true);
  setFormPosition(platform::FormPosition::ScreenCenter);
  bindHandlers({
      {"Timer1", platform::Event::Timer, handler(&TfrmTitle::Timer1Timer)},
      {"Timer2", platform::Event::Timer, handler(&TfrmTitle::Timer2Timer)},
      {"btnOk", platform::Event::Click, handler(&TfrmTitle::btnOkClick)},
      {"Image1", platform::Event::Click, handler(&TfrmTitle::btnOkClick)},
      {"btnOk", platform::Event::KeyDown, handler(&TfrmTitle::btnOkKeyDown)},
      {"Image2", platform::Event::MouseDown, handler(&TfrmTitle::Image2MouseDown)},
  });
}

TfrmTitle::~TfrmTitle() = default;

QLabel* TfrmTitle::Image1() const { return ui_->Image1; }
ClipView* TfrmTitle::anmSp() const { return ui_->anmSp; }

void TfrmTitle::FormCreate() {
  const std::string dir = Profile->ProgramDir();
  std::string source = dir + "/wro10_j.dat";
  if (Lang->Language() != kJapanese || !FileName(source).Exists()) source = dir + "/wro10_e.dat";
  Lang->ApplyCaptions(this);
  // The picture is a bitmap file whatever its name says.
  QImage picture(QFile::decodeName(source.c_str()), "BMP");
  if (!picture.isNull()) {
    pictureFile_ = source;
    ui_->Image1->setPixmap(QPixmap::fromImage(picture));
    ui_->Image1->resize(picture.size());
  }
  ui_->anmSp->Open(dir + "/wro10_m.dat");
}

void TfrmTitle::FormShow() {
  const int width = ui_->Image1->width(), height = ui_->Image1->height();
  if (SplashFlag == 1) {
    platform::showHourglass();
    resize(width, height);  // the panel with OK lies below the window
  } else {
    ui_->Panel1->setGeometry(0, height, width, ui_->Panel1->height());
    resize(width, height + ui_->Panel1->height());
  }
  timer1_->start();
  ui_->anmSp->Seek(kClipFirst);
}

void TfrmTitle::Timer1Timer(QObject*) {
  timer1_->stop();
  ui_->anmSp->Play(kClipFirst, kClipLast);
  if (SplashFlag == 1) timer2_->start();
}

void TfrmTitle::Timer2Timer(QObject*) {
  timer2_->stop();
  closeForm();
  platform::restoreCursor();
}

void TfrmTitle::btnOkClick(QObject*) { closeForm(); }

void TfrmTitle::btnOkKeyDown(platform::EventArgs& a) {
  if (a.key == Qt::Key_Escape) closeForm();
}

void TfrmTitle::Image2MouseDown(platform::EventArgs&) { ui_->anmSp->Play(kClipFirst, kClipLast); }

void TfrmTitle::FormClose(platform::CloseAction&) {
  // However the window closed, nothing of this showing may act on the next one.
  timer1_->stop();
  timer2_->stop();
  ui_->anmSp->Stop();
  SplashFlag = 0;
  platform::restoreCursor();
}

}  // namespace workspace
