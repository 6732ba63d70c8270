// Prints the cost of one mouse move over buttons against its goal, for two movies built here:
// one button whose hit shape is a wavy disc of a million edges, and a grid of 10,000 small
// buttons. The pointer sweeps across each movie, so most moves roll one button out and another
// over; each Stage::MouseMove is timed (processor time), transitions and scripts included.
//   bench_buttons [MOVES]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "bench/CpuClock.h"
#include "movie/Movie.h"
#include "stage/Stage.h"

namespace {

using lumen::bench::CpuMs;
using lumen::bench::MedianOf;
using namespace lumen::authoring;

constexpr double kGoalMs = 2;
constexpr int kWarmUp = 10;

// The disc: a million edges around a radius of a million twips that waves by 2 %, placed at a
// scale that makes it 250 pixels across (radius 122.5 to 127.5) in a 550 x 400 stage.
constexpr int kDiscEdges = 1000000;
constexpr double kDiscRadius = 1e6, kDiscScale = 0.0025;
constexpr double kCentreX = 275, kCentreY = 200;  // pixels

// The grid: 100 x 100 buttons of 4 x 4 pixels, 5 pixels apart.
constexpr int kGridSide = 100, kGridPitch = 5, kGridSquare = 4;

Bytes ButtonOf(uint16_t shape_id, uint16_t button_id) {
  const ButtonRecordSpec record{0x0F, shape_id, 1, {}};
  Bytes tag;
  DefineButton2(tag, button_id, std::span(&record, 1));
  return tag;
}

Bytes Finish(Bytes tags, int32_t width, int32_t height) {
  ShowFrame(tags);
  End(tags);
  MovieSpec spec;
  spec.version = 8;
  spec.x_max = width * 20;
  spec.y_max = height * 20;
  return BuildMovie(spec, tags);
}

Bytes DiscMovie() {
  ShapeWriter shape;
  shape.Select(shape.AddSolidFill({200, 80, 40}), -1);
  auto at = [](int i) {
    const double angle = 2 * M_PI * i / kDiscEdges;
    const double r = kDiscRadius * (1 + 0.02 * std::sin(angle * 500));
    return std::pair{static_cast<int32_t>(std::lround(r * std::cos(angle))),
                     static_cast<int32_t>(std::lround(r * std::sin(angle)))};
  };
  const auto [x0, y0] = at(0);
  shape.MoveTo(x0, y0);
  for (int i = 1; i <= kDiscEdges; ++i) {
    const auto [x, y] = at(i % kDiscEdges);
    shape.LineTo(x, y);
  }
  const int32_t extent = static_cast<int32_t>(kDiscRadius * 1.03);
  Bytes tags;
  SetBackgroundColor(tags, {255, 255, 255});
  const Bytes shape_tag = shape.Tag(1, -extent, extent, -extent, extent);
  tags.insert(tags.end(), shape_tag.begin(), shape_tag.end());
  const Bytes button = ButtonOf(1, 2);
  tags.insert(tags.end(), button.begin(), button.end());
  PlaceSpec place;
  place.character = 2;
  place.matrix = MatrixSpec{kDiscScale,
                            0,
                            0,
                            kDiscScale,
                            static_cast<int32_t>(kCentreX * 20),
                            static_cast<int32_t>(kCentreY * 20)};
  PlaceObject2(tags, place);
  return Finish(std::move(tags), 550, 400);
}

Bytes GridMovie() {
  ShapeWriter shape;
  shape.Select(shape.AddSolidFill({40, 120, 200}), -1);
  shape.Rectangle(0, 0, kGridSquare * 20, kGridSquare * 20);
  Bytes tags;
  SetBackgroundColor(tags, {255, 255, 255});
  const Bytes shape_tag = shape.Tag(1, 0, kGridSquare * 20, 0, kGridSquare * 20);
  tags.insert(tags.end(), shape_tag.begin(), shape_tag.end());
  const Bytes button = ButtonOf(1, 2);
  tags.insert(tags.end(), button.begin(), button.end());
  for (int i = 0; i < kGridSide * kGridSide; ++i) {
    PlaceSpec place;
    place.depth = static_cast<uint16_t>(i + 1);
    place.character = 2;
    place.matrix =
        MatrixSpec{1, 0, 0, 1, i % kGridSide * kGridPitch * 20, i / kGridSide * kGridPitch * 20};
    PlaceObject2(tags, place);
  }
  const int side = kGridSide * kGridPitch;
  return Finish(std::move(tags), side, side);
}

struct Point {
  double x, y;
};

// Times each move along `path` after a warm-up; empty when the movie did not load.
std::vector<double> TimeMoves(lumen::stage::Stage& stage, const std::vector<Point>& path) {
  std::vector<double> ms;
  for (int i = -kWarmUp; i < static_cast<int>(path.size()); ++i) {
    const Point p = path[(i + path.size()) % path.size()];
    const double start = CpuMs();
    stage.MouseMove(p.x, p.y);
    const double cost = CpuMs() - start;
    if (i >= 0) ms.push_back(cost);
  }
  return ms;
}

// Runs one figure; false when the movie or the pointer's answers are not as built.
bool Figure(const char* name, const Bytes& file, const std::vector<Point>& path,
            const std::function<std::string(lumen::stage::Stage&)>& check) {
  const auto loaded = lumen::movie::LoadMovie(file);
  if (!loaded.movie) {
    std::fprintf(stderr, "bench_buttons: %s does not load: %s\n", name, loaded.error.c_str());
    return false;
  }
  lumen::stage::Stage stage(loaded.movie);
  stage.SetClock(0);
  stage.Advance();
  const double first = CpuMs();
  stage.MouseMove(path[0].x, path[0].y);  // builds what the first hit test builds
  const double first_ms = CpuMs() - first;
  std::vector<double> ms = TimeMoves(stage, path);
  if (const std::string fault = check(stage); !fault.empty()) {
    std::fprintf(stderr, "bench_buttons: %s: %s\n", name, fault.c_str());
    return false;
  }
  const double median = MedianOf(ms);
  std::printf("%s, %zu moves\n", name, ms.size());
  std::printf("  ms_per_move=%.3f goal=%.1f %s (worst %.3f; first move %.1f)\n", median, kGoalMs,
              median <= kGoalMs ? "met" : "MISSED", *std::max_element(ms.begin(), ms.end()),
              first_ms);
  return true;
}

// What lies under the pointer at (x, y): "button", "nothing" or why the stage is not as built.
std::string Under(lumen::stage::Stage& stage, double x, double y) {
  stage.MouseMove(x, y);
  const lumen::stage::Clip* hovered = stage.Pointer().Hovered();
  return hovered == nullptr ? "nothing" : hovered->Button() ? "button" : "a clip";
}

std::string Expect(lumen::stage::Stage& stage, double x, double y, const std::string& what) {
  const std::string got = Under(stage, x, y);
  if (got == what) return {};
  return "at (" + std::to_string(x) + ", " + std::to_string(y) + ") the pointer finds " + got +
         ", not " + what;
}

}  // namespace

