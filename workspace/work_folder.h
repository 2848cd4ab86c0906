// The work folder's session files: the names the program gives the files it makes there
// while it runs, and the start-up clean-up of what a copy that ended without cleaning up
// (killed, crashed, the machine gone down) left behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace workspace {

// Whether `name` is a name the program gives a file of its own in the work folder, one
// that is of no use once the copy that made it has ended. In these forms '#' is a digit,
// '?' an ASCII letter or digit, and the letters stand in the case given:
//   zbm1###.???  zbm1###TN.bmp     working copies and thumbnails
//   zbmt.  zbmt.?  zbmt.??  zbmt.???  zbmt####.dvf
//                                  unpacked album entries and frames
//   zbm??????.bmp  zbm??????.jpg   temporaries with a name of their own
//   zbmview.bmp                    the viewer's frame
//   MVTMP###.BMP                   movie frames
//   tmp.bmp  tn.jpg  temp.jpg      the engine's conversions and title parts
//   temp.dvf  temp.yuv             the last captured frame
// The settings file, the mail list, the user's sample background, the diagnostic files and
// the lock file are not among them; nor is any other name, however alike.
bool IsSessionFileName(std::string_view name);

// Removes from the work folder what ended copies left: every file (or link) with a session
// file's name, and the save temporaries nobody holds (platform/atomic_file.h). Only the
// owner of the work folder, the holder of the single-instance lock, may call this: no
// other copy can be using the files then. The number of files removed.
size_t RemoveEndedSessionFiles(const std::string& workDir);

}  // namespace workspace
