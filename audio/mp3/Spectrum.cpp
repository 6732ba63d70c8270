#include "audio/mp3/Spectrum.h"

#include <algorithm>
#include <cmath>

#include "audio/mp3/Huffman.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {
namespace {

int ReadSigned(BitReader& bits, int magnitude, int linbits) {
  if (magnitude == 15 && linbits > 0) magnitude += static_cast<int>(bits.Read(linbits));
  if (magnitude == 0) return 0;
  return bits.ReadBit() ? -magnitude : magnitude;
}

// The big-values pairs in up to three regions, each with its own table.
void ReadPairs(BitReader& bits, const GranuleInfo& g, int quantised[kLines]) {
  const int pair_end = g.big_values * 2;
  const int region_end[3] = {std::min(g.region1_start, pair_end),
                             std::min(g.region2_start, pair_end), pair_end};
  int line = 0;
  for (int region = 0; region < 3; ++region) {
    const PairTable& table = kPairTables[g.table_select[region]];
    const HuffmanDecoder* decoder = PairDecoder(g.table_select[region]);
    for (; line < region_end[region]; line += 2) {
      if (decoder == nullptr) {
        quantised[line] = quantised[line + 1] = 0;
        continue;
      }
      const int xy = decoder->Decode(bits);
      quantised[line] = ReadSigned(bits, xy >> 4, table.linbits);
      quantised[line + 1] = ReadSigned(bits, xy & 15, table.linbits);
    }
  }
}

}  // namespace

int ReadQuantised(BitReader& bits, const GranuleInfo& g, size_t end, int quantised[kLines]) {
  ReadPairs(bits, g, quantised);
  int line = g.big_values * 2;
  const HuffmanDecoder& quad = QuadDecoder(g.count1_table);
  while (line + 4 <= kLines && bits.Position() < end) {
    const size_t start = bits.Position();
    const int vwxy = quad.Decode(bits);
    int values[4];
    for (int i = 0; i < 4; ++i) values[i] = ReadSigned(bits, (vwxy >> (3 - i)) & 1, 0);
    // A quadruple that runs past the granule's data is padding, not music.
    if (bits.Position() > end) {
      bits.Seek(start);
      break;
    }
    std::copy(values, values + 4, quantised + line);
    line += 4;
  }
  std::fill(quantised + line, quantised + kLines, 0);
  while (line > 0 && quantised[line - 1] == 0) --line;
  return line;
}

namespace {

float Scaled(int q, float gain, const DerivedTables& t) {
  const int magnitude = std::min(q < 0 ? -q : q, kMaxQuantised);
  const float value = t.pow43[magnitude] * gain;
  return q < 0 ? -value : value;
}

}  // namespace

void Requantise(const int quantised[kLines], int count, const GranuleInfo& g,
                const ScaleFactors& factors, const BandTable& bands, float lines[kLines]) {
  const DerivedTables& t = Derived();
  const int shift = g.scalefac_scale ? 4 : 2;  // scale factor steps in quarter powers of two
  const int base = g.global_gain - 210;
  int line = 0;
  // Long bands: the whole granule, or a mixed block's first 36 lines.
  const int long_end = !g.ShortBlocks() ? kLines : g.mixed_block ? 36 : 0;
  for (int sfb = 0; sfb < 22 && line < count && line < long_end; ++sfb) {
    const int pre = g.preflag ? kPretab[sfb] : 0;
    const float gain = PowQuarter(base - shift * (factors.long_bands[sfb] + pre));
    const int band_end = std::min<int>(bands.long_start[sfb + 1], long_end);
    for (; line < band_end; ++line) lines[line] = Scaled(quantised[line], gain, t);
  }
  for (int sfb = g.mixed_block ? 3 : 0; sfb < 13 && line < count && long_end < kLines; ++sfb) {
    const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
    for (int w = 0; w < 3; ++w) {
      const float gain =
          PowQuarter(base - 8 * g.subblock_gain[w] - shift * factors.short_bands[sfb][w]);
      for (int i = 0; i < width; ++i, ++line) lines[line] = Scaled(quantised[line], gain, t);
    }
  }
  std::fill(lines + std::min(line, kLines), lines + kLines, 0.0f);
}

}  // namespace lumen::audio::mp3
