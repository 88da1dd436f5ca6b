#include "platform/ProfileText.h"

#include <cctype>
#include <cstddef>
#include <vector>

namespace tarvo::profile {
namespace {

std::string_view Trim(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

struct Line {
  std::string_view text;  // without the line end
  std::size_t begin;      // offset of the line in the whole text
  std::size_t end;        // offset after the line end
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t stop = nl == std::string_view::npos ? text.size() : nl;
    std::string_view body = text.substr(pos, stop - pos);
    if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
    std::size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
    lines.push_back({body, pos, next});
    pos = next;
  }
  return lines;
}

// "[name]" -> name; anything else -> nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> ParseKey(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') ||
                        (v.front() == '\'' && v.back() == '\''))) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

}  // namespace

std::optional<std::string> Find(std::string_view text, std::string_view section,
                                std::string_view key) {
  bool inSection = false;
  for (const Line& line : SplitLines(text)) {
    if (auto name = SectionName(line.text)) {
      inSection = SameName(*name, section);
      continue;
    }
    if (!inSection) continue;
    if (auto kv = ParseKey(line.text); kv && SameName(kv->key, key)) {
      return std::string(Unquote(kv->value));
    }
  }
  return std::nullopt;
}

std::string Write(std::string_view text, std::string_view section, std::string_view key,
                  const char* value, std::string_view lineEnd) {
  std::vector<Line> lines = SplitLines(text);
  std::string newLine;
  if (value != nullptr) {
    newLine.append(key).append("=").append(value).append(lineEnd);
  }

  bool inSection = false;
  bool sectionFound = false;
  std::size_t insertAt = text.size();  // after the last line of the section
  for (const Line& line : lines) {
    if (auto name = SectionName(line.text)) {
      if (inSection) break;  // the section ended without the key
      inSection = SameName(*name, section);
      if (inSection) {
        sectionFound = true;
        insertAt = line.end;
      }
      continue;
    }
    if (!inSection) continue;
    if (auto kv = ParseKey(line.text); kv && SameName(kv->key, key)) {
      std::string out(text.substr(0, line.begin));
      out += newLine;
      out.append(text.substr(line.end));
      return out;
    }
    if (!Trim(line.text).empty()) insertAt = line.end;
  }

  if (value == nullptr) return std::string(text);  // nothing to remove
  std::string out(text.substr(0, insertAt));
  if (!sectionFound) {
    if (!out.empty() && out.back() != '\n') out.append(lineEnd);
    out.append("[").append(section).append("]").append(lineEnd);
  } else if (!out.empty() && out.back() != '\n') {
    out.append(lineEnd);
  }
  out += newLine;
  out.append(text.substr(insertAt));
  return out;
}

}  // namespace tarvo::profile
