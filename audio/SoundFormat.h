#pragma once

// How a sound's bytes are coded: the format byte of sound definitions and stream heads.

#include <cstdint>

namespace lumen::audio {

enum class Codec : uint8_t {
  PcmNative = 0,
  Adpcm = 1,
  Mp3 = 2,
  PcmLittle = 3,
  Nellymoser16k = 4,
  Nellymoser8k = 5,
  Nellymoser = 6,
  ALaw = 7,
  MuLaw = 8,
  Aac = 10,
  Speex = 11,
};

struct SoundFormat {
  Codec codec = Codec::PcmNative;
  uint32_t rate = 5512;  // samples per second per channel
  bool sixteen_bit = false;
  bool stereo = false;

  // Bits 7-4 codec, 3-2 rate, 0x02 16-bit, 0x01 stereo. Nellymoser's fixed-rate forms are mono at
  // their own rate whatever the byte says.
  static SoundFormat FromByte(uint8_t byte);
  int Channels() const { return stereo ? 2 : 1; }
};

}  // namespace lumen::audio
