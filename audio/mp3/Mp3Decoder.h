#pragma once

// MPEG-1, MPEG-2 (LSF) and MPEG-2.5 layer III decoding into 16-bit sample frames.

#include <cstdint>
#include <span>
#include <vector>

#include "audio/Decoder.h"
#include "audio/mp3/FrameDecoder.h"
#include "audio/mp3/FrameScanner.h"

namespace lumen::audio {

class Mp3Decoder final : public Decoder {
 public:
  // `channels` (1 or 2) is the output's: frames of the other mode are averaged or doubled.
  explicit Mp3Decoder(int channels);

  void Feed(std::span<const uint8_t> bytes) override;
  bool DecodeNext(std::vector<int16_t>& out) override;
  int Channels() const override { return channels_; }
  uint32_t Rate() const override;

 private:
  void Emit(const mp3::DecodedFrame& frame, std::vector<int16_t>& out) const;

  int channels_;
  mp3::FrameScanner scanner_;
  mp3::FrameDecoder frames_;
  mp3::DecodedFrame decoded_;
  uint32_t rate_ = 0;
};

}  // namespace lumen::audio
