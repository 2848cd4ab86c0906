#include "frmmltimg.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "ui_frmmltimg.h"
#include "workspace/album_host.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/icons.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/output_format.h"
#include "workspace/profile.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace exporters {

using platform::Event;
using workspace::Flames;
using workspace::frmMain;
using workspace::OutputFormatSettings;

namespace {

// What a cell dragged onto another carries: its index.
const char* const kCellMime = "application/x-albumdesk-sheet-cell";

QColor colourOf(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

uint32_t tcolourOf(const QColor& c) {
  return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

void paintBackground(QWidget* w, uint32_t colour) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, colourOf(colour));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

bool ownSettingsDialog(QWidget* owner) {
  // A program without the output settings dialog (a form without OK) writes the
  // settings as they were set.
  platform::Form* dialog = workspace::frmImgFmt;
  if (!dialog || !dialog->component("btnOk")) return true;
  OutputFormatSettings& s = workspace::OutputFormat();
  // Only OK of the dialog clears it: a dialog closed any other way leaves it cancelled.
  s.Cancelled = 1;
  // The sheet stays on top of the program's windows: the dialog opens as the sheet's own,
  // above it, or the user could not reach it.
  dialog->winId();
  QWindow* handle = dialog->windowHandle();
  QPointer<QWindow> before = handle->transientParent();
  if (owner) handle->setTransientParent(owner->window()->windowHandle());
  dialog->showModal();
  handle->setTransientParent(before);
  return s.Cancelled == 0;
}

bool ownColourDialog(QWidget* owner, uint32_t initial, uint32_t& chosen) {
  const QColor c = QColorDialog::getColor(colourOf(initial), owner);
  if (!c.isValid()) return false;
  chosen = tcolourOf(c);
  return true;
}

SettingsDialog settingsDialog = ownSettingsDialog;
ColourDialog colourDialog = ownColourDialog;

// The album as the sheet's own engine sees it: the main window's count (for its work
// file names) and album-full message, but a picture dropped onto the sheet is no
// change of the album.
class SheetAlbumHost final : public workspace::AlbumHost {
 public:
  uint32_t PictureCount() const override { return frmMain ? frmMain->PictureCount() : 0; }
  platform::MessageReceiver* MainWindow() const override { return frmMain; }
  void ShowFrameOver() override {
    if (frmMain) frmMain->ShowFrameOver();
  }
  void SetModified() override {}
  void SetBusy(bool busy) override {
    if (busy) platform::showHourglass();
    else platform::restoreCursor();
  }
};

}  // namespace

SettingsDialog SetSettingsDialog(SettingsDialog dialog) {
  return std::exchange(settingsDialog, dialog ? dialog : ownSettingsDialog);
}

ColourDialog SetColourDialog(ColourDialog dialog) {
  return std::exchange(colourDialog, dialog ? dialog : ownColourDialog);
}

void GridLine::SetColour(uint32_t colour) {
  colour_ = colour;
  update();
}

void GridLine::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(colourOf(colour_), 1, Qt::DotLine));
  if (width() >= height()) painter.drawLine(0, 0, width() - 1, 0);
  else painter.drawLine(0, 0, 0, height() - 1);
}

TfrmMltImg::TfrmMltImg() : ui_(std::make_unique<Ui::frmMltImg>()) {
  ui_->setupUi(this);
  setStayOnTop(true);
  setBorderStyle(platform::BorderStyle::Dialog);
  pmMulti_ = new QMenu(this);
  pmMulti_->setObjectName("pmMulti");
  pmDelete_ = new QAction(tr("Delete"), this);
  pmDelete_->setObjectName("pmDelete");
  pmMulti_->addAction(pmDelete_);
  bindHandlers({
      {"cbNum", Event::Change, handler(&TfrmMltImg::cbNumChange)},
      {"btnSave", Event::Click, handler(&TfrmMltImg::btnSaveClick)},
      {"btnClose", Event::Click, handler(&TfrmMltImg::btnCloseClick)},
      {"btnBColor", Event::Click, handler(&TfrmMltImg::btnBColorClick)},
      {"pmDelete", Event::Click, handler(&TfrmMltImg::pmDeleteClick)},
  });
}

TfrmMltImg::~TfrmMltImg() = default;

QFrame* TfrmMltImg::pnlMI() const { return ui_->pnlMI; }
QComboBox* TfrmMltImg::cbNum() const { return ui_->cbNum; }

