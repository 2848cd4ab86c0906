#include "frmview.h"

#include <unistd.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "controls.h"
#include "frmsstime.h"
#include "frmviewbtn.h"
#include "interval_timer.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "ui_frmview.h"
#include "viewer_forms.h"
#include "viewer_geometry.h"
#include "workspace/flames.h"
#include "workspace/form_position.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/reduced_read.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;
using namespace viewer;

namespace {

// One step of the scroll bars: a wheel notch or an arrow of a bar.
constexpr int kLineStep = 16;
// The file a DV or YUV frame is decoded into for showing: the viewer's own, so that no
// other command's temporary is touched; a leftover goes with the work files at exit.
constexpr const char* kFrameBitmap = "zbmview.bmp";

// A 24-bit packed bitmap as a top-down picture for painting; a null picture for
// anything else.
QImage ToImage(QmHandle picture) {
  if (!picture) return {};
  const size_t size = QmGlobalSize(picture);
  auto* base = static_cast<const uint8_t*>(QmGlobalLock(picture));
  if (!base) return {};
  QImage image;
  QmBitmapInfoHeader h;
  if (size >= sizeof h) {
    std::memcpy(&h, base, sizeof h);
    const int64_t w = h.biWidth, rows = std::llabs(int64_t{h.biHeight});
    const int64_t stride = (w * 3 + 3) & ~int64_t{3};
    if (h.biSize >= sizeof h && h.biBitCount == 24 && h.biCompression == 0 && w > 0 && rows > 0 &&
        int64_t{h.biSize} + stride * rows <= static_cast<int64_t>(size)) {
      const QImage view(base + h.biSize, static_cast<int>(w), static_cast<int>(rows), static_cast<qsizetype>(stride),
                        QImage::Format_BGR888);
      image = view.convertToFormat(QImage::Format_RGB32);
      if (h.biHeight > 0) image.mirror(false, true);  // rows stored bottom-up
    }
  }
  QmGlobalUnlock(picture);
  return image;
}

}  // namespace

TfrmView::TfrmView(platform::Clock& clock) : ui_(std::make_unique<Ui::frmView>()), clock_(clock) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Sizeable);
}

TfrmView::~TfrmView() { ReleasePictures(); }

QWidget* TfrmView::imgView() const { return ui_->imgView; }
QScrollArea* TfrmView::sbView() const { return ui_->sbView; }
QAction* TfrmView::Action(const char* name) const { return component<QAction>(QString::fromLatin1(name)); }
QColor TfrmView::Background() const { return ui_->sbView->viewport()->palette().color(QPalette::Window); }

int TfrmView::AlbumCount() const { return workspace::Flames ? workspace::Flames->Count() : 0; }

// ---- creation, showing, closing ------------------------------------------------------------------

