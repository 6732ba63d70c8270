// Design: every movie of the corpus that loads is played from its first frame at its stage size
// and each frame (advance and draw) is timed in processor time; the movie with the highest median
// is then timed again at 1920 x 1080. Out-of-scope movies count too: they draw what the engine
// can show, which is what a user would see.

#include "bench/CorpusBench.h"
#include "bench/CpuClock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/reelrender/MovieRunner.h"

namespace lumen::bench {
namespace {

namespace fs = std::filesystem;

fs::path CorpusFolder() {
  if (const char* env = std::getenv("LUMEN_CORPUS"); env && *env) return env;
  return fs::path(LUMEN_SOURCE_DIR) / ".." / "shared" / "corpus";
}

// Median processor time per frame over the first `frames` frames (at least one).
double MedianFrameMs(const std::shared_ptr<const movie::Movie>& movie,
                     const tools::RunOptions& options, int frames) {
  tools::MovieRunner runner(movie, options);
  const int count = std::clamp(
      static_cast<int>(std::min<size_t>(movie->root.frames.size(), 1u << 20)), 1, frames);
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const double start = CpuMs();
    if (i > 0) runner.Advance();
    runner.Draw();
    ms.push_back(CpuMs() - start);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

void PrintSlowestCorpusCase(int frames) {
  const fs::path folder = CorpusFolder();
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    std::printf("slowest corpus case: skipped, no corpus at %s (set LUMEN_CORPUS)\n",
                folder.string().c_str());
    return;
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".swf") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string slowest;
  double slowest_ms = -1;
  std::shared_ptr<const movie::Movie> slowest_movie;
  int timed = 0;
  for (const fs::path& file : files) {
    const movie::LoadResult loaded = tools::LoadMovieFile(file);
    if (!loaded.movie) continue;
    ++timed;
    const double ms = MedianFrameMs(loaded.movie, {}, frames);
    if (ms > slowest_ms) {
      slowest_ms = ms;
      slowest = file.stem().string();
      slowest_movie = loaded.movie;
    }
  }
  if (!slowest_movie) {
    std::printf("slowest corpus case: no movie of %s loads\n", folder.string().c_str());
    return;
  }
  int width = 0, height = 0;
  tools::StagePixels(*slowest_movie, width, height);
  tools::RunOptions full_hd;
  full_hd.width = 1920;
  full_hd.height = 1080;
  const double full_hd_ms = MedianFrameMs(slowest_movie, full_hd, frames);
  std::printf("slowest corpus case of %d movies (up to %d frames each, high quality): %s\n", timed,
              frames, slowest.c_str());
  std::printf("  stage_%dx%d_ms_per_frame=%.2f at_1920x1080_ms_per_frame=%.2f\n", width, height,
              slowest_ms, full_hd_ms);
}

}  // namespace lumen::bench
