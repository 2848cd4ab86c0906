#include "ini_file.h"

namespace workspace {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool quoted(std::string_view v) { return v.size() >= 2 && isQuote(v.front()) && v.front() == v.back(); }

// What one line of the file is.
struct Line {
  enum Kind { Other, Section, Entry } kind = Other;
  std::string_view name;   // section name or key
  std::string_view value;  // entry value, quotes removed
};

Line classify(std::string_view raw) {
  Line line;
  std::string_view t = trim(raw);
  if (t.empty() || t.front() == ';') return line;
  if (t.front() == '[') {
    t.remove_prefix(1);
    line.kind = Line::Section;
    line.name = trim(t.substr(0, t.find(']')));
    return line;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return line;
  line.kind = Line::Entry;
  line.name = trim(t.substr(0, eq));
  line.value = trim(t.substr(eq + 1));
  if (quoted(line.value)) line.value = line.value.substr(1, line.value.size() - 2);
  return line;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool cleanName(std::string_view s) {
  return !s.empty() && !isBlank(s.front()) && !isBlank(s.back()) && !hasLineBreak(s);
}

std::string encodeValue(std::string_view v) {
  if (!v.empty() && (isBlank(v.front()) || isBlank(v.back()) || quoted(v))) {
    return "\"" + std::string(v) + "\"";
  }
  return std::string(v);
}

}  // namespace

IniFile::IniFile(std::string_view text) {
  size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (first && end < text.size()) crlf_ = true;
    }
    first = false;
    lines_.emplace_back(line);
    pos = end + 1;
  }
}

bool IniFile::Storable(std::string_view section, std::string_view key, std::string_view value) {
  return cleanName(section) && section.find(']') == std::string_view::npos && cleanName(key) &&
         key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';' &&
         !hasLineBreak(value);
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (const auto& raw : lines_) {
    Line line = classify(raw);
    if (line.kind == Line::Section) {
      if (inSection) break;  // only the first section of the name counts
      inSection = sameName(line.name, section);
    } else if (inSection && line.kind == Line::Entry && sameName(line.name, key)) {
      return std::string(line.value);
    }
  }
  return std::nullopt;
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!Storable(section, key, value)) return false;
  const std::string entry = std::string(key) + "=" + encodeValue(value);
  size_t i = 0;
  while (i < lines_.size()) {
    Line line = classify(lines_[i]);
    if (line.kind == Line::Section && sameName(line.name, section)) break;
    ++i;
  }
  if (i == lines_.size()) {
    if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.emplace_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
    return true;
  }
  size_t insertAfter = i;
  for (size_t j = i + 1; j < lines_.size(); ++j) {
    Line line = classify(lines_[j]);
    if (line.kind == Line::Section) break;
    if (line.kind == Line::Entry && sameName(line.name, key)) {
      // Keep the key as the file spells it.
      std::string_view t = trim(lines_[j]);
      lines_[j] = std::string(trim(t.substr(0, t.find('=')))) + "=" + encodeValue(value);
      return true;
    }
    if (!trim(lines_[j]).empty()) insertAfter = j;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1, entry);
  return true;
}

std::string IniFile::Text() const {
  const char* end = crlf_ ? "\r\n" : "\n";
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    // The reader takes one CR before a LF as part of the line's end: a line whose own
    // text ends in CR keeps it only when a CR LF follows.
    text += !line.empty() && line.back() == '\r' ? "\r\n" : end;
  }
  return text;
}

}  // namespace workspace
