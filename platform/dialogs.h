// Message boxes and file dialogs.
//
// Every box and dialog goes through an installed implementation: by default the
// toolkit's own (QMessageBox, QFileDialog); tests install scripted ones
// (platform/scripted.h) that record what was asked and give queued answers.
//
// A message box carries the application title as its caption. The title is set once,
// at start-up, by the main window; later attempts change nothing.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace platform {

// ---- the application title ----------------------------------------------------

// Sets the title when none has been set yet; false (and nothing changed) afterwards.
bool setApplicationTitle(const std::string& title);
const std::string& applicationTitle();

// ---- message boxes ------------------------------------------------------------

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { Question, Stop, Warning, Information };
enum class MsgAnswer { Ok, Yes, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows the box modally over `owner` (nullptr: no owner) and returns the answer.
  // A box closed without a button answers as its last button (Ok, or No).
  virtual MsgAnswer show(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgButtons buttons, MsgIcon icon) = 0;
};

MessageBoxes& messageBoxes();
// Installs `boxes` (nullptr: the toolkit's own again) and returns the one it replaces.
MessageBoxes* setMessageBoxes(MessageBoxes* boxes);

// A box captioned with the application title.
MsgAnswer messageBox(QWidget* owner, const std::string& text, MsgButtons buttons, MsgIcon icon);
// A question with Yes and No and the question icon; true for Yes.
bool askYesNo(QWidget* owner, const std::string& text);
// An error with OK and the stop icon.
void showError(QWidget* owner, const std::string& text);
// A warning with OK and the warning icon.
void showWarning(QWidget* owner, const std::string& text);

// ---- file dialogs ---------------------------------------------------------------

struct FileDialogOptions {
  enum class Mode { Open, OpenMany, Save };
  Mode mode = Mode::Open;
  std::string title;       // empty: the toolkit's own title
  std::string initialDir;  // empty: the toolkit's default place
  std::string fileName;    // the name proposed in the name field
  // Pairs of description and patterns, all separated by "|"; several patterns of
  // one pair are separated by ";":  "Albums(*.qla *.wza)|*.qla;*.wza|All|*.*"
  std::string filter;
  // Without the dot. Added to a chosen name that has no extension of its own.
  std::string defaultExt;
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Shows the dialog modally; the chosen paths, or none when it was cancelled.
  virtual std::vector<std::string> run(QWidget* owner, const FileDialogOptions& options) = 0;
};

FileDialogs& fileDialogs();
// Installs `dialogs` (nullptr: the toolkit's own again) and returns the one it replaces.
FileDialogs* setFileDialogs(FileDialogs* dialogs);

// A file dialog as a window keeps it: set the options, run execute(), read the result.
class FileDialog {
 public:
  FileDialogOptions options;
  // The chosen path (the first when several were chosen), with the default extension.
  std::string fileName;
  std::vector<std::string> files;

  explicit FileDialog(FileDialogOptions::Mode mode = FileDialogOptions::Mode::Open) { options.mode = mode; }
  // True when the user chose; false (fileName and files unchanged) when cancelled.
  bool execute(QWidget* owner);
};

// "desc|pat1;pat2|desc2|pat3" -> "desc (pat1 pat2);;desc2 (pat3)". A pattern group
// that ends the description already is not repeated, and "*.*" (every file) becomes
// "*". A description without patterns is dropped.
std::string toQtFilter(const std::string& filter);

// `path` with "." + ext added when its name has no dot; unchanged when ext is empty
// or `path` is an existing folder.
std::string withDefaultExt(const std::string& path, const std::string& ext);

}  // namespace platform
