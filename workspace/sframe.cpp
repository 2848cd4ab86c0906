#include "sframe.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "flames.h"
#include "platform/form.h"

namespace workspace {

namespace {

// The cell's panel: every mouse event of the cell arrives here (the controls on it let
// the mouse through) and goes to the cell's handlers.
class CellPanel final : public QFrame {
 public:
  CellPanel(QWidget* parent, SFrame& cell) : QFrame(parent), cell_(cell) {}

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    cell_.CellMouseDown(e->button(), e->modifiers(), e->position().toPoint());
  }
  void mouseMoveEvent(QMouseEvent* e) override { cell_.CellMouseMove(e->position().toPoint()); }
  void mouseReleaseEvent(QMouseEvent* e) override { cell_.CellMouseUp(e->button(), e->position().toPoint()); }
  void mouseDoubleClickEvent(QMouseEvent*) override { cell_.CellDblClick(); }
  void contextMenuEvent(QContextMenuEvent* e) override { cell_.CellContextMenu(e->globalPos()); }

 private:
  SFrame& cell_;
};

void setColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = w->palette();
  p.setColor(role, colour);
  w->setPalette(p);
}

QLabel* passiveLabel(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  return l;
}

}  // namespace

SFrame::SFrame(QWidget* parent, IFlames& album)
    : album_(album),
      panel_(new CellPanel(parent, *this)),
      shadow_(passiveLabel(panel_)),
      picture_(passiveLabel(panel_)),
      label_(passiveLabel(panel_)) {
  panel_->hide();
  panel_->setFrameShape(QFrame::NoFrame);
  panel_->resize(kWidth, kHeight);
  panel_->setAutoFillBackground(true);
  setColour(panel_, QPalette::Window, Qt::white);

  shadow_->setGeometry(10, 10, 100, 75);
  shadow_->setScaledContents(true);
  picture_->setGeometry(5, 5, 100, 75);

  QFont font(QStringLiteral("Arial"));
  font.setPointSize(9);
  label_->setFont(font);
  label_->setGeometry(10, 87, 60, 16);
  setColour(label_, QPalette::WindowText, QApplication::palette().color(QPalette::ButtonText));
}

SFrame::~SFrame() { delete panel_; }

void SFrame::SetShadow(const QPixmap& picture) { shadow_->setPixmap(picture); }

bool SFrame::LoadPicture(const std::string& path) {
  if (!FileName(path).Exists()) return false;
  QPixmap pixmap;
  if (!pixmap.load(QFile::decodeName(path.c_str()))) return false;
  picture_->setPixmap(pixmap);
  picture_->resize(pixmap.size());
  shadow_->resize(pixmap.size());
  return true;
}

void SFrame::CopyPicture(const SFrame& other) {
  picture_->setPixmap(other.picture_->pixmap());
  picture_->resize(other.picture_->size());
  shadow_->resize(other.shadow_->size());
}

void SFrame::SetIndex(int index) {
  number_ = index + 1;
  label_->setText(QString::asprintf("%03d", number_));
  for (QObject* o : {static_cast<QObject*>(panel_), static_cast<QObject*>(shadow_),
                     static_cast<QObject*>(picture_), static_cast<QObject*>(label_)})
    platform::setTag(o, number_);
}

void SFrame::ShowAt(int left, int top) {
  panel_->move(left, top);
  panel_->show();
}

void SFrame::Select(bool on) {
  if (on == selected_) return;
  selected_ = on;
  shownSelected_ = on;
  const QPalette& app = QApplication::palette();
  setColour(panel_, QPalette::Window, on ? app.color(QPalette::Highlight) : QColor(Qt::white));
  setColour(label_, QPalette::WindowText, app.color(on ? QPalette::HighlightedText : QPalette::ButtonText));
  shadow_->setVisible(!on);
}

// ---- mouse ----------------------------------------------------------------------------

void SFrame::CellMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) {
  const int i = index();
  if (GridHost* host = album_.Host()) host->CellPressed(i);
  if (button != Qt::LeftButton && button != Qt::MiddleButton) return;  // a right click keeps the selection
  const int mode = modifiers & Qt::ControlModifier ? 3 : modifiers & Qt::ShiftModifier ? 1 : 0;
  album_.clickMode_ = mode;
  IFlames::PressedIndex = i;
  pressPos_ = pos;
  if (mode == 0) {
    if (!selected_) album_.SelectRange(i, i);
  } else if (mode == 1) {
    // With nothing selected the first selected index is 4095: items 0 to i are selected.
    if (album_.FirstSelected() > i) album_.SelectRange(i, album_.LastSelected());
    else album_.SelectRange(album_.FirstSelected(), i);
  } else {
    Select(!selected_);
  }
  album_.CountSelected();
  album_.buttonDown_ = true;
}

void SFrame::CellMouseMove(QPoint pos) {
  if (!album_.buttonDown_ || index() != IFlames::PressedIndex) return;
  if (pos.x() < 1 || pos.x() > kWidth || pos.y() < 1 || pos.y() > kHeight) return;
  // A press that only trembles is still a click: the drag starts after the usual distance.
  if ((pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
  if (GridHost* host = album_.Host()) host->StartDrag();
  album_.buttonDown_ = false;
}

void SFrame::CellMouseUp(Qt::MouseButton button, QPoint pos) {
  IFlames::PressedIndex = IFlames::kNotPressed;
  album_.buttonDown_ = false;
  if (button != Qt::LeftButton && button != Qt::MiddleButton) return;
  if (pos.x() < 0 || pos.x() > kWidth || pos.y() < 0 || pos.y() > kHeight) return;
  // A plain click on one member of a selection narrows it on release, so that pressing
  // and dragging keeps the whole selection for the drag.
  if (album_.ClickMode() == 0 && selected_) album_.SelectRange(index(), index());
}

void SFrame::CellDblClick() {
  IFlames::PressedIndex = IFlames::kNotPressed;
  album_.buttonDown_ = false;
  if (GridHost* host = album_.Host()) host->CellDoubleClicked();
}

void SFrame::CellContextMenu(QPoint globalPos) {
  if (GridHost* host = album_.Host()) host->CellContextMenu(index(), globalPos);
}

}  // namespace workspace
