#include "audio/mp3/SideInfo.h"

#include <algorithm>

#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {
namespace {

// Region boundaries are counted in bands: long bands, or for short blocks short bands of the
// three windows together.
void ResolveRegions(GranuleInfo& g, int region0_count, int region1_count, const BandTable& bands) {
  if (g.ShortBlocks() && !g.mixed_block) {
    g.region1_start = 3 * bands.short_start[(region0_count + 1) / 3];
    g.region2_start = 576;
  } else if (g.window_switching) {
    g.region1_start = bands.long_start[std::min(region0_count + 1, 22)];
    g.region2_start = 576;
  } else {
    g.region1_start = bands.long_start[std::min(region0_count + 1, 22)];
    g.region2_start = bands.long_start[std::min(region0_count + region1_count + 2, 22)];
  }
}

void ReadGranule(BitReader& bits, const FrameHeader& header, int ch, GranuleInfo& g) {
  const bool mpeg1 = header.version == Version::Mpeg1;
  g.part2_3_length = static_cast<int>(bits.Read(12));
  g.big_values = std::min(static_cast<int>(bits.Read(9)), 288);
  g.global_gain = static_cast<int>(bits.Read(8));
  g.scalefac_compress = static_cast<int>(bits.Read(mpeg1 ? 4 : 9));
  g.window_switching = bits.ReadBit();
  int region0_count = 0;
  int region1_count = 0;
  if (g.window_switching) {
    g.block_type = static_cast<int>(bits.Read(2));
    g.mixed_block = bits.ReadBit();
    for (int r = 0; r < 2; ++r) g.table_select[r] = static_cast<int>(bits.Read(5));
    for (int w = 0; w < 3; ++w) g.subblock_gain[w] = static_cast<int>(bits.Read(3));
    // A switched granule's block type 0 is not allowed; it is read as a start block.
    if (g.block_type == 0) g.block_type = 1;
    region0_count = g.block_type == 2 && !g.mixed_block ? 8 : 7;
  } else {
    for (int r = 0; r < 3; ++r) g.table_select[r] = static_cast<int>(bits.Read(5));
    region0_count = static_cast<int>(bits.Read(4));
    region1_count = static_cast<int>(bits.Read(3));
  }
  // LSF has no preflag bit: the largest length codes of a channel without intensity imply it.
  const bool intensity_channel = header.Intensity() && ch == 1;
  g.preflag = mpeg1 ? bits.ReadBit() : !intensity_channel && g.scalefac_compress >= 500;
  g.scalefac_scale = bits.ReadBit();
  g.count1_table = static_cast<int>(bits.Read(1));
  ResolveRegions(g, region0_count, region1_count, kBands[header.rate_index]);
}

}  // namespace

SideInfo ReadSideInfo(BitReader& bits, const FrameHeader& header) {
  SideInfo info;
  const int channels = header.Channels();
  if (header.version == Version::Mpeg1) {
    info.main_data_begin = static_cast<int>(bits.Read(9));
    bits.Skip(channels == 1 ? 5 : 3);
    for (int ch = 0; ch < channels; ++ch) info.scfsi[ch] = static_cast<int>(bits.Read(4));
  } else {
    info.main_data_begin = static_cast<int>(bits.Read(8));
    bits.Skip(channels == 1 ? 1 : 2);
  }
  for (int gr = 0; gr < header.Granules(); ++gr) {
    for (int ch = 0; ch < channels; ++ch) ReadGranule(bits, header, ch, info.granules[gr][ch]);
  }
  return info;
}

}  // namespace lumen::audio::mp3
