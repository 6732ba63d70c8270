#include "audio/mp3/FrameDecoder.h"

#include "audio/mp3/Stereo.h"
#include "audio/mp3/Tables.h"

namespace lumen::audio::mp3 {
namespace {

constexpr size_t kReservoirBytes = 511;  // the largest main_data_begin

}  // namespace

bool FrameDecoder::AssembleMainData(const SideInfo& side, std::span<const uint8_t> frame_main) {
  const auto back = static_cast<size_t>(side.main_data_begin);
  const bool complete = back <= reservoir_.size();
  if (complete) {
    main_.assign(reservoir_.end() - static_cast<std::ptrdiff_t>(back), reservoir_.end());
    main_.insert(main_.end(), frame_main.begin(), frame_main.end());
  }
  reservoir_.insert(reservoir_.end(), frame_main.begin(), frame_main.end());
  if (reservoir_.size() > kReservoirBytes) {
    reservoir_.erase(reservoir_.begin(),
                     reservoir_.end() - static_cast<std::ptrdiff_t>(kReservoirBytes));
  }
  return complete;
}

void FrameDecoder::Decode(const Frame& frame, DecodedFrame& out) {
  const FrameHeader& header = frame.header;
  const size_t side_start = header.crc ? 6 : 4;
  const auto side_bytes = static_cast<size_t>(header.SideInfoBytes());
  BitReader side_bits(frame.bytes.subspan(side_start, side_bytes));
  const SideInfo side = ReadSideInfo(side_bits, header);
  out.channels = header.Channels();
  out.sample_frames = header.SampleFrames();
  out.silent = !AssembleMainData(side, frame.bytes.subspan(side_start + side_bytes));
  if (out.silent) {
    Reset();
    return;
  }
  for (int ch = 0; ch < out.channels; ++ch) {
    out.samples[ch].resize(static_cast<size_t>(out.sample_frames));
  }
  BitReader bits(main_);
  size_t next_bit = 0;
  for (int gr = 0; gr < header.Granules(); ++gr)
    DecodeGranule(header, side, gr, bits, next_bit, out);
}

void FrameDecoder::DecodeGranule(const FrameHeader& header, const SideInfo& side, int gr,
                                 BitReader& bits, size_t& next_bit, DecodedFrame& out) {
  const BandTable& bands = kBands[header.rate_index];
  const GranuleInfo* info = side.granules[gr];
  Granule& g = granule_;
  for (int ch = 0; ch < out.channels; ++ch) {
    const GranuleInfo& gi = info[ch];
    bits.Seek(next_bit);
    next_bit += static_cast<size_t>(gi.part2_3_length);
    const bool intensity_channel = header.Intensity() && ch == 1;
    ReadScaleFactors(bits, header, gi, gr, side.scfsi[ch], intensity_channel, factors_[ch]);
    g.nonzero[ch] = ReadQuantised(bits, gi, next_bit, g.quantised);
    Requantise(g.quantised, g.nonzero[ch], gi, factors_[ch], bands, g.lines[ch]);
  }
  if (header.mode == ChannelMode::JointStereo) {
    ApplyJointStereo(header, bands, {g.lines, g.nonzero, info, &factors_[1]});
  }
  for (int ch = 0; ch < out.channels; ++ch) {
    hybrid_[ch].Run(info[ch], bands, g.lines[ch], g.nonzero[ch], g.subbands);
    synthesis_[ch].Run(g.subbands, out.samples[ch].data() + gr * 576);
  }
}

void FrameDecoder::Reset() {
  for (int ch = 0; ch < 2; ++ch) {
    hybrid_[ch].Reset();
    synthesis_[ch].Reset();
  }
}

}  // namespace lumen::audio::mp3
