#include "exporters/export_commands.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "exporters/avi_writer.h"
#include "exporters/export_monitor.h"
#include "exporters/frmhtml.h"
#include "exporters/frmmovie.h"
#include "exporters/html_writer.h"
#include "exporters/picture_writer.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/later_forms.h"
#include "workspace/open_document.h"
#include "workspace/output_format.h"
#include "workspace/profile.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace exporters {

using workspace::FileName;
using workspace::OutputFormatSettings;

namespace {

// ---- what both commands share --------------------------------------------------------------------

std::string text(const char* key) { return workspace::Lang->GetMsg(key).toStdString(); }

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One export at a time: both commands share the output settings and the engine's fill
// colour, and both let the program handle events while they work.
bool exportRunning = false;

class ExportGuard {
 public:
  ExportGuard() : entered_(!exportRunning) { exportRunning = true; }
  ~ExportGuard() {
    if (entered_) exportRunning = false;
  }
  ExportGuard(const ExportGuard&) = delete;
  ExportGuard& operator=(const ExportGuard&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  bool entered_;
};

// The folder a save dialog starts in: the one stored under the key of "INIT" while it
// still exists, else the desktop.
std::string StartFolder(const char* key) {
  std::string stored;
  if (workspace::Profile->ReadString("INIT", key, stored)) {
    std::string folder = workspace::GetExistingDir(stored);
    if (!folder.empty()) return folder;
  }
  return workspace::DesktopDir;
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Shows the options dialog modally; false when the user did not choose OK.
template <class Options>
bool AskOptions(Options& options) {
  options.showModal();
  QCoreApplication::processEvents();
  return options.Cancelled == 0;
}

// The save dialog, starting in the folder stored under the settings key and proposing
// the first free name of the numbered series `pattern` there; the chosen name, or ""
// when the dialog was cancelled.
std::string AskSaveName(QWidget* owner, const char* key, const char* pattern, const std::string& filter,
                        const char* defaultExt) {
  const std::string folder = StartFolder(key);
  platform::FileDialog dlgSave(platform::FileDialogOptions::Mode::Save);
  dlgSave.options.initialDir = folder;
  dlgSave.options.fileName = FileName(inFolder(folder, pattern)).NextFreeName(1);
  dlgSave.options.filter = filter;
  dlgSave.options.defaultExt = defaultExt;
  const bool chosen = dlgSave.execute(owner);
  QCoreApplication::processEvents();
  return chosen ? dlgSave.fileName : std::string();
}

// A picture of the selection, taken before the work begins: the album may change while
// the command lets events be handled, the list of what is written does not.
struct SelectedPicture {
  std::string workPath;
  int32_t width = 0, height = 0;
};

std::vector<SelectedPicture> SelectedPictures(workspace::IFlames& album) {
  std::vector<SelectedPicture> pictures;
  for (int i = 0; i < album.Count(); ++i) {
    if (!album.Cell(i)->selected()) continue;
    const workspace::FlameInfo& r = *album.Record(i);
    pictures.push_back({r.workPath, r.width, r.height});
  }
  return pictures;
}

// The wait window and the hourglass for the command's work: the window shown with the
// application title and the flags (1 Stop, 2 progress bar), both gone when the work
// ends however it ends.
class WaitWindow {
 public:
  explicit WaitWindow(platform::LPARAM flags) {
    QString caption = QString::fromStdString(platform::applicationTitle());
    platform::sendMessage(workspace::frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption),
                          flags);
    QCoreApplication::processEvents();
    platform::showHourglass();
  }
  ~WaitWindow() {
    platform::restoreCursor();
    platform::sendMessage(workspace::frmWait, platform::WM_WAIT_CLOSE);
  }
  WaitWindow(const WaitWindow&) = delete;
  WaitWindow& operator=(const WaitWindow&) = delete;
};

// Files the command writes, removed again unless it succeeds.
class WrittenFiles {
 public:
  ~WrittenFiles() {
    if (kept_) return;
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) ::unlink(it->c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) ::rmdir(it->c_str());
  }
  void Add(const std::string& path) { files_.push_back(path); }
  // A folder made for the work: removed when it is empty again.
  void AddFolder(const std::string& path) { folders_.push_back(path); }
  void Keep() { kept_ = true; }

