// The main window: the album as a grid of numbered thumbnails, the icon bar of two
// pages at its left, the menu bar and the popup menu. It owns the process: made first
// at start-up, it makes the shared objects (settings, texts, the album, the icon pages),
// shows the splash window, opens the file of the command line, and on closing offers to
// save the album and cleans the work folder.
//
// Commands whose windows come with later parts of the program are shown but not
// enabled until a module registers their work (see kLaterCommands in the source). Menu items are enabled by their rules
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
#include "file_lists.h"
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

class TfrmMain : public platform::Form, public GridHost, public AlbumHost, public DropTargetHost {
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
  // Offers to save a changed album. True when the album may be discarded: it is
  // unchanged or empty, the user said No, or the save succeeded; false when the save
  // the user asked for failed or was cancelled (the command that asked ends there).
  bool AskSaveAlbum();
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

  // ---- album files, pictures, the clipboard, dropped files and mail (frmmain_albums.cpp) ------------
  void mnuNewClick(QObject* sender);
  // True when `path` may be written: it names no file, or the user agreed to replace it.
  bool ConfirmOverwrite(const std::string& path);
  void mnuAlbumOpenClick(QObject* sender);
  void mnuImgOpenClick(QObject* sender);
  void mnuAlbumSaveClick(QObject* sender);
  // The album save command; true when the album was written.
  bool SaveAlbumAs();
  void mnuImgSaveClick(QObject* sender);
  // 1 when picture `index` was written.
  uint8_t SaveOneImage(int index);
  void SaveRestImages(int start);
  void mnuCopyClick(QObject* sender);
  void mnuCutClick(QObject* sender);
  void mnuPasteClick(QObject* sender);
  void PasteFileList();
  // Adds the files, sorted by name, at the end of the album; albums add all their pictures.
  // At the end one message names the files that could not be added, or not whole.
  void AddFileList(const std::vector<std::string>& files, int position);
  void mnuMailClick(QObject* sender);
  uint32_t GetMailTimes() const;
  platform::LRESULT WMInsertFiles(platform::WPARAM, platform::LPARAM count);

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
  void ClearModified() override;
  bool NewAlbum() override;

  // ---- drops onto the window -----------------------------------------------------------------------
  bool DropsRefused() const override;
  void DragAutoScroll(QPoint globalPos) override;

  // ---- the album's cells -------------------------------------------------------------------------
  void CellPressed(int index) override;
  void CellContextMenu(int index, QPoint globalPos) override;
  void CellDoubleClicked() override;
  void StartDrag() override;

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
  void BindAlbumCommands();
  // The folder an open or save dialog of `key` shows first.
  std::string FirstFolder(const char* key) const;
  // The open dialog in the folder remembered under `key`; the files chosen are added.
  void OpenFilesFrom(const char* key, const std::string& filter);
  // AddFileList without its message: gives the files that could not be added, or not
  // whole. A Stop, the album limit (which has its own message) and an album kept because
  // its save did not happen are no failures of a file.
  std::vector<std::string> AddFiles(const std::vector<std::string>& files, int position);
  // One message naming the files; none when there are none.
  void ReportNotAdded(const std::vector<std::string>& files);
  // The selected pictures as the lists of files see them, in album order.
  std::vector<ListedPicture> SelectedPictures() const;
  void ReplaceRecord(int index, const FlameInfo& record);

  std::unique_ptr<Ui::frmMain> ui_;
  std::unique_ptr<platform::SingleInstanceLock> lock_;
  std::unique_ptr<IFlames> flames_;
  std::unique_ptr<CIcons> importIcons_;
  std::unique_ptr<CIcons> exportIcons_;
  std::unique_ptr<CImageOpe> imageOpe_;
  std::unique_ptr<CDropTarget> dropTarget_;
  std::string lastSaveDir_;  // the folder the last picture was saved to
  QMenu* pmMain_ = nullptr;
  std::vector<QPixmap> ilPage_, ilImp_, ilExp_;
  QPoint bandStart_;
  int popupIndex_ = -1;
  int wheelRest_ = 0;  // wheel movement short of a notch
  bool scrollToAdded_ = true;  // the grid scrolls to a picture added at the album's end
  bool shown_ = false;
};

}  // namespace workspace
