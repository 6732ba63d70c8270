#pragma once

// The hybrid filter bank's second stage for one channel: short-block reordering, alias
// reduction between long-block subbands, the inverse MDCT with its block-type windows and the
// overlap with the previous granule, giving 18 time slots of 32 subband samples.

#include "audio/mp3/SideInfo.h"
#include "audio/mp3/Spectrum.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

class HybridFilter {
 public:
  // `lines` is the granule's requantised spectrum (modified in place); `nonzero` bounds its
  // nonzero lines. Writes slots[t][sb].
  void Run(const GranuleInfo& g, const BandTable& bands, float lines[kLines], int nonzero,
           float slots[18][32]);
  void Reset();

 private:
  float overlap_[32][18] = {};
};

}  // namespace lumen::audio::mp3
