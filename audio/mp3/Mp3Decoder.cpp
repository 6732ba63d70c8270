#include "audio/mp3/Mp3Decoder.h"

#include <emmintrin.h>

namespace lumen::audio {
namespace {

// Four samples clamped to 16 bits and rounded half away from zero; NaN gives -32768.
__m128i Rounded(__m128 samples) {
  const __m128 clamped =
      _mm_min_ps(_mm_max_ps(samples, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
  const __m128 half = _mm_or_ps(_mm_and_ps(clamped, _mm_set1_ps(-0.0f)), _mm_set1_ps(0.5f));
  return _mm_cvttps_epi32(_mm_add_ps(clamped, half));
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

// Frames hold 576 or 1152 sample frames: whole groups of four.
void Mp3Decoder::Emit(const mp3::DecodedFrame& frame, std::vector<int16_t>& out) const {
  const size_t count = static_cast<size_t>(frame.sample_frames);
  const size_t start = out.size();
  out.resize(start + count * static_cast<size_t>(channels_), 0);
  if (frame.silent) return;
  auto* dest = reinterpret_cast<__m128i*>(out.data() + start);
  const float* left = frame.samples[0].data();
  const float* right = frame.channels == 2 ? frame.samples[1].data() : left;
  if (channels_ == 1) {
    for (size_t i = 0; i + 8 <= count; i += 8) {
      __m128 mixed[2];
      for (size_t j = 0; j < 2; ++j) {
        const __m128 l = _mm_loadu_ps(left + i + 4 * j);
        mixed[j] = frame.channels == 2 ? _mm_mul_ps(_mm_add_ps(l, _mm_loadu_ps(right + i + 4 * j)),
                                                    _mm_set1_ps(0.5f))
                                       : l;
      }
      _mm_storeu_si128(dest++, _mm_packs_epi32(Rounded(mixed[0]), Rounded(mixed[1])));
    }
    return;
  }
  for (size_t i = 0; i + 4 <= count; i += 4) {
    const __m128i l = Rounded(_mm_loadu_ps(left + i));
    const __m128i r = Rounded(_mm_loadu_ps(right + i));
    _mm_storeu_si128(dest++, _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r)));
  }
}

}  // namespace lumen::audio