void TfrmView::FormCreate() {
  engine_ = std::make_unique<workspace::CImageOpe>(nullptr, nullptr, workspace::OutputFormat(), clock_);
  timer_ = new IntervalTimer(this, clock_);
  timer_->setObjectName("Timer1");
  timer_->OnTimer = [this] { Timer1Timer(); };

  popup_ = new QMenu(this);
  popup_->setObjectName("PopupMenu1");
  QMenu* zoom = popup_->addMenu(QString());
  zoom->setObjectName("pmZoom");
  for (const char* name : {"pmAZoom", "pmZoomR", "pmZoomIn", "pmZoomOut"}) zoom->addAction(Action(name));
  QMenu* show = popup_->addMenu(QString());
  show->setObjectName("pmSlideShow");
  for (const char* name : {"pmSSAuto", "pmSSSet"}) show->addAction(Action(name));
  popup_->addSeparator();
  for (const char* name : {"pmFirst", "pmPrevious", "pmNext", "pmLast"}) popup_->addAction(Action(name));
  popup_->addSeparator();
  for (const char* name : {"pmButton", "pmFrm", "pmColor"}) popup_->addAction(Action(name));
  // The shortcuts work while the menu is closed.
  for (QAction* a : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) addAction(a);

  workspace::Lang->ApplyCaptions(this);
  BaseCaption = workspace::Lang->GetMsg("TI_VEWER");
  setWindowTitle(BaseCaption);
  SetBackground(QColor::fromRgb(kDesignColour));
  ui_->sbView->verticalScrollBar()->setSingleStep(kLineStep);
  ui_->sbView->horizontalScrollBar()->setSingleStep(kLineStep);
  ui_->sbView->viewport()->installEventFilter(this);
  ui_->sbViewBox->installEventFilter(this);
  ui_->imgView->installEventFilter(this);

  bindHandlers({
      {"pmAZoom", Event::Click, handler(&TfrmView::pmAZoomClick)},
      {"pmZoomR", Event::Click, handler(&TfrmView::pmZoomClick)},
      {"pmZoomIn", Event::Click, handler(&TfrmView::pmZoomClick)},
      {"pmZoomOut", Event::Click, handler(&TfrmView::pmZoomClick)},
      {"pmSSAuto", Event::Click, handler(&TfrmView::pmSSAutoClick)},
      {"pmSSSet", Event::Click, handler(&TfrmView::pmSSSetClick)},
      {"pmFirst", Event::Click, handler(&TfrmView::pmNavigateClick)},
      {"pmPrevious", Event::Click, handler(&TfrmView::pmNavigateClick)},
      {"pmNext", Event::Click, handler(&TfrmView::pmNavigateClick)},
      {"pmLast", Event::Click, handler(&TfrmView::pmNavigateClick)},
      {"pmButton", Event::Click, handler(&TfrmView::pmButtonClick)},
      {"pmFrm", Event::Click, handler(&TfrmView::pmFrmClick)},
      {"pmColor", Event::Click, handler(&TfrmView::pmColorClick)},
      {"PopupMenu1", Event::Popup, handler(&TfrmView::PopupMenu1Popup)},
      {"frmView", Event::KeyDown, handler(&TfrmView::FormKeyDown)},
      {"frmView", Event::MouseDown, handler(&TfrmView::ViewMouseDown)},
      {"sbView", Event::MouseDown, handler(&TfrmView::ViewMouseDown)},
      {"imgView", Event::MouseDown, handler(&TfrmView::ViewMouseDown)},
      {"imgView", Event::Paint, handler(&TfrmView::imgViewPaint)},
  });
}

void TfrmView::FormShow() {
  workspace::LoadFormPosition(this, *workspace::Profile);
  if (TfrmViewBtn* bar = ViewButtons()) {
    // Shown first, so that its frame is known: it lies inside the viewer's lower left corner.
    bar->show();
    const QRect frame = frameGeometry();
    bar->move(frame.left(), frame.top() + frame.height() - bar->frameGeometry().height());
  }
  int32_t seconds = kDefaultInterval;
  if (!workspace::Profile->ReadInt("INIT", "SLIDESHOW", seconds) || seconds < kMinInterval || seconds > kMaxInterval)
    seconds = kDefaultInterval;
  IntervalSeconds = seconds;
  int32_t colour = 0;
  if (workspace::Profile->ReadInt("INIT", "VIEW_BG", colour)) SetBackground(FromColorRef(colour));
}

void TfrmView::FormClose(platform::CloseAction&) {
  StopSlideShow();
  if (TfrmViewBtn* bar = ViewButtons()) bar->closeForm();
  workspace::SaveFormPosition(this, *workspace::Profile);
  ReleasePictures();
}

void TfrmView::changeEvent(QEvent* e) {
  platform::Form::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && !isActiveWindow()) StopSlideShow();
}

void TfrmView::contextMenuEvent(QContextMenuEvent* e) { popup_->popup(e->globalPos()); }

bool TfrmView::eventFilter(QObject* watched, QEvent* e) {
  if (watched == ui_->sbViewBox && e->type() == QEvent::Resize) PlacePicture();
  // The wheel over the picture or beside it.
  if (e->type() == QEvent::Wheel &&
      (watched == ui_->sbView->viewport() || watched == ui_->sbViewBox || watched == ui_->imgView)) {
    Wheel(static_cast<QWheelEvent*>(e)->angleDelta().y());
    return true;
  }
  return platform::Form::eventFilter(watched, e);
}

// ---- the picture -----------------------------------------------------------------------------------

void TfrmView::ReleasePictures() {
  painted_ = QImage();
  paintedFull_ = false;
  if (scaled_) ImageFree(scaled_);
  if (picture_) ImageFree(picture_);
  scaled_ = picture_ = 0;
  reduction_ = 1;
}

namespace {

// The picture as the viewer paints it: 24 bits a pixel. The one handed in is released.
QmHandle InColourDepth(QmHandle picture) {
  ImageKindRecord kind{};
  if (picture && ImageInfo(picture, &kind) && kind.bitCount != 24) {
    const QmHandle deep = ImageToDepth(picture, 24);
    ImageFree(picture);
    return deep;
  }
  return picture;
}

}  // namespace

