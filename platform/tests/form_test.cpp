#include "platform/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui_frmtest.h"

using namespace platform;

namespace {

std::string name(QObject* o) { return o ? o->objectName().toStdString() : "(none)"; }

// The test form: its hooks and handlers write what happened to `log`.
class TfrmTest : public Form {
 public:
  explicit TfrmTest(QWidget* parent = nullptr) : Form(parent) {
    ui.setupUi(this);
    timer = new QTimer(this);
    timer->setObjectName("Timer1");
    timer->setSingleShot(true);
  }

  using Form::bind;
  using Form::bindHandlers;
  using Form::handler;

  Ui_frmTest ui;
  QTimer* timer;
  std::vector<std::string> log;
  bool allowClose = true;
  CloseAction closeAction = CloseAction::Hide;
  std::function<void()> onShow;

  void mnuNewClick(QObject* sender) { log.push_back("New:" + name(sender)); }
  void record(EventArgs& a) { log.push_back("Event:" + name(a.sender)); }

 protected:
  void FormCreate() override { log.push_back("Create"); }
  void FormShow() override {
    log.push_back("Show");
    if (onShow) onShow();
  }
  bool FormCloseQuery() override {
    log.push_back("CloseQuery");
    return allowClose;
  }
  void FormClose(CloseAction& action) override {
    log.push_back("Close");
    action = closeAction;
  }
  void FormHide() override { log.push_back("Hide"); }
};

using Log = std::vector<std::string>;

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
  QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(Form, LifecycleHooksRunOnceEachAndOnlyForTheProgramsOwnShowing) {
  std::unique_ptr<TfrmTest> f(createForm<TfrmTest>());
  EXPECT_EQ(f->log, Log({"Create"}));
  f->show();
  f->show();  // already shown: no second OnShow
  QShowEvent restored;  // the window system restoring a minimised window
  QSpontaneKeyEvent::setSpontaneous(&restored);
  qApp->notify(f.get(), &restored);  // sendEvent would clear the flag
  QHideEvent minimised;
  QSpontaneKeyEvent::setSpontaneous(&minimised);
  qApp->notify(f.get(), &minimised);
  EXPECT_EQ(f->log, Log({"Create", "Show"}));
  f->hide();
  f->show();
  f->create();  // runs once only
  EXPECT_EQ(f->log, Log({"Create", "Show", "Hide", "Show"}));

  // A form shown without createForm still gets its OnCreate before its first OnShow.
  TfrmTest plain;
  plain.show();
  EXPECT_EQ(plain.log, Log({"Create", "Show"}));
}

TEST(Form, CloseQueryAndCloseActionDecideWhatBecomesOfTheForm) {
  struct Case {
    const char* what;
    bool allow;
    CloseAction action;
    bool closed;
    bool visibleAfter;
    bool deletedAfter;
    Log log;
  } cases[] = {
      {"refused by the query", false, CloseAction::Hide, false, true, false, {"CloseQuery"}},
      {"refused by the action", true, CloseAction::None, false, true, false, {"CloseQuery", "Close"}},
      {"hidden", true, CloseAction::Hide, true, false, false, {"CloseQuery", "Close", "Hide"}},
      {"freed", true, CloseAction::Free, true, false, true, {"CloseQuery", "Close", "Hide"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* f = createForm<TfrmTest>();
    QPointer<TfrmTest> alive(f);
    f->show();
    f->log.clear();
    f->allowClose = c.allow;
    f->closeAction = c.action;
    EXPECT_EQ(f->closeForm(), c.closed);
    EXPECT_EQ(f->log, c.log);
    EXPECT_EQ(f->isVisible(), c.visibleAfter);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(alive.isNull(), c.deletedAfter);
    delete alive.data();
  }
}

TEST(Form, ShowModalEndsWithTheModalResult) {
  using Step = std::function<void(TfrmTest&)>;
  auto key = [](int k) { return [k](TfrmTest& f) { QTest::keyClick(&f, Qt::Key(k)); }; };
  struct Case {
    const char* what;
    std::vector<Step> steps;  // run one after another while the form is shown
    int result;
    int closeQueries;
  } cases[] = {
      {"OK button", {[](TfrmTest& f) { f.ui.btnOk->click(); }}, mrOk, 1},
      {"Cancel button", {[](TfrmTest& f) { f.ui.btnCancel->click(); }}, mrCancel, 1},
      {"Enter takes the default button", {key(Qt::Key_Return)}, mrOk, 1},
      {"Escape", {key(Qt::Key_Escape)}, mrCancel, 1},
      {"close box", {[](TfrmTest& f) { f.close(); }}, mrCancel, 1},
      {"closeForm", {[](TfrmTest& f) { f.closeForm(); }}, mrCancel, 1},
      {"result set by code", {[](TfrmTest& f) { f.setModalResult(mrYes); }}, mrYes, 1},
      {"hidden by code", {[](TfrmTest& f) { f.hide(); }}, mrCancel, 0},
      {"query refuses once",
       {[](TfrmTest& f) { f.allowClose = false; f.ui.btnOk->click(); },
        [](TfrmTest& f) {
          EXPECT_TRUE(f.isVisible());
          EXPECT_EQ(f.modalResult(), mrNone);
          f.allowClose = true;
          f.ui.btnOk->click();
        }},
       mrOk, 2},
      {"handler takes the result back",
       {[](TfrmTest& f) {
          f.bind("btnOk", Event::Click, [&f](EventArgs&) { f.setModalResult(mrNone); });
          f.ui.btnOk->click();
        },
        [](TfrmTest& f) {
          EXPECT_TRUE(f.isVisible());
          f.ui.btnCancel->click();
        }},
       mrCancel, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto f = std::unique_ptr<TfrmTest>(createForm<TfrmTest>());
    size_t next = 0;
    QTimer stepper;
    QObject::connect(&stepper, &QTimer::timeout, [&] {
      if (next < c.steps.size()) c.steps[next++](*f);
    });
    stepper.start(0);
    QTimer::singleShot(10000, f.get(), [&] { ADD_FAILURE() << "still shown"; f->hide(); });
    int result = f->showModal();
    stepper.stop();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(next, c.steps.size());
    EXPECT_EQ(std::count(f->log.begin(), f->log.end(), "CloseQuery"), c.closeQueries);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(f->isShownModally());
    EXPECT_EQ(f->windowModality(), Qt::NonModal);
  }
}

TEST(Form, ShowModalWithAResultFromOnShowReturnsAtOnceAndAShownFormIsRefused) {
  TfrmTest f;
  f.onShow = [&] { f.setModalResult(mrNo); };
  QTimer::singleShot(10000, &f, [&] { ADD_FAILURE() << "still shown"; f.hide(); });
  EXPECT_EQ(f.showModal(), mrNo);
  f.onShow = nullptr;
  f.show();
  EXPECT_THROW(f.showModal(), std::logic_error);
}

TEST(Form, HandlerTableBindsHandlersToComponentsByNameAndEvent) {
  TfrmTest f;
  auto rec = [&f](const char* tag) {
    return [&f, tag](EventArgs& a) {
      std::string s = std::string(tag) + ":" + name(a.sender);
      if (a.key) s += ":key" + std::to_string(a.key);
      if (a.button != Qt::NoButton) s += ":" + std::to_string(a.pos.x()) + "," + std::to_string(a.pos.y());
      f.log.push_back(s);
      if (a.key == Qt::Key_Down) a.key = 0;  // swallowed
    };
  };
  f.bindHandlers({
      {"mnuNew", Event::Click, f.handler(&TfrmTest::mnuNewClick)},
      {"btnNew", Event::Click, f.handler(&TfrmTest::mnuNewClick)},  // one handler, two components
      {"cbAsp", Event::Click, rec("Click")},
      {"rbOrg", Event::Click, rec("Click")},
      {"rbGen", Event::Click, rec("Click")},
      {"cbSize", Event::Change, rec("Change")},
      {"cbSize", Event::KeyDown, rec("Key")},
      {"csTime", Event::Change, rec("Change")},
      {"tbJpeg", Event::Change, f.handler(&TfrmTest::record)},
      {"pnlIco", Event::Click, rec("Click")},
      {"pnlIco", Event::MouseDown, rec("Down")},
      {"pnlIco", Event::MouseMove, rec("Move")},
      {"pnlIco", Event::MouseUp, rec("Up")},
      {"lblInfo", Event::DblClick, rec("Dbl")},
      {"mnuFile", Event::Popup, rec("Popup")},
      {"Timer1", Event::Timer, rec("Timer")},
  });
  f.show();

  struct Case {
    const char* what;
    std::function<void()> act;
    Log expect;
  } cases[] = {
      {"menu item", [&] { f.ui.mnuNew->trigger(); }, {"New:mnuNew"}},
      {"button sharing the handler", [&] { f.ui.btnNew->click(); }, {"New:btnNew"}},
      {"check box set from code", [&] { f.ui.cbAsp->setChecked(true); }, {"Click:cbAsp"}},
      {"check box set to its state", [&] { f.ui.cbAsp->setChecked(true); }, {}},
      {"check box cleared", [&] { f.ui.cbAsp->setChecked(false); }, {"Click:cbAsp"}},
      {"radio button checked (the other one is not clicked)", [&] { f.ui.rbGen->setChecked(true); }, {"Click:rbGen"}},
      {"combo box item", [&] { f.ui.cbSize->setCurrentIndex(1); }, {"Change:cbSize"}},
      {"combo box same item", [&] { f.ui.cbSize->setCurrentIndex(1); }, {}},
      {"spin box", [&] { f.ui.csTime->setValue(5); }, {"Change:csTime"}},
      {"slider", [&] { f.ui.tbJpeg->setValue(40); }, {"Event:tbJpeg"}},
      {"key taken by the handler",
       [&] {
         QTest::keyClick(f.ui.cbSize, Qt::Key_Up);  // reaches the combo box: item 0
         QTest::keyClick(f.ui.cbSize, Qt::Key_Down);  // swallowed: stays at item 0
       },
       {"Key:cbSize:key" + std::to_string(Qt::Key_Up), "Change:cbSize", "Key:cbSize:key" + std::to_string(Qt::Key_Down)}},
      {"click on a panel",
       [&] {
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonPress, {5, 6});
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonRelease, {7, 8});
       },
       {"Down:pnlIco:5,6", "Click:pnlIco:7,8", "Up:pnlIco:7,8"}},
      {"press inside, release outside: no click",
       [&] {
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonPress, {5, 6});
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonRelease, {-3, 6});
       },
       {"Down:pnlIco:5,6", "Up:pnlIco:-3,6"}},
      {"right button: no click",
       [&] {
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonPress, {5, 6}, Qt::RightButton);
         sendMouse(f.ui.pnlIco, QEvent::MouseButtonRelease, {5, 6}, Qt::RightButton);
       },
       {"Down:pnlIco:5,6", "Up:pnlIco:5,6"}},
      {"move without a button", [&] { sendMouse(f.ui.pnlIco, QEvent::MouseMove, {9, 4}); }, {"Move:pnlIco"}},
      {"double click", [&] { sendMouse(f.ui.lblInfo, QEvent::MouseButtonDblClick, {1, 2}); }, {"Dbl:lblInfo:1,2"}},
      {"menu about to show",
       [&] {
         f.ui.mnuFile->popup(f.mapToGlobal(QPoint(0, 0)));
         f.ui.mnuFile->hide();
       },
       {"Popup:mnuFile"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    f.log.clear();
    c.act();
    EXPECT_EQ(f.log, c.expect);
  }
  EXPECT_EQ(f.ui.cbSize->currentIndex(), 0);
  EXPECT_TRUE(f.ui.mnuNew->isEnabled());

  f.log.clear();
  f.timer->start(0);
  QTRY_COMPARE_WITH_TIMEOUT(f.log.size(), size_t(1), 10000);
  EXPECT_EQ(f.log, Log({"Timer:Timer1"}));
}

TEST(Form, AComponentsMouseEventsAreItsOwn) {
  // A picture with handlers lies over part of a panel with handlers, and a picture without
  // handlers over another part.
  TfrmTest f;
  auto* picture = new QLabel(f.ui.pnlIco);
  picture->setObjectName("imgTab");
  picture->setGeometry(0, 0, 50, 20);
  auto* plain = new QLabel(f.ui.pnlIco);
  plain->setGeometry(50, 0, 50, 20);
  for (const char* c : {"pnlIco", "imgTab"}) {
    for (Event e : {Event::MouseDown, Event::Click, Event::MouseUp}) {
      f.bind(c, e, [&f, e](EventArgs& a) {
        f.log.push_back(std::string(e == Event::MouseDown ? "Down:" : e == Event::Click ? "Click:" : "Up:") +
                        name(a.sender));
      });
    }
  }
  f.show();
  struct Case {
    QWidget* at;
    Log expect;
  } cases[] = {
      {picture, {"Down:imgTab", "Click:imgTab", "Up:imgTab"}},
      {plain, {"Down:pnlIco", "Click:pnlIco", "Up:pnlIco"}},
      {f.ui.pnlIco, {"Down:pnlIco", "Click:pnlIco", "Up:pnlIco"}},
  };
  for (const Case& c : cases) {
    f.log.clear();
    QTest::mouseClick(c.at, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(f.log, c.expect) << name(c.at);
  }
}

TEST(Form, PaintHandlerPaintsTheComponent) {
  TfrmTest f;
  f.bind("pbImg", Event::Paint, [](EventArgs& a) {
    auto* w = static_cast<QWidget*>(a.sender);
    QPainter p(w);
    p.fillRect(w->rect(), Qt::red);
  });
  f.show();
  QImage img = f.ui.pbImg->grab().toImage();
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(Qt::red));
}

TEST(Form, BindingMistakesAreReportedWhenTheFormIsBuilt) {
  struct Case {
    const char* component;
    Event event;
  } cases[] = {
      {"noSuchButton", Event::Click}, {"lblInfo", Event::Change}, {"mnuNew", Event::Popup},
      {"tbJpeg", Event::Timer},       {"mnuNew", Event::MouseDown}, {"btnOk", Event::Click},
  };
  for (const Case& c : cases) {
    TfrmTest f;
    f.bind("btnOk", Event::Click, [](EventArgs&) {});  // the last case binds it twice
    try {
      f.bind(c.component, c.event, [](EventArgs&) {});
      ADD_FAILURE() << c.component << " was bound";
    } catch (const std::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.component), std::string::npos) << e.what();
    }
  }
}

