#include "exporters/html_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/atomic_file.h"
#include "workspace/lang.h"

namespace exporters {

namespace {

constexpr const char* CRLF = "\r\n";
constexpr int kPerRow = 5;
// Every page says that it is UTF-8, first thing in its head, so that a page served over
// HTTP without a charset shows its title and link texts as written in any language.
constexpr const char* kCharset = "<meta charset=\"utf-8\">";

}  // namespace

std::string ColorHex(uint32_t colour) {
  const uint32_t rgb = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
  char text[7];
  std::snprintf(text, sizeof text, "%06X", rgb);
  return text;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string PercentEncode(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string ThreeDigits(int32_t k) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", k);
  return text;
}

HTML::HTML(const workspace::MLang* lang) { LoadLinkTexts(lang); }

void HTML::LoadLinkTexts(const workspace::MLang* lang) {
  if (!lang) return;
  PrevText = lang->GetMsg("HT_PREV").toStdString();
  IndexText = lang->GetMsg("HT_INDEX").toStdString();
  NextText = lang->GetMsg("HT_NEXT").toStdString();
}

void HTML::SetColor(uint32_t pageColor, uint32_t textColor) {
  BackColorHex = ColorHex(pageColor);
  TextColorHex = ColorHex(textColor);
}

std::string HTML::FolderPrefix() const {
  return Folder.empty() || Folder.back() == '/' ? Folder : Folder + "/";
}

std::string HTML::IndexFileName() const { return IndexName.empty() ? BaseName + ".htm" : IndexName; }

std::string HTML::IndexPath() const { return FolderPrefix() + IndexFileName(); }

std::string HTML::PagePath(int32_t k) const { return FolderPrefix() + BaseName + "/zbn" + ThreeDigits(k) + ".htm"; }

bool HTML::Make() {
  PageCount = static_cast<int32_t>(std::min(Images.size(), Thumbnails.size()));
  if (PageCount == 0) return false;
  // Every page and the index are written beside their files first and put in place,
  // the index last, only when all of them are complete: an album that cannot be
  // written leaves the pages and the index of an earlier album as they were.
  std::vector<std::unique_ptr<platform::AtomicFileWriter>> files;
  auto stage = [&files](const std::string& path, const std::string& bytes) {
    files.push_back(std::make_unique<platform::AtomicFileWriter>(path));
    return files.back()->open() && files.back()->write(bytes.data(), bytes.size());
  };
  for (int32_t k = 1; k <= PageCount; ++k) {
    if (!stage(PagePath(k), PageBytes(k))) return false;
  }
  if (!stage(IndexPath(), IndexBytes())) return false;
  for (const auto& f : files) {
    if (!f->commit()) return false;
  }
  return true;
}

bool HTML::MakeIndex() { return platform::writeFileAtomic(IndexPath(), IndexBytes()); }

bool HTML::MakePage(int32_t k) {
  if (k < 1 || k > PageCount || static_cast<size_t>(k) > Images.size()) return false;
  return platform::writeFileAtomic(PagePath(k), PageBytes(k));
}

std::string HTML::IndexBytes() const {
  const std::string title = HtmlEscape(Title);
  const std::string folder = PercentEncode(BaseName);
  std::string s;
  s += "<HTML>" + std::string(CRLF) + "<HEAD>" + CRLF + kCharset + CRLF;
  s += "<TITLE>" + title + CRLF + "</TITLE>" + CRLF + "</HEAD>" + CRLF;
  s += "<BODY BGCOLOR=#" + BackColorHex + " TEXT=#" + TextColorHex + ">" + CRLF + "<CENTER>" + CRLF;
  s += "<H1>" + title + "</H1><BR>" + CRLF;
  s += "<TABLE BORDER=4>" + std::string(CRLF);
  for (int32_t k = 1; k <= PageCount; ++k) {
    const std::string number = ThreeDigits(k);
    if (k % kPerRow == 1) s += "<TR>" + std::string(CRLF);
    s += "<TD ALIGN=CENTER VALIGN=TOP WIDTH = 80 HEIGHT = 80>" + std::string(CRLF);
    s += "<A HREF=\"" + folder + "/zbn" + number + ".htm\">" + CRLF;
    s += number + "<BR>" + CRLF;
    s += "<IMG SRC=\"" + folder + "/" + PercentEncode(Thumbnails[static_cast<size_t>(k - 1)]) + "\"  BORDER=0><BR>" +
         CRLF;
    s += "</A></TD>" + std::string(CRLF);
    if (k % kPerRow == 0) s += "</TR>" + std::string(CRLF);
  }
  if (PageCount % kPerRow != 0) s += "</TR>" + std::string(CRLF);
  s += "</TABLE>" + std::string(CRLF) + "</CENTER>" + CRLF + "</BODY>" + CRLF + "</HTML>" + CRLF;
  return s;
}

std::string HTML::PageBytes(int32_t k) const {
  const std::string& picture = Images[static_cast<size_t>(k - 1)];
  const std::string heading = HtmlEscape(Title) + ":" + HtmlEscape(picture);
  auto link = [](const std::string& href, const std::string& text) {
    return "<TD>" + std::string(CRLF) + "<A HREF=\"" + href + "\">" + HtmlEscape(text) + "</A>" + CRLF + "</TD>" +
           CRLF;
  };
  std::string s;
  s += "<HTML>\n<HEAD>" + std::string(CRLF) + kCharset + CRLF;
  s += "<TITLE>" + heading + "</TITLE>" + CRLF + "</HEAD>" + CRLF;
  s += "<BODY BGCOLOR=#" + BackColorHex + " TEXT=#" + TextColorHex + ">\n\n<CENTER>" + CRLF;
  s += "<H3>" + heading + "</H3>" + CRLF;
  s += "<BR>" + std::string(CRLF) + "<TABLE BORDER=2>" + CRLF + "<TR>" + CRLF;
  if (k > 1) s += link("zbn" + ThreeDigits(k - 1) + ".htm", PrevText);
  s += link("../" + PercentEncode(IndexFileName()), IndexText);
  // Only to a page that is written.
  if (k < PageCount) s += link("zbn" + ThreeDigits(k + 1) + ".htm", NextText);
  s += "</TR></TABLE><BR>" + std::string(CRLF);
  s += "<IMG SRC=\"" + PercentEncode(picture) + "\" BORDER=0>" + CRLF;
  s += "</CENTER>" + std::string(CRLF) + "</BODY>" + CRLF + "</HTML>" + CRLF;
  return s;
}

}  // namespace exporters
