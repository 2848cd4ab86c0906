#include "form.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <stdexcept>

#include "dialog_placement.h"

namespace platform {

namespace {
Form* g_mainForm = nullptr;

const char* eventName(Event e) {
  switch (e) {
    case Event::Click: return "Click";
    case Event::DblClick: return "DblClick";
    case Event::Change: return "Change";
    case Event::KeyDown: return "KeyDown";
    case Event::MouseDown: return "MouseDown";
    case Event::MouseMove: return "MouseMove";
    case Event::MouseUp: return "MouseUp";
    case Event::Popup: return "Popup";
    case Event::Timer: return "Timer";
    case Event::Paint: return "Paint";
  }
  return "?";
}

int modalResultOf(const QObject* button) { return button->property("ModalResult").toInt(); }

// The widget that receives a component's mouse and paint events: the viewport of a
// scrolling widget, the widget itself otherwise.
QWidget* eventWidget(QWidget* w) {
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) return area->viewport();
  return w;
}
}  // namespace

int tagOf(const QObject* component) { return component ? component->property("Tag").toInt() : 0; }

void setTag(QObject* component, int tag) {
  if (component) component->setProperty("Tag", tag);
}

Form::Form(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setSizeGripEnabled(false);
  applyWindowFlags();
}

Form::~Form() {
  if (g_mainForm == this) g_mainForm = nullptr;
  if (modalLoop_) modalLoop_->exit();
}

void Form::setMainForm(Form* form) {
  g_mainForm = form;
  // The program ends with its main form, not with its last visible window.
  if (form) QApplication::setQuitOnLastWindowClosed(false);
}

Form* Form::mainForm() { return g_mainForm; }

void Form::create() {
  if (created_) return;
  created_ = true;
  // Buttons that close a modal form with their result; a bound Click handler of such a
  // button sets the result itself, before it runs.
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
    if (modalResultOf(b) == 0 || handlers_.count({b, Event::Click})) continue;
    connect(b, &QAbstractButton::clicked, this, [this, b] { setModalResult(modalResultOf(b)); });
  }
  FormCreate();
}

// ---- showing and closing ------------------------------------------------------------

int Form::showModal() {
  if (isVisible() || modalLoop_) throw std::logic_error("a shown form cannot be shown modally");
  create();
  QEventLoop loop;
  QPointer<Form> self(this);
  struct EndModal {  // however the showing ends
    QPointer<Form>& form;
    ~EndModal() {
      if (!form) return;
      form->modalLoop_ = nullptr;
      form->setWindowModality(Qt::NonModal);
    }
  } end{self};
  modalLoop_ = &loop;
  modalResult_ = mrNone;
  setWindowModality(Qt::ApplicationModal);
  show();
  while (self && isVisible()) {
    // A result set while showing (in FormShow) is seen without entering the loop.
    if (modalResult_ == mrNone) loop.exec(QEventLoop::DialogExec);
    if (!self || !isVisible()) break;
    if (modalResult_ == mrNone) continue;
    closingModal_ = true;
    bool closed = QWidget::close();
    closingModal_ = false;
    if (!closed && self) modalResult_ = mrNone;
  }
  if (!self) return mrCancel;
  if (modalResult_ == mrNone) modalResult_ = mrCancel;
  return modalResult_;
}

void Form::setModalResult(int result) {
  modalResult_ = result;
  if (result != mrNone && modalLoop_) modalLoop_->exit();
}

bool Form::closeForm() {
  if (modalLoop_) {
    setModalResult(mrCancel);
    return false;
  }
  return QWidget::close();
}

void Form::accept() { done(mrOk); }
void Form::reject() { done(mrCancel); }

void Form::done(int result) {
  // Escape reaches here too: it ends a modal showing; other forms ignore it.
  if (modalLoop_) setModalResult(result);
}

void Form::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (e->spontaneous() || quiet_) return;
  create();
  unlockSize();
  FormShow();
  lockSize();
  placeOnShow();
  // A dialog opens above a window that stays on top (and clear of it), never under it.
  if (!stayOnTop_ && (border_ == BorderStyle::Dialog || modalLoop_)) placeAboveStayOnTop(this);
  keepPlaceWhileFramed();
}

