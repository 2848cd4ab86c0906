// The picture viewer: one album picture at a time in a window of its own, zoomed from
// 20 to 400 percent or fitted to the window, with navigation through the album and a
// timed slide show. The button bar (frmViewBtn) stays on top at the viewer's lower
// left. The album is read, never changed.
//
// Below 100 percent the viewer paints from a reduced copy made once per zoom change;
// from 100 percent on it stretches the full picture, and each paint copies only the
// visible part. A JPEG fitted to at most half its size is first read already reduced in
// the decoder; the whole picture is read when a zoom needs more than that holds.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/form.h"
#include "toolkit/com/qm6com.h"

class QAction;
class QMenu;
class QScrollArea;

namespace Ui {
class frmView;
}

namespace workspace {
class CImageOpe;
}

namespace exporters {

class IntervalTimer;

class TfrmView : public platform::Form {
  Q_OBJECT

 public:
  static constexpr int kDefaultInterval = 5;  // seconds
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 60;
  static constexpr QRgb kDesignColour = 0xFF696969;  // RGB 105, 105, 105

  // The slide show measures its interval on `clock`.
  explicit TfrmView(platform::Clock& clock = platform::SystemClock::instance());
  ~TfrmView() override;

  // ---- state -------------------------------------------------------------------------------
  int Index = 0;            // album position of the picture shown
  int Zoom = 100;           // percent, 20..400
  uint8_t AutoFit = 1;      // 1: the zoom was chosen to fit the window
  QString BaseCaption;      // the title without the picture part
  uint8_t SlideShowRunning = 0;
  int IntervalSeconds = kDefaultInterval;
  int32_t PictureWidth = 0;   // the picture's size (from its record when it cannot be read)
  int32_t PictureHeight = 0;

  // ---- operations --------------------------------------------------------------------------
  // Shows album picture `index` (held to the album; an empty album shows nothing).
  void ShowPicture(int index);
  // 0 stop the show, 1 first, 2 previous, 3 next, 4 last, 5 start the show
  // (viewer::Command); only while the album holds more than one picture.
  void Navigate(int command);
  void SetZoom(int percent);
  void FitToWindow();
  // Places the picture: centred where it is smaller than the window, scrolled where larger.
  void CentrePicture();
  void UpdateCaption();
  void StartSlideShow();
  void StopSlideShow();
  // One tick of the slide show's timer.
  void Timer1Timer();

  // ---- components --------------------------------------------------------------------------
  QWidget* imgView() const;
  QScrollArea* sbView() const;
  IntervalTimer* Timer1() const { return timer_; }
  QMenu* PopupMenu1() const { return popup_; }
  QAction* Action(const char* name) const;
  QColor Background() const;
  // Whether a picture is held, and what paint copies from.
  bool HasPicture() const { return picture_ != 0; }
  // The size of the picture held: reduced while the view fitted to the window needs no
  // more, else the picture's own.
  QSize HeldSize() const;
  const QImage& Painted() const { return painted_; }

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;
  void changeEvent(QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void pmAZoomClick(QObject* sender);
  void pmZoomClick(QObject* sender);
  void pmNavigateClick(QObject* sender);
  void pmSSAutoClick(QObject* sender);
  void pmSSSetClick(QObject* sender);
  void pmButtonClick(QObject* sender);
  void pmFrmClick(QObject* sender);
  void pmColorClick(QObject* sender);
  void PopupMenu1Popup(QObject* sender);
  void FormKeyDown(platform::EventArgs& a);
  void ViewMouseDown(platform::EventArgs& a);
  void imgViewPaint(platform::EventArgs& a);
  void Wheel(int delta);

  int AlbumCount() const;
  void ReleasePictures();
  bool LoadPicture(int index);
  // Replaces a reduced picture by the whole one read again; false when it cannot be read.
  bool LoadWholePicture();
  void SetBackground(const QColor& colour);
  void EnableNavigation();
  void PlacePicture();

  std::unique_ptr<Ui::frmView> ui_;
  platform::Clock& clock_;
  std::unique_ptr<workspace::CImageOpe> engine_;  // the viewer's own: reads, never adds
  IntervalTimer* timer_ = nullptr;
  QMenu* popup_ = nullptr;
  QmHandle picture_ = 0;        // the picture at full size, or reduced (reduction_)
  unsigned reduction_ = 1;      // picture_ is the picture reduced by this factor
  std::string shownPath_;       // the file the picture shown was read from
  QmHandle scaled_ = 0;         // a reduced copy while the zoom is below 100
  QImage painted_;              // what paint copies from: the reduced copy or the picture
  bool paintedFull_ = false;    // painted_ is the full picture
};

}  // namespace exporters
