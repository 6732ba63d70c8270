#include "audio/codecs/G711Decoder.h"

namespace lumen::audio {

// A-law inverts every even bit; a set sign bit means positive. Segment 0 is linear, each later
// segment doubles the step, with the interval's midpoint as the value.
int16_t ExpandALaw(uint8_t code) {
  const int bits = code ^ 0x55;
  const int mantissa = bits & 0x0F;
  const int segment = (bits >> 4) & 0x07;
  const int magnitude =
      segment == 0 ? (2 * mantissa + 1) << 3 : (2 * mantissa + 33) << (segment + 2);
  return static_cast<int16_t>((bits & 0x80) != 0 ? magnitude : -magnitude);
}

// µ-law stores the complement; the biased magnitude ((mantissa << 3) + 0x84) << segment loses its
// bias of 0x84 after expansion. A set sign bit (of the complement) means negative.
int16_t ExpandMuLaw(uint8_t code) {
  const int bits = static_cast<uint8_t>(~code);
  const int mantissa = bits & 0x0F;
  const int segment = (bits >> 4) & 0x07;
  const int magnitude = (((mantissa << 3) + 0x84) << segment) - 0x84;
  return static_cast<int16_t>((bits & 0x80) != 0 ? -magnitude : magnitude);
}

G711Decoder::G711Decoder(const SoundFormat& format)
    : channels_(format.Channels()),
      rate_(format.rate),
      expand_(format.codec == Codec::ALaw ? ExpandALaw : ExpandMuLaw) {}

bool G711Decoder::DecodeNext(std::vector<int16_t>& out) {
  const std::span<const uint8_t> run = queue_.TakeFrames(channels_, kFramesPerCall);
  if (run.empty()) return false;
  for (const uint8_t code : run) out.push_back(expand_(code));
  return true;
}

}  // namespace lumen::audio
