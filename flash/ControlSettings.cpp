#include "flash/ControlSettings.h"

#include <array>
#include <cwctype>

namespace lumen::flash {
namespace {

constexpr std::array<std::wstring_view, 6> kQualityNames = {L"Low",      L"High",   L"AutoLow",
                                                            L"AutoHigh", L"Medium", L"Best"};
constexpr std::array<std::wstring_view, 4> kScaleNames = {L"ShowAll", L"NoBorder", L"ExactFit",
                                                          L"NoScale"};

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

template <size_t N>
std::optional<size_t> FindName(const std::array<std::wstring_view, N>& names,
                               std::wstring_view text) {
  for (size_t i = 0; i < N; ++i) {
    if (SameText(names[i], text)) return i;
  }
  return std::nullopt;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

std::wstring_view QualityName(ControlSettings::Quality quality) {
  return kQualityNames.at(static_cast<size_t>(quality));
}

std::optional<ControlSettings::Quality> ParseQuality(std::wstring_view text) {
  const auto index = FindName(kQualityNames, text);
  if (!index) return std::nullopt;
  return static_cast<ControlSettings::Quality>(*index);
}

std::wstring_view ScaleName(ScaleMode mode) {
  return kScaleNames.at(static_cast<size_t>(mode));
}

std::optional<ScaleMode> ParseScale(std::wstring_view text) {
  const auto index = FindName(kScaleNames, text);
  if (!index) return std::nullopt;
  return static_cast<ScaleMode>(*index);
}

int32_t ParseAlign(std::wstring_view text) {
  int32_t align = 0;
  for (const wchar_t c : text) {
    switch (std::towupper(c)) {
      case L'L':
        align |= kAlignLeft;
        break;
      case L'R':
        align |= kAlignRight;
        break;
      case L'T':
        align |= kAlignTop;
        break;
      case L'B':
        align |= kAlignBottom;
        break;
      default:
        break;
    }
  }
  return align;
}

std::wstring AlignName(int32_t align) {
  std::wstring name;
  if (align & kAlignTop) name += L'T';
  if (align & kAlignBottom) name += L'B';
  if (align & kAlignLeft) name += L'L';
  if (align & kAlignRight) name += L'R';
  return name;
}

std::optional<int32_t> ParseColor(std::wstring_view text) {
  if (!text.empty() && text.front() == L'#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  int32_t color = 0;
  for (const wchar_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    color = color << 4 | digit;
  }
  return color;
}

std::wstring ColorName(int32_t color) {
  if (color < 0) return {};
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring name = L"#";
  for (int shift = 20; shift >= 0; shift -= 4) name += kDigits[(color >> shift) & 0xF];
  return name;
}

}  // namespace lumen::flash
