// A block starts with the 23 band levels (a 6-bit first level, then 5-bit steps), which fix both
// the lines' amplitudes and, through the bit allocation, how many bits each line's code has. Two
// half-blocks of 198 detail bits follow, each coding the same 124 lines at their own moment. Bits
// are read least significant first. Lines without bits get the band amplitude times sqrt(1/2)
// with a random sign.
#include "audio/codecs/NellymoserDecoder.h"

#include <algorithm>

#include "audio/codecs/ExactMath.h"
#include "audio/codecs/NellymoserBitAllocation.h"

namespace lumen::audio {
namespace {

using namespace nellymoser;

constexpr float kNoiseGain = 0.70710678118654752f;
// Output is scaled so that full-scale levels land on 16 bits; levels beyond +-40 octaves only
// come from damaged headers and are held there to keep every sum finite.
constexpr int kLevelLimit = 40 * 2048;
constexpr double kOutputScale = 1.0 / 8;

class LsbBitReader {
 public:
  LsbBitReader(std::span<const uint8_t> bytes, size_t position)
      : bytes_(bytes), position_(position) {}

  uint32_t Read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count && position_ < bytes_.size() * 8; ++i, ++position_) {
      value |= ((bytes_[position_ / 8] >> (position_ % 8)) & 1u) << i;
    }
    return value;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_;
};

struct Header {
  LineLevels levels;
  std::array<float, kCoefficients> amplitudes;
};

Header ReadHeader(std::span<const uint8_t> block) {
  LsbBitReader reader(block, 0);
  Header header;
  int level = kFirstLevels[reader.Read(6)];
  int line = 0;
  for (int band = 0; band < kBands; ++band) {
    if (band > 0) level += kLevelSteps[reader.Read(5)];
    const int held = std::clamp(level, -kLevelLimit, kLevelLimit);
    const float amplitude = static_cast<float>(-Exp2Of2048ths(held) * kOutputScale);
    for (int i = 0; i < kBandWidths[band]; ++i, ++line) {
      header.levels[line] = level;
      header.amplitudes[line] = amplitude;
    }
  }
  return header;
}

Spectrum ReadHalf(std::span<const uint8_t> block, int half, const Header& header,
                  const LineBits& bits, const NellymoserDecoder::NoiseSigns& noise) {
  LsbBitReader reader(block, kHeaderBits + half * kDetailBits);
  Spectrum spectrum;
  for (int i = 0; i < kCoefficients; ++i) {
    if (bits[i] == 0) {
      const float value = kNoiseGain * header.amplitudes[i];
      spectrum[i] = noise() ? -value : value;
    } else {
      const uint32_t code = reader.Read(bits[i]);
      spectrum[i] = kReconstruction[(1u << bits[i]) - 1 + code] * header.amplitudes[i];
    }
  }
  return spectrum;
}

// A 32-bit linear congruential generator; its top bit is the sign.
NellymoserDecoder::NoiseSigns DefaultNoise() {
  return [state = uint32_t{0x2545F491}]() mutable {
    state = state * 1664525u + 1013904223u;
    return (state >> 31) != 0;
  };
}

}  // namespace

NellymoserDecoder::NellymoserDecoder(const SoundFormat& format, NoiseSigns noise)
    : noise_(noise ? std::move(noise) : DefaultNoise()),
      channels_(format.Channels()),
      rate_(format.rate) {}

bool NellymoserDecoder::DecodeNext(std::vector<int16_t>& out) {
  const std::span<const uint8_t> block = queue_.TakeFrames(kBlockBytes, 1);
  if (block.empty()) return false;
  const Header header = ReadHeader(block);
  const LineBits bits = AllocateBits(header.levels);
  std::array<int16_t, kBlockSamples> samples;
  for (int half = 0; half < 2; ++half) {
    const Spectrum spectrum = ReadHalf(block, half, header, bits, noise_);
    synthesis_.Run(spectrum, std::span<int16_t, kHalfSamples>(samples.data() + half * kHalfSamples,
                                                              kHalfSamples));
  }
  for (const int16_t sample : samples) {
    out.insert(out.end(), static_cast<size_t>(channels_), sample);
  }
  return true;
}

}  // namespace lumen::audio
