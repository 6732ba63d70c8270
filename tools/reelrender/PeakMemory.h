#pragma once

#include <cstddef>

namespace lumen::tools {

// The most memory the process has held so far, in bytes (0 when the system cannot say).
size_t PeakMemoryBytes();

}  // namespace lumen::tools
