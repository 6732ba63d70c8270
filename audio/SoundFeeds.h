#pragma once

// The two ways a voice gets its bytes: an event sound's one span, and a timeline's stream blocks
// read ahead of the playhead from the frame where the stream started.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/Voice.h"

namespace lumen::audio {

class SpanFeed final : public SoundFeed {
 public:
  explicit SpanFeed(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  std::span<const uint8_t> Next() override;
  void Rewind() override { given_ = false; }

 private:
  std::span<const uint8_t> bytes_;
  bool given_ = false;
};

// A stream's blocks in frame order; frames without a block are passed over. The block list is
// the timeline's and must outlive the feed.
class BlockFeed final : public SoundFeed {
 public:
  BlockFeed(std::span<const std::span<const uint8_t>> blocks, size_t first)
      : blocks_(blocks), first_(first), next_(first) {}
  std::span<const uint8_t> Next() override;
  void Rewind() override { next_ = first_; }

 private:
  std::span<const std::span<const uint8_t>> blocks_;
  size_t first_;
  size_t next_;
};

}  // namespace lumen::audio
