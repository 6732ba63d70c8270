// Most cases are the reference player's own results, taken from traces of test movies.
#include "avm1/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumen::avm1 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PrintCase {
  double value;
  const char* text;
};

TEST(NumberTextToString, PrintsLikeThePlayer) {
  // clang-format off
  const PrintCase cases[] = {
      {-0.0, "0"}, {-2147483648.0, "-2147483648"}, {2147483648.0, "2147483648"},
      {kNaN, "NaN"}, {kInf, "Infinity"}, {-kInf, "-Infinity"},
      {1.0 / 3.0, "0.333333333333333"}, {1.4142135623730951, "1.4142135623731"},
      {-0.8414709848078965, "-0.841470984807897"}, {20.085536923187668, "20.0855369231877"},
      {11111111111111.11111111, "11111111111111.1"}, {111111111111111.1111111, "111111111111111"},
      {1111111111111111.1111111, "1.11111111111111e+15"}, {1e15, "1e+15"}, {1e21, "1e+21"},
      {-1.5e20, "-1.5e+20"}, {0.0000123456789012346, "0.0000123456789012346"},
      {0.00000123456789012346, "1.23456789012346e-6"}, {0.00001, "0.00001"}, {1e-7, "1e-7"},
      {0.99999999999999938, "0.999999999999999"}, {5.4 / 100000, "0.000054"},
      {5.4 / 1000000, "5.4e-6"}, {-2.123456789123455, "-2.12345678912346"},
      {-0.001234567891234565, "-0.00123456789123457"},
      {-0.001244567891234565, "-0.00124456789123456"},
      {1.234567891234565e+308, "1.23456789123456e+308"},
      {-1.234567891234565e-308, "-1.23456789123457e-308"},
      {-1.244667891234565e-6, "-1.24466789123457e-6"},
      {std::numeric_limits<double>::max(), "1.79769313486231e+308"},  // not ...232
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(NumberToString(c.value), c.text) << c.text;
}

TEST(NumberTextToString, CarryOutOfTheFirstDigit) {
  EXPECT_EQ(NumberToString(9999999999999996.0), "1e+16");
  EXPECT_EQ(NumberToString(-9999999999999996.0), "-e+16");  // the player loses the digit
  EXPECT_EQ(NumberToString(0.09999999999999999), "0.1");
}

TEST(NumberTextToString, Radix) {
  struct Case {
    double value;
    int radix;
    const char* text;
  };
  // clang-format off
  const Case cases[] = {
      {10, 2, "1010"}, {6, 2, "110"}, {6, 3, "20"}, {6, 8, "6"}, {6, -2, "6"}, {6, 0, "6"},
      {6, 5, "11"}, {-5, 2, "-101"}, {-5, 16, "-5"}, {-11, 16, "-b"}, {0xFF0000, 16, "ff0000"},
      {35, 36, "z"}, {2.9, 2, "10"}, {-2.9, 2, "-10"}, {0.5, 16, "0"}, {0.5, 10, "0.5"},
      {0.25, 37, "0.25"},
      {kNaN, 3, "-/.//./..././/0.0./0."},  // out-of-range values print as garbage
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(NumberToStringRadix(c.value, c.radix), c.text) << c.value << " radix " << c.radix;
  }
}

struct ParseCase {
  const char* text;
  double value;  // NaN expects NaN
};

void ExpectParses(double actual, const ParseCase& c, const char* what) {
  if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(actual)) << what << "(\"" << c.text << "\") = " << actual;
  } else {
    EXPECT_DOUBLE_EQ(actual, c.value) << what << "(\"" << c.text << "\")";
  }
}

TEST(NumberTextStringToNumber, Swf6) {
  // clang-format off
  const ParseCase cases[] = {
      {" 2", 2}, {"\n  2", 2}, {"2 ", kNaN}, {"2a", kNaN}, {"2e", 2}, {"2E", 2}, {" -2", -2},
      {" -2e-5", -0.00002}, {" -2e5", -200000}, {"-56e", -56}, {"-56eu", kNaN}, {"-56e-", -56},
      {"-56e+", -56}, {"3e2", 300}, {"2.6", 2.6}, {"", kNaN}, {"Infinity", kNaN},
      {"-Infinity", kNaN}, {"NaN", kNaN}, {"0x2", 2}, {" 0x2", kNaN}, {"-0x2", kNaN},
      {"0x-2", -2}, {"0x-ffffffff", 1}, {"0X+10", 16}, {"0xFF0000", 0xFF0000},
      {"0Xff000000", -16777216}, {"0xff000z", kNaN}, {"0x10 ", kNaN}, {"0x10.8", kNaN},
      {"077", 63}, {"-077", -63}, {"+077", 63}, {" 077", 77}, {"01238", 1238},
      {"0123.6", 123.6}, {"0123r", kNaN}, {"-   0123", kNaN}, {"   0-123", kNaN}, {"6,1", kNaN},
      {"00", 0}, {"1e+10", 1e10}, {"1.4e+7", 14000000},
  };
  // clang-format on
  for (const auto& c : cases) ExpectParses(StringToNumber(c.text, NumberDialect::Swf6), c, "Swf6");
}

