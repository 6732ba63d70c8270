#pragma once

// Joint stereo: mid/side lines back to left/right, and intensity-coded bands (where only the
// left channel carries lines) split by the right channel's scale factors.

#include "audio/mp3/FrameHeader.h"
#include "audio/mp3/Requantise.h"
#include "audio/mp3/ScaleFactors.h"
#include "audio/mp3/SideInfo.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

struct StereoGranule {
  float (*lines)[kLines];   // [2][kLines]
  int* nonzero;             // [2] leading lines that may be nonzero, updated
  const GranuleInfo* info;  // [2]
  const ScaleFactors* right_factors;
};

void ApplyJointStereo(const FrameHeader& header, const BandTable& bands, StereoGranule granule);

}  // namespace lumen::audio::mp3
