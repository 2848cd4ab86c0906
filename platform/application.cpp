#include "application.h"

#include <QLibraryInfo>
#include <QMetaObject>
#include <QPointer>
#include <QTranslator>
#include <QWidget>
#include <cstdio>
#include <cstring>
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

// The toolkit's translations. Its file dialog names a folder's type under the icon
// provider's name, where the shipped translations still keep that text under the file
// dialog's: a text not found there is looked up under the file dialog.
class ToolkitTexts final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
    QString text = QTranslator::translate(context, source, disambiguation, n);
    if (text.isEmpty() && context && std::strcmp(context, "QAbstractFileIconProvider") == 0)
      text = QTranslator::translate("QFileDialog", source, disambiguation, n);
    return text;
  }
};

// The loaded toolkit translation; owned by the application object.
QPointer<QTranslator> g_toolkitTexts;
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

bool useToolkitLanguage(int languageId) {
  auto* app = QCoreApplication::instance();
  if (!app) return false;
  if (g_toolkitTexts) {
    QCoreApplication::removeTranslator(g_toolkitTexts);
    delete g_toolkitTexts;
  }
  const int low = languageId & 0xFF;
  const char* code = low == 17 ? "ja" : low == 12 ? "fr" : nullptr;
  if (!code) return true;
  // The base module's file holds every text of the widgets the program uses.
  auto* texts = new ToolkitTexts(app);
  if (!texts->load(QStringLiteral("qtbase_%1").arg(QLatin1String(code)),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(texts)) {
    delete texts;
    return false;
  }
  g_toolkitTexts = texts;
  return true;
}

}  // namespace platform
