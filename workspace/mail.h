// The mail hand-off. The program sends no mail itself: it writes the list of the
// pictures' files, "IMG_LIST.DAT" in the work folder (one path a line, each line ending
// in CR LF), and starts the mail program "ZEB_RLM.EXE" from the program folder with the
// arguments "-f" and the list's path, without waiting for it. The two programs share the
// mail counter, the registry value "TIMES" under HKEY_LOCAL_MACHINE "Software\ZEB\RLM",
// which the mail program keeps; while it is 3 or more the hand-off is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace workspace {

class CImageOpe;
struct ListedPicture;

// The mail counter; 0 when the key or the value is missing.
uint32_t GetMailTimes();

// The list's bytes: each path followed by CR LF.
std::string MailList(const std::vector<std::string>& files);

// Hands the pictures (in album order) to the mail program, or tells the user why not
// in a box owned by `owner`: the counter at 3 or more ("MSG_MAILOVER"), or no picture
// whose file could be made or a list that could not be written ("MSG_SAVE_ERR").
// A mail program that is missing or does not start is not reported.
void MailPictures(QWidget* owner, CImageOpe& engine, const std::vector<ListedPicture>& pictures);

}  // namespace workspace
