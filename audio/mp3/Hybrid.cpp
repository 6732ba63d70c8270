// Design: each subband's 18 lines go through a 36-point inverse MDCT (or three 12-point ones for
// short blocks), computed as a DCT-IV of half the size whose outputs give all of it by symmetry.
// Long subbands go four at a time, one in each SSE2 lane, through the same code. Subbands above the
// last nonzero line skip the transform; their output is just the overlap. Odd subbands' odd slots
// are negated to undo the analysis bank's frequency inversion.
#include "audio/mp3/Hybrid.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "audio/mp3/DctIV.h"

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

// 36 windowed outputs of one long block from its 18 lines (or of four, in lanes). With Y the
// lines' DCT-IV, the inverse MDCT's outputs are Y[9..17], -Y[17..0], -Y[0..8].
template <typename T>
void InverseLong(const T in[18], const float window[36], T out[36]) {
  T y[18];
  DctIV18(in, y);
  for (int i = 0; i < 9; ++i) {
    out[i] = y[9 + i] * window[i];
    out[27 + i] = -y[i] * window[27 + i];
  }
  for (int i = 0; i < 18; ++i) out[9 + i] = -y[17 - i] * window[9 + i];
}

// Four consecutive long subbands through the lanes: blocks[j] gets subband j's 36 outputs.
void InverseLong4(const float* lines, const float window[36], float blocks[4][36]) {
  Lanes in[18];
  for (int k = 0; k < 16; k += 4) {
    Lanes rows[4];
    for (int j = 0; j < 4; ++j) rows[j] = Lanes::Load(lines + 18 * j + k);
    Transpose(rows[0], rows[1], rows[2], rows[3]);
    for (int j = 0; j < 4; ++j) in[k + j] = rows[j];
  }
  for (int k = 16; k < 18; ++k) {
    in[k] = {_mm_setr_ps(lines[k], lines[18 + k], lines[36 + k], lines[54 + k])};
  }
  Lanes out[36];
  InverseLong(in, window, out);
  for (int i = 0; i < 36; i += 4) {
    Transpose(out[i], out[i + 1], out[i + 2], out[i + 3]);
    for (int j = 0; j < 4; ++j) out[i + j].Store(blocks[j] + i);
  }
}

// Three overlapped 12-point blocks, placed at 6, 12 and 18 of the 36 outputs; each is Y[3..5],
// -Y[5..0], -Y[0..2] of its window's 6-point DCT-IV.
void InverseShort(const float in[18], float out[36]) {
  const DerivedTables& t = Derived();
  std::fill(out, out + 36, 0.0f);
  for (int w = 0; w < 3; ++w) {
    float y[6];
    DctIV6(in + w, 3, y);
    float x[12];
    for (int i = 0; i < 3; ++i) {
      x[i] = y[3 + i];
      x[9 + i] = -y[i];
    }
    for (int i = 0; i < 6; ++i) x[3 + i] = -y[5 - i];
    for (int i = 0; i < 12; ++i) out[6 + 6 * w + i] += x[i] * t.window_short[i];
  }
}

}  // namespace

void HybridFilter::Run(const GranuleInfo& g, const BandTable& bands, float lines[kLines],
                       int nonzero, SubbandSamples& out) {
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
  // A mixed block's long subbands (0 and 1) never fill a group of four, so groups share `window`.
  const int grouped_end = std::min(active, long_subbands);
  float blocks[4][36];
  int sb = 0;
  for (; sb + 4 <= grouped_end; sb += 4) {
    InverseLong4(lines + 18 * sb, window, blocks);
    for (int j = 0; j < 4; ++j) Overlap(sb + j, blocks[j], out);
  }
  for (; sb < active; ++sb) {
    if (sb < long_subbands) {
      InverseLong(lines + 18 * sb, g.mixed_block ? Derived().window_long[0] : window, blocks[0]);
    } else {
      InverseShort(lines + 18 * sb, blocks[0]);
    }
    Overlap(sb, blocks[0], out);
  }
  for (; sb < 32; ++sb) Carry(sb, out);
}

// Adds a subband's new block to the previous one's second half and keeps its own second half.
// Odd subbands' odd slots are negated to undo the analysis bank's frequency inversion.
void HybridFilter::Overlap(int sb, const float block[36], SubbandSamples& out) {
  float* samples = out.at[sb];
  float* kept = overlap_[sb];
  const float odd_sign = sb & 1 ? -0.0f : 0.0f;
  const __m128 flip = _mm_setr_ps(0.0f, odd_sign, 0.0f, odd_sign);
  for (int t = 0; t < 16; t += 4) {
    const __m128 sum = _mm_add_ps(_mm_loadu_ps(block + t), _mm_loadu_ps(kept + t));
    _mm_storeu_ps(samples + t, _mm_xor_ps(sum, flip));
    _mm_storeu_ps(kept + t, _mm_loadu_ps(block + 18 + t));
  }
  samples[16] = block[16] + kept[16];
  samples[17] = sb & 1 ? -(block[17] + kept[17]) : block[17] + kept[17];
  kept[16] = block[34];
  kept[17] = block[35];
  samples[18] = samples[19] = 0.0f;
}

// A silent subband: only what overlaps from the previous granule.
void HybridFilter::Carry(int sb, SubbandSamples& out) {
  static constexpr float kSilence[36] = {};
  Overlap(sb, kSilence, out);
}

void HybridFilter::Reset() {
  std::memset(overlap_, 0, sizeof(overlap_));
}

}  // namespace lumen::audio::mp3
