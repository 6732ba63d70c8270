#include "audio/codecs/PcmDecoder.h"

namespace lumen::audio {

PcmDecoder::PcmDecoder(const SoundFormat& format)
    : channels_(format.Channels()), rate_(format.rate), sample_bytes_(format.sixteen_bit ? 2 : 1) {}

bool PcmDecoder::DecodeNext(std::vector<int16_t>& out) {
  const std::span<const uint8_t> run = queue_.TakeFrames(sample_bytes_ * channels_, kFramesPerCall);
  if (run.empty()) return false;
  if (sample_bytes_ == 1) {
    for (const uint8_t byte : run) out.push_back(static_cast<int16_t>((byte - 128) * 256));
  } else {
    for (size_t i = 0; i + 1 < run.size(); i += 2) {
      out.push_back(static_cast<int16_t>(run[i] | (run[i + 1] << 8)));
    }
  }
  return true;
}

}  // namespace lumen::audio
