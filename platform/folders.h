// The program's folders and the user's language, as the rest of the program asks for them.
#pragma once

#include <string>

class QString;

namespace platform {

// The folder of the program file, ending in "/": the caption and style tables, the
// splash data, help files and the mail program lie there.
std::string appDir();

// The user's documents folder followed by "/ZEB/": the settings file and every
// temporary, working and list file. The folder is not created here.
std::string workDir();

// The user's desktop folder (the documents folder, then HOME, when there is none),
// without a trailing "/".
std::string desktopDir();

// A path as the system names it (its bytes), from a path as Qt gives it. Qt holds file
// names as text, decoded as UTF-8: a name that is not UTF-8 reaches it with replacement
// characters and cannot be encoded back. The home folder (HOME) is the one such name the
// program's own folders are built on, so a path in it gets HOME's own bytes back.
std::string localPath(const QString& path);
// A path for Qt (a dialog's folder or file name): decoded as Qt decodes file names.
QString qtPath(const std::string& path);

// `path` made whole against the current folder, for a program that runs in another folder
// and would take a name beginning with '-' for an option; as given where that fails.
std::string wholePath(const std::string& path);

// The user's language as the low byte of a language identifier, from the system
// locale: 17 Japanese, 12 French, 9 anything else.
int userLanguageId();

}  // namespace platform
