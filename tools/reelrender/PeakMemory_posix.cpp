#include <sys/resource.h>

#include "tools/reelrender/PeakMemory.h"

namespace lumen::tools {

size_t PeakMemoryBytes() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<size_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

}  // namespace lumen::tools