bool TfrmView::LoadPicture(int index) {
  const workspace::FlameInfo& r = *workspace::Flames->Record(index);
  shownPath_ = r.workPath;
  QmHandle picture = 0;
  if (r.type == workspace::kTypeDvFrame || r.type == workspace::kTypeYuvFrame) {
    // Capture frames are decoded with line averaging, the filter the album's own views use.
    const std::string bitmap = engine_->WorkDir() + kFrameBitmap;
    if (engine_->ConvertToBmp(r.workPath, bitmap, 1)) picture = ImageFileLoad(bitmap.c_str());
    ::unlink(bitmap.c_str());
    workspace::WaitFileGone(bitmap, clock_);
  } else if (AutoFit == 1) {
    // A picture fitted to at most half its size is first shown from a reading reduced in
    // the JPEG decoder; SetZoom reads it whole when a view needs more than that holds.
    const QSize client = ui_->sbView->maximumViewportSize();
    const auto fitted = [client](workspace::Extent full) {
      const std::optional<int> z = FitZoom(client.width(), client.height(), full.width, full.height);
      const int zoom = ClampZoom(z.value_or(100));
      const workspace::Extent f{Scaled(full.width, zoom), Scaled(full.height, zoom)};
      return z && zoom < 100 && 2ll * f.width <= full.width && 2ll * f.height <= full.height ? f : full;
    };
    workspace::Extent full;
    unsigned reduction = 1;
    picture = InColourDepth(workspace::ReadReduced(r.workPath, fitted, 1, full, reduction));
    if (picture) {
      picture_ = picture;
      reduction_ = reduction;
      PictureWidth = full.width;
      PictureHeight = full.height;
      return true;
    }
  }
  if (!picture) picture = ImageFileLoad(r.workPath.c_str());
  picture = InColourDepth(picture);
  ImageKindRecord kind{};
  if (!picture || !ImageInfo(picture, &kind)) {
    ImageFree(picture);
    return false;
  }
  picture_ = picture;
  // The picture's own size: a record may give another (a YUV frame is stretched to 4:3).
  PictureWidth = kind.width;
  PictureHeight = std::abs(kind.height);
  return true;
}

bool TfrmView::LoadWholePicture() {
  const QmHandle whole = InColourDepth(ImageFileLoad(shownPath_.c_str()));
  ImageKindRecord kind{};
  // The file may have changed since it was shown reduced: only the same picture replaces it.
  if (!whole || !ImageInfo(whole, &kind) || kind.width != PictureWidth || std::abs(kind.height) != PictureHeight) {
    ImageFree(whole);
    return false;
  }
  painted_ = QImage();
  paintedFull_ = false;
  ImageFree(picture_);
  picture_ = whole;
  reduction_ = 1;
  return true;
}

void TfrmView::ShowPicture(int index) {
  const int count = AlbumCount();
  ReleasePictures();
  if (count == 0) {
    // The album emptied under the viewer: nothing to show, nothing to go on with.
    StopSlideShow();
    PictureWidth = PictureHeight = 0;
    ui_->imgView->resize(0, 0);
    ui_->imgView->update();
    return;
  }
  index = std::clamp(index, 0, count - 1);
  const workspace::FlameInfo& r = *workspace::Flames->Record(index);
  PictureWidth = r.width;
  PictureHeight = r.height;
  LoadPicture(index);
  Index = index;
  if (AutoFit == 1) FitToWindow();
  else SetZoom(Zoom);
  UpdateCaption();
  EnableNavigation();
  // The interval counts from the end of each load.
  if (SlideShowRunning == 1) timer_->SetEnabled(true);
}

QSize TfrmView::HeldSize() const {
  ImageKindRecord kind{};
  return picture_ && ImageInfo(picture_, &kind) ? QSize(kind.width, std::abs(kind.height)) : QSize();
}

void TfrmView::EnableNavigation() {
  const bool first = Index <= 0;
  const bool last = Index >= AlbumCount() - 1;
  for (const char* name : {"pmFirst", "pmPrevious"}) Action(name)->setEnabled(!first);
  for (const char* name : {"pmNext", "pmLast"}) Action(name)->setEnabled(!last);
  if (TfrmViewBtn* bar = ViewButtons()) {
    for (const char* name : {"btnFirst", "btnPrev"}) bar->Button(name)->setEnabled(!first);
    for (const char* name : {"btnNext", "btnLast"}) bar->Button(name)->setEnabled(!last);
  }
}

