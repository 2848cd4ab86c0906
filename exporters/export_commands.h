// The movie and the HTML album: their option dialogs frmMovie and frmHTML, and the main
// window's commands that write the selected pictures, in album order, as an AVI movie
// (mnuMovie) or as a small web album (mnuHTML). The program enters them before it makes
// its forms.
//
// Both commands keep the user's files safe: an existing movie or index page is replaced
// only after the user agreed, and only by a complete new one; a command that fails or is
// stopped leaves nothing of its own behind (the frames of a movie, the pictures,
// thumbnails and pages of an album) and the old files as they were. While one of them
// runs (and lets the program handle its events), neither starts again.
#pragma once

#include <initializer_list>
#include <string>

namespace workspace {
class TfrmMain;
}

namespace exporters {

class TfrmHTML;
class TfrmMovie;

// Enters the makers of frmMovie and frmHTML and the commands "mnuMovie" and "mnuHTML".
void EnterExportForms();

// The forms as the program made them; nullptr before (or when another maker made them).
TfrmMovie* MovieForm();
TfrmHTML* HtmlForm();

// The main window's commands.
void mnuMovieClick(workspace::TfrmMain& main);
void mnuHTMLClick(workspace::TfrmMain& main);

// The name a chosen file is written under: the chosen name itself when its extension
// is one of `accepted` (in any letter case), else the name without its extension (cut at
// the file name's first dot, as every saved name is) + "." + `forced`.
std::string NameWithExtension(const std::string& chosen, std::initializer_list<const char*> accepted,
                              const std::string& forced);

}  // namespace exporters
