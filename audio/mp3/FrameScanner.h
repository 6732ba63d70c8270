#pragma once

// Finds whole layer III frames in the fed spans. Frames never cross spans; bytes that are not a
// frame are skipped by searching for the next header that is followed by another frame of the
// same stream, ends its span, or continues the stream already being played.

#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "audio/mp3/FrameHeader.h"

namespace lumen::audio::mp3 {

struct Frame {
  FrameHeader header;
  std::span<const uint8_t> bytes;  // the whole frame, header included
};

class FrameScanner {
 public:
  void Feed(std::span<const uint8_t> bytes);
  std::optional<Frame> Next();
  // The first frame header in the queue without consuming anything.
  std::optional<FrameHeader> Peek() const;

 private:
  std::optional<Frame> FrameAt(std::span<const uint8_t> span, size_t pos) const;

  std::deque<std::span<const uint8_t>> spans_;
  size_t pos_ = 0;  // in spans_.front()
  std::optional<FrameHeader> last_;
};

}  // namespace lumen::audio::mp3
