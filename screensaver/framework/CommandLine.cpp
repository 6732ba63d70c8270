#include "screensaver/framework/CommandLine.h"

#include <cwctype>

namespace lumen::scrnsave {
namespace {

void SkipSpaces(std::wstring_view& text) {
  while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
}

// Reads decimal digits; a number beyond 32 bits is no window handle and reads as 0.
uint32_t ReadHandle(std::wstring_view& text, bool& any_digit) {
  uint64_t value = 0;
  any_digit = false;
  while (!text.empty() && text.front() >= L'0' && text.front() <= L'9') {
    any_digit = true;
    if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(text.front() - L'0');
    text.remove_prefix(1);
  }
  return value <= UINT32_MAX ? static_cast<uint32_t>(value) : 0;
}

SaverCommand OwnedBy(SaverMode mode, std::wstring_view& text) {
  bool any_digit = false;
  const uint32_t window = ReadHandle(text, any_digit);
  return {mode, any_digit ? Owner::Given : Owner::Foreground, window};
}

}  // namespace

SaverCommand ParseCommandLine(std::wstring_view arguments) {
  while (!arguments.empty() &&
         (arguments.front() == L' ' || arguments.front() == L'-' || arguments.front() == L'/')) {
    arguments.remove_prefix(1);
  }
  if (arguments.empty()) return {SaverMode::Configure, Owner::None, 0};
  const wchar_t choice = static_cast<wchar_t>(std::towupper(arguments.front()));
  arguments.remove_prefix(1);
  switch (choice) {
    case L'S':
      return {SaverMode::FullScreen, Owner::None, 0};
    case L'P':
    case L'L': {
      SkipSpaces(arguments);
      bool any_digit = false;
      const uint32_t window = ReadHandle(arguments, any_digit);
      return {SaverMode::Preview, Owner::Given, window};
    }
    case L'C':
      if (!arguments.empty() && arguments.front() == L':') {
        arguments.remove_prefix(1);
        return OwnedBy(SaverMode::Configure, arguments);
      }
      return {SaverMode::Configure, Owner::Foreground, 0};
    case L'A':
      SkipSpaces(arguments);
      return OwnedBy(SaverMode::ChangePassword, arguments);
    default:
      return {SaverMode::Invalid, Owner::None, 0};
  }
}

}  // namespace lumen::scrnsave
