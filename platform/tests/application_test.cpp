#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/scripted.h"

#include <QEvent>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// Each test makes its own application object, the one under test.
struct App {
  int argc = 1;
  char name[8] = "test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<Application> app;
  App() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<Application>(argc, argv);
  }
  // Runs the event loop until `done` holds; false when it never did.
  bool runUntil(const std::function<bool()>& done) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { if (done()) QCoreApplication::exit(0); });
    poll.start(1);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec() == 0;
  }
};

const QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class ThrowingWidget : public QWidget {
 public:
  bool event(QEvent* e) override {
    if (e->type() == kThrowEvent) throw std::runtime_error("widget event failed");
    return QWidget::event(e);
  }
};

}  // namespace

TEST(Application, AnExceptionEscapingAHandlerIsShownAndTheLoopGoesOn) {
  App a;
  ScriptedMessageBoxes boxes;
  ThrowingWidget widget;
  MessageReceiver receiver;
  receiver.onMessage(WM_USER + 5, [](WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("message failed"); });

  struct Case {
    const char* what;
    std::function<void()> raise;
    const char* text;
  } cases[] = {
      {"a widget's event", [&] { QCoreApplication::postEvent(&widget, new QEvent(kThrowEvent)); },
       "widget event failed"},
      {"a posted message", [&] { postMessage(&receiver, WM_USER + 5); }, "message failed"},
      {"a message sent from a slot",
       [&] { QTimer::singleShot(0, [&] { sendMessage(&receiver, WM_USER + 5); }); }, "message failed"},
      {"a slot", [] { QTimer::singleShot(0, [] { throw std::logic_error("slot failed"); }); }, "slot failed"},
      {"something that is no exception class", [] { QTimer::singleShot(0, [] { throw 42; }); },
       "An unknown error occurred."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    size_t before = boxes.shown().size();
    bool after = false;
    c.raise();
    QTimer::singleShot(0, [&] { QTimer::singleShot(0, [&] { after = true; }); });
    ASSERT_TRUE(a.runUntil([&] { return after && boxes.shown().size() > before; }));
    ASSERT_EQ(boxes.shown().size(), before + 1);
    const auto& box = boxes.shown().back();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, applicationTitle());
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_EQ(box.icon, MsgIcon::Stop);
  }
}

TEST(Application, AWorkerWhoseSentMessageFailsGoesOn) {
  App a;
  ScriptedMessageBoxes boxes;
  MessageReceiver receiver;
  receiver.onMessage(WM_WAIT_PROGRESS, [](WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("progress failed"); });
  std::atomic<bool> returned{false};
  LRESULT result = -1;
  std::thread worker([&] {
    result = sendMessage(&receiver, WM_WAIT_PROGRESS, 50);
    returned = true;
  });
  bool ok = a.runUntil([&] { return returned.load(); });
  worker.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "progress failed");
}

TEST(Application, AnExceptionOnAnotherThreadsLoopIsShownOnTheGuiThread) {
  App a;
  ScriptedMessageBoxes boxes;
  QThread thread;
  QObject onThread;
  onThread.moveToThread(&thread);
  thread.start();
  QMetaObject::invokeMethod(&onThread, [] { throw std::runtime_error("worker loop failed"); }, Qt::QueuedConnection);
  bool ok = a.runUntil([&] { return !boxes.shown().empty(); });
  thread.quit();
  thread.wait();
  ASSERT_TRUE(ok);
  EXPECT_EQ(boxes.shown()[0].text, "worker loop failed");
}

// A box that, while it is up, lets the loop deliver an event that fails again, as a
// handler that fails on every repaint would.
class RepeatingFailure : public MessageBoxes {
 public:
  std::vector<std::string> texts;
  MsgAnswer show(QWidget*, const std::string& text, const std::string&, MsgButtons, MsgIcon) override {
    texts.push_back(text);
    QTimer::singleShot(0, [] { throw std::runtime_error("again"); });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return MsgAnswer::Ok;
  }
};

TEST(Application, ExceptionsWhileTheBoxIsUpDoNotPileUpBoxes) {
  App a;
  RepeatingFailure boxes;
  MessageBoxes* previous = setMessageBoxes(&boxes);
  QTimer::singleShot(0, [] { throw std::runtime_error("first"); });
  bool after = false;
  QTimer::singleShot(5, [&] { after = true; });
  bool ok = a.runUntil([&] { return after; });
  setMessageBoxes(previous);
  ASSERT_TRUE(ok);
  EXPECT_EQ(boxes.texts, std::vector<std::string>({"first"}));
}

// The standard buttons' texts follow the language the program chose, by the low byte of its
// identifier; each choice replaces the one before.
TEST(Application, ToolkitTextsFollowTheChosenLanguage) {
  EXPECT_FALSE(useToolkitLanguage(17)) << "no application yet";
  App a;
  struct Case {
    int language;
    const char* yes;
    const char* cancel;
  };
  for (const Case& c : {Case{17, "はい(&Y)", "キャンセル"}, Case{12, "&Oui", "Annuler"}, Case{9, "&Yes", "Cancel"},
                        Case{0x0411, "はい(&Y)", "キャンセル"}, Case{0x040C, "&Oui", "Annuler"},
                        Case{7, "&Yes", "Cancel"}}) {
    SCOPED_TRACE(c.language);
    EXPECT_TRUE(useToolkitLanguage(c.language));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes").toStdString(), c.yes);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), c.cancel);
  }
}
