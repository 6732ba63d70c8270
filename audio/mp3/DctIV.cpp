// Design: an N-point DCT-IV is an N/2-point complex DFT between two rotations. Input pair k is
// the complex value in[2k] + i in[N-1-2k], turned by pi (4k + 1) / (4N); output pair n of the
// DFT, turned by pi n / N, gives out[2n] as its real part and -out[N-1-2n] as its imaginary
// part. The 9-point DFT is two rounds of 3-point ones with 2 pi / 9 twiddles between (k = 3 k1 +
// k2, n = n1 + 3 n2), so the long block needs about 110 multiplies instead of 324. All in float,
// in a fixed order, so every build gets the same bits.
#include "audio/mp3/DctIV.h"

#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {
namespace {

// T is float, or Lanes for four transforms at once.
template <typename T>
struct Complex {
  T re;
  T im;
};

template <typename T>
Complex<T> operator+(Complex<T> a, Complex<T> b) {
  return {a.re + b.re, a.im + b.im};
}

template <typename T>
Complex<T> operator-(Complex<T> a, Complex<T> b) {
  return {a.re - b.re, a.im - b.im};
}

// a * (cos - i sin): a turned back by the rotation's angle.
template <typename T>
Complex<T> Turned(Complex<T> a, Rotation r) {
  return {a.re * r.c + a.im * r.s, a.im * r.c - a.re * r.s};
}

// out[n] = sum_k in[k] e^(-2 pi i n k / 3), the inputs and outputs `stride` apart.
template <typename T>
void Dft3(const Complex<T>* in, int in_stride, Complex<T>* out, int out_stride, float sin_third) {
  const Complex<T> a0 = in[0];
  const Complex<T> sum = in[in_stride] + in[2 * in_stride];
  const Complex<T> difference = in[in_stride] - in[2 * in_stride];
  const Complex<T> middle = {a0.re - 0.5f * sum.re, a0.im - 0.5f * sum.im};
  const Complex<T> turn = {sin_third * difference.im, -sin_third * difference.re};
  out[0] = a0 + sum;
  out[out_stride] = middle + turn;
  out[2 * out_stride] = middle - turn;
}

template <typename T>
void Dft9(const Complex<T> in[9], Complex<T> out[9], const DerivedTables& t) {
  Complex<T> columns[3][3];  // [k2][n1]
  for (int k2 = 0; k2 < 3; ++k2) {
    Dft3(in + k2, 3, columns[k2], 1, t.sin_third);
    for (int n1 = 1; n1 < 3; ++n1) columns[k2][n1] = Turned(columns[k2][n1], t.dft9[n1 * k2]);
  }
  for (int n1 = 0; n1 < 3; ++n1) Dft3(&columns[0][n1], 3, out + n1, 3, t.sin_third);
}

template <int N, typename T>
void DctIV(const T* in, int stride, T* out, const DctIVTwiddles& twiddles) {
  constexpr int kPairs = N / 2;
  const DerivedTables& t = Derived();
  Complex<T> pairs[kPairs];
  for (int k = 0; k < kPairs; ++k) {
    pairs[k] =
        Turned(Complex<T>{in[2 * k * stride], in[(N - 1 - 2 * k) * stride]}, twiddles.pre[k]);
  }
  Complex<T> spectrum[kPairs];
  if constexpr (kPairs == 9) {
    Dft9(pairs, spectrum, t);
  } else {
    Dft3(pairs, 1, spectrum, 1, t.sin_third);
  }
  for (int n = 0; n < kPairs; ++n) {
    const Complex<T> turned = Turned(spectrum[n], twiddles.post[n]);
    out[2 * n] = turned.re;
    out[N - 1 - 2 * n] = -turned.im;
  }
}

}  // namespace

void DctIV18(const float in[18], float out[18]) {
  DctIV<18>(in, 1, out, Derived().dct_iv_long);
}

void DctIV18(const Lanes in[18], Lanes out[18]) {
  DctIV<18>(in, 1, out, Derived().dct_iv_long);
}

void DctIV6(const float* in, int stride, float out[6]) {
  DctIV<6>(in, stride, out, Derived().dct_iv_short);
}

}  // namespace lumen::audio::mp3
