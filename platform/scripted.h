// Stand-ins for tests: message boxes and file dialogs that answer from a queue, and a
// launcher that records instead of starting. Each installs itself while it lives and
// puts back what was installed before.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "dialogs.h"
#include "launcher.h"

namespace platform {

class ScriptedMessageBoxes final : public MessageBoxes {
 public:
  struct Box {
    QWidget* owner;
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
    MsgAnswer answer;
  };

  ScriptedMessageBoxes();
  ~ScriptedMessageBoxes() override;

  // The answers of the next boxes, in order.
  void queue(MsgAnswer answer) { answers_.push_back(answer); }
  const std::vector<Box>& shown() const { return shown_; }
  // Boxes that found no fitting answer in the queue (an empty queue, or Yes or No
  // for an OK box, or OK for a question); they were answered as if closed (OK, No).
  int unanswered() const { return unanswered_; }
  size_t answersLeft() const { return answers_.size(); }

  MsgAnswer show(QWidget* owner, const std::string& text, const std::string& caption, MsgButtons buttons,
                 MsgIcon icon) override;

 private:
  std::deque<MsgAnswer> answers_;
  std::vector<Box> shown_;
  int unanswered_ = 0;
  MessageBoxes* previous_;
};

class ScriptedFileDialogs final : public FileDialogs {
 public:
  struct Dialog {
    QWidget* owner;
    FileDialogOptions options;
  };

  ScriptedFileDialogs();
  ~ScriptedFileDialogs() override;

  // What the user chooses in the next dialog; an empty list cancels it.
  void queue(std::vector<std::string> files) { answers_.push_back(std::move(files)); }
  void queueCancel() { answers_.emplace_back(); }
  const std::vector<Dialog>& shown() const { return shown_; }
  size_t answersLeft() const { return answers_.size(); }

  // A dialog without a queued answer is cancelled.
  std::vector<std::string> run(QWidget* owner, const FileDialogOptions& options) override;

 private:
  std::deque<std::vector<std::string>> answers_;
  std::vector<Dialog> shown_;
  FileDialogs* previous_;
};

class RecordingLauncher final : public Launcher {
 public:
  struct Start {
    std::string program;
    std::vector<std::string> args;
  };

  RecordingLauncher();
  ~RecordingLauncher() override;

  // What startProgram and openDocument report (both true at first), and what became of
  // an opened document, told at once.
  bool programResult = true;
  bool documentResult = true;
  Opening documentOpening = Opening::Opened;

  const std::vector<Start>& programs() const { return programs_; }
  const std::vector<std::string>& documents() const { return documents_; }

  bool startProgram(const std::string& program, const std::vector<std::string>& args) override;
  bool openDocument(const std::string& path, OpeningDone done = {}) override;

 private:
  std::vector<Start> programs_;
  std::vector<std::string> documents_;
  Launcher* previous_;
};

}  // namespace platform
