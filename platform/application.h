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

}  // namespace platform