void TfrmView::SetZoom(int percent) {
  const int z = ClampZoom(percent);
  QScrollBar* hb = ui_->sbView->horizontalScrollBar();
  QScrollBar* vb = ui_->sbView->verticalScrollBar();
  const int oldX = hb->value(), oldY = vb->value();
  const QSize oldSize = ui_->imgView->size();
  const int hx = ui_->sbView->viewport()->width() / 2, hy = ui_->sbView->viewport()->height() / 2;
  const QSize size(Scaled(PictureWidth, z), Scaled(PictureHeight, z));
  ui_->imgView->resize(size);
  CentrePicture();
  hb->setValue(KeepCentre(oldX, hx, oldSize.width(), size.width()));
  vb->setValue(KeepCentre(oldY, hy, oldSize.height(), size.height()));

  if (scaled_) ImageFree(scaled_);
  scaled_ = 0;
  // A reduced picture serves the views no larger than itself; past that the whole
  // picture is read (when it cannot be, the reduced one is shown stretched).
  if (reduction_ > 1) {
    const QSize held = HeldSize();
    if (z >= 100 || size.width() > held.width() || size.height() > held.height()) LoadWholePicture();
  }
  if (z < 100) {
    painted_ = QImage();
    paintedFull_ = false;
    if (picture_ && engine_->Resize(picture_, std::max(1, size.width()), std::max(1, size.height()), scaled_))
      painted_ = ToImage(scaled_);
  } else if (!paintedFull_) {
    painted_ = ToImage(picture_);
    paintedFull_ = !painted_.isNull();
  }
  Zoom = z;
  UpdateCaption();
  ui_->imgView->update();
}

void TfrmView::FitToWindow() {
  // The whole window, as it is once the fitted picture needs no scroll bars.
  const QSize client = ui_->sbView->maximumViewportSize();
  const std::optional<int> z = FitZoom(client.width(), client.height(), PictureWidth, PictureHeight);
  if (!z) return;
  AutoFit = 1;
  SetZoom(*z);
}

void TfrmView::CentrePicture() {
  // The scroll box's content is as large as the picture and at least as large as the
  // view: a larger picture scrolls, a smaller one lies centred in it. Setting the
  // content's least size makes the scroll box take it (and its scroll ranges) at once.
  ui_->sbViewBox->setMinimumSize(ui_->imgView->size());
  ui_->sbView->setWidgetResizable(true);
  PlacePicture();
}

void TfrmView::PlacePicture() {
  const QSize box = ui_->sbViewBox->size(), picture = ui_->imgView->size();
  ui_->imgView->move(box.width() > picture.width() ? (box.width() - picture.width()) / 2 : 0,
                     box.height() > picture.height() ? (box.height() - picture.height()) / 2 : 0);
}

void TfrmView::UpdateCaption() { setWindowTitle(Caption(BaseCaption, Index, Zoom)); }

void TfrmView::imgViewPaint(platform::EventArgs&) {
  QPainter painter(ui_->imgView);
  if (painted_.isNull()) return;
  // Only the part being repainted is copied: the painter is clipped to it.
  if (paintedFull_) painter.scale(Zoom * reduction_ / 100.0, Zoom * reduction_ / 100.0);
  painter.drawImage(QPointF(0, 0), painted_);
}

void TfrmView::SetBackground(const QColor& colour) {
  for (QWidget* w : {static_cast<QWidget*>(this), ui_->sbView->viewport()}) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setBackgroundRole(QPalette::Window);
    w->setAutoFillBackground(true);
  }
}

// ---- navigation and the slide show ------------------------------------------------------------------

void TfrmView::Navigate(int command) {
  const int count = AlbumCount();
  if (count <= 1) return;
  StopSlideShow();
  const int last = count - 1;
  switch (command) {
    case kFirst:
      if (Index != 0) ShowPicture(0);
      break;
    case kLast:
      if (Index != last) ShowPicture(last);
      break;
    case kPrevious:
      if (Index >= 1) ShowPicture(std::min(Index - 1, last));
      break;
    case kNext:
      if (Index < last) ShowPicture(Index + 1);
      break;
    case kStart:
      StartSlideShow();
      break;
    default:
      break;
  }
}

void TfrmView::StartSlideShow() {
  timer_->SetInterval(std::chrono::seconds(IntervalSeconds));
  timer_->SetEnabled(true);
  SlideShowRunning = 1;
  if (TfrmViewBtn* bar = ViewButtons()) bar->ShowRunning(true);
}

