#include "application.h"

#include <QMetaObject>
#include <QWidget>
#include <cstdio>
#include <string>

#include "dialogs.h"
#include "messages.h"

namespace platform {

namespace {
int g_boxDepth = 0;

void showExceptionText(const std::string& text) {
  if (g_boxDepth > 0) {
    std::fprintf(stderr, "albumdesk: %s\n", text.c_str());
    return;
  }
  ++g_boxDepth;
  try {
    messageBox(QApplication::activeWindow(), text, MsgButtons::Ok, MsgIcon::Stop);
  } catch (...) {
    std::fprintf(stderr, "albumdesk: %s\n", text.c_str());
  }
  --g_boxDepth;
}
}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    showException(&e);
  } catch (...) {
    showException(nullptr);
  }
  return false;
}

void Application::showException(const std::exception* e) {
  std::string text = e ? e->what() : "An unknown error occurred.";
  if (isGuiThread()) {
    showExceptionText(text);
    return;
  }
  if (auto* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [text] { showExceptionText(text); }, Qt::QueuedConnection);
  else
    std::fprintf(stderr, "albumdesk: %s\n", text.c_str());
}

}  // namespace platform
