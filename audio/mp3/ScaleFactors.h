#pragma once

// Scale factors: the per-band gain steps that open each granule's main data, in the MPEG-1
// layout (with reuse between granules) or the LSF layout (band groups sized by a compressed
// length code).

#include <cstdint>

#include "audio/mp3/BitReader.h"
#include "audio/mp3/FrameHeader.h"
#include "audio/mp3/SideInfo.h"

namespace lumen::audio::mp3 {

struct ScaleFactors {
  uint8_t long_bands[22] = {};
  uint8_t short_bands[13][3] = {};
  // The largest value each band's field can hold: in an intensity-coded channel that value
  // marks a band as not intensity-coded (MPEG-1 uses 7 throughout).
  uint8_t long_max[22] = {};
  uint8_t short_max[13] = {};
};

// Reads one channel's scale factors for granule `gr`. On entry `factors` holds the channel's
// granule 0 values, which MPEG-1 granule 1 may reuse. `intensity_channel` is true for the
// right channel of an LSF intensity-stereo frame, which codes its lengths differently.
void ReadScaleFactors(BitReader& bits, const FrameHeader& header, const GranuleInfo& g, int gr,
                      int scfsi, bool intensity_channel, ScaleFactors& factors);

}  // namespace lumen::audio::mp3
