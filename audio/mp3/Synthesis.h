#pragma once

// The polyphase synthesis bank: each slot of 32 subband samples becomes 32 output samples.

#include <cstdint>

namespace lumen::audio::mp3 {

class SynthesisFilter {
 public:
  // Writes 32 samples in 16-bit scale (not yet rounded) to out[0], out[stride], ...
  void Run(const float subbands[32], float* out, int stride);
  void Reset();

 private:
  // The last 16 matrixed vectors of 64, newest at `head_`, each also 1024 further on.
  float v_[2048] = {};
  int head_ = 0;
};

}  // namespace lumen::audio::mp3
