// Design: the text is first rid of its comments, then read rule by rule: the selectors run up to
// '{' and the declarations up to '}', each split at its separators and trimmed. Nothing is
// kept of a text with an error, as a sheet takes all of a text or none of it.

#include "avm1/CssReader.h"

#include <cctype>

namespace lumen::avm1 {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// An unclosed comment runs to the end.
std::string WithoutComments(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find("/*", i);
    out.append(text.substr(i, open == std::string_view::npos ? open : open - i));
    if (open == std::string_view::npos) break;
    const size_t close = text.find("*/", open + 2);
    if (close == std::string_view::npos) break;
    i = close + 2;
  }
  return out;
}

std::string CamelCase(std::string_view name) {
  std::string out;
  bool upper = false;
  for (const char c : name) {
    if (c == '-') {
      upper = true;
      continue;
    }
    out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return out;
}

// Splits at `separator`, trimming each part.
std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(separator, start);
    if (end == std::string_view::npos) end = s.size();
    parts.push_back(Trim(s.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

}  // namespace

std::optional<std::vector<CssRule>> ReadCss(std::string_view source) {
  const std::string text = WithoutComments(source);
  const std::string_view all(text);
  std::vector<CssRule> rules;
  size_t values = 0;
  size_t i = 0;
  while (!Trim(all.substr(i)).empty()) {
    const size_t open = all.find('{', i);
    const size_t close = open == std::string_view::npos ? open : all.find('}', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    CssRule rule;
    for (std::string_view declaration : Split(all.substr(open + 1, close - open - 1), ';')) {
      if (declaration.empty()) continue;
      const size_t colon = declaration.find(':');
      if (colon == std::string_view::npos) return std::nullopt;
      const std::string_view name = Trim(declaration.substr(0, colon));
      if (name.empty()) return std::nullopt;
      rule.declarations.emplace_back(CamelCase(name),
                                     std::string(Trim(declaration.substr(colon + 1))));
    }
    for (std::string_view selector : Split(all.substr(i, open - i), ',')) {
      values += rule.declarations.size() + 1;
      if (selector.empty() || values > kMaxCssValues) return std::nullopt;
      rule.selector = std::string(selector);
      rules.push_back(rule);
    }
    i = close + 1;
  }
  return rules;
}

}  // namespace lumen::avm1
