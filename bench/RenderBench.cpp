// Prints the renderer's figures: a 1920 x 1080 slideshow frame (one photo zooming, smoothed,
// and a second one cross-fading over it) against its goal and against a memory-bandwidth floor,
// with the parts and the scalar path shown separately, and drawn by two threads; then the slowest
// movie of the corpus, when the corpus is there (LUMEN_CORPUS or beside the repository).
//   bench_render [FRAMES]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench/CorpusBench.h"
#include "bench/CpuClock.h"
#include "raster/Pixmap.h"
#include "render/Renderer.h"

namespace {

using lumen::bench::CpuMs;
using lumen::bench::MedianOf;

using namespace lumen::render;
using lumen::raster::Pixmap;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kGoalMs = 6;
constexpr double kGoalTwoThreadsShare = 0.6;  // of one thread's wall time

// Smooth shapes and gradients with fine grain: about as hard to filter as a photo.
std::shared_ptr<Bitmap> PhotoLike(uint32_t seed) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = kWidth;
  bm->height = kHeight;
  bm->opaque = true;
  bm->pixels.resize(static_cast<size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const double fx = x / double{kWidth}, fy = y / double{kHeight};
      const int r = static_cast<int>(128 + 100 * std::sin(fx * 7 + fy * 3)) + grain;
      const int g = static_cast<int>(120 + 90 * std::cos(fy * 9 - fx * 2)) + grain;
      const int b = static_cast<int>(110 + 80 * std::sin((fx + fy) * 5)) + grain;
      bm->pixels[static_cast<size_t>(y) * kWidth + x] =
          0xFF000000u | static_cast<uint32_t>(std::clamp(r, 0, 255)) << 16 |
          static_cast<uint32_t>(std::clamp(g, 0, 255)) << 8 |
          static_cast<uint32_t>(std::clamp(b, 0, 255));
    }
  }
  return bm;
}

std::unique_ptr<ShapeGeometry> FullStagePhoto(std::shared_ptr<Bitmap> bm) {
  auto shape = std::make_unique<ShapeGeometry>();
  const float w = kWidth * 20.0f, h = kHeight * 20.0f;
  ShapePart part;
  part.path.MoveTo({0, 0});
  part.path.LineTo({w, 0});
  part.path.LineTo({w, h});
  part.path.LineTo({0, h});
  part.path.LineTo({0, 0});
  part.fill.kind = FillStyle::Kind::Bitmap;
  part.fill.bitmap = std::move(bm);
  part.fill.matrix = Matrix::Scale(20, 20);
  part.fill.smooth = true;
  part.fill.repeat = false;
  shape->parts.push_back(std::move(part));
  shape->bounds = {0, 0, w, h};
  return shape;
}

struct Slideshow {
  std::unique_ptr<ShapeGeometry> below = FullStagePhoto(PhotoLike(1));
  std::unique_ptr<ShapeGeometry> above = FullStagePhoto(PhotoLike(2));
  RenderList list;

  std::unique_ptr<ShapeGeometry> wipe = std::make_unique<ShapeGeometry>();

  // Frame i of a zoom from 100% to 130% about the centre, with the fade (or a wipe: the second
  // photo shown through a growing mask) at i / frames.
  void Build(int i, int frames, bool zoom, bool fade, bool wiped = false) {
    list.Clear();
    list.background = {0, 0, 0, 255};
    const float t = static_cast<float>(i) / static_cast<float>(frames);
    if (zoom) {
      const float s = 1 + 0.3f * t, cx = kWidth * 10.0f, cy = kHeight * 10.0f;
      RenderCommand c;
      c.shape = below.get();
      c.matrix = {s, 0, 0, s, cx - s * cx, cy - s * cy};
      list.commands.push_back(c);
    }
    if (fade) {
      RenderCommand c;
      c.shape = above.get();
      c.cxform.mul_a = 0.1f + 0.8f * t;
      list.commands.push_back(c);
    }
    if (wiped) {
      // A soft-edged band: the mask's right edge sits between pixels.
      const float right = (0.05f + 0.9f * t) * kWidth * 20 + 7;
      wipe->parts.assign(1, {});
      Path& p = wipe->parts[0].path;
      p.MoveTo({0, 0});
      p.LineTo({right, 0});
      p.LineTo({right - 300, kHeight * 20.0f});
      p.LineTo({0, kHeight * 20.0f});
      p.LineTo({0, 0});
      RenderCommand c;
      c.kind = RenderCommand::Kind::BeginMask;
      list.commands.push_back(c);
      c.kind = RenderCommand::Kind::DrawShape;
      c.shape = wipe.get();
      list.commands.push_back(c);
      c.kind = RenderCommand::Kind::EndMask;
      list.commands.push_back(c);
      c.kind = RenderCommand::Kind::DrawShape;
      c.shape = above.get();
      list.commands.push_back(c);
      c.kind = RenderCommand::Kind::PopMask;
      list.commands.push_back(c);
    }
  }
};

