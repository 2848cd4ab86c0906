// The mail program: what the E-mail command of albumdesk starts, as "ZEB_RLM.EXE -f LIST".
//
// It reads the list (one picture path a line, lines ending in CR LF; a bare LF is taken
// too, empty lines are passed over) and hands the pictures to the desktop's mail
// composer as attachments of a new message: `xdg-email --attach FILE ...`, waiting until
// the composer has taken them.
//
// The counter "TIMES" (REG_DWORD under HKEY_LOCAL_MACHINE "Software\ZEB\RLM" in the
// registry store) is the number of mails the mail program holds at this moment: it goes
// up by one when a mail is handed to the composer and down again when the composer has
// it (or refused it). albumdesk resets it at start-up and refuses a hand-off while it is
// 3 or more; a key that does not exist is made here.
//
// Every failure is told in one box: no list, pictures of the list that are missing (the
// others are still sent), no mail program set up (xdg-email missing, or its exit code 3:
// no method to open a mail), or the composer failing otherwise.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace workspace {
class MLang;
}

namespace rlm {

// The composer's run: the files to attach in; the exit code of xdg-email out, or -1
// when it could not be started.
using Composer = std::function<int(const std::vector<std::string>& attachments)>;

// Runs xdg-email (looked up on PATH) and waits for it.
int RunXdgEmail(const std::vector<std::string>& attachments);

// The program with its arguments (without the program name), the texts of `lang` and
// the composer; tells the user what failed in boxes owned by `owner`. The exit code:
// 0 when the composer has the mail, 1 when it could not be handed on, 2 for a list
// that was not given or could not be read.
int RunMailProgram(const std::vector<std::string>& args, const workspace::MLang& lang, const Composer& composer,
                   QWidget* owner = nullptr);

// The mail counter's current value (0 when the key or value is missing).
uint32_t MailTimes();

}  // namespace rlm
