// The text of the registry store's file (REGEDIT4 syntax), as lines that are kept as
// they were read. The store is shared with other programs (the mail program) and may
// be edited by hand, so a change rewrites only the lines of the values it changes:
// comments, blank lines, the header, default values ("@="), values of types the store
// does not read (hex, qword, ...), lines continued with a trailing backslash and lines it
// cannot make sense of are written back byte for byte, with their own line ends.
//
// What the store reads: keys ("[HKEY_...\Path]", compared without regard to ASCII case,
// "/" taken as "\", runs of separators as one) and, under a key, DWORD values
// ("name"=dword:hhhhhhhh, one to eight hex digits) and string values ("name"="text" with
// \\, \", \n and \r escapes). A key written twice is one key; where a value is
// written twice, the last one counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class RegistryText {
 public:
  struct Value {
    bool isDword = false;
    uint32_t dword = 0;   // a DWORD value
    std::string text;     // a string value
    bool operator==(const Value& o) const {
      return isDword == o.isDword && (isDword ? dword == o.dword : text == o.text);
    }
  };
  // A value as read, for listing the whole store.
  struct Entry {
    std::string key;   // the key's path as its first section spells it
    std::string name;  // the value's name as its line spells it
    Value value;
  };

  RegistryText() = default;
  explicit RegistryText(const std::string& text);

  // The file's text: what was read, with the changes made since.
  std::string text() const;

  bool hasKey(const std::string& key) const;
  std::optional<Value> value(const std::string& key, const std::string& name) const;
  // Every value the store reads, once each (the one that counts), in file order.
  std::vector<Entry> entries() const;

  // Each returns whether the text changed.
  // Adds the key (at the end of the file) unless it exists.
  bool createKey(const std::string& key);
  // Removes the key's sections, with every line in them, and those of the keys below it.
  bool deleteKey(const std::string& key);
  // Rewrites the value's line (keeping the name as spelt there), or adds a line at the
  // end of the key's last section, or adds the key with the value.
  bool setValue(const std::string& key, const std::string& name, const Value& value);
  // Removes every line that gives the value, whatever its type.
  bool deleteValue(const std::string& key, const std::string& name);

  // "a\\\\b\\" -> "a\\b": runs of separators collapse, none leads or trails.
  static std::string normalisePath(const std::string& path);

 private:
  enum class Kind { Other, Header, Value };
  struct Line {
    std::string body;  // the line as read, without its last line end (more lines when continued)
    std::string end;   // its line end: "\n", "\r\n" or nothing at the end of the file
    Kind kind = Kind::Other;
    std::string key;    // Header: the key's path ("" for a header the store cannot read)
    std::string name;   // Value: the value's name
    bool known = false;  // Value: of a type the store reads, in `value`
    Value value;
  };

  static Line classify(std::string body, std::string end);
  // The index of each line's section header (npos before the first).
  std::vector<size_t> sections() const;
  std::vector<size_t> valueLines(const std::string& key, const std::string& name) const;
  void appendLine(const std::string& body);

  std::vector<Line> lines_;
  std::string eol_ = "\n";  // for new lines: the file's own line end
};

}  // namespace platform
