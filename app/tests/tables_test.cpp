// Checks the caption and style tables that ship with the program: every text the
// program asks for is there in all three languages, every field fits its capacity, and
// the copies beside the built program are the shipped files.
//
// The texts the program asks for are found in its sources: message keys as literal
// arguments of GetMsg or TextKey (and any literal of a key's form, which must be written
// so), and components in the forms' .ui files (the form's
// objectName is the row's owner, the component's objectName its name). A component
// whose kind takes a caption needs a row unless its .ui entry sets the property
// "noCaption" (components that keep a designed look, such as icons).
#include <QFile>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"
#include "workspace/lang.h"

using namespace workspace;
namespace fs = std::filesystem;

namespace {

const fs::path kProject = AD_PROJECT_DIR;
const fs::path kData = kProject / "app/data";

// Folders of the project's own sources (not tests, builds or outside files).
const char* const kModules[] = {"platform", "toolkit", "jpegmodule", "dvcodec", "workspace",
                                "capture",  "exporters", "app",      "tools"};

template <class F>
void forEachSource(const std::set<std::string>& extensions, F&& f) {
  for (const char* module : kModules) {
    fs::path root = kProject / module;
    if (!fs::is_directory(root)) continue;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
      if (it->is_directory() && it->path().filename() == "tests") {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file() && extensions.count(it->path().extension().string())) f(it->path());
    }
  }
}

// A string literal in the program's sources that has the form of a message key: capital
// letters and digits in parts joined by "_".
struct KeyLiteral {
  std::string key;
  std::string where;  // file:line
  bool marked;        // the literal argument of GetMsg or TextKey
};

// The source without its comments (line ends kept), so that keys named in comments are not
// taken for keys the program asks for.
std::string withoutComments(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      out += c;
      if (c == '\\' && i + 1 < text.size()) out += text[++i];
      else if (c == quote || c == '\n') quote = 0;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      out += '\n';
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      for (i += 2; i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/'); ++i) {
        if (text[i] == '\n') out += '\n';
      }
      ++i;
    } else {
      if (c == '"' || c == '\'') quote = c;
      out += c;
    }
  }
  return out;
}

std::vector<KeyLiteral> keyLiteralsInSources() {
  static const std::regex literal(R"re("([A-Z][A-Z0-9]*(?:_[A-Z0-9]+)+)")re");
  static const std::regex marker(R"re(\b(?:GetMsg|TextKey)\s*\(\s*$)re");
  std::vector<KeyLiteral> found;
  forEachSource({".cpp", ".h", ".hpp"}, [&](const fs::path& p) {
    const std::string text = withoutComments(adtest::readFile(p));
    for (std::sregex_iterator m(text.begin(), text.end(), literal), end; m != end; ++m) {
      const size_t at = static_cast<size_t>(m->position(0));
      const std::string before = text.substr(at >= 40 ? at - 40 : 0, at >= 40 ? 40 : at);
      const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1;
      found.push_back({(*m)[1], fs::relative(p, kProject).string() + ":" + std::to_string(line),
                       std::regex_search(before, marker)});
    }
  });
  return found;
}

std::string prefixOf(const std::string& key) { return key.substr(0, key.find('_')); }

// The keys the program asks for: the literal arguments of GetMsg and TextKey, and every
// literal of a key's form whose first part is that of a message key (of the table or of
// the sources), wherever it is written.
std::set<std::string> keysInSources(const std::vector<std::string>& tableKeys) {
  const std::vector<KeyLiteral> literals = keyLiteralsInSources();
  std::set<std::string> prefixes, keys;
  for (const std::string& k : tableKeys) prefixes.insert(prefixOf(k));
  for (const KeyLiteral& l : literals) {
    if (l.marked) prefixes.insert(prefixOf(l.key));
  }
  for (const KeyLiteral& l : literals) {
    if (l.marked || prefixes.count(prefixOf(l.key))) keys.insert(l.key);
  }
  return keys;
}

