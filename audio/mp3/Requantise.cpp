#include "audio/mp3/Requantise.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

#include "audio/mp3/Huffman.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {
namespace {

// -magnitude when `sign` is 1, without a branch: signs are as unpredictable as noise.
int WithSign(int magnitude, uint32_t sign) {
  const int mask = -static_cast<int>(sign);
  return (magnitude ^ mask) - mask;
}

// Pairs whose values come with no escape bits: after the code, one sign bit for each nonzero.
void ReadPlainPairs(BitReader& bits, const HuffmanDecoder& decoder, int* out, int lines) {
  constexpr int kWindow = HuffmanDecoder::kLongestCode + 2;
  for (int line = 0; line < lines; line += 2) {
    const uint32_t window = bits.Peek(kWindow);
    const auto code = decoder.Lookup(window >> 2);
    const int x = code.value >> 4, y = code.value & 15;
    const uint32_t signs = window >> (kWindow - code.length - 2);
    const int x_nonzero = x != 0;
    out[line] = WithSign(x, (signs >> 1) & 1);
    out[line + 1] = WithSign(y, (signs >> (1 - x_nonzero)) & 1);
    bits.Skip(code.length + x_nonzero + (y != 0));
  }
}

int ReadEscaped(BitReader& bits, int magnitude, int linbits) {
  if (magnitude == 15) magnitude += static_cast<int>(bits.Read(linbits));
  if (magnitude == 0) return 0;
  return WithSign(magnitude, bits.Read(1));
}

// Pairs of a table with escape bits: a value of 15 is followed by `linbits` more, then its sign.
void ReadEscapedPairs(BitReader& bits, const HuffmanDecoder& decoder, int linbits, int* out,
                      int lines) {
  for (int line = 0; line < lines; line += 2) {
    const int xy = decoder.Decode(bits);
    out[line] = ReadEscaped(bits, xy >> 4, linbits);
    out[line + 1] = ReadEscaped(bits, xy & 15, linbits);
  }
}

// The big-values pairs in up to three regions, each with its own table.
void ReadPairs(BitReader& bits, const GranuleInfo& g, int quantised[kLines]) {
  const int pair_end = g.big_values * 2;
  const int region_end[3] = {std::min(g.region1_start, pair_end),
                             std::min(g.region2_start, pair_end), pair_end};
  int line = 0;
  for (int region = 0; region < 3; ++region) {
    const int lines = std::max(region_end[region] - line, 0);
    const PairTable& table = kPairTables[g.table_select[region]];
    const HuffmanDecoder* decoder = PairDecoder(g.table_select[region]);
    if (decoder == nullptr) {
      std::fill(quantised + line, quantised + line + lines, 0);
    } else if (table.linbits == 0) {
      ReadPlainPairs(bits, *decoder, quantised + line, lines);
    } else {
      ReadEscapedPairs(bits, *decoder, table.linbits, quantised + line, lines);
    }
    line += lines;
  }
}

}  // namespace

int ReadQuantised(BitReader& bits, const GranuleInfo& g, size_t end, int quantised[kLines]) {
  ReadPairs(bits, g, quantised);
  int line = g.big_values * 2;
  const HuffmanDecoder& quad = QuadDecoder(g.count1_table);
  constexpr int kQuadWindow = HuffmanDecoder::kLongestCode + 4;
  while (line + 4 <= kLines && bits.Position() < end) {
    const size_t start = bits.Position();
    // The code, then one sign bit for each nonzero value, in order.
    const uint32_t window = bits.Peek(kQuadWindow);
    const auto code = quad.Lookup(window >> 4);
    const uint32_t signs = window >> (kQuadWindow - code.length - 4);
    int sign_bits = 0;
    for (int i = 0; i < 4; ++i) {
      const int nonzero = (code.value >> (3 - i)) & 1;
      quantised[line + i] = WithSign(nonzero, (signs >> (3 - sign_bits)) & 1);
      sign_bits += nonzero;
    }
    bits.Skip(code.length + sign_bits);
    // A quadruple that runs past the granule's data is padding, not music: the fill below
    // clears it.
    if (bits.Position() > end) {
      bits.Seek(start);
      break;
    }
    line += 4;
  }
  std::fill(quantised + line, quantised + kLines, 0);
  while (line > 0 && quantised[line - 1] == 0) --line;
  return line;
}

namespace {

// The sign goes on as a bit, without a branch.
float Scaled(int q, float gain, const DerivedTables& t) {
  const int magnitude = std::min(std::abs(q), kMaxQuantised);
  const auto value = std::bit_cast<uint32_t>(t.pow43[magnitude] * gain);
  return std::bit_cast<float>(value ^ (static_cast<uint32_t>(q) & 0x80000000u));
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
