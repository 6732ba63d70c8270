#pragma once

// Four floats in an SSE2 register with the arithmetic operators of a float, so that a transform
// written as a template runs on one value or on four independent ones. Each lane rounds exactly
// as the scalar operation would (no fused multiply-add), so both give the same bits.

#include <emmintrin.h>

namespace lumen::audio::mp3 {

struct Lanes {
  __m128 v;

  static Lanes Load(const float* p) { return {_mm_loadu_ps(p)}; }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
};

inline Lanes operator+(Lanes a, Lanes b) {
  return {_mm_add_ps(a.v, b.v)};
}
inline Lanes operator-(Lanes a, Lanes b) {
  return {_mm_sub_ps(a.v, b.v)};
}
inline Lanes operator*(Lanes a, float b) {
  return {_mm_mul_ps(a.v, _mm_set1_ps(b))};
}
inline Lanes operator*(float a, Lanes b) {
  return {_mm_mul_ps(_mm_set1_ps(a), b.v)};
}
inline Lanes operator-(Lanes a) {
  return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))};
}

// Rows of four lanes each become columns: lanes[i] holds element i of every row.
inline void Transpose(Lanes& a, Lanes& b, Lanes& c, Lanes& d) {
  _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v);
}

}  // namespace lumen::audio::mp3
