// Number <-> text conversions of the ActionScript 1/2 engine.
//
// Design note. The player does not print or parse numbers with a correctly rounded algorithm; it
// works in plain double arithmetic, and scripts can observe the difference (Number.MAX_VALUE
// prints as 1.79769313486231e+308, not ...232). So both directions reproduce that arithmetic:
//  - printing scales the value into [1, 10) by a binary powering of ten (multiplying for
//    positive, dividing for negative exponents), peels off 15 digits by truncate / subtract /
//    times ten, rounds on the 16th digit with ties away from zero, and keeps the player's
//    mishandled carry out of the first digit in exponent form;
//  - decimal parsing adds each digit scaled by its power of ten, again by binary powering.
// Every step is one IEEE double operation, so results are identical wherever doubles are SSE2
// (the build requires it for 32-bit x86); nothing depends on the C library or its locale.
#include "avm1/NumberText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace lumen::avm1 {
namespace {

// Text that is no number reads as the NaN that a failed operation leaves (sign bit set), which
// == tells apart from the NaN constant.
constexpr double kNaN = -std::numeric_limits<double>::quiet_NaN();
constexpr int kSignificantDigits = 15;
// The player's own, slightly short, value of log10(2).
constexpr double kLog10Of2 = 0.301029995663981;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The only characters the player treats as white space in numbers.
bool IsNumberSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t SkipNumberSpace(std::string_view s, size_t i) {
  while (i < s.size() && IsNumberSpace(s[i])) ++i;
  return i;
}

// Value of c as a digit of any radix up to 36, or -1.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

// value * 10^exp the player's way: one rounding per power of ten used.
double ShiftDecimal(double value, int64_t exp) {
  const bool up = exp > 0;
  uint64_t bits = up ? static_cast<uint64_t>(exp) : 0 - static_cast<uint64_t>(exp);
  double power = 10.0;
  while (bits != 0) {
    if (bits & 1) value = up ? value * power : value / power;
    bits >>= 1;
    power *= power;
  }
  return value;
}

int BinaryExponent(double positive) {
  uint64_t bits = 0;
  std::memcpy(&bits, &positive, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased != 0) return biased - 1023;
  const double normalized = positive * 0x1p54;  // subnormal: bring it into normal range first
  std::memcpy(&bits, &normalized, sizeof bits);
  return static_cast<int>((bits >> 52) & 0x7ff) - 1023 - 54;
}

// The 15 significant digits of a positive finite value and its decimal exponent, as the player
// derives them.
struct Significand {
  std::array<int, kSignificantDigits> digits{};
  int exponent = 0;
  bool carried_out = false;  // rounding overflowed the first digit (9.99...9 -> 10)
};

Significand Decompose(double positive) {
  Significand result;
  int exp = static_cast<int>(std::round(BinaryExponent(positive) * kLog10Of2));
  double scaled = ShiftDecimal(positive, -exp);
  // The estimate can be one off either way.
  if (static_cast<int>(scaled) == 0) scaled = ShiftDecimal(positive, -(--exp));
  if (static_cast<int>(scaled) >= 10) scaled = ShiftDecimal(positive, -(++exp));
  result.exponent = exp;

  auto next_digit = [&scaled] {
    const int digit = std::clamp(static_cast<int>(scaled), 0, 9);
    scaled = (scaled - digit) * 10.0;
    return digit;
  };
  for (int& digit : result.digits) digit = next_digit();
  if (next_digit() < 5) return result;

  for (int i = kSignificantDigits - 1; i >= 0; --i) {
    if (result.digits[i] != 9) {
      ++result.digits[i];
      return result;
    }
    result.digits[i] = 0;
  }
  result.carried_out = true;
  return result;
}

// Number of digits left once trailing zeros are dropped (at least `keep`).
int SignificantLength(const Significand& s, int keep) {
  int length = kSignificantDigits;
  while (length > keep && s.digits[length - 1] == 0) --length;
  return length;
}

void AppendExponent(std::string& out, int exponent) {
  out += 'e';
  out += exponent > 0 ? '+' : '-';
  out += std::to_string(exponent < 0 ? -exponent : exponent);
}

// Plain notation, used for decimal exponents -5..14. Here the player keeps a spare digit in
// front, so a carry out of the first digit simply yields the next power of ten.
std::string FormatFixed(Significand s) {
  if (s.carried_out) {
    s.digits.fill(0);
    s.digits[0] = 1;
    ++s.exponent;
  }
  std::string out;
  const int length = SignificantLength(s, 1);
  if (s.exponent < 0) {
    out = "0.";
    out.append(static_cast<size_t>(-s.exponent - 1), '0');
    for (int i = 0; i < length; ++i) out += static_cast<char>('0' + s.digits[i]);
    return out;
  }
  const int integer_digits = s.exponent + 1;  // may be 16 after a carry
  for (int i = 0; i < integer_digits; ++i) {
    out += static_cast<char>('0' + (i < kSignificantDigits ? s.digits[i] : 0));
  }
  if (length > integer_digits) {
    out += '.';
    for (int i = integer_digits; i < length; ++i) out += static_cast<char>('0' + s.digits[i]);
  }
  return out;
}

// Exponent notation. The player's carry out of the first digit went wrong for negative values:
// large ones lose the digit entirely ("-e+16"), small ones keep an unnormalized "-10e-7".
std::string FormatExponential(const Significand& s, bool negative) {
  std::string out = negative ? "-" : "";
  if (s.carried_out) {
    if (!negative) {
      out += '1';
      AppendExponent(out, s.exponent + 1);
    } else if (s.exponent > 0) {
      AppendExponent(out, s.exponent + 1);
    } else {
      out += "10";
      AppendExponent(out, s.exponent);
    }
    return out;
  }
  const int length = SignificantLength(s, 1);
  out += static_cast<char>('0' + s.digits[0]);
  if (length > 1) {
    out += '.';
    for (int i = 1; i < length; ++i) out += static_cast<char>('0' + s.digits[i]);
  }
  AppendExponent(out, s.exponent);
  return out;
}

bool IsInt32(double v) {
  return v >= -2147483648.0 && v <= 2147483647.0 && v == std::trunc(v);
}

// Integer digits of n in radix 2..36. The player negates in 32 bits, so the most negative value
// stays negative and its remainders come out as characters below '0'; kept for fidelity.
std::string FormatInteger(int32_t n, int radix) {
  if (n == 0) return "0";
  const bool negative = n < 0;
  int32_t rest = negative && n != std::numeric_limits<int32_t>::min() ? -n : n;
  std::string reversed;
  while (rest != 0) {
    const int digit = rest % radix;
    rest /= radix;
    reversed += static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
  }
  if (negative) reversed += '-';
  return {reversed.rbegin(), reversed.rend()};
}

// A signed run of digits of one radix filling the whole string, wrapped to 32 bits; nullopt if
// anything else is present.
std::optional<int32_t> ParseWrappedInteger(std::string_view s, int radix) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) ++i;
  if (i == s.size()) return std::nullopt;
  uint32_t value = 0;
  for (; i < s.size(); ++i) {
    const int digit = DigitValue(s[i]);
    if (digit < 0 || digit >= radix) return std::nullopt;
    value = value * static_cast<uint32_t>(radix) + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0 - value : value);
}

