// The main window's commands that bring files into the album and take pictures out of
// it: a new album, opening albums and pictures, saving the album and pictures, the
// clipboard, files dropped onto the window, dragging pictures out, and the mail hand-off.
//
// Every list of files enters the album through AddFileList, always at the album's end:
// an album file adds all its pictures (and may replace the album first), so each file
// goes where the pictures before it ended. A paste adds at the end too and then moves
// what was added into place, so a file that cannot be read leaves neither a gap nor a
// copy of another picture.
#include <sys/stat.h>

#include <QAction>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <algorithm>

#include "associate.h"
#include "file_lists.h"
#include "file_name.h"
#include "frmautosave.h"
#include "frmmain.h"
#include "frmwait.h"
#include "image_ope.h"
#include "import_ahead.h"
#include "lang.h"
#include "mail.h"
#include "name_list.h"
#include "output_format.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "profile.h"
#include "program.h"
#include "sframe.h"

namespace workspace {

using platform::Event;
using platform::FileDialogOptions;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

namespace {

std::string text(const char* key) { return Lang->GetMsg(key).toStdString(); }
std::string twoLines(const char* first, const char* second) { return text(first) + "\n" + text(second); }

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name in a folder; a name alone when the folder is not known.
std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// The path without its extension (cut at the file name's first dot, as every saved name
// is); the path itself when its file name starts with a dot.
std::string withoutExt(const std::string& path) {
  std::string base = FileName(path).RemoveExt();
  return base.empty() || base.back() == '/' ? path : base;
}

void showWait(int flags) {
  QString caption = QString::fromStdString(platform::applicationTitle());
  platform::sendMessage(frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<WPARAM>(&caption), flags);
}

void closeWait() { platform::sendMessage(frmWait, platform::WM_WAIT_CLOSE); }

bool stopPressed() { return frmWait && frmWait->AbortFlag != 0; }

}  // namespace

void TfrmMain::BindAlbumCommands() {
  bindHandlers({
      {"mnuNew", Event::Click, handler(&TfrmMain::mnuNewClick)},
      {"mnuAlbumOpen", Event::Click, handler(&TfrmMain::mnuAlbumOpenClick)},
      {"mnuImgOpen", Event::Click, handler(&TfrmMain::mnuImgOpenClick)},
      {"mnuAlbumSave", Event::Click, handler(&TfrmMain::mnuAlbumSaveClick)},
      {"mnuImgSave", Event::Click, handler(&TfrmMain::mnuImgSaveClick)},
      {"mnuCut", Event::Click, handler(&TfrmMain::mnuCutClick)},
      {"pmCut", Event::Click, handler(&TfrmMain::mnuCutClick)},
      {"mnuCopy", Event::Click, handler(&TfrmMain::mnuCopyClick)},
      {"pmCopy", Event::Click, handler(&TfrmMain::mnuCopyClick)},
      {"mnuPaste", Event::Click, handler(&TfrmMain::mnuPasteClick)},
      {"pmPaste", Event::Click, handler(&TfrmMain::mnuPasteClick)},
      {"mnuMail", Event::Click, handler(&TfrmMain::mnuMailClick)},
  });
  onMessage(platform::WM_INSERT_FILES, [this](WPARAM w, LPARAM l) { return WMInsertFiles(w, l); });
}

std::string TfrmMain::FirstFolder(const char* key) const {
  std::string stored;
  if (!Profile->ReadString("INIT", key, stored)) return DesktopDir;
  return GetExistingDir(stored);
}

std::vector<ListedPicture> TfrmMain::SelectedPictures() const {
  std::vector<ListedPicture> pictures;
  for (int i = 0; i < flames_->Count(); ++i) {
    if (flames_->Cell(i)->selected()) pictures.push_back({flames_->Record(i)->type, flames_->Record(i)->workPath});
  }
  return pictures;
}

// ---- new album, overwriting ------------------------------------------------------------

void TfrmMain::mnuNewClick(QObject*) { NewAlbum(); }

bool TfrmMain::NewAlbum() {
  // Captured frames exist nowhere but in their working copies: they go only when the
  // user let them go or they were saved.
  if (!AskSaveAlbum()) return false;
  while (flames_->Count() > 0) flames_->RemoveLast();
  // The clipboard could only name pictures that are gone now.
  ClearClipboardIfOwned();
  return true;
}

void TfrmMain::ClearModified() { Modified = 0; }

bool TfrmMain::ConfirmOverwrite(const std::string& path) {
  if (!FileName(path).Occupied()) return true;
  if (!platform::askYesNo(this, twoLines(TextKey("MSG_SAVEOW1"), TextKey("MSG_SAVEOW2")))) return false;
  // The old file stays until the new one is complete: every writer writes beside it and
  // puts the new file in its place at the end. Here it only has to be writable.
  if (!MakeReplaceable(path)) {
    platform::showError(this, text(TextKey("MSG_SAVE_ERR")));
    return false;
  }
  return true;
}

// ---- opening ---------------------------------------------------------------------------

void TfrmMain::mnuAlbumOpenClick(QObject*) {
  OpenFilesFrom("ALBUM", text(TextKey("FD_ALBUM")) + "(*.qla *.wza)|*.qla;*.wza");
}

void TfrmMain::mnuImgOpenClick(QObject*) {
  if (flames_->Count() >= kAlbumLimit) {
    ShowFrameOver(this);
    return;
  }
  OpenFilesFrom("LOADIMAGE", text(TextKey("FD_IMAGE")) + "|*.*");
}

void TfrmMain::OpenFilesFrom(const char* key, const std::string& filter) {
  platform::FileDialog dlgOpen(FileDialogOptions::Mode::OpenMany);
  dlgOpen.options.initialDir = FirstFolder(key);
  dlgOpen.options.filter = filter;
  if (!dlgOpen.execute(this)) return;
  Profile->WriteString("INIT", key, FileName(dlgOpen.fileName).GetDir());
  AddFileList(dlgOpen.files, flames_->Count());
}

void TfrmMain::AddFileList(const std::vector<std::string>& files, int position) {
  ReportNotAdded(AddFiles(files, position));
}

std::vector<std::string> TfrmMain::AddFiles(const std::vector<std::string>& files, int position) {
  showWait(1);
  // In the order of the names' bytes: "IMG10.jpg" before "IMG9.jpg" before "img1.jpg".
  std::vector<std::string> sorted = files;
  std::stable_sort(sorted.begin(), sorted.end());
  std::vector<std::string> failed;
  const int start = flames_->Count();
  {
    // The pictures to come are decoded ahead while each is added.
    ImportAhead ahead(*imageOpe_, ImportAhead::ForFiles(sorted));
    for (size_t i = 0; i < sorted.size(); ++i) {
      if (stopPressed()) break;
      const int p = std::clamp(position + flames_->Count() - start, 0, flames_->Count());
      imageOpe_->EntriesSkipped = 0;
      ahead.Begin(i);
      const bool added = OpenFile(sorted[i], p);
      if (!added && imageOpe_->ErrorCode == CImageOpe::kAlbumFull) break;
      if (stopPressed() || imageOpe_->ErrorCode == CImageOpe::kCancelled) break;
      // An album of which a picture was skipped was not added whole.
      if (!added || imageOpe_->EntriesSkipped > 0) failed.push_back(sorted[i]);
    }
  }
  closeWait();
  return failed;
}

void TfrmMain::ReportNotAdded(const std::vector<std::string>& files) {
  if (files.empty()) return;
  platform::showError(this, NamesMessage(*Lang, text(TextKey("MSG_NOTADDED")), files));
}

// ---- saving ----------------------------------------------------------------------------

void TfrmMain::mnuAlbumSaveClick(QObject*) { SaveAlbumAs(); }

bool TfrmMain::SaveAlbumAs() {
  if (flames_->Count() == 0) return false;
  const std::string errorText = text(TextKey("MSG_SAVE_ERR"));
  const std::string folder = FirstFolder("ALBUM");
  platform::FileDialog dlgSave(FileDialogOptions::Mode::Save);
  dlgSave.options.initialDir = folder;
  dlgSave.options.fileName = FileName(inFolder(folder, "ALBUM000.qla")).NextFreeName(1);
  dlgSave.options.filter = text(TextKey("FD_ALBUM")) + "(*.qla)|*.qla";
  dlgSave.options.defaultExt = "qla";
  if (!dlgSave.execute(this)) return false;
  const std::string& chosen = dlgSave.fileName;
  const std::string dir = FileName(chosen).GetDir();
  const std::string name = lowerCase(FileName(chosen).GetExt()) == "qla" ? chosen : withoutExt(chosen) + ".qla";
  // A save that fails leaves the file the user let replace as it was.
  const ModeKeeper keptMode(name);
  if (!ConfirmOverwrite(name)) return false;

  showWait(1);
  std::vector<std::string> copies;
  for (int i = 0; i < flames_->Count(); ++i) copies.push_back(flames_->Record(i)->workPath);
  const bool saved = imageOpe_->SaveAlbum(name, copies);
  closeWait();
  if (!saved) {
    platform::showError(this, errorText);
    return false;
  }
  Profile->WriteString("INIT", "ALBUM", dir);

  if (SystemMajorVersion() < 6) {
    ASSOCIATE association;
    association.Extensions = {".qla", ".wza"};
    association.Name = text(TextKey("ALBUM_NAME"));
    if (!association.IsAssociated() &&
        platform::askYesNo(this, twoLines(TextKey("MSG_ASSOCIATE1"), TextKey("MSG_ASSOCIATE2")))) {
      association.Associate();
    }
  }
  return true;
}

void TfrmMain::mnuImgSaveClick(QObject*) {
  flames_->CountSelected();
  if (!CheckSelection()) return;
  const std::string stopText = text(TextKey("MSG_STOP_SAVE"));
  const std::string restText = text(TextKey("MSG_IMG_SAVE"));
  const int selected = flames_->SelectedCount();
  for (int i = 0; i < flames_->Count(); ++i) {
    if (!flames_->Cell(i)->selected()) continue;
    const uint8_t r = SaveOneImage(i);
    if (selected == 1) return;
    if (r == 1) {
      if (platform::askYesNo(this, restText)) {
        SaveRestImages(i + 1);
        return;
      }
    } else if (platform::askYesNo(this, stopText)) {
      return;
    }
  }
}

uint8_t TfrmMain::SaveOneImage(int index) {
  const std::string errorText = text(TextKey("MSG_SAVE_ERR"));
  flames_->CountSelected();
  const FlameInfo record = *flames_->Record(index);
  OutputFormatSettings& format = OutputFormat();
  SetDefaults(format);
  format.SourceWidth = std::max<int32_t>(1, record.width);
  format.SourceHeight = std::max<int32_t>(1, record.height);
  format.RotationAllowed = 1;
  // The dialog clears it when the user chooses OK.
  format.Cancelled = 1;
  if (frmImgFmt) frmImgFmt->showModal();
  QCoreApplication::processEvents();
  if (format.Cancelled == 1) return 0;

  const std::string folder = FirstFolder("SAVEIMAGE");
  const bool bmp = format.Format == OutputFormatSettings::kBmp;
  const std::string ext = bmp ? "BMP" : "JPG";
  platform::FileDialog dlgSave(FileDialogOptions::Mode::Save);
  dlgSave.options.initialDir = folder;
  dlgSave.options.filter = bmp ? "BITMAP(*.bmp)|*.bmp" : "JPEG/DCF(*.jpg)|*.jpg";
  dlgSave.options.defaultExt = ext;
  dlgSave.options.fileName = FileName(inFolder(folder, "IMAGE000." + ext)).NextFreeName(1);
  QCoreApplication::processEvents();
  if (!dlgSave.execute(this)) return 0;
  // A saved picture's name always ends in ".JPG" or ".BMP".
  const std::string dir = FileName(dlgSave.fileName).GetDir();
  const std::string name = withoutExt(dlgSave.fileName) + "." + ext;
  const ModeKeeper keptMode(name);
  if (!ConfirmOverwrite(name)) return 0;
  imageOpe_->FillColor = 0;
  imageOpe_->Title = nullptr;
  if (!imageOpe_->ExportImage(record.workPath, name)) {
    platform::showError(this, errorText);
    return 0;
  }
  Profile->WriteString("INIT", "SAVEIMAGE", dir);
  lastSaveDir_ = dir;
  return 1;
}

void TfrmMain::SaveRestImages(int start) {
  showWait(3);
  const std::string errorText = text(TextKey("MSG_SAVE_ERR"));
  // The rest go where the first picture was just saved.
  const std::string folder = lastSaveDir_;
  const std::string ext = OutputFormat().Format == OutputFormatSettings::kBmp ? "BMP" : "JPG";
  frmAutoSave->memo()->clear();
  imageOpe_->FillColor = 0;
  imageOpe_->Title = nullptr;
  const int selected = std::max(1, flames_->SelectedCount());
  int done = 0;
  for (int i = start; i < flames_->Count(); ++i) {
    if (!flames_->Cell(i)->selected()) continue;
    const std::string name = FileName(inFolder(folder, "IMAGE000." + ext)).NextFreeName(1);
    bool ok = !name.empty() && imageOpe_->ExportImage(flames_->Record(i)->workPath, name);
    // Stop ends the run as a failure; the picture just written stays.
    if (stopPressed()) ok = false;
    if (!ok) {
      closeWait();
      platform::showError(this, errorText);
      return;
    }
    frmAutoSave->SetInfo(i + 1, QString::fromStdString(FileName(name).GetBaseName()));
    ++done;
    platform::sendMessage(frmWait, platform::WM_WAIT_PROGRESS, done * 100 / selected);
  }
  closeWait();
  frmAutoSave->showModal();
  Profile->WriteString("INIT", "SAVEIMAGE", folder);
}

// ---- the clipboard ---------------------------------------------------------------------

void TfrmMain::mnuCopyClick(QObject*) {
  flames_->CountSelected();
  if (flames_->SelectedCount() == 0) return;
  PutFilesOnClipboard(FilesForOutside(*imageOpe_, SelectedPictures()));
}

void TfrmMain::mnuCutClick(QObject*) {
  flames_->CountSelected();
  if (flames_->SelectedCount() == 0) return;
  platform::showHourglass();
  setEnabled(false);
  // Only the pictures whose files the clipboard takes leave the album; their files stay.
  std::vector<std::string> files;
  for (int i = 0; i < flames_->Count(); ++i) {
    if (!flames_->Cell(i)->selected()) continue;
    std::string file = FileForOutside(*imageOpe_, {flames_->Record(i)->type, flames_->Record(i)->workPath});
    if (file.empty()) {
      flames_->Cell(i)->Select(false);
    } else {
      files.push_back(std::move(file));
    }
  }
  if (PutFilesOnClipboard(files)) {
    flames_->DeleteSelected(false);
    Modified = 1;
  }
  flames_->CountSelected();
  setEnabled(true);
  platform::restoreCursor();
}

void TfrmMain::mnuPasteClick(QObject*) {
  flames_->CountSelected();
  std::vector<std::string> files = FilesOnClipboard();
  if (files.empty()) return;
  DropFiles = std::move(files);
  PasteFileList();
  flames_->CountSelected();
}

void TfrmMain::PasteFileList() {
  flames_->CountSelected();
  const int old = flames_->Count();
  const int position = flames_->SelectedCount() > 0 ? flames_->FirstSelected() : old;
  // Only files that hold exactly one picture are pasted; the limit is tested for all of
  // them before anything changes.
  std::vector<std::string> names, refused;
  for (const std::string& name : DropFiles) {
    (imageOpe_->GetImageCount(name) == 1 ? names : refused).push_back(name);
  }
  if (old + static_cast<int>(names.size()) > kAlbumLimit) {
    ShowFrameOver(this);
    return;
  }
  imageOpe_->AppendAlbumsQuietly = true;
  // Pictures pasted into the middle pass through the album's end: the grid does not
  // follow them there.
  scrollToAdded_ = position == old;
  std::vector<std::string> failed = AddFiles(names, old);
  scrollToAdded_ = true;
  imageOpe_->AppendAlbumsQuietly = false;
  // What was added moves before the first selected picture; the pictures from there on
  // move up behind it. The grid shows them where they landed.
  const int added = flames_->Count() - old;
  if (added > 0 && position < old) {
    std::vector<FlameInfo> pasted;
    for (int k = 0; k < added; ++k) pasted.push_back(*flames_->Record(old + k));
    for (int j = old - 1; j >= position; --j) flames_->MoveItem(j + added, j);
    for (int k = 0; k < added; ++k) ReplaceRecord(position + k, pasted[static_cast<size_t>(k)]);
    flames_->ShowItems(position, position + added - 1);
  }
  Modified = 1;
  // Files that hold no picture the album takes, or several, and those that failed.
  refused.insert(refused.end(), failed.begin(), failed.end());
  std::sort(refused.begin(), refused.end());
  ReportNotAdded(refused);
}

void TfrmMain::ReplaceRecord(int index, const FlameInfo& record) {
  *flames_->Record(index) = record;
  flames_->Cell(index)->LoadPicture(record.thumbPath);
  flames_->Cell(index)->Select(false);
}

// ---- dropped files and dragging out ----------------------------------------------------

LRESULT TfrmMain::WMInsertFiles(WPARAM, LPARAM) {
  platform::showHourglass();
  QCoreApplication::processEvents();
  setEnabled(false);
  flames_->CountSelected();
  const std::vector<std::string> files = DropFiles;
  AddFileList(files, flames_->Count());
  setEnabled(true);
  platform::restoreCursor();
  return 0;
}

bool TfrmMain::DropsRefused() const { return SheetShown() || flames_->Count() >= kAlbumLimit; }

void TfrmMain::DragAutoScroll(QPoint globalPos) { flames_->DragAutoScroll(globalPos); }

void TfrmMain::StartDrag() {
  flames_->CountSelected();
  if (flames_->SelectedCount() == 0) return;
  StartDragDrop(this, FilesForOutside(*imageOpe_, SelectedPictures()));
}

// ---- mail ------------------------------------------------------------------------------

uint32_t TfrmMain::GetMailTimes() const { return workspace::GetMailTimes(); }

void TfrmMain::mnuMailClick(QObject*) {
  if (!CheckSelection()) return;
  MailPictures(this, *imageOpe_, SelectedPictures());
}

}  // namespace workspace
