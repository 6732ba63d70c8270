#pragma once

#include <cstdint>

namespace lumen::scrnsave {

// A cursor that has moved more than this (horizontal plus vertical distance) ends the saver.
inline constexpr int32_t kMoveTolerance = 4;

bool MovedTooFar(int32_t recorded_x, int32_t recorded_y, int32_t x, int32_t y);

// Power notices (WM_POWERBROADCAST event and data) all end the saver except a resume flagged as
// following a failed suspend, and a power-status change that leaves the mains status as it was.
inline constexpr uint32_t kPowerResumeSuspend = 0x7;  // PBT_APMRESUMESUSPEND
inline constexpr uint32_t kPowerStatusChange = 0xA;   // PBT_APMPOWERSTATUSCHANGE
inline constexpr uintptr_t kResumeFromFailure = 0x1;  // PBTF_APMRESUMEFROMFAILURE
bool PowerNoticeEnds(uint32_t event, uintptr_t data, bool mains_changed);

}  // namespace lumen::scrnsave
