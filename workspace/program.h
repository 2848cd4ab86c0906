// The objects the whole program shares, made at start-up and kept until it ends, and
// the places where windows made later are entered so that others can reach them.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>

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

}  // namespace workspace
