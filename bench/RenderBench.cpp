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
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "bench/CorpusBench.h"
#include "bench/CpuClock.h"
#include "raster/BitmapLevels.h"
#include "raster/Pixmap.h"
#include "render/Renderer.h"
#include "render/Viewport.h"

namespace {

using lumen::bench::CpuMs;
using lumen::bench::MedianOf;

using namespace lumen::render;
using lumen::raster::Pixmap;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kGoalMs = 6;
constexpr double kGoalTwoThreadsShare = 0.6;  // of one thread's wall time
constexpr double kGoalOverFloor = 2.5;

// Smooth shapes and gradients with fine grain: about as hard to filter as a photo.
std::shared_ptr<Bitmap> PhotoLike(uint32_t seed, int width = kWidth, int height = kHeight) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = width;
  bm->height = height;
  bm->opaque = true;
  bm->pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const double fx = x / static_cast<double>(width), fy = y / static_cast<double>(height);
      const int r = static_cast<int>(128 + 100 * std::sin(fx * 7 + fy * 3)) + grain;
      const int g = static_cast<int>(120 + 90 * std::cos(fy * 9 - fx * 2)) + grain;
      const int b = static_cast<int>(110 + 80 * std::sin((fx + fy) * 5)) + grain;
      bm->pixels[static_cast<size_t>(y) * width + x] =
          0xFF000000u | static_cast<uint32_t>(std::clamp(r, 0, 255)) << 16 |
          static_cast<uint32_t>(std::clamp(g, 0, 255)) << 8 |
          static_cast<uint32_t>(std::clamp(b, 0, 255));
    }
  }
  return bm;
}

// A `width` x `height` pixel rectangle at the origin filled with `bm`, drawn at its own size or
// repeated from `tile` pixels.
std::unique_ptr<ShapeGeometry> PhotoShape(std::shared_ptr<Bitmap> bm, int width, int height,
                                          bool repeat = false) {
  auto shape = std::make_unique<ShapeGeometry>();
  const float w = static_cast<float>(width) * 20, h = static_cast<float>(height) * 20;
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
  part.fill.repeat = repeat;
  shape->parts.push_back(std::move(part));
  shape->bounds = {0, 0, w, h};
  return shape;
}