// Decimal number after optional white space and sign. Strict parsing rejects anything after
// it; lenient parsing (parseFloat, SWF 4) ignores the rest, and also reads on across further
// dots when adding up digits, as the player does.
double ParseDecimal(std::string_view s, bool strict) {
  size_t i = SkipNumberSpace(s, 0);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t digits_start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  const int64_t integer_digits = static_cast<int64_t>(i - digits_start);
  bool any_digit = integer_digits > 0;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && IsDigit(s[i]); ++i) any_digit = true;
  }
  if (!any_digit) return kNaN;

  int32_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exponent_negative = s[i++] == '-';
    uint32_t magnitude = 0;  // wraps like the player's 32-bit accumulator
    for (; i < s.size() && IsDigit(s[i]); ++i) magnitude = magnitude * 10 + (s[i] - '0');
    exponent = static_cast<int32_t>(exponent_negative ? 0 - magnitude : magnitude);
  }
  if (strict && i != s.size()) return kNaN;

  double result = 0.0;
  int64_t power = integer_digits - 1 + exponent;
  for (size_t j = digits_start; j < s.size(); ++j) {
    if (IsDigit(s[j])) {
      // A zero adds nothing; skipping it also keeps 0 * infinity out of huge exponents.
      if (s[j] != '0') result += ShiftDecimal(s[j] - '0', power);
      --power;
    } else if (s[j] != '.') {
      break;
    }
  }
  return negative ? -result : result;
}

// SWF 6 integer forms: "0x..." (the sign may only follow the prefix) and octal strings.
std::optional<double> ParsePrefixedInteger(std::string_view s) {
  const bool signed_text = !s.empty() && (s[0] == '+' || s[0] == '-');
  const std::string_view unsigned_text = s.substr(signed_text ? 1 : 0);
  if (unsigned_text.empty() || unsigned_text[0] != '0') return std::nullopt;
  const std::string_view after_zero = unsigned_text.substr(1);
  if (!after_zero.empty() && (after_zero[0] == 'x' || after_zero[0] == 'X')) {
    const auto value = ParseWrappedInteger(s.substr(2), 16);  // "-0x.." leaves "x.." -> NaN
    return value ? static_cast<double>(*value) : kNaN;
  }
  const bool all_octal = std::all_of(after_zero.begin(), after_zero.end(),
                                     [](char c) { return c >= '0' && c <= '7'; });
  if (!all_octal) return std::nullopt;
  const auto value = ParseWrappedInteger(s, 8);
  return value ? static_cast<double>(*value) : kNaN;
}

bool StartsWithHexPrefix(std::string_view s) {
  return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
}

