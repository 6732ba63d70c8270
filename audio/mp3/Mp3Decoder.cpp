#include "audio/mp3/Mp3Decoder.h"

#include <algorithm>

namespace lumen::audio {
namespace {

int16_t Rounded(float sample) {
  const float clamped = std::clamp(sample, -32768.0f, 32767.0f);
  return static_cast<int16_t>(clamped >= 0.0f ? clamped + 0.5f : clamped - 0.5f);
}

}  // namespace

Mp3Decoder::Mp3Decoder(int channels) : channels_(channels == 1 ? 1 : 2) {}

void Mp3Decoder::Feed(std::span<const uint8_t> bytes) {
  scanner_.Feed(bytes);
}

uint32_t Mp3Decoder::Rate() const {
  if (rate_ != 0) return rate_;
  const auto header = scanner_.Peek();
  return header ? header->rate : 44100;
}

bool Mp3Decoder::DecodeNext(std::vector<int16_t>& out) {
  const auto frame = scanner_.Next();
  if (!frame) return false;
  rate_ = frame->header.rate;
  frames_.Decode(*frame, decoded_);
  Emit(decoded_, out);
  return true;
}

void Mp3Decoder::Emit(const mp3::DecodedFrame& frame, std::vector<int16_t>& out) const {
  const size_t count = static_cast<size_t>(frame.sample_frames);
  const size_t start = out.size();
  out.resize(start + count * static_cast<size_t>(channels_), 0);
  if (frame.silent) return;
  int16_t* dest = out.data() + start;
  const float* left = frame.samples[0].data();
  const float* right = frame.channels == 2 ? frame.samples[1].data() : left;
  if (channels_ == 1) {
    for (size_t i = 0; i < count; ++i) {
      dest[i] = Rounded(frame.channels == 2 ? (left[i] + right[i]) * 0.5f : left[i]);
    }
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    dest[2 * i] = Rounded(left[i]);
    dest[2 * i + 1] = Rounded(right[i]);
  }
}

}  // namespace lumen::audio
