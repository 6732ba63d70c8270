#pragma once

// Timing for the benchmarks: processor time of this thread (on a shared machine, wall time also
// counts other programs) and the median of a run of figures.

#include <time.h>

#include <algorithm>
#include <vector>

namespace lumen::bench {

inline double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Processor time of the whole process: every thread a figure's work may run on.
inline double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

inline double MedianOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace lumen::bench
