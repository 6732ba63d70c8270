#include "audio/SoundFormat.h"

namespace lumen::audio {

SoundFormat SoundFormat::FromByte(uint8_t byte) {
  static constexpr uint32_t kRates[] = {5512, 11025, 22050, 44100};
  SoundFormat format;
  format.codec = static_cast<Codec>(byte >> 4);
  format.rate = kRates[(byte >> 2) & 3];
  format.sixteen_bit = (byte & 0x02) != 0;
  format.stereo = (byte & 0x01) != 0;
  if (format.codec == Codec::Nellymoser16k || format.codec == Codec::Nellymoser8k) {
    format.rate = format.codec == Codec::Nellymoser16k ? 16000 : 8000;
    format.stereo = false;
  }
  return format;
}

}  // namespace lumen::audio