TEST(Form, TagsAndComponentsByName) {
  TfrmTest f;
  EXPECT_EQ(tagOf(f.ui.lblInfo), 3);
  EXPECT_EQ(tagOf(f.ui.mnuOpen), 5);
  EXPECT_EQ(tagOf(f.ui.rbGen), 2);
  EXPECT_EQ(tagOf(f.ui.btnOk), 0);
  EXPECT_EQ(tagOf(nullptr), 0);
  setTag(f.ui.btnOk, -1);
  EXPECT_EQ(tagOf(f.component("btnOk")), -1);

  EXPECT_EQ(f.component<QPushButton>("btnOk"), f.ui.btnOk);
  EXPECT_EQ(f.component<QLabel>("btnOk"), nullptr);
  EXPECT_EQ(f.component<QAction>("mnuOpen"), f.ui.mnuOpen);
  EXPECT_EQ(f.component<QMenu>("mnuFile"), f.ui.mnuFile);
  EXPECT_EQ(f.component("frmTest"), &f);
  EXPECT_EQ(f.component("Timer1"), f.timer);
  EXPECT_EQ(f.component(""), nullptr);
  EXPECT_EQ(f.component("nothing"), nullptr);

  std::vector<std::string> names;
  for (QObject* o : f.components()) names.push_back(name(o));
  auto at = [&](const char* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  for (const char* n : {"mnuNew", "mnuOpen", "MainMenu1", "mnuFile", "lblInfo", "btnOk", "btnCancel", "Timer1"})
    EXPECT_LT(at(n), static_cast<long>(names.size())) << n;
  EXPECT_LT(at("MainMenu1"), at("mnuFile"));
  EXPECT_LT(at("lblInfo"), at("btnOk"));
  EXPECT_LT(at("btnOk"), at("btnCancel"));
  for (const auto& n : names) EXPECT_FALSE(n.empty() || n.rfind("qt_", 0) == 0) << n;
}

TEST(Form, StayOnTopChangesNoShownState) {
  TfrmTest f;
  f.show();
  f.log.clear();
  f.setStayOnTop(true);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.isVisible());
  f.setStayOnTop(false);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.log.empty()) << f.log.front();

  TfrmTest hidden;
  hidden.setStayOnTop(true);
  EXPECT_FALSE(hidden.isVisible());
  EXPECT_TRUE(hidden.stayOnTop());
}

