// The application object: an exception that escapes a handler (a widget's event,
// a posted or sent window message, a slot, a timer) is shown in an error box and the
// event loop goes on, instead of ending the program.
#pragma once

#include <QApplication>
#include <exception>

namespace platform {

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error box for an exception: its text, the application title, OK and
  // the stop icon. From another thread the box is shown on the GUI thread. An
  // exception raised while such a box is up is written to standard error instead,
  // so a handler that fails on every repaint cannot pile up boxes.
  static void showException(const std::exception* e);
};

// The toolkit's own texts (the standard buttons of message boxes, the file and colour
// dialogs) in the language of `languageId`, by its low byte as the program chooses its
// captions: 17 Japanese, 12 French, anything else English (the toolkit's own). The
// translations are the toolkit's, from its translations folder; a later call replaces
// what an earlier one loaded. False when that language's file could not be loaded, or
// there is no application object: the toolkit then speaks English.
bool useToolkitLanguage(int languageId);

}  // namespace platform
