// The main window: the album as a grid of numbered thumbnails, the icon bar of two
// pages at its left, the menu bar and the popup menu. It owns the process: made first
// at start-up, it makes the shared objects (settings, texts, the album, the icon pages),
// shows the splash window, opens the file of the command line, and on closing offers to
// save the album and cleans the work folder.
//
// Commands whose windows come with later parts of the program are shown but never
// enabled (see kLaterCommands in the source). Menu items are enabled by their rules
// while a menu is open; when it closes they are enabled again, so that a shortcut always
// reaches its command, and every command tests its own conditions.
#pragma once

#include <QPixmap>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "album_host.h"
#include "flames.h"
#include "platform/form.h"

class QAction;
class QLabel;
class QMenu;
class QScrollArea;

namespace Ui {
class frmMain;
}

namespace platform {
class SingleInstanceLock;
}

namespace workspace {

class CIcons;
class CImageOpe;

class TfrmMain : public platform::Form, public GridHost, public AlbumHost {
  Q_OBJECT

 public:
  // Ends the process at once (exit code 0, no message) when another copy runs.
  TfrmMain();
  ~TfrmMain() override;

  // ---- state that other windows read and write --------------------------------------------
  uint8_t IconPage = 1;           // 1 import page shown, 0 export page
  uint8_t Modified = 0;           // the album changed since start-up or its last save
  std::string ModelText;          // the text of "MODEL_ID"
  std::string LastCaptureFile;    // deleted at shut-down
  std::string HelpFile;

  IFlames& Album() const { return *flames_; }
  CIcons& ImportIcons() const { return *importIcons_; }
  CIcons& ExportIcons() const { return *exportIcons_; }
  QScrollArea* sbTN() const;
  QMenu* pmMain() const { return pmMain_; }
  // The picture the Properties command shows (-1: none).
  int PopupIndex() const { return popupIndex_; }

  // ---- operations other windows call -----------------------------------------------------------
  bool OpenFile(const std::string& path, int position);
  void ShowIconPage(int page);
  bool CheckSelection();
  void ShowFrameOver(QWidget* owner);
  void ScrollToEnd();
  void EnableMenus(bool on);
  void AskSaveAlbum();
  // Whether a command of the menus can run at all here: neither a command of a later
  // part of the program nor one the model hides.
  bool CommandAvailable(const QAction* command) const;

  // ---- commands and handlers -------------------------------------------------------------------
  void mnuExitClick(QObject* sender);
  void mnuDeleteClick(QObject* sender);
  void mnuAllSelClick(QObject* sender);
  void mnuInvClick(QObject* sender);
  void mnuKeyClick(QObject* sender);
  void mnuAboutClick(QObject* sender);
  void mnuCaptureClick(QObject* sender);
  void pmPropClick(QObject* sender);
  void mnuEditPopup(QObject* sender);
  void mnuExportPopup(QObject* sender);
  void mnuWinPopup(QObject* sender);
  void pmMainPopup(QObject* sender);
  void pnlIcoMouseDown(platform::EventArgs& a);
  void pnlIcoMouseMove(platform::EventArgs& a);
  void pnlIcoMouseUp(platform::EventArgs& a);
  void pnlIcoClick(platform::EventArgs& a);
  void lblTabClick(QObject* sender);
  void sbTNMouseDown(platform::EventArgs& a);
  void sbTNMouseMove(platform::EventArgs& a);
  void sbTNMouseUp(platform::EventArgs& a);
  // The mouse wheel over the window: one scroll step per notch.
  void CMMouseWheel(int delta);

  // ---- messages ------------------------------------------------------------------------------------
  platform::LRESULT WMImageInfo(platform::WPARAM index, platform::LPARAM);
  platform::LRESULT WMCaptureFrame(platform::WPARAM which, platform::LPARAM);
  platform::LRESULT WMStartup(platform::WPARAM, platform::LPARAM);
  void OpenCommandLine();

  // ---- what the picture engine asks of the album --------------------------------------------------
  uint32_t PictureCount() const override;
  platform::MessageReceiver* MainWindow() const override;
  void ShowFrameOver() override;
  void SetModified() override;
  void SetBusy(bool busy) override;

  // ---- the album's cells -------------------------------------------------------------------------
  void CellPressed(int index) override;
  void CellContextMenu(int index, QPoint globalPos) override;
  void CellDoubleClicked() override;

 protected:
  void FormCreate() override;
  void FormShow() override;
  bool FormCloseQuery() override;
  void FormClose(platform::CloseAction& action) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  void FormResize();
  void ClearMailTimes();
  void ApplyModelSwitches();
  void RunIconCommand(int index);
  CIcons& ShownPage() const;
  bool SheetShown() const;
  QPoint InPanel(const platform::EventArgs& a) const;
  void SetEditMenu();
  void EnableAllCommands();
  void ShowPopup(int index, QPoint globalPos);
  QAction* Action(const char* name) const;

  std::unique_ptr<Ui::frmMain> ui_;
  std::unique_ptr<platform::SingleInstanceLock> lock_;
  std::unique_ptr<IFlames> flames_;
  std::unique_ptr<CIcons> importIcons_;
  std::unique_ptr<CIcons> exportIcons_;
  std::unique_ptr<CImageOpe> imageOpe_;
  QMenu* pmMain_ = nullptr;
  std::vector<QPixmap> ilPage_, ilImp_, ilExp_;
  QPoint bandStart_;
  int popupIndex_ = -1;
  int wheelRest_ = 0;  // wheel movement short of a notch
  bool shown_ = false;
};

}  // namespace workspace
