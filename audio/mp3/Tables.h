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

// cos and sin of an angle theta: multiplying by them turns a complex value by -theta.
struct Rotation {
  float c;
  float s;
};

// The rotations of a DCT-IV of N points done as an N/2-point complex DFT: before, by
// pi (4k + 1) / (4N) for input pair k; after, by pi n / N for output pair n.
struct DctIVTwiddles {
  Rotation pre[9];
  Rotation post[9];
};

struct DerivedTables {
  std::array<float, kMaxQuantised + 1> pow43;  // n^(4/3)
  float quarter_powers[4];                     // 2^(k/4)
  float alias_cs[8];
  float alias_ca[8];
  float window_long[4][36];  // by block type; the short window is window_short
  float window_short[12];
  DctIVTwiddles dct_iv_long;   // the 18-point DCT-IV of long blocks
  DctIVTwiddles dct_iv_short;  // the 6-point one of short blocks (first 3 of each used)
  Rotation dft9[5];            // 2 pi m / 9 for m = 0..4
  float sin_third;             // sin(pi / 3), for 3-point DFTs
  float intensity_mpeg1[7][2];
  float dct_scale[31];      // the synthesis DCT's factors for sizes 32, 16, 8, 4, 2
  float synth_window[512];  // scaled to 16-bit output
};

const DerivedTables& Derived();

// 2^(quarters / 4) for any integer quarter count, exactly as ldexp of the table value.
float PowQuarter(int quarters);

}  // namespace lumen::audio::mp3