// A window moved while it is not mapped asks the window manager to move it, and the X
// server tells the program of the move; the program then asks the X server where the window
// lies. When it asks while the window manager is taking the window in (the window already
// inside a frame that is not yet at its place), it is told the frame's passing corner, often
// (0,0). A framed window is told its place again once framed, as its client area moves by
// the frame's border; a window without a frame keeps the very place it asked for, so nothing
// more comes: the program would take the passing corner for the window's place, save it, and
// put the window there at its next move. So a window without a frame holds the place it was
// shown at until it is drawn there (or hidden first), and asks for it again if the program
// was told another one.
void Form::keepPlaceWhileFramed() {
  placeToKeep_.reset();
  QWindow* handle = windowHandle();
  if (!(windowFlags() & Qt::FramelessWindowHint) || !handle) return;
  placeToKeep_ = pos();
  handle->installEventFilter(this);
}

void Form::settlePlace() {
  if (!placeToKeep_) return;
  const QPoint place = *placeToKeep_;
  placeToKeep_.reset();
  QWindow* handle = windowHandle();
  if (handle) handle->removeEventFilter(this);
  if (pos() != place) {
    move(place);
  } else if (handle && handle->position() != place) {
    handle->setPosition(place);
  }
}

void Form::hideEvent(QHideEvent* e) {
  QDialog::hideEvent(e);
  if (e->spontaneous() || quiet_) return;
  settlePlace();
  FormHide();
  if (modalLoop_) modalLoop_->exit();
}

void Form::closeEvent(QCloseEvent* e) {
  if (e->spontaneous() && !isEnabled()) {
    // A disabled window takes no input, and no close from the window system either (its
    // close box, Alt+F4, a task bar's close): whatever disabled it is still at work.
    e->ignore();
    return;
  }
  if (modalLoop_ && !closingModal_) {
    // The close box or close() on a modal form: end the showing as cancelled.
    e->ignore();
    setModalResult(mrCancel);
    return;
  }
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  CloseAction action = CloseAction::Hide;
  FormClose(action);
  if (action == CloseAction::None) {
    e->ignore();
    return;
  }
  e->accept();
  if (action == CloseAction::Free) deleteLater();
  if (g_mainForm == this) endEventLoops();
}

