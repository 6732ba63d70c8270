// The MP3 decoder over arbitrary bytes fed as a few spans, to both output channel counts: it must
// end, and every answer must be a whole number of sample frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "audio/mp3/Mp3Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int channels = (data[0] & 1) + 1;
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  lumen::audio::Mp3Decoder decoder(channels);
  // Split points from the first byte: up to four spans.
  size_t start = 0;
  for (int piece = 0; piece < 3; ++piece) {
    const size_t cut = start + (bytes.size() - start) * ((data[0] >> (2 * piece + 1)) & 3) / 4;
    decoder.Feed(bytes.subspan(start, cut - start));
    start = cut;
  }
  decoder.Feed(bytes.subspan(start));
  std::vector<int16_t> out;
  while (decoder.DecodeNext(out)) {
    if (out.size() % static_cast<size_t>(channels * 576) != 0) std::abort();
    out.clear();
  }
  if (decoder.Rate() < 8000 || decoder.Rate() > 48000) std::abort();
  return 0;
}