 private:
  std::vector<std::string> files_, folders_;
  bool kept_ = false;
};

// Offers to open what was written, with the desktop's program for it.
void OfferToOpen(QWidget* owner, const char* question, const std::string& path) {
  if (!platform::askYesNo(owner, text(question))) return;
  if (!workspace::OpenDocument(owner, path)) std::fprintf(stderr, "albumdesk: cannot open %s\n", path.c_str());
}

template <class F>
platform::Form* make() {
  return platform::createForm<F>();
}

// ---- the movie --------------------------------------------------------------------------------------

// Writes the pictures as frames in the work folder and the frames as the movie. False
// for a picture that could not be written, a stop, or a failed movie.
bool WriteMovie(const std::vector<SelectedPicture>& pictures, const std::string& output, const TfrmMovie& options,
                workspace::CImageOpe& engine, ExportMonitor& monitor) {
  OutputFormatSettings& settings = workspace::OutputFormat();
  workspace::SetDefaults(settings);
  settings.Format = OutputFormatSettings::kBmp;
  settings.OutputWidth = options.FrameWidth;
  settings.OutputHeight = options.FrameHeight;
  engine.FillColor = options.BackColor;
  PictureWriter writer(engine, settings);

  std::vector<std::string> list;
  const size_t n = pictures.size();
  for (size_t i = 0; i < n; ++i) {
    monitor.ProcessMessages();
    if (monitor.Aborted()) return false;
    const std::string frame = FileName(workspace::WorkDir + "MVTMP000.BMP").NextFreeName(1);
    if (frame.empty()) return false;
    if (!writer.Export(pictures[i].workPath, frame) || monitor.Aborted()) return false;
    list.push_back(frame);
    monitor.Progress(static_cast<int>((i + 1) * 100 / n));
  }
  return MakeMovie(list, output, static_cast<uint32_t>(options.Scale), static_cast<uint32_t>(options.Rate),
                   options.Codec, &monitor);
}

// ---- the HTML album --------------------------------------------------------------------------------

// Writes the pictures and thumbnails into the picture folder and the pages; everything
// this run wrote is removed again unless the whole album was written.
bool WriteAlbum(const std::vector<SelectedPicture>& pictures, HTML& album, const TfrmHTML& options,
                workspace::CImageOpe& engine, ExportMonitor& monitor, WrittenFiles& written) {
  OutputFormatSettings& settings = workspace::OutputFormat();
  workspace::SetDefaults(settings);
  settings.OutputWidth = 80;
  settings.OutputHeight = 60;
  engine.FillColor = options.PageColor;
  album.SetColor(options.PageColor, options.TextColor);
  album.Title = options.Title().toStdString();
  PictureWriter writer(engine, settings);

  const std::string folder = inFolder(album.Folder, album.BaseName);
  const size_t n = pictures.size();
  for (size_t i = 0; i < n; ++i) {
    monitor.ProcessMessages();
    if (monitor.Aborted()) return false;
    const SelectedPicture& p = pictures[i];
    if (p.width <= options.MaxWidth) {
      settings.SizeMode = OutputFormatSettings::kKeepSize;
    } else {
      settings.SizeMode = OutputFormatSettings::kFreeSize;
      settings.OutputWidth = options.MaxWidth;
      settings.OutputHeight = std::max<int32_t>(1, static_cast<int32_t>(int64_t(options.MaxWidth) * p.height / p.width));
    }
    const std::string thumbnail = FileName(inFolder(folder, "tn000.jpg")).NextFreeName(1);
    const std::string picture = FileName(inFolder(folder, "fs000.jpg")).NextFreeName(1);
    if (thumbnail.empty() || picture.empty()) return false;
    written.Add(thumbnail);
    written.Add(picture);
    if (!writer.ExportWithThumbnail(p.workPath, picture, thumbnail, 80, 60) || monitor.Aborted()) return false;
    album.Thumbnails.push_back(thumbnail.substr(thumbnail.rfind('/') + 1));
    album.Images.push_back(picture.substr(picture.rfind('/') + 1));
    // No bar is shown; the message lets the window's Stop be pressed.
    monitor.Progress(static_cast<int>((i + 1) * 100 / n));
  }
  monitor.ProcessMessages();
  if (monitor.Aborted()) return false;
  // Pages this album adds (not those it replaces) go again when it fails.
  for (int32_t k = 1; k <= static_cast<int32_t>(album.Images.size()); ++k) {
    if (!FileName(album.PagePath(k)).Occupied()) written.Add(album.PagePath(k));
  }
  return album.Make();
}

}  // namespace

std::string NameWithExtension(const std::string& chosen, std::initializer_list<const char*> accepted,
                              const std::string& forced) {
  const std::string ext = lowerCase(FileName(chosen).GetExt());
  for (const char* a : accepted) {
    if (ext == a) return chosen;
  }
  std::string base = FileName(chosen).RemoveExt();
  // A file name that starts with a dot keeps it.
  if (base.empty() || base.back() == '/') base = chosen;
  return base + "." + forced;
}

