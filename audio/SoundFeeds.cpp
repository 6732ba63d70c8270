#include "audio/SoundFeeds.h"

namespace lumen::audio {

std::span<const uint8_t> SpanFeed::Next() {
  if (given_) return {};
  given_ = true;
  return bytes_;
}

std::span<const uint8_t> BlockFeed::Next() {
  while (next_ < blocks_.size()) {
    const auto block = blocks_[next_++];
    if (!block.empty()) return block;
  }
  return {};
}

}  // namespace lumen::audio
