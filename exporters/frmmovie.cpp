#include "exporters/frmmovie.h"

#include <QComboBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <iterator>

#include "exporters/avi_writer.h"
#include "exporters/compressor_dialog.h"
#include "exporters/controls.h"
#include "ui_frmmovie.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;

namespace {
// The frame sizes of cbSize's items.
constexpr struct {
  int32_t width, height;
} kFrameSizes[] = {{80, 60}, {160, 120}, {320, 240}};
constexpr int kDefaultSize = 2;
}  // namespace

TfrmMovie::TfrmMovie() : Compressor(kDefaultMovieCodec), ui_(std::make_unique<Ui::frmMovie>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmMovie::~TfrmMovie() = default;

QRadioButton* TfrmMovie::rbSS() const { return ui_->rbSS; }
QRadioButton* TfrmMovie::rbAnime() const { return ui_->rbAnime; }
QSpinBox* TfrmMovie::csFrame() const { return ui_->csFrame; }
QComboBox* TfrmMovie::cbSize() const { return ui_->cbSize; }
QLabel* TfrmMovie::lblFrame() const { return ui_->lblFrame; }
QLabel* TfrmMovie::lblComp() const { return ui_->lblComp; }
QWidget* TfrmMovie::pnlColor() const { return ui_->pnlColor; }

void TfrmMovie::FormCreate() {
  const workspace::MLang& lang = *workspace::Lang;
  lang.ApplyCaptions(this);
  setWindowTitle(lang.GetMsg("TI_MOVIE"));
  SlideShowLabel = lang.GetMsg("LBL_USS");
  AnimationLabel = lang.GetMsg("LBL_UANIME");
  bindHandlers({
      {"rbSS", Event::Click, [this](platform::EventArgs&) { SetMode(kSlideShow); }},
      {"rbAnime", Event::Click, [this](platform::EventArgs&) { SetMode(kAnimation); }},
      {"btnColor", Event::Click, handler(&TfrmMovie::btnColorClick)},
      {"btnComp", Event::Click, handler(&TfrmMovie::btnCompClick)},
      {"btnOk", Event::Click, handler(&TfrmMovie::btnOkClick)},
      {"pnlColor", Event::Paint, handler(&TfrmMovie::pnlColorPaint)},
  });
  SetMode(kSlideShow);
  ui_->cbSize->setCurrentIndex(kDefaultSize);
}

void TfrmMovie::FormShow() {
  UpdateCompressorInfo();
  Cancelled = 1;
  FrameWidth = kFrameSizes[kDefaultSize].width;
  FrameHeight = kFrameSizes[kDefaultSize].height;
}

void TfrmMovie::SetMode(uint8_t mode) {
  Mode = mode;
  if (mode == kSlideShow) {
    if (!ui_->rbSS->isChecked()) ui_->rbSS->setChecked(true);
    Scale = ui_->csFrame->value();
    Rate = 1;
    ui_->lblFrame->setText(SlideShowLabel);
  } else {
    if (!ui_->rbAnime->isChecked()) ui_->rbAnime->setChecked(true);
    Scale = 1;
    Rate = ui_->csFrame->value();
    ui_->lblFrame->setText(AnimationLabel);
  }
}

void TfrmMovie::SetBackColor(uint32_t colour) {
  BackColor = colour;
  ui_->pnlColor->update();
}

void TfrmMovie::UpdateCompressorInfo() {
  // Uncompressed frames need no compressor: no name, codec 0. So does a codec the
  // movie writer does not have.
  const auto& list = MovieCompressors();
  const bool known = std::any_of(list.begin(), list.end(), [this](const MovieCompressor& c) {
    return c.codec != 0 && c.codec == Compressor;
  });
  Codec = known ? Compressor : 0;
  ui_->lblComp->setText(Codec == 0 ? QString() : MovieCompressorName(*workspace::Lang, Codec));
}

void TfrmMovie::btnColorClick(QObject*) {
  QColor colour = FromColorRef(static_cast<int32_t>(BackColor));
  if (colourDialogs().choose(this, colour)) SetBackColor(static_cast<uint32_t>(ToColorRef(colour)));
}

void TfrmMovie::btnCompClick(QObject*) {
  uint32_t codec = Compressor;
  if (!compressorDialogs().choose(this, codec)) return;
  Compressor = codec;
  UpdateCompressorInfo();
}

void TfrmMovie::btnOkClick(QObject*) {
  if (ui_->rbSS->isChecked()) {
    Scale = ui_->csFrame->value();
    Rate = 1;
  } else {
    Scale = 1;
    Rate = ui_->csFrame->value();
  }
  const int size = ui_->cbSize->currentIndex();
  if (size >= 0 && size < static_cast<int>(std::size(kFrameSizes))) {
    FrameWidth = kFrameSizes[size].width;
    FrameHeight = kFrameSizes[size].height;
  }
  Cancelled = 0;
  setModalResult(platform::mrOk);
}

void TfrmMovie::pnlColorPaint(platform::EventArgs& a) {
  // A 4:3 sample picture (sky, ground and a sun) fitted into the panel on the colour.
  auto* panel = static_cast<QWidget*>(a.sender);
  QPainter p(panel);
  const QRect area = panel->rect();
  p.fillRect(area, FromColorRef(static_cast<int32_t>(BackColor)));
  const int h = area.height() - 4;
  const int w = std::min(area.width() - 4, h * 4 / 3);
  const QRect picture(area.left() + (area.width() - w) / 2, area.top() + 2, w, h);
  QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
  sky.setColorAt(0, QColor(70, 130, 210));
  sky.setColorAt(1, QColor(190, 220, 250));
  p.fillRect(picture, sky);
  p.fillRect(QRect(picture.left(), picture.top() + picture.height() * 2 / 3, picture.width(), picture.height() / 3 + 1),
             QColor(80, 150, 70));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(250, 210, 60));
  p.drawEllipse(QPoint(picture.left() + picture.width() * 3 / 4, picture.top() + picture.height() / 4),
                picture.height() / 7 + 1, picture.height() / 7 + 1);
}

}  // namespace exporters
