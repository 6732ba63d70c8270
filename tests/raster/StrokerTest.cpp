#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "raster/Flatten.h"
#include "raster/Stroker.h"
#include "tests/raster/CoverageGrid.h"

namespace lumen::raster::test {
namespace {

using render::LineCap;
using render::LineJoin;

constexpr int kSize = 64;

// Stroked area in pixels (total coverage / 255), measured with exact-area coverage.
double StrokedArea(const std::vector<Point>& pts, bool closed, const StrokeStyle& style) {
  EdgeList edges;
  edges.Reset(kSize, kSize);
  Stroker().Stroke(pts.data(), pts.size(), closed, style, edges);
  CoverageGrid out(kSize, kSize);
  Rasterizer().Fill(edges, FillRule::NonZero, CoverageMethod::ExactArea, 0, out);
  return static_cast<double>(out.Sum()) / 255;
}

StrokeStyle Style(float width, LineCap cap, LineJoin join = LineJoin::Round, float limit = 3) {
  StrokeStyle s;
  s.half_width = width / 2;
  s.start_cap = s.end_cap = cap;
  s.join = join;
  s.miter_limit = limit;
  return s;
}

struct AreaCase {
  const char* name;
  std::vector<Point> pts;
  bool closed;
  StrokeStyle style;
  double area;
  double tolerance;
};

const double kPi = std::numbers::pi;
// Round ends are cut into lines inside their circle, each within 0.1 px of it: their area falls
// short of the circle's by less than the arc's length times 0.1. Half that most, for a circle
// of radius `r`: the expected area is the circle's less it, give or take it.
constexpr double RoundShortfall(double r) {
  return 2 * std::numbers::pi * r * 0.1 / 2;
}

const AreaCase kAreas[] = {
    {"cap_none", {{10, 20}, {50, 20}}, false, Style(8, LineCap::None), 40 * 8, 0.5},
    {"cap_square", {{10, 20}, {50, 20}}, false, Style(8, LineCap::Square), 48 * 8, 0.5},
    {"cap_round",
     {{10, 20}, {50, 20}},
     false,
     Style(8, LineCap::Round),
     40 * 8 + kPi * 16 - RoundShortfall(4),
     RoundShortfall(4)},
    {"diagonal_cap_none", {{10, 10}, {40, 50}}, false, Style(6, LineCap::None), 50 * 6, 0.5},
    {"dot_round",
     {{30, 30}},
     false,
     Style(10, LineCap::Round),
     kPi * 25 - RoundShortfall(5),
     RoundShortfall(5)},
    {"dot_square", {{30, 30}}, false, Style(10, LineCap::Square), 100, 0.5},
    {"dot_none", {{30, 30}}, false, Style(10, LineCap::None), 0, 0},
    // A closed square: miter joins make the outline exactly the outer square minus the inner.
    {"closed_miter",
     {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}},
     true,
     Style(4, LineCap::Round, LineJoin::Miter),
     44 * 44 - 36 * 36,
     0.5},
    {"closed_bevel",
     {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}},
     true,
     Style(4, LineCap::Round, LineJoin::Bevel),
     44 * 44 - 36 * 36 - 4 * 2,
     0.5},
    {"closed_round",
     {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}},
     true,
     Style(4, LineCap::Round, LineJoin::Round),
     44 * 44 - 36 * 36 - 4 * (4 - kPi),
     0.5},
    // A right angle's miter reaches sqrt 2 half-widths from the vertex, 0.71 line widths: a limit
    // of 0.75 widths keeps it whole, one of 0.7 bevels it.
    {"miter_within_limit",
     {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}},
     true,
     Style(4, LineCap::Round, LineJoin::Miter, 0.75f),
     44 * 44 - 36 * 36,
     0.5},
    {"miter_past_limit_bevels",
     {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}},
     true,
     Style(4, LineCap::Round, LineJoin::Miter, 0.7f),
     44 * 44 - 36 * 36 - 4 * 2,
     0.5},
    {"repeated_points_ignored",
     {{10, 20}, {10, 20}, {30, 20}, {30, 20}, {50, 20}},
     false,
     Style(8, LineCap::None),
     40 * 8,
     0.5},
};

class StrokeArea : public ::testing::TestWithParam<AreaCase> {};

