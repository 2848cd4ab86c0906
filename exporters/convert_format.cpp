// The main window's format command: the selected album pictures are converted in place.
// Each picture's working copy is written again as a JPEG or BMP file at the size and
// rotation chosen in the output settings dialog; its record then names the new file,
// its thumbnail is made again, and the album counts as modified. The user chooses for
// the first picture and then either keeps that choice for the rest (with the wait
// window and its Stop) or is asked again for each.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "frmimgfmt.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "toolkit/file/qm6file.h"
#include "viewer_forms.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace exporters {

using Fmt = workspace::OutputFormatSettings;

namespace {

constexpr uint16_t kTypeBmp = 1;
constexpr uint16_t kTypeJpeg = 4;
constexpr int32_t kThumbWidth = 100;
constexpr int32_t kThumbHeight = 75;

void sendToWait(uint32_t msg, platform::WPARAM w = 0, platform::LPARAM l = 0) {
  if (workspace::frmWait) platform::sendMessage(workspace::frmWait, msg, w, l);
}

// The record after its picture was written to `target`: the new file, the size actually
// written, its type and its file size.
void UpdateRecord(workspace::FlameInfo& r, const std::string& target, const Fmt& s) {
  r.workPath = target;
  // The written picture tells its size; the settings may not (a kept size is held to
  // the dialog's limits, and the wide format is never turned).
  ImageFileInfoRecord info{};
  if (ImageFileInfo(target.c_str(), &info)) {
    r.width = static_cast<uint16_t>(info.width);
    r.height = static_cast<uint16_t>(std::abs(info.height));
  } else {
    const bool turned = s.Rotation != Fmt::kNoRotation;
    r.width = static_cast<uint16_t>(turned ? s.OutputHeight : s.OutputWidth);
    r.height = static_cast<uint16_t>(turned ? s.OutputWidth : s.OutputHeight);
  }
  r.type = s.Format == Fmt::kBmp ? kTypeBmp : kTypeJpeg;
  uint64_t bytes = 0;
  workspace::FileName(target).GetSize(bytes);
  r.sourceSize = static_cast<uint32_t>(bytes);
}

}  // namespace

void mnuFmtClick(workspace::TfrmMain& main) {
  // Dialogs and the wait window let events through; the command does not run twice at once.
  static bool running = false;
  TfrmImgFmt* dialog = ImgFmtForm();
  if (running || !dialog || !workspace::ImageOpe) return;
  if (!main.CheckSelection()) return;
  running = true;
  struct Done {
    ~Done() { running = false; }
  } done;

  const std::string stopText = workspace::Lang->GetMsg("MSG_STOP_SAVE").toStdString();
  const std::string sameText = workspace::Lang->GetMsg("MSG_SAME_FMT").toStdString();
  const std::string errorText = workspace::Lang->GetMsg("MSG_SAVE_ERR").toStdString();
  Fmt& s = dialog->Settings();
  dialog->SetDefaults();
  s.RotationAllowed = 1;
  dialog->SetSizeMode(Fmt::kKeepSize);
  workspace::IFlames& album = main.Album();
  album.CountSelected();
  const int selected = album.SelectedCount();
  if (selected == 0) return;

  workspace::CImageOpe& engine = *workspace::ImageOpe;
  int converted = 0;
  int reached = 0;  // selected pictures come to so far
  bool sameForAll = false;
  auto fail = [&] {
    sendToWait(platform::WM_WAIT_CLOSE);
    platform::showError(&main, errorText);
  };
  auto finish = [&] {
    if (converted > 0) main.SetModified();
  };

  for (int i = 0; i < album.Count(); ++i) {
    if (!album.Cell(i)->selected()) continue;
    ++reached;
    workspace::FlameInfo& r = *album.Record(i);
    s.SourceWidth = r.width;
    s.SourceHeight = r.height;
    if (!sameForAll) {
      dialog->showModal();
      QCoreApplication::processEvents();
      if (s.Cancelled != 0) {
        if (selected == 1) return finish();
        if (platform::askYesNo(&main, stopText)) break;
        continue;
      }
    } else {
      sendToWait(platform::WM_WAIT_PROGRESS, converted * 100 / selected);
      if (s.SizeMode == Fmt::kKeepSize) {
        s.OutputWidth = r.width;
        s.OutputHeight = r.height;
      }
      // Stop is honoured before a picture is begun, so that every picture written
      // also has its whole record.
      if (workspace::frmWait && workspace::frmWait->AbortFlag != 0) {
        fail();
        return finish();
      }
    }

    engine.FillColor = 0;
    engine.Title = nullptr;
    const int format = s.Format;
    const std::string target =
        workspace::FileName(r.workPath).RemoveExt() + (format == Fmt::kBmp ? ".bmp" : ".jpg");
    dialog->SetFormat(format == Fmt::kBmp ? Fmt::kBmp : Fmt::kJpeg);
    // The export replaces the target only once it is written whole, so a failure
    // leaves the working copy as it was, even when it is the target itself.
    const bool written = engine.ExportImage(r.workPath, target);
    dialog->SetFormat(format);
    if (!written) {
      fail();
      return finish();
    }
    // The thumbnail is made again from the new file; where it cannot be written (a full
    // disk) the old one stays, and a new file beside the working copy goes again, so
    // the record still describes its files.
    if (!engine.ConvertImage(r.thumbPath, target, kThumbWidth, kThumbHeight)) {
      if (target != r.workPath) {
        ::unlink(target.c_str());
      } else {
        ++converted;
        UpdateRecord(r, target, s);
      }
      fail();
      return finish();
    }
    album.Cell(i)->LoadPicture(r.thumbPath);
    ++converted;
    UpdateRecord(r, target, s);
    if (selected == 1) return finish();
    if (!sameForAll && reached < selected && platform::askYesNo(&main, sameText)) {
      sameForAll = true;
      const QString title = QString::fromStdString(platform::applicationTitle());
      sendToWait(platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&title), 3);
    }
  }
  sendToWait(platform::WM_WAIT_CLOSE);
  finish();
}

}  // namespace exporters
