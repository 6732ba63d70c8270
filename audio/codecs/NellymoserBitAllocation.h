#pragma once

// How many bits each spectrum line of a half-block gets, from the band levels alone, so that the
// encoder and the decoder agree without sending the allocation.

#include <array>

#include "audio/codecs/NellymoserTables.h"

namespace lumen::audio::nellymoser {

using LineLevels = std::array<int, kCoefficients>;
using LineBits = std::array<int, kCoefficients>;

// Bits of 0 to kMaxBits a line, kDetailBits or fewer in all. Levels lie within +-2^19, as any
// block header makes them.
LineBits AllocateBits(const LineLevels& levels);

}  // namespace lumen::audio::nellymoser
