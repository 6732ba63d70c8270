#include "audio/mp3/Stereo.h"

#include <algorithm>

namespace lumen::audio::mp3 {
namespace {

constexpr float kInvSqrt2 = 0.70710678118654752f;

void MidSide(float* left, float* right, int begin, int end) {
  for (int i = begin; i < end; ++i) {
    const float mid = left[i];
    const float side = right[i];
    left[i] = (mid + side) * kInvSqrt2;
    right[i] = (mid - side) * kInvSqrt2;
  }
}

// Gains for the left and right copies of an intensity band with position `pos`; false when the
// position marks the band as ordinarily coded.
bool IntensityGains(const FrameHeader& header, const GranuleInfo& right, int pos, int max_pos,
                    float gains[2]) {
  if (pos == max_pos) return false;
  if (header.version == Version::Mpeg1) {
    if (pos > 6) return false;
    gains[0] = Derived().intensity_mpeg1[pos][0];
    gains[1] = Derived().intensity_mpeg1[pos][1];
    return true;
  }
  // LSF: odd positions attenuate the right copy, even ones the left, by 2^(-1/4) or 2^(-1/2)
  // steps (the lowest scalefac_compress bit chooses).
  const int step = (right.scalefac_compress & 1) ? 2 : 1;
  gains[0] = gains[1] = 1.0f;
  if (pos & 1) {
    gains[1] = PowQuarter(-step * ((pos + 1) / 2));
  } else {
    gains[0] = PowQuarter(-step * (pos / 2));
  }
  return true;
}

struct Band {
  int begin;
  int end;
  int pos;
  int max_pos;
};

// Splits one band: intensity where its position says so, else mid/side or plain stereo.
void ApplyBand(const FrameHeader& header, const GranuleInfo& right, const Band& band, float* l,
               float* r) {
  float gains[2];
  if (!IntensityGains(header, right, band.pos, band.max_pos, gains)) {
    if (header.MidSide()) MidSide(l, r, band.begin, band.end);
    return;
  }
  for (int i = band.begin; i < band.end; ++i) {
    const float value = l[i];
    l[i] = value * gains[0];
    r[i] = value * gains[1];
  }
}

bool AllZero(const float* lines, int begin, int end) {
  for (int i = begin; i < end; ++i) {
    if (lines[i] != 0.0f) return false;
  }
  return true;
}

void IntensityLong(const FrameHeader& header, const BandTable& bands, StereoGranule& g,
                   int first_long_sfb, int long_sfb_end) {
  float* l = g.lines[0];
  float* r = g.lines[1];
  const ScaleFactors& f = *g.right_factors;
  // Bands above the right channel's last nonzero one are intensity-coded.
  int first = long_sfb_end;
  while (first > first_long_sfb &&
         AllZero(r, bands.long_start[first - 1], bands.long_start[first])) {
    --first;
  }
  if (header.MidSide()) MidSide(l, r, 0, bands.long_start[first]);
  for (int sfb = first; sfb < long_sfb_end; ++sfb) {
    const int factor_sfb = std::min(sfb, 20);  // the last band uses its neighbour's position
    ApplyBand(header, g.info[1],
              {bands.long_start[sfb], bands.long_start[sfb + 1], f.long_bands[factor_sfb],
               f.long_max[factor_sfb]},
              l, r);
  }
}

// Short bands: each window has its own boundary above the right channel's last nonzero band.
void IntensityShort(const FrameHeader& header, const BandTable& bands, StereoGranule& g,
                    int first_sfb) {
  float* l = g.lines[0];
  float* r = g.lines[1];
  const ScaleFactors& f = *g.right_factors;
  for (int w = 0; w < 3; ++w) {
    auto start = [&](int sfb) {
      return 3 * bands.short_start[sfb] + w * (bands.short_start[sfb + 1] - bands.short_start[sfb]);
    };
    auto end = [&](int sfb) {
      return start(sfb) + bands.short_start[sfb + 1] - bands.short_start[sfb];
    };
    int first = 13;
    while (first > first_sfb && AllZero(r, start(first - 1), end(first - 1))) --first;
    for (int sfb = first_sfb; sfb < first; ++sfb) {
      if (header.MidSide()) MidSide(l, r, start(sfb), end(sfb));
    }
    for (int sfb = first; sfb < 13; ++sfb) {
      const int factor_sfb = std::min(sfb, 11);
      ApplyBand(header, g.info[1],
                {start(sfb), end(sfb), f.short_bands[factor_sfb][w], f.short_max[factor_sfb]}, l,
                r);
    }
  }
}

}  // namespace

void ApplyJointStereo(const FrameHeader& header, const BandTable& bands, StereoGranule g) {
  const int count = std::max(g.nonzero[0], g.nonzero[1]);
  if (!header.Intensity()) {
    if (header.MidSide()) MidSide(g.lines[0], g.lines[1], 0, count);
    g.nonzero[0] = g.nonzero[1] = count;
    return;
  }
  const GranuleInfo& right = g.info[1];
  if (!right.ShortBlocks()) {
    IntensityLong(header, bands, g, 0, 22);
  } else if (!right.mixed_block) {
    IntensityShort(header, bands, g, 0);
  } else if (!AllZero(g.lines[1], 36, kLines)) {
    // The right channel reaches into the short part: the long part is all below the bound.
    if (header.MidSide()) MidSide(g.lines[0], g.lines[1], 0, 36);
    IntensityShort(header, bands, g, 3);
  } else {
    int long_end = 0;
    while (bands.long_start[long_end] < 36) ++long_end;
    IntensityLong(header, bands, g, 0, long_end);
    IntensityShort(header, bands, g, 3);
  }
  g.nonzero[0] = g.nonzero[1] = kLines;
}

}  // namespace lumen::audio::mp3
