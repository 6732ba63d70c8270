// Each fed span is its own bit stream: a 2-bit code size, then packets of one header a channel
// (16-bit sample, 6-bit step index) and up to 4095 code frames (one code a channel, left first).
// The header's sample is output as the packet's first sample, so a full packet holds 4096
// samples a channel, as ffmpeg's decoder counts them (the codec tests compare with it sample for
// sample). A packet cut short ends at the last whole code frame.
#include "audio/codecs/AdpcmDecoder.h"

#include <algorithm>

namespace lumen::audio {
namespace {

constexpr int kHeaderBits = 16 + 6;
constexpr int kMaxIndex = 88;

// The IMA ADPCM step sizes.
constexpr std::array<int, kMaxIndex + 1> kSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step index changes by code magnitude, for 2 to 5 bits a code.
constexpr int kIndexShifts2[] = {-1, 2};
constexpr int kIndexShifts3[] = {-1, -1, 2, 4};
constexpr int kIndexShifts4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kIndexShifts5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const int* kIndexShifts[] = {kIndexShifts2, kIndexShifts3, kIndexShifts4, kIndexShifts5};

}  // namespace

// delta = (magnitude + 1/2) * step / 2^(bits - 2), built bit by bit from halving steps so that the
// rounding is the codec's own.
void AdpcmDecoder::Channel::Apply(uint32_t code, int bits) {
  const uint32_t sign = 1u << (bits - 1);
  const uint32_t magnitude = code & (sign - 1);
  int step = kSteps[index];
  int delta = 0;
  for (uint32_t bit = sign >> 1; bit != 0; bit >>= 1) {
    if ((magnitude & bit) != 0) delta += step;
    step >>= 1;
  }
  delta += step;
  sample = std::clamp((code & sign) != 0 ? sample - delta : sample + delta, -32768, 32767);
  index = std::clamp(index + kIndexShifts[bits - 2][magnitude], 0, kMaxIndex);
}

AdpcmDecoder::AdpcmDecoder(const SoundFormat& format)
    : channels_(format.Channels()), rate_(format.rate) {}

bool AdpcmDecoder::DecodeNext(std::vector<int16_t>& out) {
  while (!reading_ || reader_.Remaining() < static_cast<size_t>(kHeaderBits * channels_)) {
    if (!StartNextSpan()) return false;
  }
  DecodePacket(out);
  return true;
}

bool AdpcmDecoder::StartNextSpan() {
  if (reading_) queue_.Pop();
  reading_ = !queue_.Empty();
  if (!reading_) return false;
  reader_ = MsbBitReader(queue_.Front());
  code_bits_ = static_cast<int>(reader_.Read(2)) + 2;
  return true;
}

void AdpcmDecoder::DecodePacket(std::vector<int16_t>& out) {
  for (int c = 0; c < channels_; ++c) {
    state_[c].sample = reader_.ReadSigned(16);
    state_[c].index = static_cast<int>(reader_.Read(6));
    out.push_back(static_cast<int16_t>(state_[c].sample));
  }
  const size_t frame_bits = static_cast<size_t>(code_bits_ * channels_);
  for (int n = 0; n < kCodesPerPacket && reader_.Remaining() >= frame_bits; ++n) {
    for (int c = 0; c < channels_; ++c) {
      state_[c].Apply(reader_.Read(code_bits_), code_bits_);
      out.push_back(static_cast<int16_t>(state_[c].sample));
    }
  }
}

}  // namespace lumen::audio
