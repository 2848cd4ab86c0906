#include "form_position.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "platform/form.h"
#include "profile.h"

namespace workspace {

namespace {

bool sizeable(const QWidget* form) {
  auto* f = qobject_cast<const platform::Form*>(form);
  return f ? f->isSizeable() : true;
}

bool onSomeScreen(QPoint corner) {
  for (QScreen* s : QGuiApplication::screens()) {
    if (s->availableGeometry().contains(corner)) return true;
  }
  return false;
}

// Puts the window's frame corner at `corner`, the corner that SaveFormPosition stores.
// Until the window manager has framed a window, the system takes a point given to a
// window it has made already for the corner of the client area; the window's handle is
// told that the point is the frame's.
void placeFrame(QWidget* form, QPoint corner) {
  form->move(corner);
  if (QWindow* handle = form->isWindow() ? form->windowHandle() : nullptr) handle->setFramePosition(corner);
}

// A stored size no larger than the work area of the screen the window goes to, its frame
// counted (once the window manager has framed the window): a window larger than the
// screen has its title bar out of reach, and its pixels take memory for nothing.
QSize fittedSize(const QWidget* form, QSize size, QPoint corner) {
  QScreen* screen = QGuiApplication::screenAt(corner);
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return size;
  const QSize frame = form->frameGeometry().size() - form->geometry().size();
  const QSize room = screen->availableGeometry().size() - frame;
  return QSize(std::clamp(size.width(), 1, std::max(1, room.width())),
               std::clamp(size.height(), 1, std::max(1, room.height())));
}

}  // namespace

bool LoadFormPosition(QWidget* form, const CProfile& profile) {
  const std::string section = form->objectName().toStdString();
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
  const QSize screenSize = screen ? screen->geometry().size() : area.size();

  int32_t top = 0, left = 0, width = 0, height = 0;
  bool stored = profile.ReadInt(section, "Top", top) && profile.ReadInt(section, "Left", left);
  if (stored && sizeable(form)) {
    stored = profile.ReadInt(section, "Width", width) && profile.ReadInt(section, "Height", height) &&
             width >= 1 && height >= 1;
  }
  if (stored) {
    QPoint corner(left, top);
    if (!onSomeScreen(corner)) {
      // A corner above or left of the work area comes onto it; one beyond it is lost.
      corner.setY(std::max(top, area.top()));
      corner.setX(std::max(left, area.left()));
      stored = corner.y() <= area.bottom() && corner.x() <= area.right() && onSomeScreen(corner);
    }
    if (stored) {
      if (sizeable(form)) form->resize(fittedSize(form, QSize(width, height), corner));
      placeFrame(form, corner);
      return true;
    }
  }
  if (sizeable(form)) form->resize(screenSize.width() / 2, screenSize.height() / 2);
  const QSize frame = form->frameGeometry().size();
  placeFrame(form, QPoint((screenSize.width() - frame.width()) / 2, (screenSize.height() - frame.height()) / 2));
  return false;
}

void ResizeForm(QWidget* form, QSize size) {
  const QPoint corner = form->pos();
  form->resize(size);
  placeFrame(form, corner);
}

void SaveFormPosition(QWidget* form, CProfile& profile) {
  const std::string section = form->objectName().toStdString();
  QPoint corner = form->pos();
  QSize size = form->size();
  if (form->isMaximized() || form->isMinimized() || form->isFullScreen()) {
    // The frame's offset from the client area, carried over to the restored place.
    const QPoint frameOffset = form->geometry().topLeft() - form->frameGeometry().topLeft();
    corner = form->normalGeometry().topLeft() - frameOffset;
    size = form->normalGeometry().size();
  }
  profile.WriteInt(section, "Top", corner.y());
  profile.WriteInt(section, "Left", corner.x());
  profile.WriteInt(section, "Height", size.height());
  profile.WriteInt(section, "Width", size.width());
  QCoreApplication::processEvents();
}

}  // namespace workspace
