#include "scripted.h"

namespace platform {

ScriptedMessageBoxes::ScriptedMessageBoxes() : previous_(setMessageBoxes(this)) {}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { setMessageBoxes(previous_); }

MsgAnswer ScriptedMessageBoxes::show(QWidget* owner, const std::string& text, const std::string& caption,
                                     MsgButtons buttons, MsgIcon icon) {
  bool yesNo = buttons == MsgButtons::YesNo;
  MsgAnswer answer = yesNo ? MsgAnswer::No : MsgAnswer::Ok;
  bool fits = false;
  if (!answers_.empty()) {
    MsgAnswer next = answers_.front();
    answers_.pop_front();
    fits = yesNo ? next != MsgAnswer::Ok : next == MsgAnswer::Ok;
    if (fits) answer = next;
  }
  if (!fits) ++unanswered_;
  shown_.push_back({owner, text, caption, buttons, icon, answer});
  return answer;
}

ScriptedFileDialogs::ScriptedFileDialogs() : previous_(setFileDialogs(this)) {}

ScriptedFileDialogs::~ScriptedFileDialogs() { setFileDialogs(previous_); }

std::vector<std::string> ScriptedFileDialogs::run(QWidget* owner, const FileDialogOptions& options) {
  shown_.push_back({owner, options});
  if (answers_.empty()) return {};
  std::vector<std::string> files = std::move(answers_.front());
  answers_.pop_front();
  return files;
}

RecordingLauncher::RecordingLauncher() : previous_(setLauncher(this)) {}

RecordingLauncher::~RecordingLauncher() { setLauncher(previous_); }

bool RecordingLauncher::startProgram(const std::string& program, const std::vector<std::string>& args) {
  programs_.push_back({program, args});
  return programResult;
}

bool RecordingLauncher::openDocument(const std::string& path, OpeningDone done) {
  documents_.push_back(path);
  if (!documentResult) return false;
  if (done) done(documentOpening);
  return true;
}

}  // namespace platform