TEST(Form, BorderStyles) {
  TfrmTest f;
  f.setBorderStyle(BorderStyle::Dialog);
  f.onShow = [&] { f.resize(500, 600); };  // OnShow may still size a fixed form
  f.show();
  EXPECT_FALSE(f.isSizeable());
  EXPECT_EQ(f.size(), QSize(500, 600));
  EXPECT_EQ(f.minimumSize(), f.size());
  EXPECT_EQ(f.maximumSize(), f.size());
  f.hide();
  f.onShow = [&] { f.resize(510, 610); };
  f.show();
  EXPECT_EQ(f.maximumSize(), QSize(510, 610));

  f.hide();
  f.setBorderStyle(BorderStyle::Sizeable);
  f.show();
  EXPECT_TRUE(f.isSizeable());
  EXPECT_EQ(f.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

  f.setBorderStyle(BorderStyle::None);
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  f.setBorderStyle(BorderStyle::Dialog);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowCloseButtonHint);
  f.setBorderIcons(false);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowSystemMenuHint);
}

TEST(Form, CentredOnTheScreenOrTheOwner) {
  TfrmTest owner;
  owner.setGeometry(100, 80, 400, 300);
  owner.show();
  TfrmTest f(&owner);
  f.resize(200, 100);
  f.setFormPosition(FormPosition::OwnerCenter);
  f.show();
  EXPECT_EQ(f.frameGeometry().center(), owner.frameGeometry().center());
  f.hide();
  f.setFormPosition(FormPosition::ScreenCenter);
  f.show();
  QRect screen = f.screen()->availableGeometry();
  EXPECT_LE((f.frameGeometry().center() - screen.center()).manhattanLength(), 1);
}

