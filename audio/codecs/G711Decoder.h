#pragma once

// ITU-T G.711 A-law and µ-law: one 8-bit code a sample, expanded to 16 bits.

#include "audio/Decoder.h"
#include "audio/codecs/SpanQueue.h"

namespace lumen::audio {

// The 16-bit value of one code (the standard's 13- and 14-bit values scaled to 16 bits).
int16_t ExpandALaw(uint8_t code);
int16_t ExpandMuLaw(uint8_t code);

class G711Decoder final : public Decoder {
 public:
  explicit G711Decoder(const SoundFormat& format);

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
  int16_t (*expand_)(uint8_t);
};

}  // namespace lumen::audio
