// Design: a quadratic's chords stray from it by at most |p0 - 2c + p1| / (4 n^2) when it is cut
// into n equal parameter steps, so n follows from the tolerance directly; no recursion, and the
// count is capped so hostile coordinates cannot blow up the point list.

#include "raster/Flatten.h"

#include <algorithm>
#include <cmath>

namespace lumen::raster {

using render::PathVerb;
using render::Point;

int QuadSegments(Point p0, Point c, Point p1, float tolerance) {
  const double dx = double{p0.x} - 2.0 * c.x + p1.x, dy = double{p0.y} - 2.0 * c.y + p1.y;
  const double dd = std::sqrt(dx * dx + dy * dy);
  const double n = std::ceil(std::sqrt(dd / (4.0 * std::max(tolerance, 1e-6f))));
  if (!(n >= 1)) return 1;  // also NaN
  return static_cast<int>(std::min(n, 256.0));
}

namespace {

void EndContour(Polylines& out) {
  if (out.contours.empty()) return;
  auto& c = out.contours.back();
  c.end = static_cast<uint32_t>(out.points.size());
  const Point& first = out.points[c.begin];
  const Point& last = out.points[c.end - 1];
  c.closed = c.end - c.begin > 2 && first.x == last.x && first.y == last.y;
}

}  // namespace

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
    const int n = QuadSegments(p0, c, p1, tolerance);
    for (int i = 1; i < n; ++i) {
      const float t = static_cast<float>(i) / static_cast<float>(n), u = 1 - t;
      out.cuts.push_back(static_cast<uint32_t>(out.points.size()));
      out.points.push_back({u * u * p0.x + 2 * u * t * c.x + t * t * p1.x,
                            u * u * p0.y + 2 * u * t * c.y + t * t * p1.y});
    }
    out.points.push_back(p1);
  }
  if (open) EndContour(out);
}

}  // namespace lumen::raster
