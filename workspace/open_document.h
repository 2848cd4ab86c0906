// Documents the program offers to show (a written HTML album, a movie, the help file),
// opened with the desktop's program for their type.
#pragma once

#include <string>

class QWidget;

namespace workspace {

// Hands the document to the desktop's opener (platform/launcher.h) and, when no program
// opened it, tells the user so in an error box over `owner` (no owner when that window is
// gone by then) that names the file: the desktop has no program for files of its type
// ("MSG_OPEN_NOPROGRAM"), or that program failed on it ("MSG_OPEN_FAILED"). The window is
// not held up meanwhile. False, and nothing shown, when the file does not exist.
bool OpenDocument(QWidget* owner, const std::string& path);

}  // namespace workspace
