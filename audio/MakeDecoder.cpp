#include "audio/Decoder.h"
#include "audio/codecs/AdpcmDecoder.h"
#include "audio/codecs/G711Decoder.h"
#include "audio/codecs/NellymoserDecoder.h"
#include "audio/codecs/PcmDecoder.h"
#include "audio/mp3/Mp3Decoder.h"

namespace lumen::audio {

std::unique_ptr<Decoder> MakeDecoder(const SoundFormat& format) {
  switch (format.codec) {
    case Codec::PcmNative:
    case Codec::PcmLittle:
      return std::make_unique<PcmDecoder>(format);
    case Codec::Adpcm:
      return std::make_unique<AdpcmDecoder>(format);
    case Codec::Mp3:
      return std::make_unique<Mp3Decoder>(format.Channels());
    case Codec::Nellymoser16k:
    case Codec::Nellymoser8k:
    case Codec::Nellymoser:
      return std::make_unique<NellymoserDecoder>(format);
    case Codec::ALaw:
    case Codec::MuLaw:
      return std::make_unique<G711Decoder>(format);
    default:
      return nullptr;
  }
}

}  // namespace lumen::audio
