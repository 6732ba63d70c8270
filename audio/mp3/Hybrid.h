#pragma once

// The hybrid filter bank's second stage for one channel: short-block reordering, alias
// reduction between long-block subbands, the inverse MDCT with its block-type windows and the
// overlap with the previous granule, giving 18 time slots of 32 subband samples.

#include "audio/mp3/Requantise.h"
#include "audio/mp3/SideInfo.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

constexpr int kSlots = 18;
// The synthesis bank takes slots four at a time: two more, always zero, make whole groups.
constexpr int kPaddedSlots = 20;

// A granule's subband samples, subband by subband.
struct SubbandSamples {
  float at[32][kPaddedSlots];  // [sb][t]
};

class HybridFilter {
 public:
  // `lines` is the granule's requantised spectrum (modified in place); `nonzero` bounds its
  // nonzero lines.
  void Run(const GranuleInfo& g, const BandTable& bands, float lines[kLines], int nonzero,
           SubbandSamples& out);
  void Reset();

 private:
  void Overlap(int sb, const float block[36], SubbandSamples& out);
  void Carry(int sb, SubbandSamples& out);

  float overlap_[32][18] = {};
};

}  // namespace lumen::audio::mp3
