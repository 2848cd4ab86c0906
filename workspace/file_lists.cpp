#include "file_lists.h"

#include <QClipboard>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "platform/messages.h"
#include "workspace/file_name.h"
#include "workspace/image_ope.h"

namespace workspace {

std::vector<std::string> DropFiles;

namespace {

const char kUriList[] = "text/uri-list";
const char kFileManagerList[] = "x-special/gnome-copied-files";

bool ownDrag = false;

QUrl urlOf(const std::string& path) { return QUrl::fromLocalFile(QFile::decodeName(path.c_str())); }

void addLocalFile(const QUrl& url, std::vector<std::string>& files) {
  if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
}

}  // namespace

std::string FileForOutside(CImageOpe& engine, const ListedPicture& picture) {
  if (picture.type != CImageOpe::kTypeDv && picture.type != CImageOpe::kTypeYuv) return picture.workPath;
  const std::string bmp = FileName(picture.workPath).RemoveExt() + ".bmp";
  if (bmp == ".bmp" || bmp == picture.workPath) return {};
  return engine.ConvertToBmp(picture.workPath, bmp, 0) && FileName(bmp).Exists() ? bmp : std::string();
}

std::vector<std::string> FilesForOutside(CImageOpe& engine, const std::vector<ListedPicture>& pictures) {
  std::vector<std::string> files;
  for (const ListedPicture& p : pictures) {
    std::string file = FileForOutside(engine, p);
    if (!file.empty()) files.push_back(std::move(file));
  }
  return files;
}

QMimeData* MakeFileListData(const std::vector<std::string>& files, bool forClipboard) {
  if (files.empty()) return nullptr;
  QList<QUrl> urls;
  QByteArray copied = "copy";
  for (const std::string& f : files) {
    urls.append(urlOf(f));
    copied += '\n' + urls.back().toEncoded();
  }
  auto* data = new QMimeData;
  data->setUrls(urls);
  if (forClipboard) data->setData(kFileManagerList, copied);
  return data;
}

std::vector<std::string> GetDropFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (!data) return files;
  if (data->hasFormat(kUriList)) {
    for (const QUrl& url : data->urls()) addLocalFile(url, files);
  } else if (data->hasFormat(kFileManagerList)) {
    const QList<QByteArray> lines = data->data(kFileManagerList).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) addLocalFile(QUrl::fromEncoded(lines[i].trimmed()), files);
  }
  return files;
}

bool OffersFiles(const QMimeData* data) { return !GetDropFiles(data).empty(); }

// ---- the clipboard ---------------------------------------------------------------------

bool PutFilesOnClipboard(const std::vector<std::string>& files) {
  QMimeData* data = MakeFileListData(files, true);
  if (!data) return false;
  QGuiApplication::clipboard()->setMimeData(data);
  return true;
}

std::vector<std::string> FilesOnClipboard() { return GetDropFiles(QGuiApplication::clipboard()->mimeData()); }

bool ClipboardOffersFiles() { return OffersFiles(QGuiApplication::clipboard()->mimeData()); }

void ClearClipboardIfOwned() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->ownsClipboard()) clipboard->clear();
}

// ---- the drop target -------------------------------------------------------------------

CDropTarget::CDropTarget(QWidget* window, platform::MessageReceiver* receiver, DropTargetHost& host)
    : window_(window), receiver_(receiver), host_(host) {
  window_->setAcceptDrops(true);
  window_->installEventFilter(this);
}

CDropTarget::~CDropTarget() {
  window_->removeEventFilter(this);
  window_->setAcceptDrops(false);
}

Qt::DropAction CDropTarget::DropEffect(QPoint globalPos) {
  if (host_.DropsRefused()) return Qt::IgnoreAction;
  host_.DragAutoScroll(globalPos);
  return ownDrag ? Qt::IgnoreAction : Qt::CopyAction;
}

bool CDropTarget::eventFilter(QObject* watched, QEvent* e) {
  if (watched != window_) return false;
  switch (e->type()) {
    case QEvent::DragEnter: {
      // Any list of files is taken in; whether it may be dropped here is decided as it moves.
      auto* ev = static_cast<QDragEnterEvent*>(e);
      if (OffersFiles(ev->mimeData())) {
        ev->setDropAction(Qt::CopyAction);
        ev->accept();
      } else {
        ev->ignore();
      }
      return true;
    }
    case QEvent::DragMove: {
      auto* ev = static_cast<QDragMoveEvent*>(e);
      if (DropEffect(window_->mapToGlobal(ev->position().toPoint())) == Qt::CopyAction) {
        ev->setDropAction(Qt::CopyAction);
        ev->accept();
      } else {
        ev->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      e->accept();
      return true;
    case QEvent::Drop: {
      auto* ev = static_cast<QDropEvent*>(e);
      if (DropEffect(window_->mapToGlobal(ev->position().toPoint())) != Qt::CopyAction) {
        ev->ignore();
        return true;
      }
      std::vector<std::string> files = GetDropFiles(ev->mimeData());
      ev->setDropAction(Qt::CopyAction);
      ev->accept();
      if (!files.empty()) {
        DropFiles = std::move(files);
        platform::postMessage(receiver_, platform::WM_INSERT_FILES, -1,
                              static_cast<platform::LPARAM>(DropFiles.size()));
      }
      return true;
    }
    default:
      return false;
  }
}

// ---- the drag source -------------------------------------------------------------------

void StartDragDrop(QWidget* source, const std::vector<std::string>& files) {
  QMimeData* data = MakeFileListData(files, false);
  if (!data) return;
  auto* drag = new QDrag(source);
  drag->setMimeData(data);
  ownDrag = true;
  drag->exec(Qt::CopyAction, Qt::CopyAction);
  ownDrag = false;
}

bool OwnDragRunning() { return ownDrag; }

}  // namespace workspace
