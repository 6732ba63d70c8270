#include "audio/mp3/ScaleFactors.h"

namespace lumen::audio::mp3 {
namespace {

constexpr uint8_t kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr uint8_t kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

// LSF: bands per group, by length code [table][long, short, mixed][group].
constexpr uint8_t kLsfGroups[6][3][4] = {{{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
                                         {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
                                         {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
                                         {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
                                         {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
                                         {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};

uint8_t MaxOf(int slen) {
  return static_cast<uint8_t>((1 << slen) - 1);
}

void ReadLong(BitReader& bits, ScaleFactors& f, int first, int end, int slen) {
  for (int sfb = first; sfb < end; ++sfb) {
    f.long_bands[sfb] = static_cast<uint8_t>(bits.Read(slen));
    f.long_max[sfb] = MaxOf(slen);
  }
}

void ReadShort(BitReader& bits, ScaleFactors& f, int first, int end, int slen) {
  for (int sfb = first; sfb < end; ++sfb) {
    for (int w = 0; w < 3; ++w) f.short_bands[sfb][w] = static_cast<uint8_t>(bits.Read(slen));
    f.short_max[sfb] = MaxOf(slen);
  }
}

void ReadMpeg1(BitReader& bits, const GranuleInfo& g, int gr, int scfsi, ScaleFactors& f) {
  const int slen1 = kSlen1[g.scalefac_compress & 15];
  const int slen2 = kSlen2[g.scalefac_compress & 15];
  if (g.ShortBlocks()) {
    if (g.mixed_block) {
      ReadLong(bits, f, 0, 8, slen1);
      ReadShort(bits, f, 3, 6, slen1);
    } else {
      ReadShort(bits, f, 0, 6, slen1);
    }
    ReadShort(bits, f, 6, 12, slen2);
    return;
  }
  constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
  for (int group = 0; group < 4; ++group) {
    const bool reuse = gr == 1 && (scfsi & (8 >> group)) != 0;
    if (reuse) continue;  // granule 0's values are still in `f`
    ReadLong(bits, f, kGroupStart[group], kGroupStart[group + 1], group < 2 ? slen1 : slen2);
  }
}

struct LsfLengths {
  int table = 0;
  int slen[4] = {};
};

LsfLengths LsfLengthsOf(int compress, bool intensity_channel) {
  if (!intensity_channel) {
    if (compress < 400) {
      return {0, {(compress >> 4) / 5, (compress >> 4) % 5, (compress & 15) >> 2, compress & 3}};
    }
    if (compress < 500) {
      const int c = compress - 400;
      return {1, {(c >> 2) / 5, (c >> 2) % 5, c & 3, 0}};
    }
    const int c = compress - 500;
    return {2, {c / 3, c % 3, 0, 0}};
  }
  const int c = compress >> 1;
  if (c < 180) return {3, {c / 36, (c % 36) / 6, (c % 36) % 6, 0}};
  if (c < 244) {
    const int d = c - 180;
    return {4, {(d & 63) >> 4, (d & 15) >> 2, d & 3, 0}};
  }
  const int d = c - 244;
  return {5, {d / 3, d % 3, 0, 0}};
}

// The groups cover a sequence of fields: long bands, or (band, window) pairs of short bands,
// or for a mixed block six long bands and then short bands from band 3.
void ReadLsf(BitReader& bits, const GranuleInfo& g, bool intensity_channel, ScaleFactors& f) {
  const LsfLengths lengths = LsfLengthsOf(g.scalefac_compress, intensity_channel);
  const int shape = !g.ShortBlocks() ? 0 : g.mixed_block ? 2 : 1;
  const uint8_t* groups = kLsfGroups[lengths.table][shape];
  int field = 0;
  for (int group = 0; group < 4; ++group) {
    const int slen = lengths.slen[group];
    for (int i = 0; i < groups[group]; ++i, ++field) {
      const auto value = static_cast<uint8_t>(bits.Read(slen));
      if (shape == 0 || (shape == 2 && field < 6)) {
        f.long_bands[field] = value;
        f.long_max[field] = MaxOf(slen);
        continue;
      }
      const int short_field = shape == 2 ? field - 6 + 9 : field;
      f.short_bands[short_field / 3][short_field % 3] = value;
      f.short_max[short_field / 3] = MaxOf(slen);
    }
  }
}

}  // namespace

void ReadScaleFactors(BitReader& bits, const FrameHeader& header, const GranuleInfo& g, int gr,
                      int scfsi, bool intensity_channel, ScaleFactors& factors) {
  if (header.version == Version::Mpeg1) {
    ReadMpeg1(bits, g, gr, scfsi, factors);
    for (auto& m : factors.long_max) m = 7;
    for (auto& m : factors.short_max) m = 7;
  } else {
    ReadLsf(bits, g, intensity_channel, factors);
  }
}

}  // namespace lumen::audio::mp3