void TfrmMltImg::FormCreate() {
  for (int i = 0; i < kSheetCells; ++i) {
    auto* panel = new QFrame(ui_->pnlMI);
    panel->setFrameShape(QFrame::NoFrame);
    auto* image = new QLabel(panel);
    image->setScaledContents(true);
    image->setCursor(Qt::DragCopyCursor);
    image->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(panel), static_cast<QWidget*>(image)}) {
      platform::setTag(w, i);
      w->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(w, &QWidget::customContextMenuRequested, this,
              [this, i, w](const QPoint& pos) { ShowCellMenu(i, w->mapToGlobal(pos)); });
      w->hide();
    }
    panels_[static_cast<size_t>(i)] = panel;
    images_[static_cast<size_t>(i)] = image;
  }
  for (size_t j = 0; j < vertical_.size(); ++j) {
    vertical_[j] = new GridLine(ui_->pnlMI);
    vertical_[j]->setGeometry(0, 0, 1, kSheetAreaHeight);
    horizontal_[j] = new GridLine(ui_->pnlMI);
    horizontal_[j]->setGeometry(0, 0, kSheetAreaWidth, 1);
    vertical_[j]->hide();
    horizontal_[j]->hide();
  }
  setAcceptDrops(true);
  host_ = std::make_unique<SheetAlbumHost>();
  engine_ = std::make_unique<workspace::CImageOpe>(this, host_.get());
  onMessage(platform::WM_IMAGE_INFO, [this](platform::WPARAM w, platform::LPARAM l) { return WMImageInfo(w, l); });
  workspace::Lang->ApplyCaptions(this);
  setWindowTitle(workspace::Lang->GetMsg("IC_MULTI"));
}

void TfrmMltImg::FormShow() {
  FillFromSelection();
  SetCellCount(3);
  SetBackground(0xFFFFFF);
}

void TfrmMltImg::FormClose(platform::CloseAction&) {
  if (!frmMain) return;
  frmMain->EnableMenus(true);
  frmMain->ImportIcons().ResetStates();
  frmMain->ExportIcons().ResetStates();
}

void TfrmMltImg::ClearCell(int i) {
  Cells[static_cast<size_t>(i)] = MultiCell{};
  QLabel* image = Image(i);
  image->clear();
  image->hide();
}

void TfrmMltImg::FillFromSelection() {
  if (frmMain) frmMain->EnableMenus(false);
  Flames->CountSelected();
  int next = 0;
  for (int i = 0; i < Flames->Count() && next < kSheetCells; ++i) {
    if (!Flames->Cell(i)->selected()) continue;
    const workspace::FlameInfo& r = *Flames->Record(i);
    Cells[static_cast<size_t>(next)] = MultiCell{i, r.width, r.height, r.workPath, r.thumbPath};
    Image(next)->setPixmap(Flames->Cell(i)->picture()->pixmap());
    ++next;
  }
  for (int i = next; i < kSheetCells; ++i) ClearCell(i);
}

void TfrmMltImg::SetCellCount(int n) {
  if (ui_->cbNum->currentIndex() != n - 2) ui_->cbNum->setCurrentIndex(n - 2);
  SetGridLines(n - 1);
  CellCount = n * n;
  GridSize = n;
  for (int i = 0; i < kSheetCells; ++i) {
    QFrame* panel = Panel(i);
    if (i < CellCount) {
      const CellRect r = CellPanel(i, n, ui_->pnlMI->width(), ui_->pnlMI->height());
      panel->setGeometry(r.left, r.top, r.width, r.height);
      panel->show();
      LayoutCell(i);
    } else {
      panel->hide();
      Image(i)->hide();
    }
  }
}

void TfrmMltImg::SetGridLines(int k) {
  const int n = k + 1;
  for (int j = 0; j < 3; ++j) {
    const bool shown = j < k;
    if (shown) {
      VerticalLine(j)->move(VerticalLineX(j, n, ui_->pnlMI->width()), 0);
      HorizontalLine(j)->move(0, HorizontalLineY(j, n, ui_->pnlMI->height()));
      VerticalLine(j)->raise();
      HorizontalLine(j)->raise();
    }
    VerticalLine(j)->setVisible(shown);
    HorizontalLine(j)->setVisible(shown);
  }
}

void TfrmMltImg::LayoutCell(int i) {
  const MultiCell& c = Cells[static_cast<size_t>(i)];
  const QFrame* panel = Panel(i);
  const CellRect r = CellImage(panel->width(), panel->height(), static_cast<int>(c.width), static_cast<int>(c.height));
  Image(i)->setGeometry(r.left, r.top, r.width, r.height);
  Image(i)->show();
}

