#include "title_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <cerrno>
#include <memory>

#include "exporters/frmtiview.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/frmautosave.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/output_format.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace exporters {

namespace {

using workspace::Flames;
using workspace::frmWait;

// Flushes the folder's entries (the new names) to the medium. A file system that
// cannot flush a folder has nothing of it to lose.
bool syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

// The engine's view of the title record ends with the command, whatever way it ends.
class TitleRecordLoan {
 public:
  explicit TitleRecordLoan(workspace::CImageOpe& engine) : engine_(engine) {
    record_.makerNote = 1;
    engine_.Title = &record_;
  }
  ~TitleRecordLoan() { engine_.Title = nullptr; }
  workspace::TitleRecord& record() { return record_; }

 private:
  workspace::CImageOpe& engine_;
  workspace::TitleRecord record_;
};

void closeWait() { platform::sendMessage(frmWait, platform::WM_WAIT_CLOSE); }

// Writes the files; false after a failed or stopped file (reported to the user).
bool writeTitles(const TfrmTiView& dialog) {
  QString caption = QString::fromStdString(platform::applicationTitle());
  platform::sendMessage(frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 3);

  workspace::OutputFormatSettings& settings = workspace::OutputFormat();
  workspace::SetDefaults(settings);
  settings.SizeMode = workspace::OutputFormatSettings::kFreeSize;
  settings.Format = workspace::OutputFormatSettings::kTitle;
  settings.JpegQuality = kTitleQuality;
  const bool large = dialog.cbSize()->currentIndex() != 0;
  settings.OutputWidth = large ? kTitleWidth : kSmallTitleWidth;
  settings.OutputHeight = large ? kTitleHeight : kSmallTitleHeight;

  workspace::frmAutoSave->memo()->clear();
  workspace::CImageOpe& engine = *workspace::ImageOpe;
  engine.FillColor = 0xFFFFFF;
  TitleRecordLoan loan(engine);

  Flames->CountSelected();
  const int selected = Flames->SelectedCount();
  int done = 0;
  for (int i = 0; i < Flames->Count(); ++i) {
    if (!Flames->Cell(i)->selected()) continue;
    // Stop ends the batch before the next file; the files written so far stay.
    bool ok = frmWait->AbortFlag == 0;
    std::string target;
    if (ok) {
      loan.record().titleNumber = static_cast<uint8_t>(dialog.CutLevels[static_cast<size_t>(i)]);
      target = workspace::FileName(dialog.TitleFolder + "/TITLE000.TTL").NextFreeName(1);
      ok = !target.empty() && engine.ExportImage(Flames->Record(i)->workPath, target) &&
           syncFolder(dialog.TitleFolder);
    }
    if (!ok) {
      closeWait();
      platform::showError(workspace::frmMain, workspace::Lang->GetMsg("MSG_SAVE_ERR").toStdString());
      return false;
    }
    ++done;
    platform::sendMessage(frmWait, platform::WM_WAIT_PROGRESS, done * 100 / selected);
    workspace::frmAutoSave->SetInfo(i + 1, QString::fromStdString(workspace::FileName(target).GetBaseName()));
  }
  closeWait();
  return true;
}

}  // namespace

void mnuTitleImageClick(workspace::TfrmMain&) {
  // Pending events run while the command works: a second click must not start it again.
  static bool running = false;
  auto* dialog = qobject_cast<TfrmTiView*>(workspace::frmTiView);
  if (running || !dialog || !workspace::frmMain->CheckSelection()) return;
  running = true;
  struct Done {
    ~Done() { running = false; }
  } done;
  dialog->showModal();
  QCoreApplication::processEvents();
  if (dialog->Cancelled == 0 && writeTitles(*dialog)) workspace::frmAutoSave->showModal();
}

}  // namespace exporters
