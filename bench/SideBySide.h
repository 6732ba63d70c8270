#pragma once

// Two movies drawn frame by frame on one drawing thread, a frame of one then the same frame of
// the other, so that the machine's ups and downs fall on both alike.

#include <cstdint>
#include <vector>

#include "bench/CpuClock.h"
#include "movie/Movie.h"
#include "tools/reelrender/MovieRunner.h"

namespace lumen::bench {

// Median processor milliseconds per frame of each movie.
struct SideBySideMs {
  double first = 0, second = 0;
};

inline SideBySideMs FramesSideBySide(const std::vector<uint8_t>& first,
                                     const std::vector<uint8_t>& second, int frames) {
  const auto first_movie = movie::LoadMovie(first);
  const auto second_movie = movie::LoadMovie(second);
  tools::RunOptions options;
  tools::MovieRunner runners[] = {{first_movie.movie, options}, {second_movie.movie, options}};
  std::vector<double> times[2];
  for (auto& runner : runners) runner.Draw();  // decodes the bitmaps
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < 2; ++i) {
      const double start = CpuMs();
      runners[i].Draw();
      times[i].push_back(CpuMs() - start);
      runners[i].Advance();
    }
  }
  return {MedianOf(times[0]), MedianOf(times[1])};
}

}  // namespace lumen::bench
