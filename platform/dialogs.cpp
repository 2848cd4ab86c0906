#include "dialogs.h"

#include "dialog_placement.h"
#include "folders.h"
#include "replaceable.h"

#include <sys/stat.h>

#include <QFileDialog>
#include <QMessageBox>
#include <QShowEvent>
#include <QString>
#include <QStringList>

namespace platform {

namespace {

std::string g_title;
bool g_titleSet = false;

// The toolkit's box and file dialog, placed on showing as every dialog of the program is:
// above a window that stays on top, clear of it.
template <class Dialog>
class Placed final : public Dialog {
 public:
  using Dialog::Dialog;

 protected:
  void showEvent(QShowEvent* e) override {
    Dialog::showEvent(e);
    if (!e->spontaneous()) placeAboveStayOnTop(this);
  }
};

class QtMessageBoxes final : public MessageBoxes {
 public:
  MsgAnswer show(QWidget* owner, const std::string& text, const std::string& caption, MsgButtons buttons,
                 MsgIcon icon) override {
    QMessageBox::Icon qicon = QMessageBox::Information;
    switch (icon) {
      case MsgIcon::Question: qicon = QMessageBox::Question; break;
      case MsgIcon::Stop: qicon = QMessageBox::Critical; break;
      case MsgIcon::Warning: qicon = QMessageBox::Warning; break;
      case MsgIcon::Information: qicon = QMessageBox::Information; break;
    }
    bool yesNo = buttons == MsgButtons::YesNo;
    Placed<QMessageBox> box(qicon, QString::fromStdString(caption), QString::fromStdString(text),
                            yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    // Texts name files and carry user data: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Ok);
    int r = box.exec();
    if (!yesNo) return MsgAnswer::Ok;
    return r == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
  }
};

class QtFileDialogs final : public FileDialogs {
 public:
  std::vector<std::string> run(QWidget* owner, const FileDialogOptions& o) override {
    // Paths go in and come back in the system's file-name encoding (folders.h).
    Placed<QFileDialog> dlg(owner, QString::fromStdString(o.title), qtPath(o.initialDir));
    dlg.setNameFilter(QString::fromStdString(toQtFilter(o.filter)));
    switch (o.mode) {
      case FileDialogOptions::Mode::Open:
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
        break;
      case FileDialogOptions::Mode::OpenMany:
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFiles);
        break;
      case FileDialogOptions::Mode::Save:
        // The program asks about replacing a file itself.
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
        break;
    }
    dlg.setDefaultSuffix(QString::fromStdString(o.defaultExt));
    if (!o.fileName.empty()) dlg.selectFile(qtPath(o.fileName));
    std::vector<std::string> files;
    if (dlg.exec() != QDialog::Accepted) return files;
    for (const QString& f : dlg.selectedFiles()) files.push_back(localPath(f));
    return files;
  }
};

Replaceable<MessageBoxes, QtMessageBoxes> g_boxes;
Replaceable<FileDialogs, QtFileDialogs> g_dialogs;

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> splitPatterns(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s + ";") {
    if (c == ';' || c == ' ' || c == '\t') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

}  // namespace

bool setApplicationTitle(const std::string& title) {
  if (g_titleSet) return false;
  g_title = title;
  g_titleSet = true;
  return true;
}

const std::string& applicationTitle() { return g_title; }

MessageBoxes& messageBoxes() { return g_boxes.get(); }

MessageBoxes* setMessageBoxes(MessageBoxes* boxes) { return g_boxes.install(boxes); }

MsgAnswer messageBox(QWidget* owner, const std::string& text, MsgButtons buttons, MsgIcon icon) {
  return messageBoxes().show(owner, text, applicationTitle(), buttons, icon);
}

bool askYesNo(QWidget* owner, const std::string& text) {
  return messageBox(owner, text, MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::Yes;
}

void showError(QWidget* owner, const std::string& text) {
  messageBox(owner, text, MsgButtons::Ok, MsgIcon::Stop);
}

void showWarning(QWidget* owner, const std::string& text) {
  messageBox(owner, text, MsgButtons::Ok, MsgIcon::Warning);
}

FileDialogs& fileDialogs() { return g_dialogs.get(); }

FileDialogs* setFileDialogs(FileDialogs* dialogs) { return g_dialogs.install(dialogs); }

bool FileDialog::execute(QWidget* owner) {
  std::vector<std::string> chosen = fileDialogs().run(owner, options);
  if (chosen.empty()) return false;
  for (auto& f : chosen) f = withDefaultExt(f, options.defaultExt);
  files = std::move(chosen);
  fileName = files.front();
  return true;
}

std::string toQtFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::vector<std::string> patterns = splitPatterns(parts[i + 1]);
    if (patterns.empty()) continue;
    std::string desc = trim(parts[i]);
    // "Albums(*.qla *.wza)" already shows its patterns: drop that group, it is added below.
    size_t open = desc.rfind('(');
    if (!desc.empty() && desc.back() == ')' && open != std::string::npos &&
        splitPatterns(desc.substr(open + 1, desc.size() - open - 2)) == patterns)
      desc = trim(desc.substr(0, open));
    std::string joined;
    for (const auto& p : patterns) joined += (joined.empty() ? "" : " ") + (p == "*.*" ? std::string("*") : p);
    if (!out.empty()) out += ";;";
    out += desc.empty() ? "(" + joined + ")" : desc + " (" + joined + ")";
  }
  return out;
}

std::string withDefaultExt(const std::string& path, const std::string& ext) {
  if (ext.empty() || path.empty()) return path;
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return path;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return path;
  return path + "." + ext;
}

}  // namespace platform
