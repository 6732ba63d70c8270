#pragma once

// Constant and derived tables of layer III decoding. Derived values are computed once with
// plain double arithmetic (no library transcendental functions), so that every platform gets
// the same bits.

#include <array>
#include <cstdint>

namespace lumen::audio::mp3 {

struct BandTable {
  uint16_t long_start[23];   // first line of each long-block band, then 576
  uint16_t short_start[14];  // first line of each short-block band within a window, then 192
};

// Indexed by FrameHeader::rate_index.
extern const BandTable kBands[9];
extern const uint8_t kPretab[22];

constexpr int kMaxQuantised = 8206;  // 15 plus 13 linbits

struct DerivedTables {
  std::array<float, kMaxQuantised + 1> pow43;  // n^(4/3)
  float quarter_powers[4];                     // 2^(k/4)
  float alias_cs[8];
  float alias_ca[8];
  float window_long[4][36];  // by block type; the short window is window_short
  float window_short[12];
  float imdct_long[18][18];  // [k][i]: cos for the 18 outputs that fix the 36-point transform
  float imdct_short[6][6];   // [k][i]: likewise for the 12-point transform
  float intensity_mpeg1[7][2];
  float dct_scale[31];      // the synthesis DCT's factors for sizes 32, 16, 8, 4, 2
  float synth_window[512];  // scaled to 16-bit output
};

const DerivedTables& Derived();

// 2^(quarters / 4) for any integer quarter count, exactly as ldexp of the table value.
float PowQuarter(int quarters);

}  // namespace lumen::audio::mp3
