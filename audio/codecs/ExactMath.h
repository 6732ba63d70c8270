#pragma once

// Sine and powers of two from additions, multiplications and divisions only, which IEEE 754 rounds
// the same everywhere: the C library's sin and pow differ in the last bit between platforms, and
// decoded samples must not.

namespace lumen::audio {

// sin(pi * numerator / denominator) for 0 <= numerator / denominator <= 1/2.
double SinPiFraction(int numerator, int denominator);
// 2^(numerator / 2048).
double Exp2Of2048ths(int numerator);

}  // namespace lumen::audio
