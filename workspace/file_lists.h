// Lists of files between the album and the rest of the desktop. Pictures leave the
// album (Copy, Cut, dragging out, the mail hand-off) and enter it (Paste, dropping) only
// as lists of file paths: on the clipboard and in drag and drop as text/uri-list, and on
// the clipboard also as x-special/gnome-copied-files, always marked "copy" so that a
// file manager never moves a working copy out of the work folder.
//
// GUI thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <cstdint>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace platform {
class MessageReceiver;
}

namespace workspace {

class CImageOpe;

// What a list needs to know of an album picture.
struct ListedPicture {
  uint16_t type = 0;     // picture type
  std::string workPath;  // its working copy
};

// The file that stands for a picture outside the album: the working copy itself for a
// picture file; for a DV or uncompressed frame, a BMP written beside the working copy
// with the same name and the extension ".bmp" (an older one is replaced). "" when that
// BMP cannot be written.
std::string FileForOutside(CImageOpe& engine, const ListedPicture& picture);
// The files of the pictures in their order; a picture whose file cannot be made is left out.
std::vector<std::string> FilesForOutside(CImageOpe& engine, const std::vector<ListedPicture>& pictures);

// A new data object naming the files (text/uri-list; with forClipboard also
// x-special/gnome-copied-files); the receiver owns it. nullptr for an empty list.
QMimeData* MakeFileListData(const std::vector<std::string>& files, bool forClipboard);
// The local files the data names, in its order (text/uri-list, else the file manager's
// list); other addresses are passed over.
std::vector<std::string> GetDropFiles(const QMimeData* data);
// Whether the data names at least one local file.
bool OffersFiles(const QMimeData* data);

// The clipboard. Putting files there makes the program the clipboard's owner; false
// (the clipboard untouched) for an empty list.
bool PutFilesOnClipboard(const std::vector<std::string>& files);
std::vector<std::string> FilesOnClipboard();
bool ClipboardOffersFiles();
// Empties the clipboard when the program owns it: it can only name the album's files.
void ClearClipboardIfOwned();

// The names of the last drop, read when WM_INSERT_FILES arrives.
extern std::vector<std::string> DropFiles;

// What the drop target asks of the window it is registered on.
class DropTargetHost {
 public:
  virtual ~DropTargetHost() = default;
  // True while the window takes no drops at all: the multi-image sheet is shown (it
  // takes its own), or the album is full.
  virtual bool DropsRefused() const = 0;
  // Something is dragged over the window at that point: the grid scrolls near its edges.
  virtual void DragAutoScroll(QPoint globalPos) = 0;
};

// The drop target of the main window: files dragged from elsewhere are accepted as a
// copy, unless the multi-image sheet is shown, the album is full or the drag is the
// album's own. A drop puts the names into DropFiles and posts WM_INSERT_FILES (wParam
// -1: at the end of the album, lParam the number of names) to the receiver; the names
// are added after the drag has ended.
class CDropTarget : public QObject {
 public:
  // Registers on `window`; the registration ends with the object.
  CDropTarget(QWidget* window, platform::MessageReceiver* receiver, DropTargetHost& host);
  ~CDropTarget() override;
  // Copy or nothing, for a drag at that point (which scrolls the grid when near its edge).
  Qt::DropAction DropEffect(QPoint globalPos);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QWidget* window_;
  platform::MessageReceiver* receiver_;
  DropTargetHost& host_;
};

// Drags the files out of the album from `source`, copy only; returns when the drag has
// ended (dropped or cancelled). Meanwhile OwnDragRunning() is true.
void StartDragDrop(QWidget* source, const std::vector<std::string>& files);
bool OwnDragRunning();

}  // namespace workspace
