// The HTML album writer: the pages byte for byte, the rows and links for every count,
// colours, what outside text and names become, and every way the writing fails.
#include <gtest/gtest.h>

#include "exporters/html_writer.h"
#include "frames.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/lang.h"

using namespace exporters;
using namespace extest;

namespace {

fs::path dir() { return adtest::testDir(); }

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// An album writer over n pictures fsNNN.jpg / tnNNN.jpg in dir()/base, link texts
// Prev, Index, Next, white pages with black text.
HTML album(int n, const std::string& base = "album", const std::string& title = "Trip") {
  HTML html(nullptr);
  html.Folder = dir().string() + "/";
  html.BaseName = base;
  html.Title = title;
  for (int k = 1; k <= n; ++k) {
    html.Images.push_back("fs" + ThreeDigits(k) + ".jpg");
    html.Thumbnails.push_back("tn" + ThreeDigits(k) + ".jpg");
  }
  html.PrevText = "Prev", html.IndexText = "Index", html.NextText = "Next";
  html.SetColor(0x00FFFFFF, 0);
  fs::create_directories(dir() / base);
  return html;
}

}  // namespace

TEST(HtmlAlbum, PagesByteForByte) {
  HTML html = album(7);
  ASSERT_TRUE(html.Make());
  auto cell = [](const std::string& k) {
    return "<TD ALIGN=CENTER VALIGN=TOP WIDTH = 80 HEIGHT = 80>\r\n<A HREF=\"album/zbn" + k + ".htm\">\r\n" + k +
           "<BR>\r\n<IMG SRC=\"album/tn" + k + ".jpg\"  BORDER=0><BR>\r\n</A></TD>\r\n";
  };
  const std::string index =
      "<HTML>\r\n<HEAD>\r\n<meta charset=\"utf-8\">\r\n<TITLE>Trip\r\n</TITLE>\r\n</HEAD>\r\n<BODY BGCOLOR=#FFFFFF TEXT=#000000>\r\n"
      "<CENTER>\r\n<H1>Trip</H1><BR>\r\n<TABLE BORDER=4>\r\n"
      "<TR>\r\n" + cell("001") + cell("002") + cell("003") + cell("004") + cell("005") + "</TR>\r\n"
      "<TR>\r\n" + cell("006") + cell("007") + "</TR>\r\n"
      "</TABLE>\r\n</CENTER>\r\n</BODY>\r\n</HTML>\r\n";
  EXPECT_EQ(adtest::readFile(dir() / "album.htm"), index);

  const std::string head =
      "<HTML>\n<HEAD>\r\n<meta charset=\"utf-8\">\r\n<TITLE>Trip:fs00N.jpg</TITLE>\r\n</HEAD>\r\n<BODY BGCOLOR=#FFFFFF TEXT=#000000>\n\n"
      "<CENTER>\r\n<H3>Trip:fs00N.jpg</H3>\r\n<BR>\r\n<TABLE BORDER=2>\r\n<TR>\r\n";
  const std::string tail = "</TR></TABLE><BR>\r\n<IMG SRC=\"fs00N.jpg\" BORDER=0>\r\n</CENTER>\r\n</BODY>\r\n</HTML>\r\n";
  auto page = [&](char n, const std::string& links) {
    std::string s = head + links + tail;
    for (size_t p = s.find("00N"); p != std::string::npos; p = s.find("00N")) s[p + 2] = n;
    return s;
  };
  const std::string prev = "<TD>\r\n<A HREF=\"zbn00P.htm\">Prev</A>\r\n</TD>\r\n";
  const std::string back = "<TD>\r\n<A HREF=\"../album.htm\">Index</A>\r\n</TD>\r\n";
  const std::string next = "<TD>\r\n<A HREF=\"zbn00X.htm\">Next</A>\r\n</TD>\r\n";
  auto with = [](std::string s, char p, char x) {
    if (size_t i = s.find("00P"); i != std::string::npos) s[i + 2] = p;
    if (size_t i = s.find("00X"); i != std::string::npos) s[i + 2] = x;
    return s;
  };
  EXPECT_EQ(adtest::readFile(dir() / "album/zbn001.htm"), page('1', back + with(next, 0, '2')));
  EXPECT_EQ(adtest::readFile(dir() / "album/zbn004.htm"), page('4', with(prev, '3', 0) + back + with(next, 0, '5')));
  EXPECT_EQ(adtest::readFile(dir() / "album/zbn007.htm"), page('7', with(prev, '6', 0) + back));
  EXPECT_EQ(adtest::readFile(html.IndexPath()), html.IndexBytes());
  EXPECT_EQ(adtest::readFile(html.PagePath(4)), html.PageBytes(4));
}

