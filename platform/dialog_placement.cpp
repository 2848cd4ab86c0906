#include "dialog_placement.h"

#include <QApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <optional>

namespace platform {

namespace {

QMargins marginsOf(const QWidget* w) {
  const QRect f = w->frameGeometry(), g = w->geometry();
  return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

bool framed(const QWidget* w) { return !(w->windowFlags() & Qt::FramelessWindowHint); }

// The margins the window manager's frame adds around `w`: its own once it has been shown
// in a frame, else those of another framed window of the program that is shown (before its
// first showing a window's frame is not known yet).
QMargins frameMarginsOf(const QWidget* w) {
  if (!framed(w)) return {};
  if (QMargins m = marginsOf(w); !m.isNull()) return m;
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == w || !other->isVisible() || !framed(other)) continue;
    if (QMargins m = marginsOf(other); !m.isNull()) return m;
  }
  return {};
}

QRect insideScreen(QRect r, const QRect& screen) {
  if (r.right() > screen.right()) r.moveRight(screen.right());
  if (r.bottom() > screen.bottom()) r.moveBottom(screen.bottom());
  if (r.left() < screen.left()) r.moveLeft(screen.left());
  if (r.top() < screen.top()) r.moveTop(screen.top());
  return r;
}

}  // namespace

QRect placeClear(const QRect& proposed, const std::vector<QRect>& keepClear, const QRect& screen) {
  const QRect start = insideScreen(proposed, screen);
  auto overlapsAny = [&](const QRect& r) {
    return std::any_of(keepClear.begin(), keepClear.end(), [&](const QRect& k) { return k.intersects(r); });
  };
  if (!overlapsAny(start)) return start;
  // A few pixels of desktop between the two frames: the window manager may frame a window a
  // pixel or two apart from what was known when it was placed, and frames that touch still
  // read as one.
  constexpr int kGap = 4;
  std::optional<QRect> best;
  int bestDistance = 0;
  for (const QRect& k : keepClear) {
    QRect left = start, right = start, above = start, below = start;
    left.moveRight(k.left() - 1 - kGap);
    right.moveLeft(k.right() + 1 + kGap);
    above.moveBottom(k.top() - 1 - kGap);
    below.moveTop(k.bottom() + 1 + kGap);
    for (const QRect& c : {left, right, above, below}) {
      if (!screen.contains(c) || overlapsAny(c)) continue;
      const int distance = std::abs(c.left() - start.left()) + std::abs(c.top() - start.top());
      if (!best || distance < bestDistance) {
        best = c;
        bestDistance = distance;
      }
    }
  }
  return best.value_or(start);
}

std::vector<QWidget*> stayOnTopWindows(const QWidget* except) {
  std::vector<QWidget*> out;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = w->windowType();
    if (w == except || !w->isVisible() || w->isMinimized() || (type != Qt::Window && type != Qt::Dialog)) continue;
    if (w->windowFlags() & Qt::WindowStaysOnTopHint) out.push_back(w);
  }
  return out;
}

void placeAboveStayOnTop(QWidget* dialog) {
  if (!dialog->windowHandle()) dialog->winId();
  QWindow* window = dialog->windowHandle();
  const std::vector<QWidget*> onTop = stayOnTopWindows(dialog);
  if (onTop.empty()) {
    // Shown before above a window that is gone now: back to its owner.
    if (QWindow* t = window->transientParent(); t && !t->isVisible())
      window->setTransientParent(dialog->parentWidget() ? dialog->parentWidget()->window()->windowHandle() : nullptr);
    return;
  }
  // A transient is kept above the window it belongs to, in that window's layer.
  window->setTransientParent(onTop.front()->windowHandle());
  const QMargins margins = frameMarginsOf(dialog);
  const QRect client = dialog->geometry();
  const QRect frame = client.marginsAdded(margins);
  std::vector<QRect> keepClear;
  for (const QWidget* w : onTop) keepClear.push_back(w->frameGeometry());
  QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect placed = placeClear(frame, keepClear, screen->availableGeometry());
  // The client's place, so that the frame lands where it was planned.
  if (placed != frame)
    dialog->setGeometry(QRect(placed.topLeft() + QPoint(margins.left(), margins.top()), client.size()));
}

}  // namespace platform
