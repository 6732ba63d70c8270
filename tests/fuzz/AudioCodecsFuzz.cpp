// The PCM, ADPCM, Nellymoser and G.711 decoders on any bytes: the first byte is the format byte,
// the rest spans of a 2-byte length each (fed and decoded in turn). Decoding ends, writes whole
// frames only and never more samples than the codecs can make of the bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/Decoder.h"

using namespace lumen::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const SoundFormat format = SoundFormat::FromByte(data[0]);
  if (format.codec == Codec::Mp3) return 0;  // fuzz_mp3's
  const std::unique_ptr<Decoder> decoder = MakeDecoder(format);
  if (!decoder) return 0;
  // No codec makes more than 4 samples a byte (2-bit ADPCM, Nellymoser), plus a header sample
  // a channel for each ADPCM packet: twice that bounds any output.
  const size_t limit = (8 * size + 2) * static_cast<size_t>(format.Channels());
  std::vector<int16_t> out;
  size_t at = 1;
  while (at < size) {
    const size_t wanted = at + 2 <= size ? (data[at] << 8 | data[at + 1]) : 0;
    at = std::min(at + 2, size);
    const size_t length = std::min(wanted, size - at);
    decoder->Feed({data + at, length});
    at += length;
    for (int unit = 0; unit < 3 && decoder->DecodeNext(out); ++unit) {
    }
  }
  while (decoder->DecodeNext(out)) {
    if (out.size() > limit) std::abort();
  }
  if (out.size() % format.Channels() != 0 || out.size() > limit) std::abort();
  return 0;
}
