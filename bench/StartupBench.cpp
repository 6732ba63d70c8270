// Times a slideshow of full-HD photos from the start of loading to the first frame drawn, as
// the control's engine does it, and measures the memory that takes; then plays the first slide
// changes in real time and reports the slowest frames, where a new photo appears.
//   bench_startup [SLIDES] [--no-play]   prints the figures (default 100 slides)
//   bench_startup --run FILE [--no-play] (internal) the measurement in a fresh process
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "authoring/FontEmbedder.h"
#include "authoring/Slideshow.h"
#include "flash/MovieEngine.h"
#include "tools/reelrender/PeakMemory.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920, kHeight = 1080;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Mb(size_t bytes) {
  return static_cast<double>(bytes) / (1 << 20);
}

// Plays `frames` frames at the movie's rate and answers each frame's step-and-draw time.
std::vector<double> Play(lumen::flash::MovieEngine& engine, lumen::flash::PixelTarget target,
                         int frames) {
  const auto period = std::chrono::duration<double>(1 / engine.Stage().frame_rate);
  const uint32_t background = 0xFF000000u | engine.Stage().background;
  std::vector<double> times;
  auto next = Clock::now();
  for (int i = 0; i < frames; ++i) {
    next += std::chrono::duration_cast<Clock::duration>(period);
    std::this_thread::sleep_until(next);
    const auto start = Clock::now();
    engine.AdvanceFrame();
    engine.Render(target, {}, background, false);
    times.push_back(Ms(start, Clock::now()));
  }
  return times;
}

int Run(const char* file, bool play) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<uint32_t> pixels(size_t{kWidth} * kHeight);
  const lumen::flash::PixelTarget target{pixels.data(), kWidth, kHeight, kWidth};
  // The file and the target are the caller's; what loading and drawing add comes on top.
  const size_t peak_before = lumen::tools::PeakMemoryBytes();

  const auto start = Clock::now();
  auto engine = lumen::flash::CreateMovieEngine();
  if (!engine->Load(bytes, {})) return 1;
  const auto loaded = Clock::now();
  engine->Render(target, {}, 0xFF000000u | engine->Stage().background, false);
  const auto drawn = Clock::now();
  const size_t peak_first = lumen::tools::PeakMemoryBytes() - peak_before;

  std::printf("load                 %8.1f ms\n", Ms(start, loaded));
  std::printf("first frame drawn    %8.1f ms\n", Ms(loaded, drawn));
  std::printf("load to first frame  %8.1f ms\n", Ms(start, drawn));
  std::printf("peak memory to then  %8.1f MB (movie file %.1f MB)\n", Mb(peak_first),
              Mb(bytes.size()));
  if (!play) return 0;
  // Two slide changes: each slide holds 72 frames, its transition 24.
  std::vector<double> times = Play(*engine, target, 2 * 96 + 30);
  std::sort(times.begin(), times.end());
  std::printf("playing %zu frames: median %.1f ms, slowest %.1f %.1f %.1f ms (frame period %.1f)\n",
              times.size(), times[times.size() / 2], times[times.size() - 1],
              times[times.size() - 2], times[times.size() - 3], 1000 / engine->Stage().frame_rate);
  std::printf("peak memory at end   %8.1f MB\n", Mb(lumen::tools::PeakMemoryBytes() - peak_before));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool play = !(argc > 1 && std::strcmp(argv[argc - 1], "--no-play") == 0);
  if (argc >= 3 && std::strcmp(argv[1], "--run") == 0) return Run(argv[2], play);
  lumen::authoring::SlideshowSpec spec;
  spec.width = kWidth;
  spec.height = kHeight;
  spec.caption_font = lumen::authoring::ReadCaptionFont();
  spec.slides = argc > 1 && argv[1][0] != '-' ? std::max(2, std::atoi(argv[1])) : 100;
  std::printf("building a %dx%d slideshow of %d photos...\n", kWidth, kHeight, spec.slides);
  std::fflush(stdout);
  const std::vector<uint8_t> movie = lumen::authoring::BuildSlideshow(spec);
  const auto file =
      std::filesystem::temp_directory_path() /
      ("lumen-startup-" + std::to_string(Clock::now().time_since_epoch().count()) + ".swf");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(movie.data()),
             static_cast<std::streamsize>(movie.size()));
  // A fresh process, so that building the movie counts in neither time nor memory.
  const std::string command =
      std::string(argv[0]) + " --run " + file.string() + (play ? "" : " --no-play");
  const int status = std::system(command.c_str());
  std::filesystem::remove(file);
  return status == 0 ? 0 : 1;
}