std::unique_ptr<ShapeGeometry> FullStagePhoto(std::shared_ptr<Bitmap> bm) {
  return PhotoShape(std::move(bm), kWidth, kHeight);
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

// Median milliseconds a frame for each of `renderers`, all drawing each frame in turn after
// three frames that warm the caches: processor time of the drawing thread, and wall time. Taking
// turns frame by frame, they see the same load on the machine, so their ratios hold while it is
// busy. `build(i)` makes frame i of `list`.
template <typename Build>
std::vector<Figures> TimeTurns(std::initializer_list<Renderer*> renderers, int frames,
                               const Build& build, const RenderList& list, const Matrix& to_device,
                               Pixmap& target) {
  std::vector<std::vector<double>> ms(renderers.size()), cpu(renderers.size());
  for (int i = -3; i < frames; ++i) {
    build(std::max(i, 0));
    size_t r = 0;
    for (Renderer* renderer : renderers) {
      const auto start = Clock::now();
      const double cpu_start = CpuMs();
      renderer->Render(list, to_device, target);
      const double cpu_ms = CpuMs() - cpu_start;
      if (i >= 0) {
        ms[r].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpu[r].push_back(cpu_ms);
      }
      ++r;
    }
  }
  std::vector<Figures> figures;
  for (size_t r = 0; r < renderers.size(); ++r) {
    figures.push_back(
        {MedianOf(ms[r]), *std::min_element(ms[r].begin(), ms[r].end()), MedianOf(cpu[r])});
  }
  return figures;
}

std::vector<Figures> TimeFrames(std::initializer_list<Renderer*> renderers, Slideshow& show,
                                Pixmap& target, int frames, bool zoom, bool fade,
                                bool wiped = false) {
  return TimeTurns(
      renderers, frames, [&](int i) { show.Build(i, frames, zoom, fade, wiped); }, show.list,
      Matrix::Scale(1.0f / 20, 1.0f / 20), target);
}

// The shows users watch full screen: photos authored at a slideshow's size, drawn scaled to the
// screen with the whole stage shown.
enum class ShowKind { TwoFading, ThreeFading, PanRotate, MaskWipe, TiledFill, LargePhoto };

// A camera's photo, `width` pixels across, shrunk to fill the stage, with its prefiltered levels.
std::unique_ptr<ShapeGeometry> LargePhoto(int width, int stage_width, int stage_height) {
  const int height = width * stage_height / stage_width;
  auto bm = PhotoLike(5, width, height);
  lumen::raster::AddSmallerLevels(*bm);
  auto shape = PhotoShape(std::move(bm), stage_width, stage_height);
  const float scale = 20.0f * static_cast<float>(stage_width) / static_cast<float>(width);
  shape->parts[0].fill.matrix = Matrix::Scale(scale, scale);
  return shape;
}

struct ScaledShow {
  ScaledShow(ShowKind show_kind, int width, int height) : kind(show_kind), w(width), h(height) {
    for (uint32_t seed = 1; seed <= 3; ++seed)
      photos.push_back(PhotoShape(PhotoLike(seed, w, h), w, h));
    tiled = PhotoShape(PhotoLike(9, 64, 64), w, h, true);
    if (kind == ShowKind::LargePhoto) large = LargePhoto(3000, w, h);
  }

  // The command placing `shape` scaled by `s` and turned by `turn` about the stage's centre.
  RenderCommand About(const ShapeGeometry* shape, float s, float turn = 0) const {
    const float cx = static_cast<float>(w) * 10, cy = static_cast<float>(h) * 10;
    const float a = s * std::cos(turn), b = s * std::sin(turn);
    RenderCommand c;
    c.shape = shape;
    c.matrix = {a, b, -b, a, cx - a * cx + b * cy, cy - b * cx - a * cy};
    return c;
  }

  void Build(int i, int frames) {
    list.Clear();
    list.background = {0, 0, 0, 255};
    const float t = static_cast<float>(i) / static_cast<float>(frames);
    RenderCommand c;
    switch (kind) {
      case ShowKind::ThreeFading:
        list.commands.push_back(About(photos[2].get(), 1.3f - 0.3f * t));
        c = About(photos[1].get(), 1.15f);
        c.cxform.mul_a = 0.5f;
        list.commands.push_back(c);
        [[fallthrough]];
      case ShowKind::TwoFading:
        list.commands.push_back(About(photos[0].get(), 1 + 0.3f * t));
        c = About(photos[1].get(), 1);
        c.cxform.mul_a = 0.1f + 0.8f * t;
        list.commands.push_back(c);
        break;
      case ShowKind::PanRotate:
        c = About(photos[0].get(), 1.4f, 0.05f + 0.1f * t);
        c.matrix.tx += static_cast<float>(w) * 4 * (t - 0.5f);
        list.commands.push_back(c);
        break;
      case ShowKind::MaskWipe: {
        list.commands.push_back(About(photos[0].get(), 1 + 0.3f * t));
        const float right = (0.05f + 0.9f * t) * static_cast<float>(w) * 20 + 7;
        mask->parts.assign(1, {});
        Path& p = mask->parts[0].path;
        p.MoveTo({0, 0});
        p.LineTo({right, 0});
        p.LineTo({right - 300, static_cast<float>(h) * 20});
        p.LineTo({0, static_cast<float>(h) * 20});
        p.LineTo({0, 0});
        c.kind = RenderCommand::Kind::BeginMask;
        list.commands.push_back(c);
        c = About(mask.get(), 1);
        list.commands.push_back(c);
        c.kind = RenderCommand::Kind::EndMask;
        list.commands.push_back(c);
        list.commands.push_back(About(photos[1].get(), 1));
        c.kind = RenderCommand::Kind::PopMask;
        list.commands.push_back(c);
        break;
      }
      case ShowKind::TiledFill:
        list.commands.push_back(About(tiled.get(), 1 + 0.3f * t));
        break;
      case ShowKind::LargePhoto:
        list.commands.push_back(About(large.get(), 0.6f - 0.3f * t));
        break;
    }
  }

  ShowKind kind;
  int w, h;
  std::vector<std::unique_ptr<ShapeGeometry>> photos;
  std::unique_ptr<ShapeGeometry> tiled, large, mask = std::make_unique<ShapeGeometry>();
  RenderList list;
};

std::vector<Figures> TimeShow(std::initializer_list<Renderer*> renderers, ScaledShow& show,
                              Pixmap& target, int frames) {
  return TimeTurns(
      renderers, frames, [&](int i) { show.Build(i, frames); }, show.list,
      StageToDevice({0, 0, show.w * 20.0f, show.h * 20.0f}, target.Width(), target.Height(),
                    ScaleMode::ShowAll),
      target);
}

double MemcpyMs(int repeats, size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4) {
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  std::vector<double> ms;
  for (int i = 0; i < repeats; ++i) {
    const auto start = Clock::now();
    std::memcpy(i % 2 ? a.data() : b.data(), i % 2 ? b.data() : a.data(), bytes);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return *std::min_element(ms.begin(), ms.end());
}

// Milliseconds to copy `bytes` through main memory. Timed on buffers larger than any cache and
// scaled: a full-HD frame's 8 MB and its copy fit in the last-level cache of many processors, and
// copying them there times the cache, not the memory.
double MemoryCopyMs(size_t bytes) {
  constexpr size_t kBeyondCaches = size_t{128} << 20;
  static const double per_byte = MemcpyMs(4, kBeyondCaches) / static_cast<double>(kBeyondCaches);
  return per_byte * static_cast<double>(bytes);
}

// Every scaled show at full HD and at 4K, on one core and on two threads, against the least
// memory traffic of a frame at that size (as for the frame above: three copies of it).
void PrintScaledShows(int frames) {
  struct Case {
    const char* name;
    ShowKind kind;
    int width, height;
  };
  const Case cases[] = {
      {"two photos cross-fading with a zoom, 550x400", ShowKind::TwoFading, 550, 400},
      {"two photos cross-fading with a zoom, 800x600", ShowKind::TwoFading, 800, 600},
      {"two photos cross-fading with a zoom, 1920x1080", ShowKind::TwoFading, 1920, 1080},
      {"three photos cross-fading with a zoom, 800x600", ShowKind::ThreeFading, 800, 600},
      {"a photo panning with a rotation, 800x600", ShowKind::PanRotate, 800, 600},
      {"a photo behind a mask wipe, 800x600", ShowKind::MaskWipe, 800, 600},
      {"a repeating bitmap fill, 800x600", ShowKind::TiledFill, 800, 600},
      {"a 3000-pixel photo shrinking to 500, 800x600", ShowKind::LargePhoto, 800, 600},
  };
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    Pixmap target(width, height);
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    const double floor = 3 * MemoryCopyMs(bytes), in_cache = 3 * MemcpyMs(10, bytes);
    std::printf(
        "shows authored small, drawn at %dx%d (memory floor %.2f ms, in-cache copies %.2f ms; "
        "goals: one core at most %.1fx the floor, two threads at most %.0f %% of one thread's "
        "wall time)\n",
        width, height, floor, in_cache, kGoalOverFloor, 100 * kGoalTwoThreadsShare);
    Renderer one, two;
    two.SetThreads(2);
    for (const Case& c : cases) {
      ScaledShow show(c.kind, c.width, c.height);
      const std::vector<Figures> times = TimeShow({&one, &two}, show, target, frames);
      const Figures &single = times[0], &banded = times[1];
      const double over = single.cpu / floor, share = banded.median / single.median;
      std::printf("  %-50s one core %6.2f ms %4.1fx %-6s two threads %6.2f ms %3.0f %% %s\n",
                  c.name, single.cpu, over, over <= kGoalOverFloor ? "met" : "MISSED",
                  banded.median, 100 * share, share <= kGoalTwoThreadsShare ? "met" : "MISSED");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  Slideshow show;
  Pixmap target(kWidth, kHeight);
  Renderer renderer;
  renderer.SetQuality(Quality::High);

  Renderer banded;
  banded.SetQuality(Quality::High);
  banded.SetThreads(2);
  const std::vector<Figures> both =
      TimeFrames({&renderer, &banded}, show, target, frames, true, true);
  const Figures &frame = both[0], &two = both[1];
  const Figures zoom = TimeFrames({&renderer}, show, target, frames, true, false)[0];
  const Figures fade = TimeFrames({&renderer}, show, target, frames, false, true)[0];
  const Figures wipe = TimeFrames({&renderer}, show, target, frames, true, false, true)[0];
  renderer.SetCoverage(lumen::raster::CoverageMethod::ExactArea);
  const Figures exact = TimeFrames({&renderer}, show, target, frames, true, true)[0];
  renderer.SetCoverage(lumen::raster::CoverageMethod::SampledGrid);
  renderer.SetIsa(lumen::raster::Isa::Scalar);
  const Figures scalar = TimeFrames({&renderer}, show, target, frames, true, true)[0];
  const size_t frame_bytes = size_t{kWidth} * kHeight * 4;
  const double copy = MemcpyMs(20);
  // The least memory traffic a frame needs: each photo read once, the frame written once and
  // read and written once more by the blend: about three 8 MB copies.
  const double floor = 3 * MemoryCopyMs(frame_bytes);

  std::printf("render 1920x1080 slideshow frame (zoom + cross-fade), high quality, %d frames\n",
              frames);
  std::printf("  ms_per_frame=%.2f goal=%.1f %s (wall: median %.2f, best %.2f)\n", frame.cpu,
              kGoalMs, frame.cpu <= kGoalMs ? "met" : "MISSED", frame.median, frame.best);
  std::printf("  zoom_only_ms=%.2f fade_only_ms=%.2f scalar_ms_per_frame=%.2f\n", zoom.cpu,
              fade.cpu, scalar.cpu);
  std::printf("  zoom_and_mask_wipe_ms=%.2f exact_area_coverage_ms_per_frame=%.2f\n", wipe.cpu,
              exact.cpu);
  std::printf(
      "  memcpy_8mb_ms=%.2f (in cache) bandwidth_floor_ms=%.2f (memory) frame_over_floor=%.1fx\n",
      copy, floor, frame.cpu / floor);
  std::printf("  (ms figures are processor time of one core, median over the frames)\n");
  const double share = two.median / frame.median;
  std::printf(
      "  two threads: wall median %.2f ms against %.2f on one, %.0f %% (goal <= %.0f %%) %s\n",
      two.median, frame.median, 100 * share, 100 * kGoalTwoThreadsShare,
      share <= kGoalTwoThreadsShare ? "met" : "MISSED");
  PrintScaledShows(std::max(1, frames / 4));
  lumen::bench::PrintSlowestCorpusCase(frames);
  return 0;
}
