// The base of every window of the program.
//
// A form is a window laid out in a Qt Designer file: each widget's objectName is its
// component name ("btnOk", "mnuAlbumOpen"), menu items are QActions. The form class
// builds that layout in its constructor, binds its handlers to the components with
// one table, and overrides the lifecycle hooks it needs:
//
//   FormCreate      once, before the form is first shown (createForm() runs it right
//                   after the constructor)
//   FormShow        each time the form goes from hidden to shown by the program; not
//                   when the window system restores a minimised window
//   FormCloseQuery  when the form is asked to close; false keeps it open. A disabled
//                   form is not asked by the window system: its close box, Alt+F4 and
//                   the like do nothing while it is disabled
//   FormClose       when it closes; the action says what becomes of it
//   FormHide        each time the form is hidden by the program
//
// Modal showing: showModal() shows the form, keeps the rest of the program from
// input and returns the modal result. Setting a non-zero modal result ends the
// showing once the current handler has returned (the close may still be refused by
// FormCloseQuery, which resets the result to 0); a button whose "ModalResult"
// property is not 0 sets it when clicked; Escape, the close box and close() give
// mrCancel.
//
// A form is also a MessageReceiver: its window messages go to its message map.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QString>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "messages.h"

class QEventLoop;
class QMouseEvent;

namespace platform {

enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

enum class CloseAction {
  None,  // the form stays open
  Hide,  // the form is hidden and kept (the default)
  Free,  // the form is hidden and deleted
};

enum class BorderStyle {
  Sizeable,  // a normal window the user can size, minimise and maximise
  Dialog,    // a dialog frame: the user cannot size it
  None,      // no frame at all; the user cannot size it
};

enum class FormPosition {
  Designed,      // where the window system puts it
  ScreenCenter,  // centred on the screen at each showing
  OwnerCenter,   // centred on the window that owns it (the main form without one)
};

// The events a handler can be bound to:
//   Click      buttons and menu items when clicked; a check box when its state changes,
//              from code too; a radio button when it becomes checked, from code too;
//              any other widget on a left press and release inside it
//   DblClick   a double click on a widget
//   Change     a combo box's item, a spin box's, slider's or scroll bar's value, an
//              edit's text, a tab widget's page
//   KeyDown    a key pressed on a widget; a handler that sets key to 0 swallows it
//   MouseDown, MouseMove, MouseUp   mouse buttons and moves on a widget (moves
//              without a button too)
//   Popup      a popup or drop-down menu about to show
//   Timer      a QTimer's timeout
//   Paint      a widget's painting: the handler paints it in place of the widget
enum class Event { Click, DblClick, Change, KeyDown, MouseDown, MouseMove, MouseUp, Popup, Timer, Paint };

struct EventArgs {
  QObject* sender = nullptr;
  int key = 0;
  Qt::KeyboardModifiers modifiers;
  Qt::MouseButton button = Qt::NoButton;
  QPoint pos;  // in the sender's own coordinates
};

using EventHandler = std::function<void(EventArgs&)>;

// The "Tag" of a component: a number the program keeps on it (0 unless set; a .ui
// file sets it as the dynamic property "Tag").
int tagOf(const QObject* component);
void setTag(QObject* component, int tag);

class Form : public QDialog, public MessageReceiver {
  Q_OBJECT

 public:
  struct Binding {
    const char* component;
    Event event;
    EventHandler handler;
  };

  explicit Form(QWidget* parent = nullptr);
  ~Form() override;

  // Runs FormCreate unless it has run already.
  void create();

  // Shows the form modally and returns its modal result.
  int showModal();
  int exec() override { return showModal(); }
  bool isShownModally() const { return modalLoop_ != nullptr; }
  int modalResult() const { return modalResult_; }
  void setModalResult(int result);

  // Asks the form to close (see the hooks above). True when it closed; a form shown
  // modally closes after the current handler, so this gives false for it.
  bool closeForm();

  void setStayOnTop(bool on);
  bool stayOnTop() const { return stayOnTop_; }
  void setBorderStyle(BorderStyle style);
  BorderStyle borderStyle() const { return border_; }
  bool isSizeable() const { return border_ == BorderStyle::Sizeable; }
  // Whether the title bar shows the close box and the window menu.
  void setBorderIcons(bool shown);
  void setFormPosition(FormPosition position) { position_ = position; }

  // The component of that name (the form itself under its own name), or nullptr.
  QObject* component(const QString& name) const;
  template <class T>
  T* component(const QString& name) const {
    return qobject_cast<T*>(component(name));
  }
  // Every named component, in the order of the form's layout (depth first).
  std::vector<QObject*> components() const;

  // The form whose closing ends the program's event loops (see endEventLoops).
  static void setMainForm(Form* form);
  static Form* mainForm();

 protected:
  virtual void FormCreate() {}
  virtual void FormShow() {}
  virtual bool FormCloseQuery() { return true; }
  virtual void FormClose(CloseAction& /*action*/) {}
  virtual void FormHide() {}

  // Binds each handler to its component and event. Throws std::logic_error for a
  // component that does not exist, an event that the component does not have, or a
  // component and event bound twice.
  void bindHandlers(std::initializer_list<Binding> table);
  void bind(const QString& component, Event event, EventHandler handler);

  // Handlers from member functions: void F::name(QObject* sender) or void F::name(EventArgs&).
  template <class F>
  EventHandler handler(void (F::*fn)(QObject*)) {
    F* self = static_cast<F*>(this);
    return [self, fn](EventArgs& a) { (self->*fn)(a.sender); };
  }
  template <class F>
  EventHandler handler(void (F::*fn)(EventArgs&)) {
    F* self = static_cast<F*>(this);
    return [self, fn](EventArgs& a) { (self->*fn)(a); };
  }

  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 public slots:
  void accept() override;
  void reject() override;
  void done(int result) override;

 private:
  // Ends the program's event loops, the one of a long piece of work included, whatever
  // the other windows say.
  static void endEventLoops();
  void applyWindowFlags();
  void runHandler(QObject* sender, const EventHandler& h);
  const EventHandler* filtered(QObject* watched, Event event) const;
  // Whether `e` is a mouse event that a component inside `watched` has taken already;
  // otherwise notes it as taken when `watched` has mouse handlers.
  bool passedOn(QObject* watched, const QMouseEvent* e);
  void unlockSize();
  void lockSize();
  void placeOnShow();
  void keepPlaceWhileFramed();
  void settlePlace();

  bool created_ = false;
  bool stayOnTop_ = false;
  bool borderIcons_ = true;
  bool quiet_ = false;        // window flags are being changed: no hooks run
  bool closingModal_ = false;  // the modal loop is closing the form
  bool sizeLocked_ = false;
  QSize freeMin_, freeMax_;  // the limits before the size was locked
  BorderStyle border_ = BorderStyle::Sizeable;
  FormPosition position_ = FormPosition::Designed;
  std::optional<QPoint> placeToKeep_;  // where a window without a frame was shown, until it is drawn there
  int modalResult_ = mrNone;
  QEventLoop* modalLoop_ = nullptr;
  std::map<std::pair<QObject*, Event>, EventHandler> handlers_;
  std::set<QObject*> pressed_;
  struct TakenMouse {
    QPointer<QWidget> by;
    int type = 0;
    quint64 timestamp = 0;
    QPointF global;
  };
  TakenMouse takenMouse_;  // the last mouse event a component's handlers took
};

// Constructs a form and runs its FormCreate: the way every form is made.
template <class F, class... Args>
F* createForm(Args&&... args) {
  F* f = new F(std::forward<Args>(args)...);
  f->create();
  return f;
}

}  // namespace platform
