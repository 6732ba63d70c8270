#include "audio/mp3/Tables.h"

#include <bit>
#include <cmath>

namespace lumen::audio::mp3 {

const BandTable kBands[9] = {
    // 44.1 kHz
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
      74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    // 48 kHz
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  42,  50, 60,
      72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    // 32 kHz
    {{0,  4,   8,   12,  16,  20,  24,  30,  36,  44,  54, 66,
      82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
    // 22.05 kHz
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
    // 24 kHz
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
    // 16 kHz
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 11.025 kHz
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 12 kHz
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // 8 kHz
    {{0,   12,  24,  36,  48,  60,  72,  88,  108, 132, 160, 192,
      232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
     {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}},
};

const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

namespace {

constexpr double kPi = 3.14159265358979323846;

// The synthesis prototype filter's first half in units of 2^-16; the second half mirrors it.
constexpr int32_t kHalfWindow[257] = {
    0,     -1,    -1,    -1,    -1,    -1,    -1,    -2,    -2,    -2,    -2,    -3,    -3,
    -4,    -4,    -5,    -5,    -6,    -7,    -7,    -8,    -9,    -10,   -11,   -13,   -14,
    -16,   -17,   -19,   -21,   -24,   -26,   -29,   -31,   -35,   -38,   -41,   -45,   -49,
    -53,   -58,   -63,   -68,   -73,   -79,   -85,   -91,   -97,   -104,  -111,  -117,  -125,
    -132,  -139,  -147,  -154,  -161,  -169,  -176,  -183,  -190,  -196,  -202,  -208,  -213,
    -218,  -222,  -225,  -227,  -228,  -228,  -227,  -224,  -221,  -215,  -208,  -200,  -189,
    -177,  -163,  -146,  -127,  -106,  -83,   -57,   -29,   2,     36,    72,    111,   153,
    197,   244,   294,   347,   401,   459,   519,   581,   645,   711,   779,   848,   919,
    991,   1064,  1137,  1210,  1283,  1356,  1428,  1498,  1567,  1634,  1698,  1759,  1817,
    1870,  1919,  1962,  2001,  2032,  2057,  2075,  2085,  2087,  2080,  2063,  2037,  2000,
    1952,  1893,  1822,  1739,  1644,  1535,  1414,  1280,  1131,  970,   794,   605,   402,
    185,   -45,   -288,  -545,  -814,  -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351,
    -3705, -4063, -4425, -4788, -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597, -7910,
    -8209, -8491, -8755, -8998, -9219, -9416, -9585, -9727, -9838, -9916, -9959, -9966, -9935,
    -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134, -6574, -5959, -5288,
    -4561, -3776, -2935, -2037, -1082, -70,   998,   2122,  3300,  4533,  5818,  7154,  8540,
    9975,  11455, 12980, 14548, 16155, 17799, 19478, 21189, 22929, 24694, 26482, 28289, 30112,
    31947, 33791, 35640, 37489, 39336, 41176, 43006, 44821, 46617, 48390, 50137, 51853, 53534,
    55178, 56778, 58333, 59838, 61289, 62684, 64019, 65290, 66494, 67629, 68692, 69679, 70590,
    71420, 72169, 72835, 73415, 73908, 74313, 74630, 74856, 74992, 75038};

// cos(pi * p / q) by exact integer reduction to [0, pi/2] and a Taylor series.
double CosPi(long p, long q) {
  long m = p % (2 * q);
  if (m < 0) m += 2 * q;
  if (m > q) m = 2 * q - m;  // cos is even about pi
  double sign = 1.0;
  if (2 * m > q) {
    m = q - m;
    sign = -1.0;
  }
  const double x = kPi * static_cast<double>(m) / static_cast<double>(q);
  const double x2 = x * x;
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n < 14; ++n) {
    term = -term * x2 / static_cast<double>((2 * n - 1) * (2 * n));
    sum += term;
  }
  return sign * sum;
}

double SinPi(long p, long q) {
  return CosPi(q - 2 * p, 2 * q);
}

double CubeRoot(double n) {
  if (n == 0.0) return 0.0;
  double y = n < 1.0 ? 1.0 : n / 3.0 + 1.0;
  for (int i = 0; i < 64; ++i) y -= (y * y * y - n) / (3.0 * y * y);
  return y;
}

void FillWindows(DerivedTables& t) {
  for (int i = 0; i < 36; ++i) {
    const double normal = SinPi(2 * i + 1, 72);
    t.window_long[0][i] = static_cast<float>(normal);
    t.window_long[2][i] = static_cast<float>(normal);
    double start = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? SinPi(2 * (i - 18) + 1, 24) : 0.0;
    double stop = i < 6 ? 0.0 : i < 12 ? SinPi(2 * (i - 6) + 1, 24) : i < 18 ? 1.0 : normal;
    t.window_long[1][i] = static_cast<float>(start);
    t.window_long[3][i] = static_cast<float>(stop);
  }
  for (int i = 0; i < 12; ++i) t.window_short[i] = static_cast<float>(SinPi(2 * i + 1, 24));
}

Rotation Turn(long p, long q) {
  return {static_cast<float>(CosPi(p, q)), static_cast<float>(SinPi(p, q))};
}

void FillDctIV(DctIVTwiddles& t, int n) {
  for (int k = 0; k < n / 2; ++k) {
    t.pre[k] = Turn(4 * k + 1, 4 * n);
    t.post[k] = Turn(k, n);
  }
}

void FillTransforms(DerivedTables& t) {
  FillDctIV(t.dct_iv_long, 18);
  FillDctIV(t.dct_iv_short, 6);
  for (int m = 0; m < 5; ++m) t.dft9[m] = Turn(2 * m, 9);
  t.sin_third = static_cast<float>(SinPi(1, 3));
  int offset = 0;
  for (int n = 32; n > 1; n /= 2) {
    for (int k = 0; k < n / 2; ++k) {
      t.dct_scale[offset++] = static_cast<float>(1.0 / (2.0 * CosPi(2 * k + 1, 2 * n)));
    }
  }
}

// The window is the symmetric prototype filter with every other block of 64 taps negated.
void FillSynthesisWindow(DerivedTables& t) {
  for (int i = 0; i < 512; ++i) {
    const int32_t prototype = kHalfWindow[i <= 256 ? i : 512 - i];
    const int32_t units = (i >> 6) & 1 ? -prototype : prototype;
    t.synth_window[i] = static_cast<float>(units) * 0.5f;  // 2^-16 * 32768
  }
}

DerivedTables MakeDerived() {
  DerivedTables t{};
  for (int n = 0; n <= kMaxQuantised; ++n) {
    const double x = static_cast<double>(n);
    t.pow43[n] = static_cast<float>(x * CubeRoot(x));
  }
  const double fourth = std::sqrt(std::sqrt(2.0));  // sqrt is exactly rounded everywhere
  t.quarter_powers[0] = 1.0f;
  t.quarter_powers[1] = static_cast<float>(fourth);
  t.quarter_powers[2] = static_cast<float>(std::sqrt(2.0));
  t.quarter_powers[3] = static_cast<float>(fourth * std::sqrt(2.0));
  constexpr double kAlias[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
  for (int i = 0; i < 8; ++i) {
    const double norm = std::sqrt(1.0 + kAlias[i] * kAlias[i]);
    t.alias_cs[i] = static_cast<float>(1.0 / norm);
    t.alias_ca[i] = static_cast<float>(kAlias[i] / norm);
  }
  for (int p = 0; p < 7; ++p) {
    const double s = SinPi(p, 12);
    const double c = CosPi(p, 12);
    t.intensity_mpeg1[p][0] = static_cast<float>(s / (s + c));
    t.intensity_mpeg1[p][1] = static_cast<float>(c / (s + c));
  }
  FillWindows(t);
  FillTransforms(t);
  FillSynthesisWindow(t);
  return t;
}

}  // namespace

const DerivedTables& Derived() {
  static const DerivedTables tables = MakeDerived();
  return tables;
}

float PowQuarter(int quarters) {
  const int whole = quarters >= 0 ? quarters / 4 : -((-quarters + 3) / 4);
  const float fraction = Derived().quarter_powers[quarters - whole * 4];
  // Gains from a stream's fields stay well inside the normal floats, where the power of two is
  // just an exponent and the product is exact: the same bits as ldexp, without its call.
  if (whole < -126 || whole > 127) return std::ldexp(fraction, whole);
  return fraction * std::bit_cast<float>(static_cast<uint32_t>(whole + 127) << 23);
}

}  // namespace lumen::audio::mp3
