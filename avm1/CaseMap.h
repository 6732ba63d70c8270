#pragma once

// The player's own case mapping, older than today's Unicode (Georgian, Cherokee and many Latin
// extensions map to themselves). String methods, sorting without case and the names of
// movies before version 7 all use it.

#include <string>
#include <string_view>

namespace lumen::avm1 {

std::u16string ToLowerText(std::u16string_view text);
std::u16string ToUpperText(std::u16string_view text);
// A UTF-8 name in lower case, for comparing names without case.
std::string FoldName(std::string_view name);

}  // namespace lumen::avm1