void Form::endEventLoops() {
  // Quitting closes the other windows first, and a window that refuses to close keeps
  // quit() from ending anything. The program ends with its main form all the same: every
  // event loop is ended, and a piece of work that handles events in a loop of its own
  // returns to a loop that has ended.
  QCoreApplication::quit();
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

// ---- window style -------------------------------------------------------------------

void Form::applyWindowFlags() {
  Qt::WindowFlags f;
  switch (border_) {
    case BorderStyle::Sizeable:
      f = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
          Qt::WindowCloseButtonHint;
      break;
    case BorderStyle::Dialog:
      f = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      break;
    case BorderStyle::None:
      f = Qt::Window | Qt::FramelessWindowHint;
      break;
  }
  f |= Qt::CustomizeWindowHint;
  if (!borderIcons_) f &= ~(Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
  if (stayOnTop_) f |= Qt::WindowStaysOnTopHint;
  if (f == windowFlags()) return;
  // Changing the flags of a shown window hides it; it is shown again at once, and
  // neither step counts as a hide or a show of the form.
  bool shown = isVisible();
  quiet_ = true;
  setWindowFlags(f);
  if (shown) show();
  quiet_ = false;
}

void Form::setStayOnTop(bool on) {
  stayOnTop_ = on;
  applyWindowFlags();
}

void Form::setBorderStyle(BorderStyle style) {
  border_ = style;
  unlockSize();
  applyWindowFlags();
}

void Form::setBorderIcons(bool shown) {
  borderIcons_ = shown;
  applyWindowFlags();
}

// A form that the user cannot size keeps the size it has when shown; its FormShow may
// still change that size.
void Form::unlockSize() {
  if (!sizeLocked_) return;
  sizeLocked_ = false;
  setMinimumSize(freeMin_);
  setMaximumSize(freeMax_);
}

void Form::lockSize() {
  if (isSizeable()) return;
  if (layout()) layout()->activate();
  freeMin_ = minimumSize();
  freeMax_ = maximumSize();
  setFixedSize(size());
  sizeLocked_ = true;
}

void Form::placeOnShow() {
  QRect area;
  if (position_ == FormPosition::ScreenCenter) {
    if (QScreen* s = screen()) area = s->availableGeometry();
  } else if (position_ == FormPosition::OwnerCenter) {
    QWidget* owner = parentWidget() ? parentWidget()->window() : g_mainForm;
    if (owner && owner != this) area = owner->frameGeometry();
    else if (QScreen* s = screen()) area = s->availableGeometry();
  }
  if (area.isEmpty()) return;
  move(pos() + (area.center() - frameGeometry().center()));
}

// ---- components and handlers ----------------------------------------------------------

QObject* Form::component(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  if (name == objectName()) return const_cast<Form*>(this);
  return findChild<QObject*>(name);
}

std::vector<QObject*> Form::components() const {
  std::vector<QObject*> out;
  for (QObject* o : findChildren<QObject*>()) {
    QString name = o->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) out.push_back(o);
  }
  return out;
}

void Form::bindHandlers(std::initializer_list<Binding> table) {
  for (const Binding& b : table) bind(QString::fromUtf8(b.component), b.event, b.handler);
}

void Form::runHandler(QObject* sender, const EventHandler& h) {
  EventArgs args;
  args.sender = sender;
  h(args);
}

void Form::bind(const QString& name, Event event, EventHandler h) {
  QObject* c = component(name);
  auto fail = [&](const char* why) {
    throw std::logic_error(objectName().toStdString() + ": " + eventName(event) + " handler of \"" +
                           name.toStdString() + "\": " + why);
  };
  if (!c) fail("no such component");
  if (!h) fail("no handler");
  if (handlers_.count({c, event})) fail("bound twice");
  auto* w = qobject_cast<QWidget*>(c);
  auto run = [this, c, h] { runHandler(c, h); };
  bool ok = true;
  bool viaFilter = false;  // arrives as a widget event, taken by this form's event filter
  switch (event) {
    case Event::Click:
      if (auto* a = qobject_cast<QAction*>(c)) {
        connect(a, &QAction::triggered, this, run);
      } else if (auto* rb = qobject_cast<QRadioButton*>(c)) {
        connect(rb, &QRadioButton::toggled, this, [run](bool on) { if (on) run(); });
      } else if (auto* cb = qobject_cast<QCheckBox*>(c)) {
        connect(cb, &QCheckBox::toggled, this, run);
      } else if (auto* b = qobject_cast<QAbstractButton*>(c)) {
        connect(b, &QAbstractButton::clicked, this, [this, b, run] {
          if (int mr = modalResultOf(b)) setModalResult(mr);
          run();
        });
      } else {
        ok = viaFilter = w != nullptr;
      }
      break;
    case Event::Change:
      if (auto* cb = qobject_cast<QComboBox*>(c)) connect(cb, &QComboBox::currentIndexChanged, this, run);
      else if (auto* sb = qobject_cast<QSpinBox*>(c)) connect(sb, &QSpinBox::valueChanged, this, run);
      else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c)) connect(ds, &QDoubleSpinBox::valueChanged, this, run);
      else if (auto* sl = qobject_cast<QAbstractSlider*>(c)) connect(sl, &QAbstractSlider::valueChanged, this, run);
      else if (auto* le = qobject_cast<QLineEdit*>(c)) connect(le, &QLineEdit::textChanged, this, run);
      else if (auto* pe = qobject_cast<QPlainTextEdit*>(c)) connect(pe, &QPlainTextEdit::textChanged, this, run);
      else if (auto* te = qobject_cast<QTextEdit*>(c)) connect(te, &QTextEdit::textChanged, this, run);
      else if (auto* tw = qobject_cast<QTabWidget*>(c)) connect(tw, &QTabWidget::currentChanged, this, run);
      else ok = false;
      break;
    case Event::Popup:
      if (auto* m = qobject_cast<QMenu*>(c)) connect(m, &QMenu::aboutToShow, this, run);
      else ok = false;
      break;
    case Event::Timer:
      if (auto* t = qobject_cast<QTimer*>(c)) connect(t, &QTimer::timeout, this, run);
      else ok = false;
      break;
    case Event::DblClick:
    case Event::KeyDown:
    case Event::MouseDown:
    case Event::MouseMove:
    case Event::MouseUp:
    case Event::Paint:
      ok = viaFilter = w != nullptr;
      break;
  }
  if (!ok) fail("the component has no such event");
  handlers_[{c, event}] = std::move(h);
  if (viaFilter) {
    QWidget* target = event == Event::KeyDown ? w : eventWidget(w);
    target->installEventFilter(this);
    if (event == Event::MouseMove) target->setMouseTracking(true);
  }
}

