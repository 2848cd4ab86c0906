// The objects the whole program shares, made at start-up and kept until it ends, and
// the places where windows made later are entered so that others can reach them.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class Form;
class MessageReceiver;
}  // namespace platform

namespace workspace {

class CProfile;
class MLang;
class TfrmWait;

// The settings file and the texts; made by CreateProfileAndLang.
extern CProfile* Profile;
extern MLang* Lang;
// The wait window, entered here when it is made.
extern TfrmWait* frmWait;

// The windows that the wait window disables while it is shown. Each is entered here by
// the code that makes it; a window not made (yet) is simply left alone.
struct WaitDisabledWindows {
  QPointer<QWidget> frmAvCtl;
  QPointer<QWidget> frmView;
  QPointer<QWidget> frmMain;
  QPointer<QWidget> frmVarnDev;
};
WaitDisabledWindows& ProgramWindows();

// The main window's diagnostic flag: 1 when the text of "MODEL_ID" is "K9". It shows
// the wait window's block-error button and is read by the picture transfer.
extern std::atomic<uint8_t> DiagnosticFlag;

// Makes Profile (which makes the work folder when it is missing), then Lang: the
// user's language and both tables from the program folder. A missing table leaves its
// texts empty; the program goes on.
void CreateProfileAndLang();

// ---- the program: its folders, its forms and its album --------------------------------------

class CImageOpe;
class IFlames;
class TfrmAutoSave;
class TfrmImgProp;
class TfrmMain;
class TfrmTitle;

// The command line: its whole tail as one path, or empty.
extern std::string CmdLine;
// Set by the main window's constructor: the program's folder and the work folder (both
// ending in '/'), and the desktop folder (without).
extern std::string AppDir;
extern std::string DesktopDir;
extern std::string WorkDir;

// The sixteen forms, made by CreateForms in this order: frmMain, frmView, frmViewBtn,
// frmTitle, frmAuto, frmWait, frmAvCtl, frmVarnDev, frmImgFmt, frmMovie, frmHTML,
// frmTiView, frmAutoSave, frmSSTime, frmImgProp, frmMltImg. The main window comes first:
// the others take their texts from Lang when they are made.
extern TfrmMain* frmMain;
extern platform::Form* frmView;
extern platform::Form* frmViewBtn;
extern TfrmTitle* frmTitle;
extern platform::Form* frmAuto;
extern platform::Form* frmAvCtl;
extern platform::Form* frmVarnDev;
extern platform::Form* frmImgFmt;
extern platform::Form* frmMovie;
extern platform::Form* frmHTML;
extern platform::Form* frmTiView;
extern TfrmAutoSave* frmAutoSave;
extern platform::Form* frmSSTime;
extern TfrmImgProp* frmImgProp;
extern platform::Form* frmMltImg;

// The album and the main window's picture engine, made by the main window.
extern IFlames* Flames;
extern CImageOpe* ImageOpe;

// Makes the forms in the order above (the main window first, which also makes Profile,
// Lang, the picture engine and the album); the names of the forms made are added to `order` when given.
void CreateForms(std::vector<std::string>* order = nullptr);
// Deletes the forms and the shared objects again (the program itself keeps them until
// it ends; tests make a fresh program for each case).
void DestroyForms();

}  // namespace workspace