TEST(Form, WindowMessagesGoToTheFormsMessageMap) {
  TfrmTest f;
  std::vector<WPARAM> seen;
  f.onMessage(WM_USER + 1, [&](WPARAM w, LPARAM) { seen.push_back(w); return 0; });
  postMessage(&f, WM_USER + 1, 7);
  EXPECT_EQ(sendMessage(&f, WM_USER + 1, 8), 0);
  QApplication::processEvents();
  EXPECT_EQ(seen, std::vector<WPARAM>({8, 7}));
}

TEST(Form, ClosingTheMainFormEndsTheEventLoop) {
  TfrmTest f;
  Form::setMainForm(&f);
  f.show();
  f.allowClose = false;
  QTimer::singleShot(0, &f, [&] {
    f.closeForm();  // refused: the program goes on
    QTimer::singleShot(0, &f, [&] {
      EXPECT_TRUE(f.isVisible());
      f.allowClose = true;
      f.closeForm();
    });
  });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "CloseQuery"), 2);
  Form::setMainForm(nullptr);
  EXPECT_EQ(Form::mainForm(), nullptr);
}

// A disabled form takes no close from the window system (its close box, Alt+F4 and the
// like): it is not even asked and stays shown. Enabled again it closes, and the program
// may close it while it is disabled.
TEST(Form, DisabledFormTakesNoCloseFromTheWindowSystem) {
  TfrmTest f;
  f.show();
  auto closeByWindowSystem = [&] {
    QCloseEvent request;  // what the window system's request becomes on the form's window
    QApplication::sendEvent(f.windowHandle(), &request);
  };
  f.setEnabled(false);
  closeByWindowSystem();
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "CloseQuery"), 0);
  f.setEnabled(true);
  closeByWindowSystem();
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "CloseQuery"), 1);

  f.show();
  f.setEnabled(false);
  EXPECT_TRUE(f.closeForm());
  EXPECT_FALSE(f.isVisible());
}

// The main form's close ends the program however it comes: while another window refuses
// to close (it stays shown), and from inside a piece of work that handles events in a
// loop of its own, or in an event loop of its own, which then returns.
TEST(Form, ClosingTheMainFormEndsTheProgramWhateverRunsThen) {
  struct Refusing : QWidget {
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
  };
  const std::function<void()> works[] = {
      [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 500) QCoreApplication::processEvents();
      },
      [] {
        QEventLoop loop;
        QTimer::singleShot(500, &loop, [&] { loop.exit(); });
        loop.exec();
      },
  };
  for (const auto& work : works) {
    TfrmTest f;
    Form::setMainForm(&f);
    f.show();
    Refusing refusing;
    refusing.show();
    bool workReturned = false;
    QTimer::singleShot(0, &f, [&] {
      QTimer::singleShot(0, &f, [&] { f.closeForm(); });
      work();
      workReturned = true;
    });
    QTimer lost;  // the close did not end the program
    lost.setSingleShot(true);
    QObject::connect(&lost, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    lost.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(workReturned);
    EXPECT_FALSE(f.isVisible());
    Form::setMainForm(nullptr);
  }
}
