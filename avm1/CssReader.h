#pragma once

// The CSS that TextField.StyleSheet.parseCSS reads: rules of comma-separated selectors and a
// block of `name: value;` declarations, with /* comments */ anywhere between them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumen::avm1 {

struct CssRule {
  std::string selector;
  // Names in camel case, as style objects have them (font-size: fontSize); values trimmed.
  std::vector<std::pair<std::string, std::string>> declarations;
};

// Each selector of a rule gets a rule of its own, in the order of the text; nothing where the
// text does not read (a block left open, a selector missing, a declaration without its colon)
// or would give more than kMaxCssValues declarations in all.
constexpr size_t kMaxCssValues = 1 << 16;
std::optional<std::vector<CssRule>> ReadCss(std::string_view text);

}  // namespace lumen::avm1