TEST(HtmlAlbum, RowsAndLinksForEveryCount) {
  for (int n : {1, 4, 5, 6, 7, 10, 11}) {
    SCOPED_TRACE(n);
    fs::remove_all(dir() / "album");
    HTML html = album(n);
    ASSERT_TRUE(html.Make());
    EXPECT_EQ(html.PageCount, n);
    const std::string index = adtest::readFile(dir() / "album.htm");
    const size_t rows = size_t(n + 4) / 5;
    EXPECT_EQ(count(index, "<TR>"), rows);
    EXPECT_EQ(count(index, "</TR>"), rows);
    EXPECT_EQ(count(index, "<TD "), size_t(n));
    for (int k : {1, n / 2 + 1, n}) {
      const std::string page = adtest::readFile(html.PagePath(k));
      EXPECT_EQ(count(page, ">Prev<"), k > 1 ? 1u : 0u) << k;
      EXPECT_EQ(count(page, ">Next<"), k < n ? 1u : 0u) << k;
      EXPECT_EQ(count(page, "<A HREF=\"../album.htm\">Index</A>"), 1u) << k;
    }
    EXPECT_TRUE(fs::exists(html.PagePath(n)));
    EXPECT_FALSE(fs::exists(html.PagePath(n + 1)));
  }
  // Numbers keep growing past three digits.
  EXPECT_EQ(ThreeDigits(7), "007");
  EXPECT_EQ(ThreeDigits(1000), "1000");
  EXPECT_EQ(album(0).PagePath(1000), dir().string() + "/album/zbn1000.htm");
}

TEST(HtmlAlbum, ColoursAsRedGreenBlue) {
  struct Case {
    uint32_t colour;
    const char* hex;
  } cases[] = {{0x00FFFFFF, "FFFFFF"}, {0, "000000"}, {0x00563412, "123456"}, {0x80000008, "080000"}, {0xFF0000FF, "FF0000"}};
  for (const Case& c : cases) EXPECT_EQ(ColorHex(c.colour), c.hex) << std::hex << c.colour;
  HTML html = album(1);
  html.SetColor(0x00563412, 0x80000008);
  EXPECT_NE(html.IndexBytes().find("<BODY BGCOLOR=#123456 TEXT=#080000>\r\n"), std::string::npos);
  EXPECT_NE(html.PageBytes(1).find("<BODY BGCOLOR=#123456 TEXT=#080000>\n\n"), std::string::npos);
}

