#include "platform/libreoffice/table_grid.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace velmaris::libreoffice {

namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The end of the tag that starts at `begin` (its ">"), quoted values skipped; npos when the
// text ends first.
size_t TagEnd(std::string_view html, size_t begin) {
  char quote = 0;
  for (size_t i = begin + 1; i < html.size(); ++i) {
    const char c = html[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

// The tag's name in lower case, "/" first for a closing tag.
std::string TagName(std::string_view tag) {
  size_t end = 1;
  while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '>' && (tag[end] != '/' || end == 1))
    ++end;
  return LowerCase(tag.substr(1, end - 1));
}

// The value of the attribute `name` (lower case) of the tag; nothing when it has none.
std::optional<std::string_view> Attribute(std::string_view tag, std::string_view name) {
  const std::string lower = LowerCase(tag);
  for (size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
    if (!IsBlank(lower[at - 1])) continue;
    size_t i = at + name.size();
    while (i < lower.size() && IsBlank(lower[i])) ++i;
    if (i >= lower.size() || lower[i] != '=') continue;
    ++i;
    while (i < lower.size() && IsBlank(lower[i])) ++i;
    if (i >= lower.size()) return std::string_view();
    if (tag[i] == '"' || tag[i] == '\'') {
      const size_t close = tag.find(tag[i], i + 1);
      return tag.substr(i + 1, close == std::string_view::npos ? 0 : close - i - 1);
    }
    size_t end = i;
    while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '>') ++end;
    return tag.substr(i, end - i);
  }
  return std::nullopt;
}

// A border value that draws a line: not "none" or "hidden", and not of width zero.
bool DrawsLine(std::string_view value) {
  const std::string lower = LowerCase(Trim(value));
  if (lower.empty() || lower.find("none") != std::string::npos ||
      lower.find("hidden") != std::string::npos)
    return false;
  // A first word of zeros and a unit ("0", "0in", "0.0pt") is a width of nothing.
  std::string_view width = std::string_view(lower).substr(0, lower.find(' '));
  while (!width.empty() && std::isalpha(static_cast<unsigned char>(width.back()))) {
    width.remove_suffix(1);
  }
  return width.empty() || width.find_first_not_of("0.") != std::string_view::npos;
}

struct Lines {
  bool vertical = false;
  bool horizontal = false;
};

// What a cell's style draws around it.
void AddCellLines(std::string_view style, Lines& lines) {
  while (!style.empty()) {
    const size_t end = style.find(';');
    const std::string_view declaration = style.substr(0, end);
    style.remove_prefix(end == std::string_view::npos ? style.size() : end + 1);
    const size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string property = LowerCase(Trim(declaration.substr(0, colon)));
    if (!DrawsLine(declaration.substr(colon + 1))) continue;
    if (property == "border") {
      lines.vertical = lines.horizontal = true;
    } else if (property == "border-left" || property == "border-right") {
      lines.vertical = true;
    } else if (property == "border-top" || property == "border-bottom") {
      lines.horizontal = true;
    }
  }
}

}  // namespace

std::string TableGridAttributes(std::string_view html) {
  struct Open {
    size_t name_end;  // where attributes may be added to the table's tag
    std::string_view tag;
    Lines lines;
  };
  std::vector<Open> open;
  std::vector<std::pair<size_t, std::string>> additions;
  auto close_table = [&] {
    const Open table = open.back();
    open.pop_back();
    if (table.lines.vertical && table.lines.horizontal && !Attribute(table.tag, "border")) {
      std::string attributes = " border=\"1\"";
      if (!Attribute(table.tag, "cellspacing")) attributes += " cellspacing=\"0\"";
      additions.emplace_back(table.name_end, std::move(attributes));
    }
  };

  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    const size_t end = TagEnd(html, at);
    if (end == std::string_view::npos) break;
    const std::string_view tag = html.substr(at, end - at + 1);
    const std::string name = TagName(tag);
    if (name == "table") {
      open.push_back({at + 6, tag, {}});
    } else if ((name == "td" || name == "th") && !open.empty()) {
      if (auto style = Attribute(tag, "style")) AddCellLines(*style, open.back().lines);
    } else if (name == "/table" && !open.empty()) {
      close_table();
    }
    at = end;
  }
  // A table the text ends inside is judged by the cells it has.
  while (!open.empty()) close_table();

  std::sort(additions.begin(), additions.end());
  std::string out;
  out.reserve(html.size() + additions.size() * 32);
  size_t copied = 0;
  for (const auto& [position, text] : additions) {
    out.append(html.substr(copied, position - copied));
    out.append(text);
    copied = position;
  }
  out.append(html.substr(copied));
  return out;
}

}  // namespace velmaris::libreoffice
