// Design: the 64-value vector of each slot comes from a 32-point DCT-II of the subband samples
// (its other values are mirror images), computed by halving: the sums of mirrored inputs give
// the even outputs, their scaled differences the odd ones, down to single points. It runs on four
// slots at once, one in each SSE2 lane. The window is applied to the last 16 vectors, kept in a
// ring of 1024 values.
#include "audio/mp3/Synthesis.h"

#include <cstring>

#include "audio/mp3/Lanes.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

namespace {

// out[j] = sum_k in[k] cos(pi j (2k + 1) / (2N)); `scale` holds 1 / (2 cos(pi (2k + 1) / (2N)))
// for this size and then for each half size. Four slots at once, one in each lane.
template <int N>
void Dct(const Lanes* in, Lanes* out, const float* scale) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int kHalf = N / 2;
    Lanes sums[kHalf];
    Lanes differences[kHalf];
    for (int k = 0; k < kHalf; ++k) {
      sums[k] = in[k] + in[N - 1 - k];
      differences[k] = (in[k] - in[N - 1 - k]) * scale[k];
    }
    Lanes even[kHalf];
    Lanes odd[kHalf];
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

// out[j] = sum over the 16 vectors of window taps times ring values, 16 outputs at a time in four
// registers. Each output adds its 16 products in the same order as a scalar loop would, so the
// result does not depend on the vector width. Vector 2i gives its first 32 values and vector
// 2i + 1 its last 32; neither run crosses the ring's end, since vectors start at multiples of 64.
void Window(const float ring[1024], int head, const float* window, float out[32]) {
  for (int q = 0; q < 32; q += 16) {
    __m128 sums[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (int i = 0; i < 8; ++i) {
      const float* even_window = window + 64 * i + q;
      const float* even = ring + ((head + 128 * i) & 1023) + q;
      const float* odd = ring + ((head + 128 * i + 96) & 1023) + q;
      // Unrolled, so that the sums stay in registers.
#pragma GCC unroll 4
      for (int r = 0; r < 4; ++r) {
        const __m128 product =
            _mm_mul_ps(_mm_loadu_ps(even_window + 4 * r), _mm_loadu_ps(even + 4 * r));
        sums[r] = _mm_add_ps(sums[r], product);
      }
#pragma GCC unroll 4
      for (int r = 0; r < 4; ++r) {
        const __m128 product =
            _mm_mul_ps(_mm_loadu_ps(even_window + 32 + 4 * r), _mm_loadu_ps(odd + 4 * r));
        sums[r] = _mm_add_ps(sums[r], product);
      }
    }
    for (int r = 0; r < 4; ++r) _mm_storeu_ps(out + q + 4 * r, sums[r]);
  }
}

}  // namespace

void SynthesisFilter::Run(const SubbandSamples& samples, float out[kSlots * 32]) {
  const DerivedTables& t = Derived();
  for (int group = 0; group < kPaddedSlots; group += 4) {
    Lanes in[32];
    for (int sb = 0; sb < 32; ++sb) in[sb] = Lanes::Load(&samples.at[sb][group]);
    Lanes x[32];
    Dct<32>(in, x, t.dct_scale);
    float slots[4][32];
    for (int i = 0; i < 32; i += 4) {
      Transpose(x[i], x[i + 1], x[i + 2], x[i + 3]);
      for (int j = 0; j < 4; ++j) x[i + j].Store(slots[j] + i);
    }
    for (int j = 0; j < 4 && group + j < kSlots; ++j) {
      Push(slots[j]);
      Window(v_, head_, t.synth_window, out + 32 * (group + j));
    }
  }
}

// V[i] = cos((16 + i)(2k + 1) pi / 64) applied to the samples, by symmetry from the DCT's x:
// x[16..31], then 0 and -x[31..1], then -x[0..15].
void SynthesisFilter::Push(const float x[32]) {
  head_ = (head_ + 1024 - 64) & 1023;
  float* v = v_ + head_;
  const __m128 sign = _mm_set1_ps(-0.0f);
  for (int i = 0; i < 16; i += 4) {
    _mm_storeu_ps(v + i, _mm_loadu_ps(x + 16 + i));
    _mm_storeu_ps(v + 48 + i, _mm_xor_ps(_mm_loadu_ps(x + i), sign));
  }
  v[16] = 0.0f;
  for (int i = 17; i < 20; ++i) v[i] = -x[48 - i];
  for (int i = 20; i < 48; i += 4) {
    const __m128 reversed =
        _mm_shuffle_ps(_mm_loadu_ps(x + 45 - i), _mm_loadu_ps(x + 45 - i), _MM_SHUFFLE(0, 1, 2, 3));
    _mm_storeu_ps(v + i, _mm_xor_ps(reversed, sign));
  }
}

void SynthesisFilter::Reset() {
  std::memset(v_, 0, sizeof(v_));
  head_ = 0;
}

}  // namespace lumen::audio::mp3
