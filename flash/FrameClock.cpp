#include "flash/FrameClock.h"

#include <algorithm>

namespace lumen::flash {

FrameClock::FrameClock(double frames_per_second, int64_t ticks_per_second)
    : ticks_per_frame_(frames_per_second > 0 ? ticks_per_second / frames_per_second : 0) {}

void FrameClock::Start(int64_t now) {
  start_ = now;
  frames_done_ = 0;
}

int64_t FrameClock::DueTime(uint64_t frame) const {
  return start_ + static_cast<int64_t>(static_cast<double>(frame) * ticks_per_frame_);
}

uint32_t FrameClock::Poll(int64_t now) {
  if (ticks_per_frame_ <= 0 || now < start_) return 0;
  const auto elapsed_frames = static_cast<uint64_t>((now - start_) / ticks_per_frame_);
  const uint64_t due = elapsed_frames - std::min(elapsed_frames, frames_done_);
  if (due > kMaxCatchUp) {
    Start(now);
    return kMaxCatchUp;
  }
  frames_done_ += due;
  return static_cast<uint32_t>(due);
}

int64_t FrameClock::TicksUntilNext(int64_t now) const {
  if (ticks_per_frame_ <= 0) return 0;
  return std::max<int64_t>(0, DueTime(frames_done_ + 1) - now);
}

}  // namespace lumen::flash
