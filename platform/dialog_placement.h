// Where a dialog opens while a window that stays above the others is shown (such as the
// camcorder panel). Such a window would cover a dialog opened under it, and a dialog
// centred on the screen or on its owner opens just where it stands. So a dialog opened
// while one is shown becomes its transient, which the window manager keeps above it, and
// is moved clear of it when the screen has room beside it, always fully on the screen.
#pragma once

#include <QRect>
#include <vector>

class QWidget;

namespace platform {

// The frame rectangle for a window proposed at `proposed`: moved fully inside `screen`
// (its top-left corner inside when it is larger), and then, when it overlaps a rectangle
// of `keepClear`, moved to the nearest place beside one of them (a few pixels apart) that overlaps none and
// lies inside the screen. Without such a place it stays where the first step put it.
QRect placeClear(const QRect& proposed, const std::vector<QRect>& keepClear, const QRect& screen);

// The shown top-level windows that stay on top, other than `except`.
std::vector<QWidget*> stayOnTopWindows(const QWidget* except);

// For a dialog being shown (from its show event, or just before showing it): when windows
// that stay on top are shown, it becomes the transient of the first and is placed by
// placeClear, its frame kept clear of theirs, on its screen's work area.
void placeAboveStayOnTop(QWidget* dialog);

}  // namespace platform
