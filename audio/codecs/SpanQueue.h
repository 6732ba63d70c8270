#pragma once

// The fed spans a decoder has not used up yet, in feeding order. Each span is a unit of its own
// (a whole event sound or one stream block): nothing a codec reads runs from one span into the
// next.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace lumen::audio {

class SpanQueue {
 public:
  void Push(std::span<const uint8_t> bytes) {
    if (!bytes.empty()) spans_.push_back(bytes);
  }
  bool Empty() const { return spans_.empty(); }
  std::span<const uint8_t> Front() const { return spans_.front(); }
  void Pop() { spans_.pop_front(); }

  // The next run of up to `max_frames` whole frames of `frame_bytes` each from the front span, or
  // an empty span when none is left. A span's trailing partial frame is dropped.
  std::span<const uint8_t> TakeFrames(size_t frame_bytes, size_t max_frames) {
    while (!spans_.empty()) {
      std::span<const uint8_t>& front = spans_.front();
      const size_t frames = std::min(front.size() / frame_bytes, max_frames);
      if (frames == 0) {
        spans_.pop_front();
        continue;
      }
      const std::span<const uint8_t> run = front.first(frames * frame_bytes);
      front = front.subspan(run.size());
      if (front.size() < frame_bytes) spans_.pop_front();
      return run;
    }
    return {};
  }

 private:
  std::deque<std::span<const uint8_t>> spans_;
};

}  // namespace lumen::audio
