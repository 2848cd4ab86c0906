// Helpers of the tests that drive the program's windows.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

namespace adtest {

// Runs `act` once `window` is shown (a modal window: from inside its showing).
inline void whenShown(QWidget* window, std::function<void()> act) {
  auto* poll = new QTimer(window);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, act] {
    if (!window->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act();
  });
  poll->start();
}

}  // namespace adtest
