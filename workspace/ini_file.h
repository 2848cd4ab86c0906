// The text of a settings file in the private-profile (INI) format, with the lookup
// rules of such files:
//
//   [Section]
//   Key=Value
//
// - Section and key names compare without regard to ASCII case; the first section of
//   a name is the only one searched, and in it the first entry of a key wins.
// - Blanks (space, tab) around names and values are dropped; one pair of matching
//   quotes (" or ') around a value is removed. Lines starting with ';' are comments;
//   entries before the first section belong to none.
// - Lines end with LF or CR LF.
//
// Changing a value keeps every other line as it was: the entry is rewritten in place,
// or added after the last line of its section, or a new section is added at the end.
// A value that would not read back the same (blanks at its ends, surrounding quotes)
// is written in quotes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace workspace {

class IniFile {
 public:
  explicit IniFile(std::string_view text = {});

  // The value of the key, or nothing when the section or key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets the value. False (and nothing changed) when a name or the value cannot be
  // kept in this format (see Storable).
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // Names are non-empty, have no blanks at their ends and no line break; a section
  // name has no ']', a key no '=' and does not start with '[' or ';'; a value has no
  // line break.
  static bool Storable(std::string_view section, std::string_view key, std::string_view value);

  // The whole file, each line ended as the parsed text ended its first line (LF for a
  // new file); a line whose text ends in CR is ended with CR LF, so that it reads back
  // the same.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
  bool crlf_ = false;
};

}  // namespace workspace
