#pragma once

// Uncompressed samples: 8-bit unsigned or 16-bit signed little-endian, mono or stereo. The
// "native" codec is little-endian too, as the movies' authoring tools always wrote it.

#include "audio/Decoder.h"
#include "audio/codecs/SpanQueue.h"

namespace lumen::audio {

class PcmDecoder final : public Decoder {
 public:
  explicit PcmDecoder(const SoundFormat& format);

  void Feed(std::span<const uint8_t> bytes) override { queue_.Push(bytes); }
  // Emits up to kFramesPerCall frames.
  bool DecodeNext(std::vector<int16_t>& out) override;
  int Channels() const override { return channels_; }
  uint32_t Rate() const override { return rate_; }

  static constexpr size_t kFramesPerCall = 1024;

 private:
  SpanQueue queue_;
  int channels_;
  uint32_t rate_;
  size_t sample_bytes_;
};

}  // namespace lumen::audio