// Radix parseInt uses before its own white space and sign handling, or nullopt for NaN.
// Quirks of the player: the "0x" prefix is taken off whatever the radix, only at the very
// start; a sign before it gives NaN unless the radix makes "0x" ordinary digits; octal is
// guessed only for a whole string of octal digits.
std::optional<int> ChooseParseIntRadix(std::string_view& s, std::optional<int> radix,
                                       bool& ignore_sign) {
  const bool signed_text = !s.empty() && (s[0] == '+' || s[0] == '-');
  if (signed_text && StartsWithHexPrefix(s.substr(1))) {
    if (radix.value_or(0) <= 33) return std::nullopt;
    ignore_sign = true;
    return radix;
  }
  if (StartsWithHexPrefix(s)) {
    s.remove_prefix(2);
    return radix.value_or(16);
  }
  const std::string_view unsigned_text = s.substr(signed_text ? 1 : 0);
  if (!radix && !unsigned_text.empty() && unsigned_text[0] == '0' &&
      std::all_of(unsigned_text.begin() + 1, unsigned_text.end(),
                  [](char c) { return c >= '0' && c <= '7'; })) {
    return 8;
  }
  return radix.value_or(10);
}

void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Reads bytes as the player reads UTF-8: a lead byte with its continuation bytes is one
// character, any byte that does not form one is a Latin-1 character. The result is UTF-8.
std::string DecodeLenientUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int continuation = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t code_point = lead & (0x3F >> continuation);
    bool formed = continuation > 0 && lead < 0xF8 && i + continuation < bytes.size();
    for (int k = 1; formed && k <= continuation; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      formed = (next & 0xC0) == 0x80;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    formed = formed && code_point >= 0x80 && code_point <= 0x10FFFF;
    if (formed) {
      out.append(bytes.substr(i, continuation + 1));
      i += continuation + 1;
    } else {
      AppendUtf8(out, lead);
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string NumberToString(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  if (IsInt32(v)) return std::to_string(static_cast<int32_t>(v));  // also -0 -> "0"
  const bool negative = v < 0;
  const Significand s = Decompose(std::fabs(v));
  if (s.exponent >= kSignificantDigits || s.exponent < -5) return FormatExponential(s, negative);
  return (negative ? "-" : "") + FormatFixed(s);
}

std::string NumberToStringRadix(double v, int radix) {
  if (radix < 2 || radix > 36 || radix == 10) return NumberToString(v);
  // Out of int32 range, infinities and NaN all become the most negative int32.
  const bool in_range = v >= -2147483648.0 && v <= 2147483647.0;
  const int32_t n = in_range ? static_cast<int32_t>(v) : std::numeric_limits<int32_t>::min();
  return FormatInteger(n, radix);
}

double Quietened(double v) {
  constexpr uint64_t kQuietBit = uint64_t{1} << 51;
  return std::isnan(v) ? std::bit_cast<double>(std::bit_cast<uint64_t>(v) | kQuietBit) : v;
}

double StringToNumber(std::string_view s, NumberDialect dialect) {
  if (dialect == NumberDialect::Swf6) {
    if (const auto integer = ParsePrefixedInteger(s)) return *integer;
  }
  if (dialect == NumberDialect::Swf4) {
    const double value = ParseDecimal(s, /*strict=*/false);
    return std::isnan(value) ? 0.0 : value;
  }
  return ParseDecimal(s, /*strict=*/true);
}

double ParseInt(std::string_view s, std::optional<int> radix) {
  if (radix && (*radix < 2 || *radix > 36)) return kNaN;
  bool ignore_sign = false;
  const std::optional<int> base = ChooseParseIntRadix(s, radix, ignore_sign);
  if (!base) return kNaN;

  size_t i = SkipNumberSpace(s, 0);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double result = 0.0;
  bool any_digit = false;
  for (; i < s.size(); ++i) {
    const int digit = DigitValue(s[i]);
    if (digit < 0 || digit >= *base) break;
    result = result * *base + digit;
    any_digit = true;
  }
  if (!any_digit) return kNaN;
  return negative && !ignore_sign ? -result : result;
}

double ParseFloat(std::string_view s) {
  return ParseDecimal(s, /*strict=*/false);
}

uint32_t ToUint32(double v) {
  if (!std::isfinite(v)) return 0;
  double wrapped = std::fmod(std::trunc(v), 4294967296.0);  // exact
  if (wrapped < 0) wrapped += 4294967296.0;
  return static_cast<uint32_t>(wrapped);
}

int32_t ToInt32(double v) {
  return static_cast<int32_t>(ToUint32(v));
}

std::string Escape(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string bytes;
  bytes.reserve(s.size());
  int pending_hex = 0;  // hex digits still expected after a '%'
  int value = 0;
  for (const char c : s) {
    const int digit = DigitValue(c);
    if (c == '%') {
      pending_hex = 2;
      value = 0;
    } else if (pending_hex > 0 && digit >= 0 && digit < 16) {
      value = value * 16 + digit;
      if (--pending_hex == 0) bytes += static_cast<char>(value);
    } else if (pending_hex > 0) {
      pending_hex = 0;  // a malformed escape swallows the character that broke it
    } else {
      bytes += c == '+' ? ' ' : c;
    }
  }
  return DecodeLenientUtf8(bytes);
}

}  // namespace lumen::avm1
