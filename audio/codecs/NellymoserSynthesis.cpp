// A direct inverse MDCT: 124 lines into 128 outputs costs some 16 000 multiply-adds a half-block,
// small beside a movie's rendering, and its fixed summation order keeps samples identical across
// compilers. The cosines of a 256-point MDCT take 1024 distinct angles, tabled once.
#include "audio/codecs/NellymoserSynthesis.h"

#include <algorithm>
#include <cmath>

#include "audio/codecs/ExactMath.h"

namespace lumen::audio::nellymoser {
namespace {

constexpr int kAngles = 1024;  // cos(pi * m / 512) for m in 0..1023

struct Tables {
  std::array<float, kAngles> cosine;
  std::array<float, kHalfSamples> window;  // sin(pi * (i + 1/2) / 256)

  Tables() {
    std::array<double, kAngles / 4 + 1> quarter;  // sin(pi * m / 512), m in 0..256
    for (int m = 0; m <= kAngles / 4; ++m) quarter[m] = SinPiFraction(m, kAngles / 2);
    for (int m = 0; m < kAngles; ++m) {
      const int q = m % (kAngles / 2);
      const double magnitude =
          q <= kAngles / 4 ? quarter[kAngles / 4 - q] : -quarter[q - kAngles / 4];
      cosine[m] = static_cast<float>(m < kAngles / 2 ? magnitude : -magnitude);
    }
    for (int i = 0; i < kHalfSamples; ++i) window[i] = static_cast<float>(quarter[2 * i + 1]);
  }
};

const Tables& SharedTables() {
  static const Tables tables;
  return tables;
}

int16_t ToSample(double value) {
  const double clamped = std::clamp(value, -32768.0, 32767.0);
  return static_cast<int16_t>(std::lrint(clamped));
}

}  // namespace

// y[n] = -sum X[k] cos(pi/128 (n + 128 + 1/2)(k + 1/2)); the angle is pi/512 times the odd product
// (2n + 257)(2k + 1).
Synthesis::Half Synthesis::InverseTransform(const Spectrum& spectrum) {
  const std::array<float, kAngles>& cosine = SharedTables().cosine;
  Half out;
  for (int n = 0; n < kHalfSamples; ++n) {
    const int stride = 2 * (2 * n + 257);
    int angle = 2 * n + 257;
    double sum = 0;
    for (int k = 0; k < kCoefficients; ++k) {
      sum += static_cast<double>(spectrum[k]) * cosine[angle & (kAngles - 1)];
      angle += stride;
    }
    out[n] = -sum;
  }
  return out;
}

void Synthesis::Run(const Spectrum& spectrum, std::span<int16_t, kHalfSamples> out) {
  const std::array<float, kHalfSamples>& window = SharedTables().window;
  const Half current = InverseTransform(spectrum);
  constexpr int kQuarter = kHalfSamples / 2;
  for (int i = 0; i < kQuarter; ++i) {
    const int j = kHalfSamples - 1 - i;
    const double older = previous_[kQuarter + i];
    const double newer = current[kQuarter - 1 - i];
    out[i] = ToSample(older * window[j] - newer * window[i]);
    out[j] = ToSample(older * window[i] + newer * window[j]);
  }
  previous_ = current;
}

}  // namespace lumen::audio::nellymoser
