// Design: every quadratic is an affine image of a piece of the parabola y = x^2. A chord strays
// from its arc by about the square of the integral of sqrt(curvature) along the arc it spans, so
// cutting where that integral is evenly divided makes every segment stray alike: the fewest lines
// within the tolerance, short where the curve bends and long where it is nearly straight, as the
// reference pictures show. The integral and its inverse come from closed-form fits, so a curve
// costs a few square roots per cut and no recursion. The estimate holds while the curvature
// changes little along a segment; the tip of a curve that turns sharply back may stray further.
// A curve already within the tolerance of its chord stays one line; one whose control point lies
// on the chord's line (no parabola to map to) is cut into equal parameter steps. Counts are
// capped so hostile coordinates cannot blow up the point list.

#include "raster/Flatten.h"

#include <algorithm>
#include <cmath>

namespace lumen::raster {

using render::PathVerb;
using render::Point;

namespace {

constexpr double kMaxSegments = 256;

// Fits, good to a few percent, of F(x) = integral from 0 to x of (1 + 4u^2)^(-1/4) du (the
// square root of y = u^2's curvature along its length, up to a constant) and of its inverse.
double ParabolaIntegral(double x) {
  constexpr double kD = 0.67, kD4 = kD * kD * kD * kD;
  return x / (1 - kD + std::sqrt(std::sqrt(kD4 + 0.25 * x * x)));
}

double ParabolaIntegralInverse(double v) {
  constexpr double kB = 0.39;
  return v * (1 - kB + std::sqrt(kB * kB + 0.25 * v * v));
}

// How one curve is cut: `count` segments, the i-th cut at the parameter whose parabola integral
// is a0 + (a1 - a0) * i / count. Without a parabola (`uniform`), cuts are equal steps.
struct CurvePlan {
  int count = 1;
  bool uniform = true;
  double a0 = 0, a1 = 0;  // the integral at the ends
  double v0 = 0, v1 = 0;  // its inverse there: the ends' positions on the fitted parabola
};

int Capped(double n) {
  if (!(n >= 1)) return 1;  // also NaN
  return static_cast<int>(std::min(n, kMaxSegments));
}

// Equal parameter steps: chords stray at most |p0 - 2c + p1| / (4 n^2).
CurvePlan UniformPlan(double ddx, double ddy, double tolerance) {
  return {Capped(std::ceil(std::sqrt(std::hypot(ddx, ddy) / (4 * tolerance)))), true};
}

// Whether the curve strays no further than `tolerance` from its chord (half the control point's
// distance from it) without running past either end.
bool HugsChord(Point p0, Point c, Point p1, double tolerance) {
  const double chord_x = double{p1.x} - p0.x, chord_y = double{p1.y} - p0.y;
  const double to_x = double{c.x} - p0.x, to_y = double{c.y} - p0.y;
  const double chord = std::hypot(chord_x, chord_y);
  const double along = chord_x * to_x + chord_y * to_y;
  return chord > 0 && std::fabs(chord_x * to_y - chord_y * to_x) / (2 * chord) <= tolerance &&
         along >= 0 && along <= chord * chord;
}

CurvePlan Plan(Point p0, Point c, Point p1, float tolerance_in) {
  const double tolerance = std::max(double{tolerance_in}, 1e-6);
  if (HugsChord(p0, c, p1, tolerance)) return {};
  const double ddx = 2.0 * c.x - p0.x - p1.x, ddy = 2.0 * c.y - p0.y - p1.y;
  const double cross = (double{p1.x} - p0.x) * ddy - (double{p1.y} - p0.y) * ddx;
  if (cross == 0 || !std::isfinite(cross)) return UniformPlan(ddx, ddy, tolerance);
  // The ends' positions on the parabola, and how much larger than it the curve is drawn.
  const double x0 = ((double{c.x} - p0.x) * ddx + (double{c.y} - p0.y) * ddy) / cross;
  const double x1 = ((double{p1.x} - c.x) * ddx + (double{p1.y} - c.y) * ddy) / cross;
  const double scale = std::fabs(cross) / (std::hypot(ddx, ddy) * std::fabs(x1 - x0));
  CurvePlan plan;
  plan.a0 = ParabolaIntegral(x0);
  plan.a1 = ParabolaIntegral(x1);
  plan.v0 = ParabolaIntegralInverse(plan.a0);
  plan.v1 = ParabolaIntegralInverse(plan.a1);
  const double n = std::ceil(0.5 * std::fabs(plan.a1 - plan.a0) * std::sqrt(scale / tolerance));
  if (!std::isfinite(n) || plan.v1 == plan.v0 || !std::isfinite(plan.v1 - plan.v0)) {
    return UniformPlan(ddx, ddy, tolerance);
  }
  plan.count = Capped(n);
  plan.uniform = false;
  return plan;
}

// The parameter of cut i of plan.count, between 0 and 1.
double CutParameter(const CurvePlan& plan, int i) {
  const double f = static_cast<double>(i) / plan.count;
  if (plan.uniform) return f;
  const double v = ParabolaIntegralInverse(plan.a0 + (plan.a1 - plan.a0) * f);
  const double t = (v - plan.v0) / (plan.v1 - plan.v0);
  return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : f;
}

void EndContour(Polylines& out) {
  if (out.contours.empty()) return;
  auto& c = out.contours.back();
  c.end = static_cast<uint32_t>(out.points.size());
  const Point& first = out.points[c.begin];
  const Point& last = out.points[c.end - 1];
  c.closed = c.end - c.begin > 2 && first.x == last.x && first.y == last.y;
}

}  // namespace

int QuadSegments(Point p0, Point c, Point p1, float tolerance) {
  return Plan(p0, c, p1, tolerance).count;
}

void Flatten(const render::Path& path, float tolerance, Polylines& out) {
  size_t pi = 0;
  bool open = false;
  const auto& pts = path.points;
  for (PathVerb verb : path.verbs) {
    const size_t need = verb == PathVerb::QuadTo ? 2 : 1;
    if (pts.size() - pi < need) break;
    if (verb == PathVerb::MoveTo || !open) {
      if (open) EndContour(out);
      out.contours.push_back({static_cast<uint32_t>(out.points.size()), 0, false});
      open = true;
      if (verb == PathVerb::MoveTo) {
        out.points.push_back(pts[pi++]);
        continue;
      }
      out.points.push_back({0, 0});  // a path that starts without MoveTo starts at the origin
    }
    if (verb == PathVerb::LineTo) {
      out.points.push_back(pts[pi++]);
      continue;
    }
    const Point p0 = out.points.back(), c = pts[pi], p1 = pts[pi + 1];
    pi += 2;
    const CurvePlan plan = Plan(p0, c, p1, tolerance);
    for (int i = 1; i < plan.count; ++i) {
      const double t = CutParameter(plan, i), u = 1 - t;
      out.points.push_back({static_cast<float>(u * u * p0.x + 2 * u * t * c.x + t * t * p1.x),
                            static_cast<float>(u * u * p0.y + 2 * u * t * c.y + t * t * p1.y)});
    }
    out.points.push_back(p1);
  }
  if (open) EndContour(out);
}

}  // namespace lumen::raster
