#include "workspace/lang.h"

#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/profile.h"
#include "workspace/program.h"

using namespace workspace;
using Rows = std::vector<std::vector<std::string_view>>;

namespace {

TEST(Tables, SplitIntoRecordsAndFields) {
  struct Case {
    const char* name;
    std::string text;
    size_t columns;
    Rows rows;
  } cases[] = {
      {"CR LF", "a\tb\r\nc\r\n", 4, {{"a", "b", ""}, {"c", ""}}},
      {"comment lines make no record", "$$ note\r\n$$\r\nx\r\n$x\r\n", 4, {{"x", ""}, {"$x", ""}}},
      {"empty lines make empty records", "\r\n\n", 4, {{"", ""}, {""}}},
      {"LF ends the last field", "a\tb\n", 4, {{"a", "b"}}},
      {"the end of the file ends the last line", "a\r\nb\tc", 4, {{"a", ""}, {"b", "c"}}},
      {"nothing after the last LF", "a\n", 4, {{"a"}}},
      {"fields beyond the last column", "1\t2\t3\t4\t5\r\n", 4, {{"1", "2", "3", "4"}}},
      {"CR and TAB both end fields", "a\rb\tc\r\n", 4, {{"a", "b", "c", ""}}},
      {"empty text", "", 4, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitTable(c.text, c.columns), c.rows);
  }
}

const char kCaptions[] =
    "$$ owner\tname\ten\tstyle\tfr\tstyle\tja\tstyle\r\n"
    "PrgLevel\tTI_MAIN\tAlbum\tSTD\tAlbum FR\tSTDF\tアルバム\tJP\r\n"
    "frmWait\tbtnAbort\tStop\tHINT\tArrêter\tSTD\t中止\tJP\r\n";

TEST(Captions, KeepOnlyTheCurrentLanguagesColumns) {
  struct Case {
    int languageId;
    uint16_t language;
    const char *title, *titleStyle, *stop, *stopStyle;
  } cases[] = {
      {0x0409, kEnglish, "Album", "STD", "Stop", "HINT"},
      {0x040C, kFrench, "Album FR", "STDF", "Arrêter", "STD"},
      {0x0411, kJapanese, "アルバム", "JP", "中止", "JP"},
      {0x0407, kEnglish, "Album", "STD", "Stop", "HINT"},  // German: English
      {12, kFrench, "Album FR", "STDF", "Arrêter", "STD"},
      {0, kEnglish, "Album", "STD", "Stop", "HINT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.languageId);
    MLang lang;
    EXPECT_EQ(lang.SetLanguage(c.languageId), c.language);
    lang.ParseCaptions(kCaptions);
    ASSERT_EQ(lang.CaptionCount(), 2);
    EXPECT_EQ(lang.GetMsg("TI_MAIN"), QString::fromUtf8(c.title));
    EXPECT_EQ(lang.Caption(0).styleName, c.titleStyle);
    EXPECT_EQ(lang.Caption(1).text, c.stop);
    EXPECT_EQ(lang.Caption(1).styleName, c.stopStyle);
  }
}

TEST(Captions, FieldsOverTheirCapacityAreLeftEmpty) {
  const auto n = [](size_t bytes) { return std::string(bytes, 'x'); };
  const auto row = [](std::string owner, std::string name, std::string text, std::string style) {
    return owner + "\t" + name + "\t" + text + "\t" + style + "\r\n";
  };
  struct Case {
    std::string row;
    CaptionRec expected;
  } cases[] = {
      {row(n(99), n(99), n(199), n(19)), {n(99), n(99), n(19), n(199)}},
      {row(n(100), "k", "t", "s"), {"", "k", "s", "t"}},
      {row("o", n(100), "t", "s"), {"o", "", "s", "t"}},
      {row("o", "k", n(200), "s"), {"o", "k", "s", ""}},
      {row("o", "k", "t", n(20)), {"o", "k", "", "t"}},
      // A Japanese text of 67 characters is 201 bytes.
      {row("o", "k", std::string(67 * 3, '\xE3'), "s"), {"o", "k", "s", ""}},
  };
  for (const auto& c : cases) {
    MLang lang;
    lang.ParseCaptions(c.row);
    ASSERT_EQ(lang.CaptionCount(), 1);
    EXPECT_TRUE(lang.Caption(0) == c.expected) << c.row;
  }

  struct StyleCase {
    std::string row;
    StyleRec expected;
  } styleCases[] = {
      {n(19) + "\t" + n(59) + "\t12\ttrue\r\n", {n(19), n(59), "12", "true"}},
      {n(20) + "\t" + n(60) + "\t123\tfalse1\r\n", {"", "", "", ""}},
      {"S\tF\t9\ttrue\n", {"S", "F", "9", "true"}},  // LF alone keeps the bold column
  };
  for (const auto& c : styleCases) {
    MLang lang;
    lang.ParseStyles(c.row);
    ASSERT_EQ(lang.StyleCount(), 1);
    EXPECT_TRUE(lang.Style(0) == c.expected) << c.row;
  }
}

TEST(Captions, FindCaptionFollowsTheOwnerRules) {
  MLang lang;
  lang.ParseCaptions(
      "frmMain\tbtnOk\tmain ok\r\n"    // 0
      "\r\n"                           // 1: a blank line ends nothing
      "frmWait\tbtnAbort\tstop\r\n"    // 2
      "frmWait\tbtnAbort\tsecond\r\n"  // 3
      "frmOwner\tbtnX\tby owner's owner\r\n"  // 4
      "pnlTools\tanything\tby own name\r\n"   // 5
      "PrgLevel\tMSG_CLOSE\tclose?\r\n");     // 6
  struct Case {
    const char *component, *owner, *ownersOwner;
    int index;
  } cases[] = {
      {"btnOk", "frmMain", "", 0},
      {"btnOk", "frmWait", "", -1},
      {"btnAbort", "frmWait", "", 2},     // first match wins, after the blank line
      {"btnabort", "frmWait", "", -1},    // case counts
      {"btnX", "frmDialog", "frmOwner", 4},
      {"pnlTools", "frmMain", "", 5},     // the row's owner is the component itself
      {"", "", "", -1},                   // rows with an empty owner never match
      {"MSG_CLOSE", "frmMain", "", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.component);
    EXPECT_EQ(lang.FindCaption(c.component, c.owner, c.ownersOwner), c.index);
  }
  EXPECT_EQ(lang.GetMsg("MSG_CLOSE"), "close?");
  EXPECT_EQ(lang.GetMsg("msg_close"), "");
  EXPECT_EQ(lang.GetMsg("NO_SUCH_KEY"), "");
}

TEST(Styles, ChangeFontsAsTheirColumnsSay) {
  MLang lang;
  lang.ParseStyles(
      "none\tSerif\t20\ttrue\r\n"   // 0: never applied
      "SIZE\t$$\t12\ttrue\r\n"      // 1
      "FONT\tDejaVu Sans\t$$\t$$\r\n"  // 2
      "ODD\t$$\t9x\tTRUE\r\n"       // 3
      "TINY\t$$\t1\tyes\r\n"        // 4
      "ZERO\t$$\tab\t$$\r\n"        // 5
      "SIZE\tOther\t30\t$$\r\n");   // 6: the first of a name wins
  struct Case {
    const char* style;
    int index;
    bool reduce;
    std::optional<std::string> family;
    std::optional<int> size;
    std::optional<bool> bold;
  } cases[] = {
      {"none", 0, false, {}, {}, {}},
      {"NOPE", 0, false, {}, {}, {}},
      {"", 0, false, {}, {}, {}},
      {"SIZE", 1, false, {}, 12, true},
      {"SIZE", 1, true, {}, 11, true},
      {"FONT", 2, true, "DejaVu Sans", {}, {}},
      {"ODD", 3, false, {}, 9, true},
      {"TINY", 4, true, {}, {}, false},  // 0 points keeps the designed size
      {"ZERO", 5, false, {}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.style) + (c.reduce ? " reduced" : ""));
    int index = lang.FindStyle(c.style);
    EXPECT_EQ(index, c.index);
    FontChange change = lang.StyleFontChange(index, c.reduce);
    EXPECT_EQ(change.family, c.family);
    EXPECT_EQ(change.pointSize, c.size);
    EXPECT_EQ(change.bold, c.bold);
  }
}

TEST(Tables, MissingFileLeavesTheTablesAsTheyWere) {
  adtest::writeFile("a.cpt", kCaptions);
  MLang lang;
  EXPECT_TRUE(lang.LoadCaptions("a.cpt"));
  EXPECT_FALSE(lang.LoadCaptions("missing.cpt"));
  EXPECT_FALSE(lang.LoadStyles("missing.sty"));
  EXPECT_EQ(lang.CaptionCount(), 2);
  EXPECT_EQ(lang.GetMsg("TI_MAIN"), "Album");

  MLang empty;
  EXPECT_FALSE(empty.LoadCaptions("missing.cpt"));
  EXPECT_EQ(empty.GetMsg("TI_MAIN"), "");
}

TEST(Program, MakesSettingsAndTextsFromTheProgramFolder) {
  CreateProfileAndLang();
  ASSERT_NE(Profile, nullptr);
  ASSERT_NE(Lang, nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(platform::workDir()));
  EXPECT_EQ(Lang->Language(), MLang().GetLanguage());
  EXPECT_GT(Lang->StyleCount(), 1);  // the tables beside the program were read
  EXPECT_FALSE(Lang->GetMsg("TI_MAIN").isEmpty());
  delete Profile;
  delete Lang;
  Profile = nullptr;
  Lang = nullptr;
}

}  // namespace
