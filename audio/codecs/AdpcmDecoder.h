#pragma once

// SWF ADPCM: IMA-style adaptive steps with 2- to 5-bit codes, in packets of 4095 codes a channel
// that each restart the predictor from a stored sample and step index.

#include <array>

#include "audio/Decoder.h"
#include "audio/codecs/MsbBitReader.h"
#include "audio/codecs/SpanQueue.h"

namespace lumen::audio {

class AdpcmDecoder final : public Decoder {
 public:
  explicit AdpcmDecoder(const SoundFormat& format);

  void Feed(std::span<const uint8_t> bytes) override { queue_.Push(bytes); }
  // Decodes one packet.
  bool DecodeNext(std::vector<int16_t>& out) override;
  int Channels() const override { return channels_; }
  uint32_t Rate() const override { return rate_; }

  static constexpr int kCodesPerPacket = 4095;

 private:
  struct Channel {
    int sample = 0;
    int index = 0;
    void Apply(uint32_t code, int bits);
  };

  bool StartNextSpan();
  void DecodePacket(std::vector<int16_t>& out);

  SpanQueue queue_;
  MsbBitReader reader_;
  bool reading_ = false;
  int code_bits_ = 4;
  std::array<Channel, 2> state_;
  int channels_;
  uint32_t rate_;
};

}  // namespace lumen::audio
