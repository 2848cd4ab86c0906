// The association of the album files with the program, kept where the program's
// registry keeps such things (HKEY_CLASSES_ROOT): each extension names a file type, and
// the file type names the command that opens a file of it (the program with the file as
// its command line) and its icon.
//
// The album-save command offers to make the association only on systems whose major
// version is below 6 (SystemMajorVersion). This system is not one of them: here the
// desktop learns of the program and its two album types from the .desktop entry and the
// MIME package that the installation puts in place.
#pragma once

#include <string>
#include <vector>

namespace workspace {

// The major version the album-save command tests; 6 here.
int SystemMajorVersion();

class ASSOCIATE {
 public:
  ASSOCIATE() = default;

  // The extensions, each with its leading dot (".qla"), and the file type's name.
  std::vector<std::string> Extensions;
  std::string Name;

  // Whether each extension's key exists, the file type's open command is exactly
  // CommandText() and its icon key exists.
  bool IsAssociated() const;
  // Writes the extensions' file type, the file type's name, its open command and its
  // icon, in that order, each only after the one before was written. True when all were.
  bool Associate() const;

  // A double quote, the program file's full path, a double quote, then %1.
  static std::string CommandText();
  // The program file's full path followed by ",1".
  static std::string IconText();
};

}  // namespace workspace
