#pragma once

// One frame at a time to PCM: side information, the bit reservoir that lets a frame's main data
// start in earlier frames, the spectrum of each granule and channel, joint stereo and the two
// filter banks, whose state carries from frame to frame.

#include <cstdint>
#include <vector>

#include "audio/mp3/FrameScanner.h"
#include "audio/mp3/Hybrid.h"
#include "audio/mp3/ScaleFactors.h"
#include "audio/mp3/SideInfo.h"
#include "audio/mp3/Synthesis.h"

namespace lumen::audio::mp3 {

struct DecodedFrame {
  int channels = 0;
  int sample_frames = 0;
  bool silent = false;  // its main data reached back before the kept reservoir
  // Per channel, sample_frames samples in 16-bit scale (unused when silent).
  std::vector<float> samples[2];
};

class FrameDecoder {
 public:
  void Decode(const Frame& frame, DecodedFrame& out);

 private:
  struct Granule {
    int quantised[kLines];
    float lines[2][kLines];
    int nonzero[2];
    SubbandSamples subbands;
  };

  // Appends this frame's main data to the reservoir; false when the frame's data begins before
  // what the reservoir kept.
  bool AssembleMainData(const SideInfo& side, std::span<const uint8_t> frame_main);
  void DecodeGranule(const FrameHeader& header, const SideInfo& side, int gr, BitReader& bits,
                     size_t& next_bit, DecodedFrame& out);
  void Reset();

  std::vector<uint8_t> reservoir_;  // the stream's latest main data bytes
  std::vector<uint8_t> main_;       // this frame's main data, from where it begins
  ScaleFactors factors_[2];
  Granule granule_;
  HybridFilter hybrid_[2];
  SynthesisFilter synthesis_[2];
};

}  // namespace lumen::audio::mp3
