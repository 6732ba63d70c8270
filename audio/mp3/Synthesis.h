#pragma once

// The polyphase synthesis bank: each slot of 32 subband samples becomes 32 output samples.

#include <cstdint>

#include "audio/mp3/Hybrid.h"

namespace lumen::audio::mp3 {

class SynthesisFilter {
 public:
  // Writes a granule's 18 x 32 samples in 16-bit scale (not yet rounded).
  void Run(const SubbandSamples& samples, float out[kSlots * 32]);
  void Reset();

 private:
  void Push(const float x[32]);

  // The last 16 matrixed vectors of 64, newest at `head_`.
  float v_[1024] = {};
  int head_ = 0;
};

}  // namespace lumen::audio::mp3
