#pragma once

#include <cstdint>

namespace lumen::flash {

// Times frames at a fixed rate. Frame n is due at start + n / rate, each computed from the start
// so that rounding never accumulates into drift. Time is handed in (in ticks of a caller's clock),
// which keeps the clock deterministic under test.
class FrameClock {
 public:
  // A stall longer than this many frames is not caught up: the clock restarts from now instead.
  static constexpr uint32_t kMaxCatchUp = 4;

  FrameClock() = default;
  FrameClock(double frames_per_second, int64_t ticks_per_second);

  void Start(int64_t now);
  // Answers how many frames fell due since the last poll (at most kMaxCatchUp).
  uint32_t Poll(int64_t now);
  // Ticks from `now` until the next frame is due; 0 when it is due already.
  int64_t TicksUntilNext(int64_t now) const;

 private:
  int64_t DueTime(uint64_t frame) const;

  double ticks_per_frame_ = 0;
  int64_t start_ = 0;
  uint64_t frames_done_ = 0;
};

}  // namespace lumen::flash