struct Figures {
  double median = 0, best = 0, cpu = 0;  // wall median, wall best, processor-time median
};

Figures TimeFrames(Renderer& renderer, Slideshow& show, Pixmap& target, int frames, bool zoom,
                   bool fade, bool wiped = false) {
  const Matrix to_device = Matrix::Scale(1.0f / 20, 1.0f / 20);
  std::vector<double> ms, cpu;
  for (int i = -3; i < frames; ++i) {  // three frames to warm the caches
    show.Build(std::max(i, 0), frames, zoom, fade, wiped);
    const auto start = Clock::now();
    const double cpu_start = CpuMs();
    renderer.Render(show.list, to_device, target);
    const double cpu_ms = CpuMs() - cpu_start;
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (i >= 0) {
      ms.push_back(elapsed);
      cpu.push_back(cpu_ms);
    }
  }
  return {MedianOf(ms), *std::min_element(ms.begin(), ms.end()), MedianOf(cpu)};
}

double MemcpyMs(int repeats) {
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  std::vector<double> ms;
  for (int i = 0; i < repeats; ++i) {
    const auto start = Clock::now();
    std::memcpy(i % 2 ? a.data() : b.data(), i % 2 ? b.data() : a.data(), bytes);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return *std::min_element(ms.begin(), ms.end());
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  Slideshow show;
  Pixmap target(kWidth, kHeight);
  Renderer renderer;
  renderer.SetQuality(Quality::High);

  const Figures frame = TimeFrames(renderer, show, target, frames, true, true);
  const Figures zoom = TimeFrames(renderer, show, target, frames, true, false);
  const Figures fade = TimeFrames(renderer, show, target, frames, false, true);
  const Figures wipe = TimeFrames(renderer, show, target, frames, true, false, true);
  renderer.SetCoverage(lumen::raster::CoverageMethod::ExactArea);
  const Figures exact = TimeFrames(renderer, show, target, frames, true, true);
  renderer.SetCoverage(lumen::raster::CoverageMethod::SampledGrid);
  renderer.SetIsa(lumen::raster::Isa::Scalar);
  const Figures scalar = TimeFrames(renderer, show, target, frames, true, true);
  Renderer banded;
  banded.SetQuality(Quality::High);
  banded.SetThreads(2);
  const Figures two = TimeFrames(banded, show, target, frames, true, true);
  const double copy = MemcpyMs(20);
  // The least memory traffic a frame needs: each photo read once, the frame written once and
  // read and written once more by the blend: about three 8 MB copies.
  const double floor = 3 * copy;

  std::printf("render 1920x1080 slideshow frame (zoom + cross-fade), high quality, %d frames\n",
              frames);
  std::printf("  ms_per_frame=%.2f goal=%.1f %s (wall: median %.2f, best %.2f)\n", frame.cpu,
              kGoalMs, frame.cpu <= kGoalMs ? "met" : "MISSED", frame.median, frame.best);
  std::printf("  zoom_only_ms=%.2f fade_only_ms=%.2f scalar_ms_per_frame=%.2f\n", zoom.cpu,
              fade.cpu, scalar.cpu);
  std::printf("  zoom_and_mask_wipe_ms=%.2f exact_area_coverage_ms_per_frame=%.2f\n", wipe.cpu,
              exact.cpu);
  std::printf("  memcpy_8mb_ms=%.2f bandwidth_floor_ms=%.2f frame_over_floor=%.1fx\n", copy, floor,
              frame.cpu / floor);
  std::printf("  (ms figures are processor time of one core, median over the frames)\n");
  const double share = two.median / frame.median;
  std::printf(
      "  two threads: wall median %.2f ms against %.2f on one, %.0f %% (goal <= %.0f %%) %s\n",
      two.median, frame.median, 100 * share, 100 * kGoalTwoThreadsShare,
      share <= kGoalTwoThreadsShare ? "met" : "MISSED");
  lumen::bench::PrintSlowestCorpusCase(frames);
  return 0;
}
