#include "registry_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace platform {

namespace {

constexpr size_t npos = std::string::npos;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

unsigned char lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

std::string folded(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
  return out;
}

bool isUnder(const std::string& child, const std::string& parent) {
  return child.size() > parent.size() && child[parent.size()] == '\\' &&
         sameName(child.substr(0, parent.size()), parent);
}

// The line without a byte order mark in front.
std::string_view content(const std::string& body) {
  std::string_view v(body);
  if (v.substr(0, kBom.size()) == kBom) v.remove_prefix(kBom.size());
  return v;
}

// A line that goes on in the next one when it ends with a backslash: anything but a key
// header and a comment.
bool continuable(std::string_view line) { return line.empty() || (line[0] != '[' && line[0] != ';'); }

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// Reads a quoted string starting at s[pos] == '"'. Returns the position after the
// closing quote, or npos when the string does not end on this line.
size_t unquote(std::string_view s, size_t pos, std::string& out) {
  out.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return i + 1;
    if (c == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return npos;
}

std::string format(const std::string& name, const RegistryText::Value& v) {
  std::string out = '"' + escape(name) + "\"=";
  if (v.isDword) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", v.dword);
    return out + "dword:" + hex;
  }
  return out + '"' + escape(v.text) + '"';
}

}  // namespace

std::string RegistryText::normalisePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    char ch = c == '/' ? '\\' : c;
    if (ch == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += ch;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

RegistryText::Line RegistryText::classify(std::string body, std::string end) {
  Line line;
  line.body = std::move(body);
  line.end = std::move(end);
  std::string_view s = content(line.body);
  if (s.empty() || s[0] == ';') return line;
  if (s[0] == '[') {
    line.kind = Kind::Header;
    size_t close = s.rfind(']');
    if (close != npos && close >= 2) line.key = normalisePath(std::string(s.substr(1, close - 1)));
    return line;
  }
  if (s[0] != '"') return line;
  size_t pos = unquote(s, 0, line.name);
  if (pos == npos || pos >= s.size() || s[pos] != '=') return line;
  line.kind = Kind::Value;
  // A value continued over several lines is of a type the store does not read.
  if (line.body.find('\n') != npos) return line;
  std::string_view data = s.substr(pos + 1);
  if (data.size() > 6 && data.substr(0, 6) == "dword:") {
    std::string_view hex = data.substr(6);
    if (hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != npos) return line;
    line.known = true;
    line.value.isDword = true;
    line.value.dword = static_cast<uint32_t>(std::strtoul(std::string(hex).c_str(), nullptr, 16));
  } else if (!data.empty() && data[0] == '"') {
    line.known = unquote(data, 0, line.value.text) != npos;
  }
  return line;
}

RegistryText::RegistryText(const std::string& text) {
  bool eolSeen = false;
  std::string body, end;
  bool open = false;  // the line read last goes on in the next
  for (size_t pos = 0; pos < text.size();) {
    size_t nl = text.find('\n', pos);
    std::string piece, pieceEnd;
    if (nl == npos) {
      piece = text.substr(pos);
      pos = text.size();
    } else {
      piece = text.substr(pos, nl - pos);
      pieceEnd = "\n";
      if (!piece.empty() && piece.back() == '\r') {
        piece.pop_back();
        pieceEnd = "\r\n";
      }
      pos = nl + 1;
    }
    if (!eolSeen && !pieceEnd.empty()) {
      eol_ = pieceEnd;
      eolSeen = true;
    }
    if (open) {
      body += end + piece;
    } else {
      body = std::move(piece);
    }
    end = std::move(pieceEnd);
    open = !end.empty() && !body.empty() && body.back() == '\\' && continuable(content(body));
    if (!open) lines_.push_back(classify(std::move(body), std::move(end)));
  }
  if (open) lines_.push_back(classify(std::move(body), std::move(end)));
}

std::string RegistryText::text() const {
  std::string out;
  for (const Line& l : lines_) out += l.body + l.end;
  return out;
}

std::vector<size_t> RegistryText::sections() const {
  std::vector<size_t> owner(lines_.size(), npos);
  size_t current = npos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Header) current = i;
    owner[i] = current;
  }
  return owner;
}

