// Title pictures on a card and the multi-image sheet in the program: their windows
// (frmTiView, frmMltImg) and the main window's commands Title Image and Multi Image.
#pragma once

namespace workspace {
class TfrmMain;
}

namespace exporters {

// Enters the windows and commands for the program; called once before the forms are made.
void RegisterCards();

// The main window's Multi Image command: shows the sheet editor for the selection.
void mnuMultiClick(workspace::TfrmMain& main);

}  // namespace exporters
