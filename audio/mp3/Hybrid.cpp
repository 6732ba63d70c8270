// Design: each subband's 18 lines go through a 36-point inverse MDCT (or three 12-point ones for
// short blocks) computed as a matrix product for the 18 outputs that determine the rest by
// symmetry. Subbands above the last nonzero line skip the transform; their output is just the
// overlap. Odd subbands' odd slots are negated to undo the analysis bank's frequency inversion.
#include "audio/mp3/Hybrid.h"

#include <algorithm>
#include <cstring>

namespace lumen::audio::mp3 {
namespace {

// Short-block lines arrive band by band, window by window; the transform wants each subband's
// six lines per window together: line f of window w goes to 3 f + w.
void ReorderShort(const BandTable& bands, int first_sfb, float lines[kLines]) {
  float reordered[kLines];
  const int begin = 3 * bands.short_start[first_sfb];
  int out = begin;
  for (int sfb = first_sfb; sfb < 13; ++sfb) {
    const int start = 3 * bands.short_start[sfb];
    const int width = bands.short_start[sfb + 1] - bands.short_start[sfb];
    for (int i = 0; i < width; ++i) {
      for (int w = 0; w < 3; ++w) reordered[out++] = lines[start + w * width + i];
    }
  }
  std::memcpy(lines + begin, reordered + begin, sizeof(float) * (kLines - begin));
}

void ReduceAliases(float lines[kLines], int boundaries) {
  const DerivedTables& t = Derived();
  for (int sb = 1; sb <= boundaries; ++sb) {
    float* upper = lines + 18 * sb;
    for (int i = 0; i < 8; ++i) {
      const float below = upper[-1 - i];
      const float above = upper[i];
      upper[-1 - i] = below * t.alias_cs[i] - above * t.alias_ca[i];
      upper[i] = above * t.alias_cs[i] + below * t.alias_ca[i];
    }
  }
}

// 36 windowed outputs of one long block from its 18 lines.
void InverseLong(const float in[18], const float window[36], float out[36]) {
  const DerivedTables& t = Derived();
  float y[18] = {};
  for (int k = 0; k < 18; ++k) {
    for (int i = 0; i < 18; ++i) y[i] += in[k] * t.imdct_long[k][i];
  }
  for (int i = 0; i < 9; ++i) {
    out[i] = -y[8 - i] * window[i];
    out[27 + i] = y[17 - i] * window[27 + i];
  }
  for (int i = 0; i < 18; ++i) out[9 + i] = y[i] * window[9 + i];
}

// Three overlapped 12-point blocks, placed at 6, 12 and 18 of the 36 outputs.
void InverseShort(const float in[18], float out[36]) {
  const DerivedTables& t = Derived();
  std::fill(out, out + 36, 0.0f);
  for (int w = 0; w < 3; ++w) {
    float y[6] = {};
    for (int k = 0; k < 6; ++k) {
      for (int i = 0; i < 6; ++i) y[i] += in[3 * k + w] * t.imdct_short[k][i];
    }
    float x[12];
    for (int i = 0; i < 3; ++i) {
      x[i] = -y[2 - i];
      x[9 + i] = y[5 - i];
    }
    for (int i = 0; i < 6; ++i) x[3 + i] = y[i];
    for (int i = 0; i < 12; ++i) out[6 + 6 * w + i] += x[i] * t.window_short[i];
  }
}

}  // namespace

void HybridFilter::Run(const GranuleInfo& g, const BandTable& bands, float lines[kLines],
                       int nonzero, float slots[18][32]) {
  const bool short_blocks = g.ShortBlocks();
  if (short_blocks) {
    ReorderShort(bands, g.mixed_block ? 3 : 0, lines);
    // Reordering moves lines up to the end of their band's three windows.
    int sfb = 0;
    while (sfb < 12 && 3 * bands.short_start[sfb + 1] < nonzero) ++sfb;
    nonzero = std::max(nonzero, 3 * bands.short_start[sfb + 1]);
  }
  // Alias reduction spreads a subband's lines one subband up.
  const int used_subbands = std::min(32, (nonzero + 17) / 18);
  const int long_subbands = !short_blocks ? 32 : g.mixed_block ? 2 : 0;
  ReduceAliases(lines, std::min({used_subbands, long_subbands - 1, 31}));
  const int active = short_blocks ? used_subbands : std::min(32, used_subbands + 1);
  const float* window = Derived().window_long[g.block_type];
  float out[36];
  for (int sb = 0; sb < 32; ++sb) {
    if (sb >= active) {
      for (int t = 0; t < 18; ++t) {
        slots[t][sb] = overlap_[sb][t];
        overlap_[sb][t] = 0.0f;
      }
    } else {
      if (sb < long_subbands) {
        InverseLong(lines + 18 * sb, sb < 2 && g.mixed_block ? Derived().window_long[0] : window,
                    out);
      } else {
        InverseShort(lines + 18 * sb, out);
      }
      for (int t = 0; t < 18; ++t) {
        slots[t][sb] = out[t] + overlap_[sb][t];
        overlap_[sb][t] = out[18 + t];
      }
    }
    if (sb & 1) {
      for (int t = 1; t < 18; t += 2) slots[t][sb] = -slots[t][sb];
    }
  }
}

void HybridFilter::Reset() {
  std::memset(overlap_, 0, sizeof(overlap_));
}

}  // namespace lumen::audio::mp3
