// The user-interface language and its two tables: the caption table "kbx40.cpt" (every
// text the user sees, by form and component or by message key) and the style table
// "kbx40.sty" (the fonts those texts are shown in). Both ship beside the program as
// UTF-8 text and are read whole at start-up; only the current language's columns are
// kept.
//
// Table format, shared by both tables:
// - A line ends with LF (or with the end of the file). A line that begins with "$$" is
//   a comment; every other line, an empty one too, makes one record.
// - Fields end with TAB or CR, and the last one also with the line's end. A field with
//   more bytes than its capacity leaves its record field empty; fields beyond the last
//   column are ignored.
//
// Style table columns: name (19 bytes), font name or "$$" (59), size in points or "$$"
// (2), "true" for bold, other text for not bold, or "$$" (5). "$$" keeps what the form
// was designed with. The first style line is never applied: style index 0 means none.
//
// Caption table columns: owner (the form's name, or "PrgLevel" for a message; 99
// bytes), name (the component's name, or the message key; 99), then text (199) and
// style name or "HINT" (19) for English, French and Japanese in turn.
//
// Every message key the program asks for appears in its source as a literal argument
// of GetMsg, or as the argument of TextKey where the key is written down for later
// use (a table of keys); the test of the shipped tables finds the keys that way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

class QObject;
class QWidget;

namespace workspace {

// Marks a message key that reaches GetMsg other than as a literal argument.
constexpr const char* TextKey(const char* key) { return key; }

constexpr uint16_t kEnglish = 9;
constexpr uint16_t kFrench = 12;
constexpr uint16_t kJapanese = 17;

struct StyleRec {
  std::string name;      // at most 19 bytes
  std::string fontName;  // at most 59 bytes
  std::string size;      // at most 2 bytes
  std::string bold;      // at most 5 bytes
  bool operator==(const StyleRec&) const = default;
};

struct CaptionRec {
  std::string owner;      // at most 99 bytes
  std::string name;       // at most 99 bytes
  std::string styleName;  // at most 19 bytes
  std::string text;       // at most 199 bytes
  bool operator==(const CaptionRec&) const = default;
};

// How ApplyCaptions treats a component, by its exact Qt class: a menu item (caption), a
// tool button (hint or caption), a button (hint, or caption and font), a captioned
// control (caption and font: labels, radio buttons, check boxes, group boxes, tab
// pages), a control that only takes the font (tab widgets, lists, combo boxes, line
// edits, tables), or none of these (left as designed).
enum class ComponentKind { Other, MenuItem, ToolButton, Button, Captioned, StyleOnly };
// The kind of a Qt class name; a tab page (a plain QWidget in a QTabWidget) is found
// by its place, not its class, and is Captioned.
ComponentKind KindOfClass(std::string_view qtClass);

// What a style does to a font; an empty member keeps the font's own.
struct FontChange {
  std::optional<std::string> family;
  std::optional<int> pointSize;
  std::optional<bool> bold;
};

class MLang {
 public:
  MLang() = default;

  // Sets the language from the user's language and returns it: 12 French, 17
  // Japanese, 9 English for anything else.
  uint16_t GetLanguage();
  // Sets the language from a language identifier (its low byte counts, as above).
  uint16_t SetLanguage(int languageId);
  uint16_t Language() const { return language_; }

  // Read a table file; false (tables unchanged) when it cannot be read. The language
  // must be set before the caption table is read.
  bool LoadStyles(const std::string& path);
  bool LoadCaptions(const std::string& path);
  // The same from the file's bytes.
  void ParseStyles(std::string_view text);
  void ParseCaptions(std::string_view text);

  // Index of the first style of that name; 0 (no style) when there is none or the name
  // is empty.
  int FindStyle(std::string_view name) const;
  // Index of the caption record of a component, -1 when there is none. Records are
  // taken in file order, the first match wins, records with an empty owner are
  // passed over. A record matches when its owner is the component's owner or the
  // owner's owner and its name is the component's; or, when its owner is neither,
  // when its owner is the component's own name.
  int FindCaption(std::string_view component, std::string_view owner,
                  std::string_view ownersOwner) const;
  // The text of a message key in the current language; "" when there is none.
  QString GetMsg(std::string_view key) const;

  // Dresses every component of a form (the form's objectName is the owner): caption
  // or text, hint and font, by the component's class. Sizes from the style table are
  // 1 point smaller on a screen of more than 108 dots per inch.
  void ApplyCaptions(QWidget* form) const;
  void ApplyCaptions(QWidget* form, double dotsPerInch) const;

  // What style `index` does to a font (nothing for index 0).
  FontChange StyleFontChange(int index, bool reduceSize) const;

  int StyleCount() const { return static_cast<int>(styles_.size()); }
  int CaptionCount() const { return static_cast<int>(captions_.size()); }
  const StyleRec& Style(int i) const { return styles_[static_cast<size_t>(i)]; }
  const CaptionRec& Caption(int i) const { return captions_[static_cast<size_t>(i)]; }

 private:
  void ApplyTo(QObject* component, const CaptionRec& rec, bool reduceSize) const;

  uint16_t language_ = kEnglish;
  std::vector<StyleRec> styles_;
  std::vector<CaptionRec> captions_;
};

// Splits a table into the fields of its records: one entry per line that is not a
// comment, with at most `columns` fields each (views into `text`).
std::vector<std::vector<std::string_view>> SplitTable(std::string_view text, size_t columns);

}  // namespace workspace
