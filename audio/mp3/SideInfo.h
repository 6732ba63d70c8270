#pragma once

// The side information after the header (and CRC): where each granule's main data begins and
// how its spectrum was coded.

#include "audio/mp3/BitReader.h"
#include "audio/mp3/FrameHeader.h"

namespace lumen::audio::mp3 {

struct GranuleInfo {
  int part2_3_length = 0;  // bits of scale factors and Huffman data
  int big_values = 0;
  int global_gain = 0;
  int scalefac_compress = 0;
  bool window_switching = false;
  int block_type = 0;  // 0 normal, 1 start, 2 short, 3 stop
  bool mixed_block = false;
  int table_select[3] = {};
  int subblock_gain[3] = {};
  int region1_start = 0;  // first line of region 1, then of region 2
  int region2_start = 0;
  bool preflag = false;
  bool scalefac_scale = false;
  int count1_table = 0;

  bool ShortBlocks() const { return window_switching && block_type == 2; }
};

struct SideInfo {
  int main_data_begin = 0;
  int scfsi[2] = {};  // MPEG-1 only: four bits, scale factor groups reused from granule 0
  GranuleInfo granules[2][2];
};

// Reads the side information of a frame with `header`; the region starts are resolved to lines
// with the frame's band table.
SideInfo ReadSideInfo(BitReader& bits, const FrameHeader& header);

}  // namespace lumen::audio::mp3