TEST(HtmlAlbum, OutsideTextIsEscapedAndNamesEncoded) {
  struct Case {
    std::string base, index;           // BaseName and IndexName
    std::string folderLink, backLink;  // what the links hold
  } cases[] = {
      {"Album", "", "Album", "Album.htm"},
      {"My Album", "", "My%20Album", "My%20Album.htm"},
      {"\xC3\xA9t\xC3\xA9", "", "%C3%A9t%C3%A9", "%C3%A9t%C3%A9.htm"},
      {"a#b", "", "a%23b", "a%23b.htm"},
      {"x%y", "", "x%25y", "x%25y.htm"},
      {"q\"uote", "", "q%22uote", "q%22uote.htm"},
      {"album", "album.html", "album", "album.html"},
      {"my.album", "my.album.htm", "my.album", "my.album.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base);
    HTML html = album(2, c.base, "</TITLE><script>x()</script>&\"<b>");
    html.IndexName = c.index;
    html.Images[1] = "a&b <1>.jpg";
    html.PrevText = "<<", html.NextText = ">>";
    ASSERT_TRUE(html.Make());
    const std::string index = adtest::readFile(dir() / (c.index.empty() ? c.base + ".htm" : c.index));
    const std::string title = "&lt;/TITLE&gt;&lt;script&gt;x()&lt;/script&gt;&amp;&quot;&lt;b&gt;";
    EXPECT_NE(index.find("<TITLE>" + title + "\r\n</TITLE>"), std::string::npos);
    EXPECT_NE(index.find("<H1>" + title + "</H1>"), std::string::npos);
    EXPECT_NE(index.find("<A HREF=\"" + c.folderLink + "/zbn001.htm\">"), std::string::npos);
    EXPECT_NE(index.find("<IMG SRC=\"" + c.folderLink + "/tn001.jpg\"  BORDER=0>"), std::string::npos);
    const std::string page = adtest::readFile(dir() / c.base / "zbn002.htm");
    EXPECT_NE(page.find("<TITLE>" + title + ":a&amp;b &lt;1&gt;.jpg</TITLE>"), std::string::npos);
    EXPECT_NE(page.find("<A HREF=\"zbn001.htm\">&lt;&lt;</A>"), std::string::npos);
    EXPECT_NE(page.find("<A HREF=\"../" + c.backLink + "\">Index</A>"), std::string::npos);
    EXPECT_NE(page.find("<IMG SRC=\"a%26b%20%3C1%3E.jpg\" BORDER=0>"), std::string::npos) << page;
    EXPECT_EQ(count(index + page, "<script"), 0u);
  }
  // The index under the name given leaves a file of the other name alone.
  adtest::writeFile(dir() / "album.htm", "mine");
  HTML html = album(1);
  html.IndexName = "album.html";
  ASSERT_TRUE(html.Make());
  EXPECT_EQ(adtest::readFile(dir() / "album.htm"), "mine");
}

TEST(HtmlAlbum, LinkTextsFromTheLanguage) {
  workspace::MLang lang;
  lang.SetLanguage(17);
  lang.ParseCaptions(
      "PrgLevel\tHT_PREV\tPrevious\tSTD\tPr\xC3\xA9\x63\xC3\xA9\x64\x65nte\tSTD\t\xE5\x89\x8D\xE3\x81\xB8\tJP\r\n"
      "PrgLevel\tHT_INDEX\tIndex\tSTD\tSommaire\tSTD\t\xE7\x9B\xAE\xE6\xAC\xA1\tJP\r\n"
      "PrgLevel\tHT_NEXT\tNext\tSTD\tSuivante\tSTD\t\xE6\xAC\xA1\xE3\x81\xB8\tJP\r\n");
  HTML html(&lang);
  EXPECT_EQ(html.PrevText, "\xE5\x89\x8D\xE3\x81\xB8");
  EXPECT_EQ(html.IndexText, "\xE7\x9B\xAE\xE6\xAC\xA1");
  EXPECT_EQ(html.NextText, "\xE6\xAC\xA1\xE3\x81\xB8");
  // By default the program's texts; none before they are made.
  workspace::MLang* saved = workspace::Lang;
  workspace::Lang = &lang;
  EXPECT_EQ(HTML().IndexText, "\xE7\x9B\xAE\xE6\xAC\xA1");
  workspace::Lang = nullptr;
  EXPECT_EQ(HTML().IndexText, "");
  workspace::Lang = saved;
}

TEST(HtmlAlbum, FailuresAreReported) {
  // No pictures: nothing at all is written.
  HTML none = album(0);
  EXPECT_FALSE(none.Make());
  EXPECT_FALSE(fs::exists(dir() / "album.htm"));
  HTML noThumbs = album(3);
  noThumbs.Thumbnails.clear();
  EXPECT_FALSE(noThumbs.Make());
  EXPECT_FALSE(fs::exists(dir() / "album.htm"));

  // Lists of different lengths: pages for the shorter, and no link past the last one.
  HTML uneven = album(3);
  uneven.Thumbnails.pop_back();
  ASSERT_TRUE(uneven.Make());
  EXPECT_EQ(uneven.PageCount, 2);
  EXPECT_EQ(adtest::readFile(uneven.PagePath(2)).find("zbn003"), std::string::npos);
  EXPECT_FALSE(fs::exists(uneven.PagePath(3)));
  EXPECT_FALSE(uneven.MakePage(3));
  EXPECT_FALSE(uneven.MakePage(0));

  // No picture folder, or a file in its place.
  HTML noFolder = album(2, "gone");
  fs::remove_all(dir() / "gone");
  EXPECT_FALSE(noFolder.Make());
  HTML fileFolder = album(2, "plain");
  fs::remove_all(dir() / "plain");
  adtest::writeFile(dir() / "plain", "x");
  EXPECT_FALSE(fileFolder.Make());

  // A full disk: the write fails, the old index and pages stay whole, nothing is left
  // behind.
  fs::remove_all(dir() / "album");
  adtest::writeFile(dir() / "album.htm", "old index");
  HTML full = album(3);
  adtest::writeFile(full.PagePath(3), "old page");
  EXPECT_EQ(underFileSizeLimit(200, [&] { return full.Make(); }), 0);
  EXPECT_EQ(adtest::readFile(dir() / "album.htm"), "old index");
  // Pages too large for the disk while the index would fit: the first page fails and
  // ends the album before the index is written, so the old index stays.
  full.IndexText = std::string(1000, 'i');
  full.PageCount = 3;  // Make ran in the child
  ASSERT_LT(full.IndexBytes().size(), 900u);
  EXPECT_EQ(underFileSizeLimit(900, [&] { return full.Make(); }), 0);
  EXPECT_EQ(adtest::readFile(dir() / "album.htm"), "old index");
  EXPECT_FALSE(fs::exists(full.PagePath(1)));
  // Pages that fit while the index does not: not one of them is put in place.
  full.IndexText = "Index";
  for (std::string& t : full.Thumbnails) t = std::string(700, 't') + ".jpg";
  ASSERT_LT(full.PageBytes(1).size(), 1500u);
  ASSERT_GT(full.IndexBytes().size(), 1500u);
  EXPECT_EQ(underFileSizeLimit(1500, [&] { return full.Make(); }), 0);
  EXPECT_EQ(adtest::readFile(dir() / "album.htm"), "old index");
  EXPECT_FALSE(fs::exists(full.PagePath(1)));
  EXPECT_EQ(adtest::readFile(full.PagePath(3)), "old page");
  EXPECT_EQ(strayTemporaries(dir()), 0);
  EXPECT_EQ(strayTemporaries(dir() / "album"), 0);
}
