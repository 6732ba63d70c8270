// The transforms behind the inverse MDCT against their definition, and the four-lane form
// against the scalar one: a granule's subbands take either path, so they must agree bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/mp3/DctIV.h"

namespace lumen::audio::mp3 {
namespace {

// out[n] = sum_k in[k] cos(pi / N (n + 1/2)(k + 1/2)), in double.
template <int N>
void Reference(const float* in, int stride, double out[N]) {
  for (int n = 0; n < N; ++n) {
    out[n] = 0;
    for (int k = 0; k < N; ++k) {
      out[n] += in[k * stride] * std::cos(M_PI / N * (n + 0.5) * (k + 0.5));
    }
  }
}

TEST(DctIV, MatchesItsDefinitionAndTheLanesMatchTheScalarBits) {
  float lines[4][18];
  uint32_t seed = 7;
  for (auto& block : lines) {
    for (float& line : block) {
      seed = seed * 1664525u + 1013904223u;
      line = static_cast<float>(static_cast<int32_t>(seed) >> 8) / 1024.0f;
    }
  }
  float scalar[4][18];
  for (int j = 0; j < 4; ++j) {
    DctIV18(lines[j], scalar[j]);
    double want[18];
    Reference<18>(lines[j], 1, want);
    for (int n = 0; n < 18; ++n) EXPECT_NEAR(scalar[j][n], want[n], 1e-5 * 18 * 8192) << n;
  }

  Lanes in[18];
  for (int k = 0; k < 18; ++k) {
    in[k] = {_mm_setr_ps(lines[0][k], lines[1][k], lines[2][k], lines[3][k])};
  }
  Lanes out[18];
  DctIV18(in, out);
  for (int n = 0; n < 18; ++n) {
    float lanes[4];
    out[n].Store(lanes);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(std::memcmp(&lanes[j], &scalar[j][n], 4), 0) << n;
  }

  // A short block's window w: its six lines are every third from w.
  for (int w = 0; w < 3; ++w) {
    float six[6];
    DctIV6(lines[0] + w, 3, six);
    double want[6];
    Reference<6>(lines[0] + w, 3, want);
    for (int n = 0; n < 6; ++n) EXPECT_NEAR(six[n], want[n], 1e-5 * 6 * 8192) << n;
  }
}

}  // namespace
}  // namespace lumen::audio::mp3