TEST_P(StrokeArea, MatchesGeometry) {
  const AreaCase& c = GetParam();
  EXPECT_NEAR(StrokedArea(c.pts, c.closed, c.style), c.area, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Stroker, StrokeArea, ::testing::ValuesIn(kAreas),
                         [](const auto& p) { return std::string(p.param.name); });

// A 45-degree turn of a 16 px pen: its miter point lies 8 / sin 22.5 = 20.9 px out, past a limit
// of one width, so the miter is cut 16 / 4 = 4 px from the vertex. Beyond the bevel chord
// (8 sin 22.5 = 3.06 px out, 2 x 8 cos 22.5 = 14.78 px long) that adds the strip of the miter's
// triangle up to the cut, whose width shrinks linearly to 0 at the point: 13.51 px.
TEST(Stroker, AMiterPastItsLimitIsCutOffAQuarterOfLimitTimesWidthOut) {
  const std::vector<Point> turn = {{8, 40}, {48, 40}, {16, 8}};
  const double phi = kPi / 8, bevel = 8 * std::sin(phi), point = 8 / std::sin(phi);
  const double chord = 16 * std::cos(phi), at_cut = chord * (point - 4) / (point - bevel);
  const double strip = (chord + at_cut) / 2 * (4 - bevel);
  const double bevelled = StrokedArea(turn, false, Style(16, LineCap::None, LineJoin::Bevel));
  EXPECT_NEAR(StrokedArea(turn, false, Style(16, LineCap::None, LineJoin::Miter, 1)) - bevelled,
              strip, 0.05);
  // A limit that puts the cut inside the bevel leaves the bevel.
  EXPECT_NEAR(StrokedArea(turn, false, Style(16, LineCap::None, LineJoin::Miter, 0.5f)), bevelled,
              0.01);
}

TEST(Stroker, UnusableWidthsDrawNothing) {
  const std::vector<Point> line = {{10, 10}, {40, 40}};
  for (float w : {0.0f, -3.0f, NAN, INFINITY}) {
    EXPECT_EQ(StrokedArea(line, false, Style(w, LineCap::Round)), 0) << w;
  }
}

// Pens far wider than the canvas (arc steps then need capping) cover all of it.
TEST(Stroker, HugeWidthsCoverTheCanvas) {
  const std::vector<Point> bend = {{10, 10}, {40, 40}, {10, 50}};
  for (LineJoin join : {LineJoin::Round, LineJoin::Miter, LineJoin::Bevel}) {
    EXPECT_NEAR(StrokedArea(bend, false, Style(1e30f, LineCap::Round, join)), kSize * kSize, 0.01);
  }
}

// A sharp zigzag overlaps itself at every turn: the non-zero union must still cover each pixel
// at most once.
TEST(Stroker, OverlapsAreNotPaintedTwice) {
  EdgeList edges;
  edges.Reset(kSize, kSize);
  const std::vector<Point> zigzag = {{5, 5}, {60, 8}, {5, 11}, {60, 14}, {5, 17}};
  Stroker().Stroke(zigzag.data(), zigzag.size(), false,
                   Style(9, LineCap::Round, LineJoin::Miter, 10), edges);
  CoverageGrid out(kSize, kSize);
  Rasterizer().Fill(edges, FillRule::NonZero, CoverageMethod::SampledGrid, 4, out);
  EXPECT_EQ(out.At(30, 10), 255);
  EXPECT_EQ(out.At(30, 40), 0);
}

TEST(Flatten, SegmentCountFollowsTheTolerance) {
  EXPECT_EQ(QuadSegments({0, 0}, {5, 0}, {10, 0}, 0.1f), 1);        // a straight "curve"
  EXPECT_EQ(QuadSegments({0, 0}, {50, 0.15f}, {100, 0}, 0.1f), 1);  // strays 0.075 from its chord
  EXPECT_GT(QuadSegments({0, 0}, {200, 0}, {100, 0}, 0.1f), 1);     // runs past its end and back
  const int coarse = QuadSegments({0, 0}, {50, 100}, {100, 0}, 1.0f);
  const int fine = QuadSegments({0, 0}, {50, 100}, {100, 0}, 0.01f);
  EXPECT_GT(fine, coarse * 5);
  EXPECT_EQ(QuadSegments({0, 0}, {1e30f, 1e30f}, {2e30f, 0}, 0.1f), 256);
  EXPECT_EQ(QuadSegments({0, 0}, {NAN, 0}, {0, 1}, 0.1f), 1);
}

Polylines FlattenOne(Point p0, Point c, Point p1, float tolerance) {
  render::Path path;
  path.MoveTo(p0);
  path.QuadTo(c, p1);
  Polylines out;
  Flatten(path, tolerance, out);
  return out;
}

double DistanceToPolyline(Point p, const std::vector<Point>& line) {
  double best = INFINITY;
  for (size_t k = 0; k + 1 < line.size(); ++k) {
    const double dx = line[k + 1].x - line[k].x, dy = line[k + 1].y - line[k].y;
    const double len2 = dx * dx + dy * dy;
    const double u =
        len2 > 0 ? std::clamp(((p.x - line[k].x) * dx + (p.y - line[k].y) * dy) / len2, 0.0, 1.0)
                 : 0.0;
    best = std::min(best, std::hypot(p.x - line[k].x - u * dx, p.y - line[k].y - u * dy));
  }
  return best;
}

// Curves that do not turn back along their chord stay within the tolerance of their lines
// everywhere, however the cuts are spaced.
TEST(Flatten, CurvesStayWithinToleranceOfTheirLines) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> coord(-500, 500);
  for (int tested = 0; tested < 50;) {
    const Point p0{coord(rng), coord(rng)}, c{coord(rng), coord(rng)}, p1{coord(rng), coord(rng)};
    const double dx = p1.x - p0.x, dy = p1.y - p0.y;
    const double along = ((c.x - p0.x) * dx + (c.y - p0.y) * dy) / (dx * dx + dy * dy);
    if (along < 0 || along > 1) continue;
    ++tested;
    const Polylines out = FlattenOne(p0, c, p1, 0.25f);
    ASSERT_EQ(out.contours.size(), 1u);
    for (int k = 0; k <= 400; ++k) {
      const double t = k / 400.0, u = 1 - t;
      const Point q{static_cast<float>(u * u * p0.x + 2 * u * t * c.x + t * t * p1.x),
                    static_cast<float>(u * u * p0.y + 2 * u * t * c.y + t * t * p1.y)};
      ASSERT_LE(DistanceToPolyline(q, out.points), 0.2525) << tested << " at " << t;
    }
  }
}

