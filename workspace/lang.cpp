#include "lang.h"

#include <QAction>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/folders.h"

namespace workspace {

namespace {

constexpr std::string_view kProgramOwner = "PrgLevel";
constexpr std::string_view kKeep = "$$";

// Field capacities in bytes.
constexpr size_t kStyleName = 19, kFontName = 59, kSize = 2, kBold = 5;
constexpr size_t kOwner = 99, kName = 99, kText = 199, kStyleRef = 19;

std::string fit(const std::vector<std::string_view>& fields, size_t column, size_t capacity) {
  if (column >= fields.size() || fields[column].size() > capacity) return {};
  return std::string(fields[column]);
}

std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return s.str();
}

// Reads a number as the C library's atoi does: leading white space, a sign, digits up
// to the first other byte; no digits give 0.
int leadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && std::strchr(" \t\n\v\f\r", s[i]) && s[i] != '\0') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 100000000) n = n * 10 + (s[i++] - '0');
  return static_cast<int>(negative ? -n : n);
}

bool isTrue(std::string_view s) {
  if (s.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != "true"[i]) return false;
  }
  return true;
}

using Kind = ComponentKind;

// The component kinds of the caption table and the Qt classes that stand for them. A
// component is dressed by its exact class, not by a class derived from one of these.
struct ClassKind {
  std::string_view qtClass;
  Kind kind;
};

constexpr ClassKind kKinds[] = {
    {"QAction", Kind::MenuItem},      // a menu item
    {"QMenu", Kind::MenuItem},        // a menu item that opens a menu
    {"QToolButton", Kind::ToolButton},
    {"QPushButton", Kind::Button},    // buttons, with or without a glyph
    {"QLabel", Kind::Captioned},
    {"QRadioButton", Kind::Captioned},
    {"RadioGroup", Kind::Captioned},  // a group box of radio buttons, when a form has one
    {"QGroupBox", Kind::Captioned},
    {"QCheckBox", Kind::Captioned},
    {"QTabWidget", Kind::StyleOnly},  // page control
    {"QListWidget", Kind::StyleOnly},
    {"QComboBox", Kind::StyleOnly},
    {"QLineEdit", Kind::StyleOnly},
    {"QTableWidget", Kind::StyleOnly},  // string grid
};

// The tab widget whose page `o` is, if it is one (a tab sheet).
QTabWidget* tabOfPage(QObject* o) {
  auto* page = qobject_cast<QWidget*>(o);
  if (!page || std::strcmp(o->metaObject()->className(), "QWidget") != 0) return nullptr;
  auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
  return stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
}

Kind kindOf(QObject* o) {
  Kind kind = KindOfClass(o->metaObject()->className());
  if (kind == Kind::Other && tabOfPage(o)) return Kind::Captioned;
  return kind;
}

void setCaption(QObject* o, const QString& text) {
  if (auto* action = qobject_cast<QAction*>(o)) {
    action->setText(text);
  } else if (auto* menu = qobject_cast<QMenu*>(o)) {
    menu->setTitle(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(o)) {
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(o)) {
    group->setTitle(text);
  } else if (auto* tabs = tabOfPage(o)) {
    tabs->setTabText(tabs->indexOf(static_cast<QWidget*>(o)), text);
  }
}

void applyFont(QObject* o, const FontChange& change) {
  auto* widget = qobject_cast<QWidget*>(o);
  if (!widget) return;
  QFont font = widget->font();
  if (change.family) font.setFamily(QString::fromUtf8(change.family->data(),
                                                      static_cast<qsizetype>(change.family->size())));
  if (change.pointSize) font.setPointSize(*change.pointSize);
  if (change.bold) font.setBold(*change.bold);
  widget->setFont(font);
}

QString fromBytes(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

ComponentKind KindOfClass(std::string_view qtClass) {
  for (const auto& k : kKinds) {
    if (qtClass == k.qtClass) return k.kind;
  }
  return Kind::Other;
}

std::vector<std::vector<std::string_view>> SplitTable(std::string_view text, size_t columns) {
  std::vector<std::vector<std::string_view>> rows;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.substr(0, 2) == kKeep) continue;
    auto& fields = rows.emplace_back();
    size_t start = 0;
    for (size_t i = 0; i <= line.size() && fields.size() < columns; ++i) {
      if (i == line.size() || line[i] == '\t' || line[i] == '\r') {
        fields.push_back(line.substr(start, i - start));
        start = i + 1;
      }
    }
  }
  return rows;
}