void EnterExportForms() {
  workspace::RegisterForm("frmMovie", &make<TfrmMovie>);
  workspace::RegisterForm("frmHTML", &make<TfrmHTML>);
  workspace::RegisterCommand("mnuMovie", &mnuMovieClick);
  workspace::RegisterCommand("mnuHTML", &mnuHTMLClick);
}

TfrmMovie* MovieForm() { return dynamic_cast<TfrmMovie*>(workspace::frmMovie); }
TfrmHTML* HtmlForm() { return dynamic_cast<TfrmHTML*>(workspace::frmHTML); }

void mnuMovieClick(workspace::TfrmMain& main) {
  ExportGuard guard;
  TfrmMovie* options = MovieForm();
  if (!guard || !options || !workspace::ImageOpe || !workspace::frmWait || !main.CheckSelection() ||
      !AskOptions(*options)) {
    return;
  }
  const std::string chosen =
      AskSaveName(&main, "MOVIE", "MOVIE000.AVI", text(workspace::TextKey("FD_MOVIE")) + "|*.avi", "AVI");
  if (chosen.empty()) return;
  const std::string name = NameWithExtension(chosen, {"avi"}, "AVI");
  const workspace::ModeKeeper keptMode(name);
  if (!main.ConfirmOverwrite(name)) return;
  const std::vector<SelectedPicture> pictures = SelectedPictures(main.Album());
  if (pictures.empty()) return;

  bool written;
  {
    WaitWindow wait(3);
    WaitWindowMonitor monitor(*workspace::frmWait);
    written = WriteMovie(pictures, name, *options, *workspace::ImageOpe, monitor);
    // The frames (and any a stopped program left behind) are deleted in every case.
    workspace::ImageOpe->DeleteFiles(workspace::WorkDir + "MVTMP*.BMP");
  }
  if (!written) {
    platform::showError(&main, text(workspace::TextKey("MSG_SAVE_ERR")));
    return;
  }
  workspace::Profile->WriteString("INIT", "MOVIE", FileName(name).GetDir());
  OfferToOpen(&main, workspace::TextKey("MSG_PLAYMOVIE"), name);
}

void mnuHTMLClick(workspace::TfrmMain& main) {
  ExportGuard guard;
  TfrmHTML* options = HtmlForm();
  if (!guard || !options || !workspace::ImageOpe || !workspace::frmWait || !main.CheckSelection() ||
      !AskOptions(*options)) {
    return;
  }
  const std::string chosen = AskSaveName(&main, "HTML", "page000.HTM", "HTML|*.htm;*.html", "htm");
  if (chosen.empty()) return;

  // The index page is written under exactly the name asked about; its picture folder is
  // that name without its last extension, beside it, spelt as the user spelt it.
  const std::string index = NameWithExtension(chosen, {"htm", "html"}, "htm");
  HTML album(workspace::Lang);
  const size_t slash = index.rfind('/');
  album.Folder = slash == std::string::npos ? std::string() : index.substr(0, slash + 1);
  album.IndexName = index.substr(slash == std::string::npos ? 0 : slash + 1);
  album.BaseName = album.IndexName.substr(0, album.IndexName.rfind('.'));
  const std::string errorText = text(workspace::TextKey("MSG_SAVE_ERR"));
  if (album.BaseName.empty()) {  // ".htm": no name for the picture folder
    platform::showError(&main, errorText);
    return;
  }
  const workspace::ModeKeeper keptMode(index);
  if (!main.ConfirmOverwrite(index)) return;

  WrittenFiles written;
  const std::string pictureFolder = inFolder(album.Folder, album.BaseName);
  std::error_code error;
  if (!std::filesystem::is_directory(pictureFolder, error)) {
    if (!std::filesystem::create_directories(pictureFolder, error)) {
      platform::showError(&main, errorText);
      return;
    }
    written.AddFolder(pictureFolder);
  }
  const std::vector<SelectedPicture> pictures = SelectedPictures(main.Album());
  if (pictures.empty()) return;

  bool made;
  {
    WaitWindow wait(1);
    WaitWindowMonitor monitor(*workspace::frmWait);
    made = WriteAlbum(pictures, album, *options, *workspace::ImageOpe, monitor, written);
  }
  if (!made) {
    platform::showError(&main, errorText);
    return;
  }
  written.Keep();
  workspace::Profile->WriteString("INIT", "HTML", FileName(index).GetDir());
  OfferToOpen(&main, workspace::TextKey("MSG_HTMDISP"), album.IndexPath());
}

}  // namespace exporters