bool RegistryText::hasKey(const std::string& key) const {
  return std::any_of(lines_.begin(), lines_.end(),
                     [&](const Line& l) { return l.kind == Kind::Header && sameName(l.key, key); });
}

std::vector<size_t> RegistryText::valueLines(const std::string& key, const std::string& name) const {
  std::vector<size_t> found;
  const std::vector<size_t> owner = sections();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Value && owner[i] != npos && sameName(lines_[owner[i]].key, key) && sameName(l.name, name))
      found.push_back(i);
  }
  return found;
}

std::optional<RegistryText::Value> RegistryText::value(const std::string& key, const std::string& name) const {
  std::optional<Value> v;
  for (size_t i : valueLines(key, name)) {
    if (lines_[i].known) v = lines_[i].value;
  }
  return v;
}

std::vector<RegistryText::Entry> RegistryText::entries() const {
  std::vector<Entry> out;
  std::map<std::string, size_t> seen;  // folded key and name -> place in out
  std::map<std::string, std::string> spelling;  // folded key -> the first section's spelling
  const std::vector<size_t> owner = sections();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Header && !l.key.empty()) spelling.emplace(folded(l.key), l.key);
    if (l.kind != Kind::Value || !l.known || owner[i] == npos || lines_[owner[i]].key.empty()) continue;
    const std::string key = folded(lines_[owner[i]].key);
    auto [it, fresh] = seen.emplace(key + '\0' + folded(l.name), out.size());
    if (fresh) {
      out.push_back({spelling[key], l.name, l.value});
    } else {
      out[it->second].value = l.value;
    }
  }
  return out;
}

void RegistryText::appendLine(const std::string& body) {
  if (!lines_.empty()) {
    // The last line gets its line end; one that would go on into the new line is
    // closed with an empty line first.
    Line& last = lines_.back();
    if (last.end.empty()) last.end = eol_;
    if (!last.body.empty() && last.body.back() == '\\' && continuable(content(last.body)))
      last = classify(last.body + last.end, last.end);
  }
  lines_.push_back(classify(body, eol_));
}

bool RegistryText::createKey(const std::string& key) {
  if (hasKey(key)) return false;
  if (lines_.empty()) appendLine("REGEDIT4");
  if (!lines_.back().body.empty()) appendLine("");
  appendLine("[" + key + "]");
  return true;
}

bool RegistryText::deleteKey(const std::string& key) {
  const std::vector<size_t> owner = sections();
  std::vector<Line> kept;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const bool gone = owner[i] != npos && (sameName(lines_[owner[i]].key, key) || isUnder(lines_[owner[i]].key, key));
    if (!gone) kept.push_back(std::move(lines_[i]));
  }
  const bool removed = kept.size() != lines_.size();
  lines_ = std::move(kept);
  return removed;
}

bool RegistryText::setValue(const std::string& key, const std::string& name, const Value& value) {
  const std::vector<size_t> found = valueLines(key, name);
  if (!found.empty()) {
    Line& line = lines_[found.back()];
    if (line.known && line.value == value) return false;
    line = classify(format(line.name, value), line.end);
    return true;
  }
  if (!hasKey(key)) {
    createKey(key);
    appendLine(format(name, value));
    return true;
  }
  // After the last line of the key's last section that is not blank.
  size_t header = npos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Header && sameName(lines_[i].key, key)) header = i;
  }
  size_t after = header;
  for (size_t i = header + 1; i < lines_.size() && lines_[i].kind != Kind::Header; ++i) {
    if (!lines_[i].body.empty()) after = i;
  }
  if (after + 1 == lines_.size()) {
    appendLine(format(name, value));
  } else {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), classify(format(name, value), eol_));
  }
  return true;
}

bool RegistryText::deleteValue(const std::string& key, const std::string& name) {
  const std::vector<size_t> found = valueLines(key, name);
  for (auto it = found.rbegin(); it != found.rend(); ++it) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*it));
  return !found.empty();
}

}  // namespace platform