bool Form::passedOn(QObject* watched, const QMouseEvent* e) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  const TakenMouse& t = takenMouse_;
  if (t.by && t.type == e->type() && t.timestamp == e->timestamp() && t.global == e->globalPosition() &&
      widget->isAncestorOf(t.by))
    return true;
  for (Event event : {Event::MouseDown, Event::MouseMove, Event::MouseUp, Event::Click, Event::DblClick}) {
    if (filtered(watched, event)) {
      takenMouse_ = {widget, e->type(), e->timestamp(), e->globalPosition()};
      break;
    }
  }
  return false;
}

const EventHandler* Form::filtered(QObject* watched, Event event) const {
  auto it = handlers_.find({watched, event});
  if (it == handlers_.end()) {
    // Events of a scrolling widget arrive at its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(watched ? watched->parent() : nullptr);
        area && area->viewport() == watched)
      it = handlers_.find({area, event});
  }
  return it == handlers_.end() ? nullptr : &it->second;
}

bool Form::eventFilter(QObject* watched, QEvent* e) {
  if (watched->isWindowType()) {
    if (e->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) settlePlace();
    return QDialog::eventFilter(watched, e);
  }
  QObject* sender = watched;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(watched->parent()); area && area->viewport() == watched)
    sender = area;
  auto mouseArgs = [&](QMouseEvent* me) {
    EventArgs a;
    a.sender = sender;
    a.button = me->button();
    a.modifiers = me->modifiers();
    a.pos = me->position().toPoint();
    return a;
  };
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::MouseButtonDblClick:
      // A component's mouse events are its own: one that its handlers took and the widget
      // then passed on to its parent is not handled again there.
      if (passedOn(watched, static_cast<QMouseEvent*>(e))) return QDialog::eventFilter(watched, e);
      break;
    default:
      break;
  }
  switch (e->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(e);
      if (me->button() == Qt::LeftButton) pressed_.insert(watched);
      if (const EventHandler* h = filtered(watched, Event::MouseDown)) {
        EventArgs a = mouseArgs(me);
        (*h)(a);
      }
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(e);
      bool wasPressed = me->button() == Qt::LeftButton && pressed_.erase(watched) > 0;
      if (wasPressed && static_cast<QWidget*>(watched)->rect().contains(me->position().toPoint())) {
        if (const EventHandler* h = filtered(watched, Event::Click)) {
          EventArgs a = mouseArgs(me);
          (*h)(a);
        }
      }
      if (const EventHandler* h = filtered(watched, Event::MouseUp)) {
        EventArgs a = mouseArgs(me);
        (*h)(a);
      }
      break;
    }
    case QEvent::MouseMove:
      if (const EventHandler* h = filtered(watched, Event::MouseMove)) {
        EventArgs a = mouseArgs(static_cast<QMouseEvent*>(e));
        (*h)(a);
      }
      break;
    case QEvent::MouseButtonDblClick:
      if (const EventHandler* h = filtered(watched, Event::DblClick)) {
        EventArgs a = mouseArgs(static_cast<QMouseEvent*>(e));
        (*h)(a);
      }
      break;
    case QEvent::KeyPress:
      if (const EventHandler* h = filtered(watched, Event::KeyDown)) {
        auto* ke = static_cast<QKeyEvent*>(e);
        EventArgs a;
        a.sender = sender;
        a.key = ke->key();
        a.modifiers = ke->modifiers();
        (*h)(a);
        if (a.key == 0) return true;
      }
      break;
    case QEvent::Paint:
      if (const EventHandler* h = filtered(watched, Event::Paint)) {
        EventArgs a;
        a.sender = sender;
        (*h)(a);
        return true;
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, e);
}

}  // namespace platform
