#pragma once

// Names of variables, properties and clips: movies before version 7 ignore their letter case,
// by the player's own case table.

#include <cstdint>
#include <optional>
#include <string_view>

#include "avm1/CaseMap.h"

namespace lumen::avm1 {

inline char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Frame labels and linkage names ignore the case of ASCII letters alone.
inline bool SameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

inline bool SameName(std::string_view a, std::string_view b, bool case_sensitive) {
  if (case_sensitive) return a == b;
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    // Past ASCII, the player's case table decides, and a letter may change its length.
    if ((static_cast<unsigned char>(a[i]) | static_cast<unsigned char>(b[i])) >= 0x80) {
      return FoldName(a.substr(i)) == FoldName(b.substr(i));
    }
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return a.size() == b.size();
}

// Whether `name` occurs in `text` in any letter case: a cheap over-estimate of whether code
// can refer to a name.
inline bool MentionsName(std::string_view text, std::string_view name) {
  if (name.empty() || text.size() < name.size()) return false;
  for (size_t i = 0; i + name.size() <= text.size(); ++i) {
    if (SameName(text.substr(i, name.size()), name, false)) return true;
  }
  return false;
}

// Whether a name is read as a level: "_level" or "_flash", then a number read as the player
// reads it here, an optional sign and the digits up to the first other character, wrapping at
// 32 bits ("_level" alone is level 0). A negative number names no level that can exist.
inline std::optional<int32_t> LevelOfName(std::string_view name) {
  constexpr size_t kPrefix = 6;
  if (name.size() < kPrefix) return std::nullopt;
  const std::string_view prefix = name.substr(0, kPrefix);
  if (!SameAsciiName(prefix, "_level") && !SameAsciiName(prefix, "_flash")) return std::nullopt;
  std::string_view digits = name.substr(kPrefix);
  const bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  uint32_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return static_cast<int32_t>(negative ? 0u - n : n);
}

// The level a target such as "_level2" names; nothing for any other target.
inline std::optional<int> LevelNumber(std::string_view target) {
  constexpr std::string_view kLevel = "_level";
  if (target.size() <= kLevel.size() || target.size() > kLevel.size() + 9) return std::nullopt;
  if (!SameName(target.substr(0, kLevel.size()), kLevel, false)) return std::nullopt;
  int level = 0;
  for (char c : target.substr(kLevel.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    level = level * 10 + (c - '0');
  }
  return level;
}

// Splits `target:var` or `target.var` into its target path and variable; false for a plain name.
inline bool SplitVariablePath(std::string_view name, std::string_view& path,
                              std::string_view& var) {
  const size_t colon = name.rfind(':');
  if (colon != std::string_view::npos) {
    path = name.substr(0, colon);
    var = name.substr(colon + 1);
    return true;
  }
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name[dot - 1] != '.') {
    path = name.substr(0, dot);
    var = name.substr(dot + 1);
    return true;
  }
  return false;
}

}  // namespace lumen::avm1