int main(int argc, char** argv) {
  const int moves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;

  // Round the disc, in and out through its wavy edge.
  std::vector<Point> around;
  for (int i = 0; i < moves; ++i) {
    const double t = 2 * M_PI * i / moves, r = 110 + 20 * std::sin(9 * t);
    around.push_back({kCentreX + r * std::cos(t), kCentreY + r * std::sin(t)});
  }
  const bool disc = Figure("one button, hit shape of 1,000,000 edges", DiscMovie(), around,
                           [](lumen::stage::Stage& stage) {
                             std::string fault = Expect(stage, kCentreX, kCentreY, "button");
                             if (fault.empty())
                               fault = Expect(stage, kCentreX + 128, kCentreY + 128, "nothing");
                             // Inside the waves' troughs and outside their crests.
                             if (fault.empty())
                               fault = Expect(stage, kCentreX, kCentreY + 122, "button");
                             if (fault.empty())
                               fault = Expect(stage, kCentreX - 128, kCentreY, "nothing");
                             return fault;
                           });

  // Diagonal sweeps over the grid, so nearly every move changes button.
  std::vector<Point> sweep;
  const double side = kGridSide * kGridPitch;
  for (int i = 0; i < moves; ++i) {
    const double t = static_cast<double>(i) / moves;
    sweep.push_back({1 + t * (side - 2), 1 + std::fmod(t * 7, 1.0) * (side - 2)});
  }
  const bool grid = Figure("10,000 buttons", GridMovie(), sweep, [](lumen::stage::Stage& stage) {
    std::string fault = Expect(stage, 2, 2, "button");
    if (fault.empty()) fault = Expect(stage, 4.5, 2, "nothing");
    if (fault.empty()) fault = Expect(stage, 497, 497, "button");
    return fault;
  });
  std::printf("  (ms figures are processor time of one core, median over the moves)\n");
  return disc && grid ? 0 : 1;
}