struct Component {
  std::string form, name;
  bool operator<(const Component& o) const { return std::tie(form, name) < std::tie(o.form, o.name); }
};

// Components of the .ui files whose kind takes a caption.
std::set<Component> captionedComponentsInForms() {
  std::set<Component> found;
  forEachSource({".ui"}, [&](const fs::path& p) {
    QFile file(QString::fromStdString(p.string()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << p;
    QXmlStreamReader xml(&file);
    struct Open {
      std::string cls, name;
      bool root = false, noCaption = false, tabPage = false;
    };
    std::vector<Open> stack;  // the <widget> and <action> elements being read
    std::string form;
    std::string property;
    while (!xml.atEnd()) {
      xml.readNext();
      const std::string tag = xml.name().toString().toStdString();
      if (xml.isStartElement()) {
        if (tag == "widget" || tag == "action") {
          Open o{tag == "action" ? "QAction" : xml.attributes().value("class").toString().toStdString(),
                 xml.attributes().value("name").toString().toStdString()};
          o.tabPage = o.cls == "QWidget" && !stack.empty() && stack.back().cls == "QTabWidget";
          o.root = form.empty();
          if (o.root) form = o.name;  // the form itself
          stack.push_back(o);
        } else if (tag == "property") {
          property = xml.attributes().value("name").toString().toStdString();
        } else if (tag == "bool" && property == "noCaption" && !stack.empty()) {
          stack.back().noCaption = xml.readElementText() == "true";
        }
      } else if (xml.isEndElement() && tag == "property") {
        property.clear();
      } else if (xml.isEndElement() && (tag == "widget" || tag == "action") && !stack.empty()) {
        Open o = stack.back();
        stack.pop_back();
        ComponentKind kind = o.tabPage ? ComponentKind::Captioned : KindOfClass(o.cls);
        bool captioned = kind != ComponentKind::Other && kind != ComponentKind::StyleOnly;
        if (!o.root && captioned && !o.noCaption) found.insert({form, o.name});
      }
    }
    EXPECT_FALSE(xml.hasError()) << p << ": " << xml.errorString().toStdString();
  });
  return found;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    EXPECT_NE(end, std::string::npos) << "the last line has no line end";
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream s(line.substr(0, line.size() - 1));  // without the CR
  std::string f;
  while (std::getline(s, f, '\t')) out.push_back(f);
  if (line.size() >= 2 && line[line.size() - 2] == '\t') out.emplace_back();
  return out;
}

bool validUtf8(const std::string& s) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  (void)decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
  return !decoder.hasError();
}

// Checks the form of every line: CR LF ends, no empty lines, the column count, and
// each field within its capacity. Returns the rows that are not comments.
std::vector<std::vector<std::string>> checkedRows(const std::string& file,
                                                  const std::vector<size_t>& capacities) {
  std::string text = adtest::readFile(kData / file);
  EXPECT_TRUE(validUtf8(text)) << file;
  std::vector<std::vector<std::string>> rows;
  int number = 0;
  for (const auto& line : lines(text)) {
    ++number;
    SCOPED_TRACE(file + ":" + std::to_string(number));
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "not a CR LF line end";
    if (line.empty() || line.back() != '\r' || line.rfind("$$", 0) == 0) continue;
    auto f = fields(line);
    EXPECT_EQ(f.size(), capacities.size()) << line;
    if (f.size() != capacities.size()) continue;
    for (size_t i = 0; i < f.size(); ++i) {
      EXPECT_LE(f[i].size(), capacities[i]) << "column " << i + 1 << ": " << f[i];
      EXPECT_FALSE(f[i].empty()) << "column " << i + 1;
    }
    rows.push_back(f);
  }
  return rows;
}

TEST(ShippedTables, HaveTheirFormAndFitTheirCapacities) {
  auto styles = checkedRows("kbx40.sty", {19, 59, 2, 5});
  ASSERT_FALSE(styles.empty());
  // The first style is never applied, so it should change nothing.
  EXPECT_EQ(styles[0], (std::vector<std::string>{styles[0][0], "$$", "$$", "$$"}));
  std::set<std::string> styleNames;
  for (const auto& s : styles) {
    EXPECT_TRUE(styleNames.insert(s[0]).second) << "style twice: " << s[0];
    EXPECT_TRUE(s[2] == "$$" || std::regex_match(s[2], std::regex("[1-9][0-9]?"))) << s[2];
    EXPECT_TRUE(s[3] == "$$" || s[3] == "true" || s[3] == "false") << s[3];
  }

  auto captions = checkedRows("kbx40.cpt", {99, 99, 199, 19, 199, 19, 199, 19});
  std::set<std::pair<std::string, std::string>> seen;
  for (const auto& c : captions) {
    EXPECT_TRUE(seen.insert({c[0], c[1]}).second) << "row twice: " << c[0] << " " << c[1];
    for (size_t column : {3, 5, 7}) {
      EXPECT_TRUE(c[column] == "HINT" || (styleNames.count(c[column]) && c[column] != styles[0][0]))
          << c[1] << ": style " << c[column];
    }
  }
}

// The message keys of the shipped caption table.
std::vector<std::string> tableKeys() {
  std::vector<std::string> keys;
  for (const auto& row : checkedRows("kbx40.cpt", {99, 99, 199, 19, 199, 19, 199, 19})) {
    if (row[0] == "PrgLevel") keys.push_back(row[1]);
  }
  return keys;
}

// A key that reaches GetMsg through a helper of its own is written as TextKey("..."), so
// that no key escapes the search of the test below.
TEST(ShippedTables, EveryKeyIsWrittenWhereTheSearchFindsIt) {
  const std::vector<KeyLiteral> literals = keyLiteralsInSources();
  std::set<std::string> prefixes;
  for (const std::string& k : tableKeys()) prefixes.insert(prefixOf(k));
  for (const KeyLiteral& l : literals) {
    if (l.marked) prefixes.insert(prefixOf(l.key));
  }
  ASSERT_TRUE(prefixes.count("MSG"));
  for (const KeyLiteral& l : literals) {
    EXPECT_TRUE(l.marked || !prefixes.count(prefixOf(l.key)))
        << l.where << ": " << l.key << " is not written as GetMsg(\"...\") or TextKey(\"...\")";
  }
}

TEST(ShippedTables, HaveEveryTextTheProgramAsksFor) {
  const std::set<std::string> keys = keysInSources(tableKeys());
  const std::set<Component> components = captionedComponentsInForms();
  // The search itself must work: the wait window asks for the first, the album save
  // command for the second through a helper of its own.
  ASSERT_TRUE(keys.count("MB_TI_CLOSE"));
  ASSERT_TRUE(keys.count("MSG_ASSOCIATE1"));
  ASSERT_TRUE(components.count({"frmWait", "lblWait"}));
  ASSERT_FALSE(components.count({"frmWait", "Image1"}));

  for (int language : {kEnglish, kFrench, kJapanese}) {
    SCOPED_TRACE(language);
    MLang lang;
    lang.SetLanguage(language);
    ASSERT_TRUE(lang.LoadStyles((kData / "kbx40.sty").string()));
    ASSERT_TRUE(lang.LoadCaptions((kData / "kbx40.cpt").string()));
    for (const auto& key : keys) EXPECT_FALSE(lang.GetMsg(key).isEmpty()) << "no text for " << key;
    for (const auto& c : components) {
      int index = lang.FindCaption(c.name, c.form, "");
      EXPECT_GE(index, 0) << "no row for " << c.form << " " << c.name;
      if (index >= 0) {
        EXPECT_FALSE(lang.Caption(index).text.empty()) << c.form << " " << c.name;
      }
    }
  }
}

TEST(ShippedTables, AreCopiedBesideTheProgram) {
  for (const char* file : {"kbx40.cpt", "kbx40.sty"}) {
    EXPECT_EQ(adtest::readFile(fs::path(AD_BIN_DIR) / file), adtest::readFile(kData / file)) << file;
  }
}

}  // namespace
