// How the desktop knows the program's windows: its icon, the one the program installs in
// the icon theme, on the application and so on every window (task bars and window
// switchers show it), and the name of its desktop entry, "albumdesk", by which desktops
// match the windows to the installed entry.
#pragma once

namespace albumdesk {

// Sets the icon, in every size the program ships (compiled into the program), and the
// desktop entry's name on the application object.
void SetProgramIdentity();

}  // namespace albumdesk
