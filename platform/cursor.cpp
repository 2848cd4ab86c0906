#include "cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

namespace {
bool g_shown = false;
}

void showHourglass() {
  if (g_shown) return;
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  g_shown = true;
}

void restoreCursor() {
  if (!g_shown) return;
  g_shown = false;
  // Ours is the top one unless something stacked another cursor on it since; that
  // one is not ours to remove.
  const QCursor* top = QGuiApplication::overrideCursor();
  if (top && top->shape() == Qt::WaitCursor) QGuiApplication::restoreOverrideCursor();
}

bool hourglassShown() { return g_shown; }

}  // namespace platform
