#include "screensaver/framework/CloseRules.h"

#include <cstdlib>

namespace lumen::scrnsave {

bool MovedTooFar(int32_t recorded_x, int32_t recorded_y, int32_t x, int32_t y) {
  // 64-bit so that positions at the far ends of the virtual screen cannot overflow.
  const int64_t distance = std::llabs(static_cast<int64_t>(x) - recorded_x) +
                           std::llabs(static_cast<int64_t>(y) - recorded_y);
  return distance > kMoveTolerance;
}

bool PowerNoticeEnds(uint32_t event, uintptr_t data, bool mains_changed) {
  if (event == kPowerResumeSuspend && (data & kResumeFromFailure)) return false;
  if (event == kPowerStatusChange && !mains_changed) return false;
  return true;
}

}  // namespace lumen::scrnsave
