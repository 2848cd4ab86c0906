// The pages of an HTML album whose pictures and thumbnails already lie in its picture
// folder: an index page with a table of numbered thumbnails, five to a row, each
// linking to the page of its picture, and one page per picture with links to the
// previous picture, the index and the next picture.
//
// Files: the index page Folder + IndexName (BaseName + ".htm" when IndexName is empty);
// the picture folder Folder + BaseName; in it the page of picture k (from 1)
// "zbn" + k with at least three digits + ".htm". The pages are fixed templates with
// CR LF line ends (and two bare LFs on each picture page) in UTF-8 without a byte-order
// mark, which each page declares in a meta element at the start of its head. What goes
// into them from outside is made safe: the title, the link texts and the picture names
// shown are HTML-escaped (& < > "), and every name in a link is percent-encoded, so any
// file name links to its file. Names keep their case everywhere, so the links work on
// file systems that tell cases apart.
//
// Every page is written under a temporary name; Make renames them into place only when
// all are complete, so a page that cannot be written fails the album and changes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/program.h"

namespace workspace {
class MLang;
}

namespace exporters {

class HTML {
 public:
  // Empty names and lists; the link texts from `lang` (none without one).
  explicit HTML(const workspace::MLang* lang = workspace::Lang);

  std::string Folder;     // folder of the index page, with or without a trailing "/"
  std::string BaseName;   // name of the picture folder inside Folder
  std::string IndexName;  // file name of the index page; "" for BaseName + ".htm"
  std::string Title;      // the album title (UTF-8)
  std::vector<std::string> Images;      // picture file names in the picture folder, in album order
  std::vector<std::string> Thumbnails;  // thumbnail file names, same order
  int32_t PageCount = 0;  // picture pages: the length of the shorter list (set by Make)
  std::string PrevText, IndexText, NextText;  // link texts
  std::string BackColorHex, TextColorHex;     // page and text colour, RRGGBB

  // The texts of "HT_PREV", "HT_INDEX" and "HT_NEXT"; empty without a language.
  void LoadLinkTexts(const workspace::MLang* lang);
  // Colours as stored by the program: red in bits 0-7, green 8-15, blue 16-23; the top
  // byte is ignored.
  void SetColor(uint32_t pageColor, uint32_t textColor);

  // Writes every picture page and the index, all or none: false when there is no
  // picture or any page could not be written, and then no file has changed.
  bool Make();
  bool MakeIndex();
  // Page of picture k, 1 <= k <= PageCount.
  bool MakePage(int32_t k);

  std::string IndexPath() const;
  std::string PagePath(int32_t k) const;

  // The bytes of the pages, as Make writes them (PageCount must be set).
  std::string IndexBytes() const;
  std::string PageBytes(int32_t k) const;

 private:
  std::string FolderPrefix() const;
  std::string IndexFileName() const;
};

// Six upper-case hex digits RRGGBB of a stored colour.
std::string ColorHex(uint32_t colour);
// & < > " as character references; every other byte as it is.
std::string HtmlEscape(std::string_view text);
// Every byte but the unreserved ones (letters, digits, - . _ ~) as %XX.
std::string PercentEncode(std::string_view name);
// A number with at least three digits.
std::string ThreeDigits(int32_t k);

}  // namespace exporters
