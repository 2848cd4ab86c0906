// The viewer's and the output settings' part of the program: the forms frmView,
// frmViewBtn, frmImgFmt and frmSSTime, and the main window's viewer and format
// commands. The program enters them before it makes its forms.
#pragma once

namespace workspace {
class TfrmMain;
}

namespace exporters {

class TfrmImgFmt;
class TfrmSSTime;
class TfrmView;
class TfrmViewBtn;

// Enters the four forms' makers and the commands "mnuView" and "mnuFmt".
void EnterViewerForms();

// The forms as the program made them; nullptr before (or when another maker made them).
TfrmView* ViewForm();
TfrmViewBtn* ViewButtons();
TfrmImgFmt* ImgFmtForm();
TfrmSSTime* SSTimeForm();

// The main window's commands.
// Opens the viewer on the first selected picture, or on picture 0.
void mnuViewClick(workspace::TfrmMain& main);
// Converts the selected pictures in place to another format, size or rotation.
void mnuFmtClick(workspace::TfrmMain& main);

}  // namespace exporters