void TfrmMltImg::SetBackground(uint32_t colour) {
  Background = colour & 0xFFFFFF;
  paintBackground(ui_->pnlMI, Background);
  for (QFrame* panel : panels_) paintBackground(panel, Background);
  const uint32_t lines = GridLineColour(Background);
  for (size_t j = 0; j < vertical_.size(); ++j) {
    vertical_[j]->SetColour(lines);
    horizontal_[j]->SetColour(lines);
  }
}

void TfrmMltImg::cbNumChange(QObject*) { SetCellCount(ui_->cbNum->currentIndex() + 2); }

void TfrmMltImg::btnBColorClick(QObject*) {
  uint32_t chosen = 0;
  if (colourDialog(this, Background, chosen)) SetBackground(chosen);
}

void TfrmMltImg::btnCloseClick(QObject*) { closeForm(); }

// ---- cells filled by drops and drags ----------------------------------------------------------

void TfrmMltImg::DropFiles(const std::vector<std::string>& files, QPoint areaPos) {
  DroppedFiles.clear();
  for (const std::string& f : files) {
    if (workspace::ImageOpe->GetImageCount(f) == 1) DroppedFiles.push_back(f);
  }
  DropStart = DropCell(areaPos.x(), areaPos.y(), GridSize, CellCount);
  LoadDroppedFiles();
}

void TfrmMltImg::LoadDroppedFiles() {
  platform::showHourglass();
  for (size_t k = 0; k < DroppedFiles.size(); ++k) LoadCell(DroppedFiles[k], DropStart + static_cast<int>(k));
  platform::restoreCursor();
}

void TfrmMltImg::LoadCell(const std::string& path, int cell) {
  if (cell >= 0 && cell < kSheetCells) engine_->LoadImage(path, static_cast<uint32_t>(cell));
}

platform::LRESULT TfrmMltImg::WMImageInfo(platform::WPARAM cell, platform::LPARAM) {
  if (cell < 0 || cell >= kSheetCells) return 0;
  const int i = static_cast<int>(cell);
  const workspace::CImageOpe& e = *engine_;
  Image(i)->setPixmap(QPixmap(QString::fromStdString(e.ThumbnailPath)));
  Cells[static_cast<size_t>(i)] = MultiCell{-1, e.Width, e.Height, e.WorkingPath, e.ThumbnailPath};
  LayoutCell(i);
  return 0;
}

bool TfrmMltImg::CellDragOver(int, int) const { return true; }

void TfrmMltImg::CellDragDrop(int source, int target) {
  if (source < 0 || source >= kSheetCells || target < 0 || target >= kSheetCells || source == target) return;
  Image(target)->setPixmap(Image(source)->pixmap());
  Cells[static_cast<size_t>(target)] = Cells[static_cast<size_t>(source)];
  LayoutCell(target);
}

void TfrmMltImg::DeleteCell(int cell) {
  if (cell >= 0 && cell < kSheetCells) ClearCell(cell);
}

void TfrmMltImg::ShowCellMenu(int cell, QPoint globalPos) {
  menuCell_ = cell;
  pmMulti_->popup(globalPos);
}

void TfrmMltImg::pmDeleteClick(QObject*) { DeleteCell(menuCell_); }

bool TfrmMltImg::eventFilter(QObject* watched, QEvent* e) {
  auto* image = qobject_cast<QLabel*>(watched);
  if (image && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseMove)) {
    auto* me = static_cast<QMouseEvent*>(e);
    const int cell = platform::tagOf(image);
    if (e->type() == QEvent::MouseButtonPress) {
      pressedCell_ = me->button() == Qt::LeftButton ? cell : -1;
      pressPos_ = me->position().toPoint();
    } else if ((me->buttons() & Qt::LeftButton) && pressedCell_ == cell && Cells[static_cast<size_t>(cell)].Filled() &&
               (me->position().toPoint() - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
      pressedCell_ = -1;
      auto* drag = new QDrag(image);
      auto* data = new QMimeData;
      data->setData(kCellMime, QByteArray::number(cell));
      drag->setMimeData(data);
      drag->setPixmap(image->pixmap().scaled(image->size()));
      drag->exec(Qt::CopyAction);
      return true;
    }
  }
  return Form::eventFilter(watched, e);
}

