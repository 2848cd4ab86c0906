#include "program_identity.h"

#include <QGuiApplication>
#include <QIcon>
#include <QSize>
#include <QString>

// The icons are a resource of this library; a static library's resources are registered
// by hand.
static void initIcons() { Q_INIT_RESOURCE(program_icons); }

namespace albumdesk {

namespace {
QIcon programIcon() {
  initIcons();
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/albumdesk/albumdesk-%1.png").arg(size), QSize(size, size));
  return icon;
}
}  // namespace

void SetProgramIdentity() {
  QGuiApplication::setWindowIcon(programIcon());
  QGuiApplication::setDesktopFileName("albumdesk");
}

}  // namespace albumdesk