// Cuts crowd where a curve bends and spread where it is nearly straight, so a lopsided curve
// needs fewer lines than equal parameter steps would.
TEST(Flatten, CutsCrowdWhereTheCurveBends) {
  const Polylines out = FlattenOne({0, 0}, {100, 0}, {100, 10}, 0.1f);  // bends near its end
  ASSERT_GE(out.points.size(), 4u);
  for (size_t k = 1; k + 1 < out.points.size(); ++k) {
    const auto length = [&](size_t i) {
      return std::hypot(out.points[i + 1].x - out.points[i].x,
                        out.points[i + 1].y - out.points[i].y);
    };
    EXPECT_LT(length(k), length(k - 1)) << k;
  }
  // Equal steps stray |p0 - 2c + p1| / (4 n^2): 16 steps for this curve.
  EXPECT_LT(out.points.size() - 1, 12u);
}

TEST(Flatten, VerbsWithoutPointsEndThePath) {
  render::Path path;
  path.MoveTo({0, 0});
  path.LineTo({10, 0});
  path.verbs.push_back(render::PathVerb::QuadTo);  // its two points are missing
  path.verbs.push_back(render::PathVerb::LineTo);
  Polylines out;
  Flatten(path, 0.1f, out);
  ASSERT_EQ(out.contours.size(), 1u);
  EXPECT_EQ(out.points.size(), 2u);
}

TEST(Flatten, ClosedContoursAreRecognised) {
  render::Path path;
  path.MoveTo({0, 0});
  path.LineTo({10, 0});
  path.LineTo({10, 10});
  path.LineTo({0, 0});
  path.MoveTo({20, 0});
  path.LineTo({30, 0});
  Polylines out;
  Flatten(path, 0.1f, out);
  ASSERT_EQ(out.contours.size(), 2u);
  EXPECT_TRUE(out.contours[0].closed);
  EXPECT_FALSE(out.contours[1].closed);
}

}  // namespace
}  // namespace lumen::raster::test
