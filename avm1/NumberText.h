// Conversions between numbers and text as ActionScript 1/2 performs them: number printing, the
// string-to-number coercion of each SWF version, the global parseInt / parseFloat / escape /
// unescape functions and the ECMA integer wraps. All functions are pure and never throw; strings
// are UTF-8.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumen::avm1 {

// The string-to-number rules differ by the movie's SWF version.
enum class NumberDialect {
  Swf4,  // leading numeric prefix, anything unparsable is 0
  Swf5,  // strict decimal, unparsable is NaN
  Swf6,  // SWF 6 and later: also "0x" hex and all-octal-digit integers
};

// The NaN that the globals NaN and Number.NaN hold is a signalling one, as in the player, where
// a double that a native function hands back comes out quietened: such a NaN no longer has the
// constant's bits, which == compares. A constant, not a function: on 32-bit x86 a double
// returned from a function passes through the FPU stack, which would quieten it on its own.
inline constexpr double kNaNConstant = std::bit_cast<double>(uint64_t{0x7FF4000000000000});
// `v`, quietened if it is a signalling NaN.
double Quietened(double v);

// ToString(number): integers in int32 range plainly, otherwise 15 significant digits with
// exponent form from 1e15 up and below 1e-5, including the player's carry quirks.
std::string NumberToString(double v);

// Number.prototype.toString(radix); radix 10 or outside 2..36 prints as NumberToString.
std::string NumberToStringRadix(double v, int radix);

// ToNumber(string).
double StringToNumber(std::string_view s, NumberDialect dialect);

// The global parseInt(s, radix) and parseFloat(s).
double ParseInt(std::string_view s, std::optional<int> radix);
double ParseFloat(std::string_view s);

// ECMA ToInt32 / ToUint32: NaN and infinities give 0, everything else wraps modulo 2^32.
int32_t ToInt32(double v);
uint32_t ToUint32(double v);

// The global escape(): every byte of the UTF-8 text except ASCII letters and digits as %XX.
std::string Escape(std::string_view utf8);

// The global unescape(): %XX (either case) and '+' decoded, malformed escapes dropped; the
// resulting bytes are read as UTF-8 with stray bytes taken as Latin-1 characters.
std::string Unescape(std::string_view s);

}  // namespace lumen::avm1