void TfrmView::StopSlideShow() {
  unsetCursor();
  if (timer_) timer_->SetEnabled(false);
  SlideShowRunning = 0;
  if (TfrmViewBtn* bar = ViewButtons()) bar->ShowRunning(false);
}

void TfrmView::Timer1Timer() {
  timer_->SetEnabled(false);
  // While a long command holds the program (the wait window disables the viewer), the
  // show stops rather than load pictures in the middle of it.
  if (!isEnabled()) {
    StopSlideShow();
    return;
  }
  const int count = AlbumCount();
  if (count == 0) ShowPicture(0);  // the album was emptied: the viewer lets its picture go
  if (count <= 1) return;
  ShowPicture(Index + 1 >= count ? 0 : Index + 1);
}

// ---- menu, keys, mouse ----------------------------------------------------------------------------

void TfrmView::PopupMenu1Popup(QObject*) {
  component<QMenu>("pmSlideShow")->menuAction()->setEnabled(AlbumCount() > 1);
}

void TfrmView::pmAZoomClick(QObject*) { FitToWindow(); }

void TfrmView::pmZoomClick(QObject* sender) {
  AutoFit = 0;
  std::optional<int> z;
  switch (platform::tagOf(sender)) {
    case 1: z = 100; break;
    case 2: z = MenuZoomIn(Zoom); break;
    case 3: z = MenuZoomOut(Zoom); break;
    default: break;
  }
  if (z) SetZoom(*z);
}

void TfrmView::pmNavigateClick(QObject* sender) { Navigate(platform::tagOf(sender)); }

void TfrmView::pmSSAutoClick(QObject*) { Navigate(kStart); }

void TfrmView::pmSSSetClick(QObject*) {
  TfrmSSTime* dialog = SSTimeForm();
  if (!dialog) return;
  dialog->csTime()->SetValue(IntervalSeconds);
  dialog->showModal();
  if (dialog->Cancelled != 0) return;
  IntervalSeconds = dialog->csTime()->value();
  workspace::Profile->WriteInt("INIT", "SLIDESHOW", IntervalSeconds);
}

void TfrmView::pmButtonClick(QObject*) {
  if (TfrmViewBtn* bar = ViewButtons()) bar->show();
}

void TfrmView::pmFrmClick(QObject* sender) {
  workspace::SaveFormPosition(this, *workspace::Profile);
  auto* item = static_cast<QAction*>(sender);
  if (platform::tagOf(item) == 0) {
    setBorderStyle(platform::BorderStyle::None);
    platform::setTag(item, 1);
    item->setText(workspace::Lang->GetMsg("PM_SHOWFRM"));
  } else {
    setBorderStyle(platform::BorderStyle::Sizeable);
    platform::setTag(item, 0);
    item->setText(workspace::Lang->GetMsg("PM_HIDEBTN"));
  }
}

void TfrmView::pmColorClick(QObject*) {
  QColor colour = Background();
  if (!colourDialogs().choose(this, colour)) return;
  SetBackground(colour);
  workspace::Profile->WriteInt("INIT", "VIEW_BG", ToColorRef(colour));
}

void TfrmView::FormKeyDown(platform::EventArgs& a) {
  const Qt::KeyboardModifiers mods = a.modifiers & ~Qt::KeypadModifier;
  // '+' needs Shift on many keyboards, and shares its key with '=' on others.
  if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    std::optional<int> z;
    if (a.key == Qt::Key_Minus) z = KeyZoomOut(Zoom);
    else if (a.key == Qt::Key_Plus || a.key == Qt::Key_Equal) z = KeyZoomIn(Zoom);
    else return;
    AutoFit = 0;
    if (z) SetZoom(*z);
    a.key = 0;
    return;
  }
  if (const std::optional<Command> command = NavigationKey(a.key, a.modifiers)) {
    Navigate(*command);
    a.key = 0;
  }
}

void TfrmView::ViewMouseDown(platform::EventArgs&) { StopSlideShow(); }

void TfrmView::Wheel(int delta) {
  if (delta == 0) return;
  QScrollBar* bar = ui_->sbView->verticalScrollBar();
  if (!bar->isVisible()) bar = ui_->sbView->horizontalScrollBar();
  const int step = bar->singleStep();
  bar->setValue(delta > 0 ? std::max(0, bar->value() - step) : std::min(bar->maximum(), bar->value() + step));
}

}  // namespace exporters
