#pragma once

#include <span>
#include <vector>

#include "audio/Decoder.h"

namespace lumen::audio::testing {

// Feeds every span, then decodes until the decoder has nothing left.
inline std::vector<int16_t> DecodeAll(Decoder& decoder,
                                      const std::vector<std::vector<uint8_t>>& spans) {
  for (const std::vector<uint8_t>& span : spans) decoder.Feed(span);
  std::vector<int16_t> out;
  while (decoder.DecodeNext(out)) {
  }
  return out;
}

}  // namespace lumen::audio::testing
