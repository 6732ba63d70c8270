#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include "tools/reelrender/PeakMemory.h"

namespace lumen::tools {

size_t PeakMemoryBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace lumen::tools
