// Written albums crawled from their index page by an outside HTML parser that resolves
// links as a browser does: every page and picture is found, nothing is broken, and the
// titles, headings and the previous / index / next chain are what the user sees, in
// every language of the link texts.
#include <array>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "exporters/html_writer.h"
#include "frames.h"
#include "peers.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/lang.h"

using namespace exporters;
using namespace extest;

TEST(HtmlAlbumPeer, CrawlFindsEveryPageAndPicture) {
  AD_REQUIRE_TOOL(kPython);
  AD_REQUIRE_TOOL("cjpeg");
  // One small JPEG, copied for every picture and thumbnail.
  const fs::path root = adtest::testDir();
  adtest::writeFile(root / "in.ppm", "P6\n8 6\n255\n" + std::string(8 * 6 * 3, '\x80'));
  std::string jpeg;
  ASSERT_EQ(adtest::runProgram({"cjpeg", "-quality", "75", (root / "in.ppm").string()}, &jpeg), 0);

  // Non-ASCII text that a browser shows right only when the page says it is UTF-8.
  const std::string title =
      "Trip & <Friends> \"2024\" </TITLE><script>alert(1)</script> \xC3\xA9t\xC3\xA9 \xE4\xBA\xAC\xE9\x83\xBD";
  // The link texts of the three languages, as the caption table has them.
  std::vector<std::array<std::string, 3>> linkTexts;
  for (int language : {workspace::kEnglish, workspace::kFrench, workspace::kJapanese}) {
    workspace::MLang lang;
    lang.SetLanguage(language);
    ASSERT_TRUE(lang.LoadCaptions(std::string(AD_BIN_DIR) + "/kbx40.cpt"));
    const HTML texts(&lang);
    linkTexts.push_back({"< " + texts.PrevText, texts.IndexText + " & more", texts.NextText + " >"});
  }
  struct Case {
    std::string base, index;
  } cases[] = {{"album", ""},    {"Album", ""}, {"My Album", ""}, {"\xC3\xA9t\xC3\xA9", ""},
               {"a#b", ""},      {"x%y", ""},   {"q\"uote", ""},  {"album", "album.html"},
               {"trip", "Trip.HTM"}};
  constexpr int kPictures = 12;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base + " " + c.index);
    const fs::path folder = root / ("run" + std::to_string(&c - cases));
    fs::create_directories(folder / c.base);
    HTML html(nullptr);
    html.Folder = folder.string();
    html.BaseName = c.base;
    html.IndexName = c.index;
    html.Title = title;
    const auto& [prevText, indexText, nextText] = linkTexts[size_t(&c - cases) % linkTexts.size()];
    html.PrevText = prevText, html.IndexText = indexText, html.NextText = nextText;
    html.SetColor(0x00FFFFFF, 0);
    for (int k = 1; k <= kPictures; ++k) {
      // The last picture has a name that needs encoding.
      std::string fs = k == kPictures ? "fs 012 #1%.jpg" : "fs" + ThreeDigits(k) + ".jpg";
      std::string tn = "tn" + ThreeDigits(k) + ".jpg";
      adtest::writeFile(folder / c.base / fs, jpeg);
      adtest::writeFile(folder / c.base / tn, jpeg);
      html.Images.push_back(fs);
      html.Thumbnails.push_back(tn);
    }
    ASSERT_TRUE(html.Make());

    std::map<std::string, CrawledPage> pages;
    std::vector<std::string> broken;
    ASSERT_TRUE(crawl(html.IndexPath(), pages, broken));
    EXPECT_EQ(broken, std::vector<std::string>{});
    const std::string indexName = c.index.empty() ? c.base + ".htm" : c.index;
    std::set<std::string> expectedPages{indexName}, foundPages;
    for (int k = 1; k <= kPictures; ++k) expectedPages.insert(c.base + "/zbn" + ThreeDigits(k) + ".htm");
    for (const auto& [path, page] : pages) foundPages.insert(path);
    EXPECT_EQ(foundPages, expectedPages);

    const CrawledPage& index = pages[indexName];
    EXPECT_EQ(index.title, title);
    EXPECT_EQ(index.heading, title);
    std::set<std::string> pictures;
    for (int k = 1; k <= kPictures; ++k) {
      EXPECT_EQ(index.images[size_t(k - 1)], c.base + "/" + html.Thumbnails[size_t(k - 1)]);
      EXPECT_EQ(index.links[size_t(k - 1)].second, c.base + "/zbn" + ThreeDigits(k) + ".htm");
      pictures.insert(index.images[size_t(k - 1)]);

      const CrawledPage& page = pages[c.base + "/zbn" + ThreeDigits(k) + ".htm"];
      const std::string& picture = html.Images[size_t(k - 1)];
      EXPECT_EQ(page.title, title + ":" + picture);
      EXPECT_EQ(page.heading, title + ":" + picture);
      EXPECT_EQ(page.scripts, 0);
      ASSERT_EQ(page.images.size(), 1u);
      EXPECT_EQ(page.images[0], c.base + "/" + picture);
      pictures.insert(page.images[0]);
      std::vector<std::pair<std::string, std::string>> links;
      if (k > 1) links.emplace_back(prevText, c.base + "/zbn" + ThreeDigits(k - 1) + ".htm");
      links.emplace_back(indexText, indexName);
      if (k < kPictures) links.emplace_back(nextText, c.base + "/zbn" + ThreeDigits(k + 1) + ".htm");
      EXPECT_EQ(page.links, links) << "page " << k;
    }
    EXPECT_EQ(index.scripts, 0);
    EXPECT_EQ(pictures.size(), size_t(2 * kPictures)) << "every picture and thumbnail is shown";
  }
}
