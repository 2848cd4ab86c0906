// The one wait and progress window of the program. Long operations show it (it stays
// above the other windows and disables the main window, the viewer, the camcorder
// control panel and the device window meanwhile), report progress to it, and close it
// when done. It never stops an operation itself: Stop only sets the abort flag, which
// the operation's loop tests after each item. Only the program closes it.
//
// Messages (sent with platform::sendMessage, also from worker threads):
//   WM_WAIT_SHOW      w: pointer to a QString caption, kept alive by the sender for the
//                        call; 0 or -1 keeps the caption.
//                     l: 1 Stop shown, 2 progress bar shown and reset to 0, 4 Stop disabled.
//   WM_WAIT_ABORT     w: 0 disables Stop; any other value enables it, and 1 also gives it
//                        the keyboard focus when it is shown.
//   WM_WAIT_PROGRESS  w: percent (held to 0..100); then pending events are processed.
//   WM_WAIT_CLOSE     closes the window when it is shown.
#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/messages.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class frmWait;
}

namespace workspace {

class MLang;

class TfrmWait : public QDialog, public platform::MessageReceiver {
  Q_OBJECT

 public:
  // Takes its texts and fonts from `lang`. A window of its own, without a parent, so
  // that it stays enabled while it disables the others.
  explicit TfrmWait(const MLang& lang);
  ~TfrmWait() override;

  // For the device scan: sets the caption, shows or hides the progress bar and Stop,
  // shows the window on top and processes pending events. Neither resets the bar nor
  // changes whether Stop is enabled.
  void ShowDirect(const QString& caption, bool progressShown, bool stopShown);
  // Closes the window when it is shown.
  void CloseIfShown();

  // 1 once Stop was pressed (or an operation set it); 0 from each showing on.
  std::atomic<uint8_t> AbortFlag{0};
  // 1 after the block-error button was pressed; the picture transfer reads and clears it.
  std::atomic<uint8_t> BlockErrFlag{0};

  QLabel* lblWait() const;
  QPushButton* btnAbort() const;
  QFrame* Panel1() const;
  QProgressBar* Gauge1() const;
  QPushButton* btnErr() const;
  // The caption it draws above its client area, and the border around both.
  QLabel* Caption() const { return caption_; }
  static constexpr int kCaptionHeight = 20;
  static constexpr int kBorder = 1;

 protected:
  // The user cannot close the window: neither the window manager's close nor Escape.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  platform::LRESULT WMWaitShow(platform::WPARAM w, platform::LPARAM l);
  platform::LRESULT WMWaitAbort(platform::WPARAM w, platform::LPARAM l);
  platform::LRESULT WMWaitProgress(platform::WPARAM w, platform::LPARAM l);
  platform::LRESULT WMWaitClose(platform::WPARAM w, platform::LPARAM l);
  void btnAbortClick();
  void btnErrClick();
  void FormShow();
  void FormClose();
  // Shows the window (running FormShow when it was hidden) at the top of the stack.
  void ShowOnTop();
  // Sizes the window for a client area of the designed width and this height.
  void setClientHeight(int height);

  std::unique_ptr<Ui::frmWait> ui_;
  // Enabled states of frmAvCtl, frmView, frmMain and frmVarnDev at the last showing.
  // Nothing for a window that did not exist then.
  std::array<std::optional<bool>, 4> savedStates_;
  bool placed_ = false;
  QLabel* caption_ = nullptr;
};

}  // namespace workspace
