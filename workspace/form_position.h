// Where a window was left: its position and size kept in the settings file under a
// section named after the window ("frmMain", "frmView", "frmAvCtl"), keys "Top",
// "Left", "Width" and "Height". Top and Left are the corner of the window's frame (its
// title bar and border, where a window manager draws them), Width and Height the size of
// its client area.
#pragma once

#include <QSize>

class QWidget;

namespace workspace {

class CProfile;

// Puts the window back where it was stored: its top-left corner, and for a window the
// user can size also its size. A corner above or left of the screen's work area is
// moved onto it; a size larger than that work area is cut to it. Nothing stored, a size
// below 1, or a corner that lies on no screen gives the default: a sizeable window
// becomes half the screen's width and height, and the window is centred. True when the
// stored place was used.
bool LoadFormPosition(QWidget* form, const CProfile& profile);
// Gives the window a new size; its frame corner stays where it is, also before the
// window manager has framed the window.
void ResizeForm(QWidget* form, QSize size);
// Stores the window's place: Top, Left, Height, Width, in that order, whatever its
// border. A maximised or minimised window stores the place it has when restored.
void SaveFormPosition(QWidget* form, CProfile& profile);

}  // namespace workspace
