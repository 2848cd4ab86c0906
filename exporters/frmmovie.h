// The movie options dialog: a slide show (every picture stays a whole number of
// seconds) or an animation (a number of pictures a second), the frame size, the colour
// around pictures of another shape, and the compressor. The movie command shows it
// modally and reads its state unless Cancelled is 1 (Cancel, Escape or the close box).
// Made at start-up and kept until the program ends; nothing of it is stored.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/form.h"

class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace Ui {
class frmMovie;
}

namespace exporters {

class TfrmMovie : public platform::Form {
  Q_OBJECT

 public:
  enum Mode : uint8_t { kAnimation = 0, kSlideShow = 1 };

  TfrmMovie();
  ~TfrmMovie() override;

  // ---- the state the movie command reads ----------------------------------------------
  QString SlideShowLabel;  // beside the number in slide-show mode ("LBL_USS")
  QString AnimationLabel;  // in animation mode ("LBL_UANIME")
  // The compressor chosen with btnComp (0: uncompressed frames); kept for the run.
  uint32_t Compressor;
  uint32_t BackColor = 0;  // around each picture, 0x00BBGGRR; black at first
  uint8_t Mode = kSlideShow;
  uint8_t Cancelled = 0;   // 1 from each showing until OK
  int32_t Scale = 1;       // the stream's time base: Rate / Scale frames a second
  int32_t Rate = 1;
  int32_t FrameWidth = 320, FrameHeight = 240;
  uint32_t Codec = 0;      // what the movie writer takes: 0 for uncompressed frames

  void SetMode(uint8_t mode);
  void SetBackColor(uint32_t colour);
  // Shows the chosen compressor's name and takes its codec.
  void UpdateCompressorInfo();

  QRadioButton* rbSS() const;
  QRadioButton* rbAnime() const;
  QSpinBox* csFrame() const;
  QComboBox* cbSize() const;
  QLabel* lblFrame() const;
  QLabel* lblComp() const;
  QWidget* pnlColor() const;

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  void btnColorClick(QObject* sender);
  void btnCompClick(QObject* sender);
  void btnOkClick(QObject* sender);
  void pnlColorPaint(platform::EventArgs& a);

  std::unique_ptr<Ui::frmMovie> ui_;
};

}  // namespace exporters
