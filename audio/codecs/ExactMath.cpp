#include "audio/codecs/ExactMath.h"

#include <cmath>

namespace lumen::audio {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.69314718055994530942;
constexpr int kSeriesTerms = 24;  // both series' arguments stay below 1.6

}  // namespace

double SinPiFraction(int numerator, int denominator) {
  const double x = kPi * numerator / denominator;
  double term = x;
  double sum = x;
  for (int k = 1; k < kSeriesTerms; ++k) {
    term *= -x * x / ((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

double Exp2Of2048ths(int numerator) {
  const int whole = numerator >= 0 ? numerator / 2048 : -((2047 - numerator) / 2048);
  const double x = kLn2 * (numerator - whole * 2048) / 2048;
  double term = 1;
  double sum = 1;
  for (int k = 1; k < kSeriesTerms; ++k) {
    term *= x / k;
    sum += term;
  }
  return std::ldexp(sum, whole);  // exact: only the exponent changes
}

}  // namespace lumen::audio
