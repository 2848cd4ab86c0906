#include "messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace platform {

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  MessageEvent(uint32_t msg, WPARAM w, LPARAM l) : QEvent(kMessageEvent), msg(msg), w(w), l(l) {}
  uint32_t msg;
  WPARAM w;
  LPARAM l;
};

class Dispatcher : public QObject {
 public:
  explicit Dispatcher(MessageReceiver* r) : receiver(r) {}
  bool event(QEvent* e) override {
    if (e->type() == kMessageEvent) {
      auto* m = static_cast<MessageEvent*>(e);
      receiver->dispatchMessage(m->msg, m->w, m->l);
      return true;
    }
    return QObject::event(e);
  }
  MessageReceiver* receiver;
};

}  // namespace

MessageReceiver::MessageReceiver() : dispatcher_(std::make_unique<Dispatcher>(this)) {}

MessageReceiver::~MessageReceiver() = default;

void MessageReceiver::onMessage(uint32_t msg, Handler handler) { map_[msg] = std::move(handler); }

LRESULT MessageReceiver::dispatchMessage(uint32_t msg, WPARAM w, LPARAM l) {
  auto it = map_.find(msg);
  return it == map_.end() ? 0 : it->second(w, l);
}

QObject* MessageReceiver::messageObject() const { return dispatcher_.get(); }

bool postMessage(MessageReceiver* receiver, uint32_t msg, WPARAM w, LPARAM l) {
  if (!receiver) return false;
  QCoreApplication::postEvent(receiver->messageObject(), new MessageEvent(msg, w, l));
  return true;
}

LRESULT sendMessage(MessageReceiver* receiver, uint32_t msg, WPARAM w, LPARAM l) {
  if (!receiver) return 0;
  QObject* target = receiver->messageObject();
  if (QThread::currentThread() == target->thread()) return receiver->dispatchMessage(msg, w, l);
  LRESULT result = 0;
  QMetaObject::invokeMethod(
      target, [&] { result = receiver->dispatchMessage(msg, w, l); }, Qt::BlockingQueuedConnection);
  return result;
}

bool isGuiThread() {
  auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace platform
