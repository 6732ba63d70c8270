#pragma once

// Turns each half-block's spectrum into 128 samples: an inverse MDCT of 256 points, sine-windowed
// and overlapped with the previous half-block's.

#include <array>
#include <cstdint>
#include <span>

#include "audio/codecs/NellymoserTables.h"

namespace lumen::audio::nellymoser {

using Spectrum = std::array<float, kCoefficients>;

class Synthesis {
 public:
  // The half-block's samples, the overlap of its transform with the previous one's.
  void Run(const Spectrum& spectrum, std::span<int16_t, kHalfSamples> out);

 private:
  using Half = std::array<double, kHalfSamples>;
  // The middle half of the inverse MDCT's 256 outputs; the outer quarters mirror it.
  static Half InverseTransform(const Spectrum& spectrum);

  Half previous_{};
};

}  // namespace lumen::audio::nellymoser
