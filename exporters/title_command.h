// The main window's Title Image command: every selected album picture becomes a title
// picture file ("TITLE001.TTL" onwards, the first free names) in the folder TITLES of
// the card chosen in the title card dialog, with the cut level chosen there. Each file
// is written whole under a temporary name, renamed and flushed to the card together
// with its folder before it counts as written, so a card pulled afterwards holds it.
#pragma once

namespace workspace {
class TfrmMain;
}

namespace exporters {

void mnuTitleImageClick(workspace::TfrmMain& main);

}  // namespace exporters
