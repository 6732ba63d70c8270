#pragma once

// The DCT-IV behind the inverse MDCT: out[n] = sum_k in[k] cos(pi / N (n + 1/2)(k + 1/2)), for
// the 18 lines of a long block and the 6 of a short-block window.

#include "audio/mp3/Lanes.h"

namespace lumen::audio::mp3 {

void DctIV18(const float in[18], float out[18]);
// Four long blocks at once, one in each lane, each giving the bits that the scalar one gives.
void DctIV18(const Lanes in[18], Lanes out[18]);
// The short-block lines are interleaved by window: in[0], in[stride], ...
void DctIV6(const float* in, int stride, float out[6]);

}  // namespace lumen::audio::mp3