void TfrmMltImg::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasFormat(kCellMime) || e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TfrmMltImg::dragMoveEvent(QDragMoveEvent* e) {
  if (e->mimeData()->hasFormat(kCellMime) || e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TfrmMltImg::dropEvent(QDropEvent* e) {
  // The cells lie in the sheet area: the point is taken there.
  const QPoint area = ui_->pnlMI->mapFrom(this, e->position().toPoint());
  const QMimeData* data = e->mimeData();
  if (data->hasFormat(kCellMime)) {
    bool ok = false;
    const int source = data->data(kCellMime).toInt(&ok);
    const int target = DropCell(area.x(), area.y(), GridSize, CellCount);
    if (ok && target < CellCount && CellDragOver(source, target)) CellDragDrop(source, target);
    e->acceptProposedAction();
    return;
  }
  std::vector<std::string> files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  }
  e->acceptProposedAction();
  // The drop ends first: whoever dragged the files is not kept waiting for the imports.
  QTimer::singleShot(0, this, [this, files, area] { DropFiles(files, area); });
}

// ---- saving -----------------------------------------------------------------------------------------

bool TfrmMltImg::ConfirmOverwrite(const std::string& path) {
  if (!workspace::FileName(path).Occupied()) return true;
  const QString question = workspace::Lang->GetMsg("MSG_SAVEOW1") + "\n" + workspace::Lang->GetMsg("MSG_SAVEOW2");
  if (!platform::askYesNo(this, question.toStdString())) return false;
  QCoreApplication::processEvents();
  // A file that stays read-only makes the save itself fail, with its message.
  workspace::MakeReplaceable(path);
  return true;
}

bool TfrmMltImg::SaveSheet(const std::string& path) {
  // The sheet is not to be changed or saved again while it is being written.
  saving_ = true;
  setEnabled(false);
  QString caption = QString::fromStdString(platform::applicationTitle());
  platform::sendMessage(workspace::frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 1);
  const OutputFormatSettings& s = workspace::OutputFormat();
  SheetJob job;
  job.width = s.OutputWidth;
  job.height = s.OutputHeight;
  job.grid = GridSize;
  job.background = Background;
  job.format = s.Format == OutputFormatSettings::kBmp ? 1 : 0;
  job.quality = s.JpegQuality;
  for (int i = 0; i < CellCount; ++i) {
    const MultiCell& c = Cells[static_cast<size_t>(i)];
    job.cells.push_back(c.Filled() ? c.source : std::string());
  }
  LastResult = ComposeSheet(
      job, path, *workspace::ImageOpe, [] { return workspace::frmWait->AbortFlag != 0; },
      [] { QCoreApplication::processEvents(); });
  if (LastResult == SheetResult::Written) workspace::WaitFileExists(path);
  platform::sendMessage(workspace::frmWait, platform::WM_WAIT_CLOSE);
  setEnabled(true);
  saving_ = false;
  return LastResult == SheetResult::Written;
}

void TfrmMltImg::btnSaveClick(QObject*) {
  if (saving_) return;
  OutputFormatSettings& s = workspace::OutputFormat();
  workspace::SetDefaults(s);
  s.Format = OutputFormatSettings::kJpeg;
  s.KeepSizeAllowed = 0;
  s.RotationAllowed = 0;
  s.SourceWidth = 640;
  s.SourceHeight = 480;
  if (!settingsDialog(this)) return;

  std::string folder;
  if (std::string stored; workspace::Profile->ReadString("INIT", "MULTIIMAGE", stored)) folder = workspace::GetExistingDir(stored);
  if (folder.empty()) folder = workspace::DesktopDir;
  const bool bmp = s.Format == OutputFormatSettings::kBmp;
  const std::string ext = bmp ? "bmp" : "jpg";
  platform::FileDialog dialog(platform::FileDialogOptions::Mode::Save);
  dialog.options.initialDir = folder;
  dialog.options.filter = bmp ? "BITMAP|*.bmp" : "JPEG|*.jpg";
  dialog.options.defaultExt = ext;
  // The series is counted in the spelling the file gets, so that a sheet saved before
  // is not proposed again.
  dialog.options.fileName =
      workspace::FileName(workspace::FileName(folder + "/MLTIMG000." + ext).NextFreeName(1)).GetBaseName();
  if (!dialog.execute(this)) return;
  const std::string path = WithSheetExtension(dialog.fileName, ext);
  const workspace::ModeKeeper keptMode(path);
  if (!ConfirmOverwrite(path)) return;
  if (SaveSheet(path)) {
    workspace::Profile->WriteString("INIT", "MULTIIMAGE", workspace::FileName(path).GetDir());
  } else if (LastResult == SheetResult::Failed) {
    platform::showError(this, workspace::Lang->GetMsg("MSG_SAVE_ERR").toStdString());
  }
}

}  // namespace exporters
