// The time zone Date objects use: the machine's, unless a test pins one.
#pragma once

namespace lumen::avm1 {

struct TimeZone;

// nullptr restores the machine's zone. The zone must outlive its use.
void SetDateZoneForTests(const TimeZone* zone);

}  // namespace lumen::avm1
