// Helpers of the tests that drive the program's windows.
#pragma once

#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>

namespace adtest {

// Runs `act` once `window` is shown (a modal window: from inside its showing): its showing
// has ended and its window is on the screen, not just about to be.
inline void whenShown(QWidget* window, std::function<void()> act) {
  auto* poll = new QTimer(window);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, act] {
    if (!window->isVisible() || !window->windowHandle() || !window->windowHandle()->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act();
  });
  poll->start();
}

}  // namespace adtest