uint16_t MLang::GetLanguage() { return SetLanguage(platform::userLanguageId()); }

uint16_t MLang::SetLanguage(int languageId) {
  int low = languageId & 0xFF;
  language_ = low == kFrench ? kFrench : low == kJapanese ? kJapanese : kEnglish;
  return language_;
}

bool MLang::LoadStyles(const std::string& path) {
  auto text = readWhole(path);
  if (!text) return false;
  ParseStyles(*text);
  return true;
}

bool MLang::LoadCaptions(const std::string& path) {
  auto text = readWhole(path);
  if (!text) return false;
  ParseCaptions(*text);
  return true;
}

void MLang::ParseStyles(std::string_view text) {
  styles_.clear();
  for (const auto& f : SplitTable(text, 4)) {
    styles_.push_back({fit(f, 0, kStyleName), fit(f, 1, kFontName), fit(f, 2, kSize), fit(f, 3, kBold)});
  }
}

void MLang::ParseCaptions(std::string_view text) {
  const size_t textColumn = language_ == kFrench ? 4 : language_ == kJapanese ? 6 : 2;
  captions_.clear();
  for (const auto& f : SplitTable(text, 8)) {
    captions_.push_back({fit(f, 0, kOwner), fit(f, 1, kName), fit(f, textColumn + 1, kStyleRef),
                         fit(f, textColumn, kText)});
  }
}

int MLang::FindStyle(std::string_view name) const {
  if (name.empty()) return 0;
  for (size_t i = 0; i < styles_.size(); ++i) {
    if (styles_[i].name == name) return static_cast<int>(i);
  }
  return 0;
}

int MLang::FindCaption(std::string_view component, std::string_view owner,
                       std::string_view ownersOwner) const {
  for (size_t i = 0; i < captions_.size(); ++i) {
    const auto& r = captions_[i];
    if (r.owner.empty()) continue;
    bool byOwner = r.owner == owner || r.owner == ownersOwner;
    if (byOwner ? r.name == component : r.owner == component) return static_cast<int>(i);
  }
  return -1;
}

QString MLang::GetMsg(std::string_view key) const {
  for (const auto& r : captions_) {
    if (r.owner == kProgramOwner && r.name == key) return fromBytes(r.text);
  }
  return {};
}

FontChange MLang::StyleFontChange(int index, bool reduceSize) const {
  FontChange change;
  if (index <= 0 || index >= StyleCount()) return change;
  const StyleRec& s = Style(index);
  if (s.fontName != kKeep) change.family = s.fontName;
  if (s.size != kKeep) {
    // Fonts cannot be made 0 points or less; such a size keeps the designed one.
    int points = leadingNumber(s.size) - (reduceSize ? 1 : 0);
    if (points > 0) change.pointSize = points;
  }
  if (s.bold != kKeep) change.bold = isTrue(s.bold);
  return change;
}

void MLang::ApplyCaptions(QWidget* form) const {
  QScreen* screen = form->screen();
  ApplyCaptions(form, screen ? screen->logicalDotsPerInch() : 96.0);
}

void MLang::ApplyCaptions(QWidget* form, double dotsPerInch) const {
  const bool reduce = dotsPerInch > 108;
  const std::string owner = form->objectName().toStdString();
  for (QObject* component : form->findChildren<QObject*>()) {
    const std::string name = component->objectName().toStdString();
    if (name.empty()) continue;
    int index = FindCaption(name, owner, {});
    if (index >= 0) ApplyTo(component, Caption(index), reduce);
  }
}

void MLang::ApplyTo(QObject* component, const CaptionRec& rec, bool reduceSize) const {
  const QString text = fromBytes(rec.text);
  const bool hint = rec.styleName == "HINT";
  bool styled = false;
  switch (kindOf(component)) {
    case Kind::Other:
      return;
    case Kind::MenuItem:
      setCaption(component, text);
      break;
    case Kind::ToolButton:
      if (hint) static_cast<QWidget*>(component)->setToolTip(text);
      else setCaption(component, text);
      break;
    case Kind::Button:
      if (hint) {
        static_cast<QWidget*>(component)->setToolTip(text);
      } else {
        setCaption(component, text);
        styled = true;
      }
      break;
    case Kind::Captioned:
      setCaption(component, text);
      styled = true;
      break;
    case Kind::StyleOnly:
      styled = true;
      break;
  }
  if (styled) applyFont(component, StyleFontChange(FindStyle(rec.styleName), reduceSize));
}

}  // namespace workspace
