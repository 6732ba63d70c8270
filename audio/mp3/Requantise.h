#pragma once

// A granule's spectrum: Huffman-coded quantised lines, scaled back to amplitudes by the global
// gain, the sub-block gains and the scale factors.

#include "audio/mp3/BitReader.h"
#include "audio/mp3/FrameHeader.h"
#include "audio/mp3/ScaleFactors.h"
#include "audio/mp3/SideInfo.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {

constexpr int kLines = 576;

// Decodes the Huffman data from the reader's position up to bit `end` into `quantised` and
// answers how many leading lines may be nonzero (the rest are zero).
int ReadQuantised(BitReader& bits, const GranuleInfo& g, size_t end, int quantised[kLines]);

// Scales the first `count` quantised lines into `lines` (the rest become zero).
void Requantise(const int quantised[kLines], int count, const GranuleInfo& g,
                const ScaleFactors& factors, const BandTable& bands, float lines[kLines]);

}  // namespace lumen::audio::mp3