TEST(NumberTextStringToNumber, Swf5AndSwf4) {
  const ParseCase swf5[] = {{"0x10", kNaN}, {"010", 10}, {" 2", 2}, {"2a", kNaN}, {"", kNaN}};
  for (const auto& c : swf5) ExpectParses(StringToNumber(c.text, NumberDialect::Swf5), c, "Swf5");
  const ParseCase swf4[] = {{"150a", 150},     {"0x96", 0}, {"010", 10}, {"ab", 0},
                            {"12.34A", 12.34}, {"", 0},     {"-7", -7}};
  for (const auto& c : swf4) ExpectParses(StringToNumber(c.text, NumberDialect::Swf4), c, "Swf4");
}

TEST(NumberTextParse, ParseInt) {
  struct Case {
    const char* text;
    std::optional<int> radix;
    double value;
  };
  // clang-format off
  const Case cases[] = {
      {"45b", {}, 45}, {"-1.234", {}, -1}, {"        -1234", {}, -1234},
      {"          +12.34", {}, 12}, {"++3", {}, kNaN}, {"0x111", {}, 273}, {"0xw", {}, kNaN},
      {"-0x111", {}, kNaN}, {"+0x111", {}, kNaN}, {" 0x111", {}, 0}, {"0x-111", {}, -273},
      {"0X+111", {}, 273}, {"0352", {}, 234}, {"-0352", {}, -234}, {"07658", {}, 7658},
      {"   0352", {}, 352}, {"03529A", {}, 3529}, {"0352 ", {}, 352}, {"a1023", {}, kNaN},
      {"2GA", 36, 10 + 16 * 36 + 2 * 36 * 36}, {"FGH", 17, 16 + 17 * 15},
      {"8589934592", 5, kNaN}, {"8589934592", 16, 573538780562.0},
      {"800000000", 36, 22568879259648.0}, {" 6 7 8", 8, 6}, {"0x123", 8, 83},
      {" 0x123", 8, 0}, {"12", 1, kNaN}, {"12", 37, kNaN}, {"", {}, kNaN},
  };
  // clang-format on
  for (const auto& c : cases) {
    ExpectParses(ParseInt(c.text, c.radix), {c.text, c.value}, "parseInt");
  }
}

TEST(NumberTextParse, ParseFloat) {
  const ParseCase cases[] = {
      {"test", kNaN},
      {"1.5", 1.5},
      {"   \t    -2001.5", -2001.5},
      {"         x1.234", kNaN},
      {"", kNaN},
      {"3.45eE-5", 3.45},
      {"12px", 12},
      {".5", 0.5},
      {"-", kNaN},
  };
  for (const auto& c : cases) ExpectParses(ParseFloat(c.text), c, "parseFloat");
  EXPECT_NEAR(ParseFloat("\t\t 5.13123abc2.35387"), 5.13123, 1e-12);
  EXPECT_NEAR(ParseFloat("3.45E-5"), 3.45e-5, 1e-18);
}

TEST(NumberTextIntegers, WrapModulo2To32) {
  struct Case {
    double value;
    int32_t wrapped;
  };
  // clang-format off
  const Case cases[] = {
      {1.5, 1}, {-1e-15, 0}, {-7.8, -7}, {4294967295.0, -1}, {2147483648.0, -2147483647 - 1},
      {2147483649.0, -2147483647}, {-2147483649.0, 2147483647}, {4294967296.0, 0},
      {1e10, 1410065408}, {1e12, -727379968}, {1e14, 276447232}, {1e45, 0}, {kInf, 0},
      {kNaN, 0},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(ToInt32(c.value), c.wrapped) << c.value;
  EXPECT_EQ(ToUint32(-1.0), 4294967295u);
  EXPECT_EQ(ToUint32(-kInf), 0u);
}

TEST(NumberTextEscape, EscapesAllButLettersAndDigits) {
  EXPECT_EQ(Escape("ABCXYZabcxyz0189"), "ABCXYZabcxyz0189");
  EXPECT_EQ(Escape("@*_+-./"), "%40%2A%5F%2B%2D%2E%2F");
  EXPECT_EQ(Escape(" \n"), "%20%0A");
  EXPECT_EQ(Escape("\xC4\x80\xE3\x81\x82"), "%C4%80%E3%81%82");
  EXPECT_EQ(Escape(std::string_view("a\0b", 3)), "a%00b");
}

TEST(NumberTextEscape, Unescape) {
  struct Case {
    const char* text;
    const char* result;
  };
  // clang-format off
  const Case cases[] = {
      {"%40%2a%5f%2B%2D%2E%2F", "@*_+-./"}, {"Hello+World", "Hello World"},
      {"One%20+mo%2re", "One  moe"}, {"%C4%80%E3%81%82", "\xC4\x80\xE3\x81\x82"},
      {"\xC4\x80", "\xC4\x80"}, {"%0A", "\n"}, {"%u0100", "0100"}, {"aaa%", "aaa"},
      {"aaa%z", "aaa"}, {"aaa%zz", "aaaz"}, {"aaa%4z", "aaa"}, {"aaa%4zz", "aaaz"}, {"%%", ""},
      {"%_a%@b%.c", "abc"},
      {"%E9t%E9", "\xC3\xA9t\xC3\xA9"},  // stray bytes are Latin-1 characters
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Unescape(c.text), c.result) << c.text;
}

}  // namespace
}  // namespace lumen::avm1
