// Design: the 64-value vector of each slot comes from a 32-point DCT-II of the subband samples
// (its other values are mirror images), computed by halving: the sums of mirrored inputs give
// the even outputs, their scaled differences the odd ones, down to single points. The window is
// applied to the last 16 vectors, kept in a ring of 1024 values.
#include "audio/mp3/Synthesis.h"

#include <cstring>

#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

namespace {

// out[j] = sum_k in[k] cos(pi j (2k + 1) / (2N)); `scale` holds 1 / (2 cos(pi (2k + 1) / (2N)))
// for this size and then for each half size.
template <int N>
void Dct(const float* in, float* out, const float* scale) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int kHalf = N / 2;
    float sums[kHalf];
    float differences[kHalf];
    for (int k = 0; k < kHalf; ++k) {
      sums[k] = in[k] + in[N - 1 - k];
      differences[k] = (in[k] - in[N - 1 - k]) * scale[k];
    }
    float even[kHalf];
    float odd[kHalf];
    Dct<kHalf>(sums, even, scale + kHalf);
    Dct<kHalf>(differences, odd, scale + kHalf);
    for (int m = 0; m < kHalf - 1; ++m) {
      out[2 * m] = even[m];
      out[2 * m + 1] = odd[m] + odd[m + 1];
    }
    out[N - 2] = even[kHalf - 1];
    out[N - 1] = odd[kHalf - 1];
  }
}

}  // namespace

void SynthesisFilter::Run(const float subbands[32], float* out, int stride) {
  const DerivedTables& t = Derived();
  float x[32];
  Dct<32>(subbands, x, t.dct_scale);
  head_ = (head_ + 1024 - 64) & 1023;
  float v[64];
  // V[i] = cos((16 + i)(2k + 1) pi / 64) applied to the samples, by symmetry from x.
  for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
  v[16] = 0.0f;
  for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
  for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];
  // Each vector is kept twice, 1024 apart, so that the 16 read below are contiguous.
  std::memcpy(v_ + head_, v, sizeof(v));
  std::memcpy(v_ + head_ + 1024, v, sizeof(v));
  const float* ring = v_ + head_;
  float sum[32] = {};
  for (int i = 0; i < 8; ++i) {
    const float* even_window = t.synth_window + 64 * i;
    const float* odd_window = even_window + 32;
    const float* even = ring + 128 * i;
    const float* odd = even + 96;
    for (int j = 0; j < 32; ++j) sum[j] += even_window[j] * even[j];
    for (int j = 0; j < 32; ++j) sum[j] += odd_window[j] * odd[j];
  }
  for (int j = 0; j < 32; ++j) out[j * stride] = sum[j];
}

void SynthesisFilter::Reset() {
  std::memset(v_, 0, sizeof(v_));
  head_ = 0;
}

}  // namespace lumen::audio::mp3
