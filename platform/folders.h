// The program's folders and the user's language, as the rest of the program asks for them.
#pragma once

#include <string>

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

// The user's language as the low byte of a language identifier, from the system
// locale: 17 Japanese, 12 French, 9 anything else.
int userLanguageId();

}  // namespace platform
