#pragma once

// Nellymoser Asao: 64-byte blocks of 256 mono samples, each two half-blocks of a band-level header
// shared by both and a bit allocation derived from it.

#include <functional>

#include "audio/Decoder.h"
#include "audio/codecs/NellymoserSynthesis.h"
#include "audio/codecs/SpanQueue.h"

namespace lumen::audio {

class NellymoserDecoder final : public Decoder {
 public:
  // Signs of the spectrum lines that get no bits and are filled with noise: true means negative.
  using NoiseSigns = std::function<bool()>;

  // Without `noise`, a fixed pseudo-random sequence, so that decoding is repeatable.
  explicit NellymoserDecoder(const SoundFormat& format, NoiseSigns noise = {});

  void Feed(std::span<const uint8_t> bytes) override { queue_.Push(bytes); }
  // Decodes one block; a span's trailing partial block is dropped.
  bool DecodeNext(std::vector<int16_t>& out) override;
  int Channels() const override { return channels_; }
  uint32_t Rate() const override { return rate_; }

  static constexpr size_t kBlockBytes = 64;
  static constexpr size_t kBlockSamples = 2 * nellymoser::kHalfSamples;

 private:
  SpanQueue queue_;
  nellymoser::Synthesis synthesis_;
  NoiseSigns noise_;
  int channels_;
  uint32_t rate_;
};

}  // namespace lumen::audio
