// The settings file "kbx40.ini" in the work folder, read and written one key at a
// time. Every call reads the file afresh; every change rewrites it whole through a
// temporary file, so a failed write leaves the old file. Nothing is ever written as a
// default: a missing key (or an empty value) means the reader keeps its own default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace workspace {

class CProfile {
 public:
  // The work folder and program folder of this user and program; creates the work
  // folder (and its missing parents) when it is missing.
  CProfile();
  // The same with the folders given (a '/' is added to `workDir` when it has none).
  CProfile(std::string workDir, std::string programDir);

  // False when the value cannot be kept (unwritable file or folder, or a name or value
  // the file format cannot hold: a line break, a '=' in a key, a ']' in a section).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // The whole value; false (and `value` unchanged) when missing or empty.
  bool ReadString(std::string_view section, std::string_view key, std::string& value) const;
  // Decimal text of the number.
  bool WriteInt(std::string_view section, std::string_view key, int32_t value);
  // False (and `value` unchanged) when missing, empty, or not a decimal number that
  // fits 32 bits.
  bool ReadInt(std::string_view section, std::string_view key, int32_t& value) const;

  const std::string& SettingsPath() const { return settingsPath_; }
  // The program's folder without a trailing '/': the caption and style tables and the
  // splash data lie there.
  const std::string& ProgramDir() const { return programDir_; }
  // The work folder with its trailing '/'.
  const std::string& WorkDir() const { return workDir_; }

 private:
  std::string settingsPath_;
  std::string programDir_;
  std::string workDir_;
};

}  // namespace workspace
