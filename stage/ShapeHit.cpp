// Design: curves are split into short lines (a fixed count per curve, enough for a pointer), then
// fills count signed crossings of a ray to the right of the point (non-zero or even-odd, as the
// part says) and strokes measure the distance to each segment. The shape's bounds are checked
// first, so a miss costs one comparison.

#include "stage/ShapeHit.h"

#include <algorithm>
#include <cmath>

namespace lumen::stage {

namespace {

constexpr int kCurveSteps = 8;

render::Point Lerp(render::Point a, render::Point b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// Calls `segment(from, to)` for every line of the path, curves flattened.
template <typename Segment>
void ForSegments(const render::Path& path, Segment&& segment) {
  render::Point at{};
  size_t i = 0;
  for (const render::PathVerb verb : path.verbs) {
    if (verb == render::PathVerb::MoveTo) {
      if (i >= path.points.size()) return;
      at = path.points[i++];
    } else if (verb == render::PathVerb::LineTo) {
      if (i >= path.points.size()) return;
      segment(at, path.points[i]);
      at = path.points[i++];
    } else {
      if (i + 1 >= path.points.size()) return;
      const render::Point control = path.points[i], end = path.points[i + 1];
      i += 2;
      render::Point prev = at;
      for (int s = 1; s <= kCurveSteps; ++s) {
        const float t = static_cast<float>(s) / kCurveSteps;
        const render::Point next = Lerp(Lerp(at, control, t), Lerp(control, end, t), t);
        segment(prev, next);
        prev = next;
      }
      at = end;
    }
  }
}

bool FillContains(const render::ShapePart& part, render::Point p) {
  int winding = 0;
  ForSegments(part.path, [&](render::Point a, render::Point b) {
    if ((a.y <= p.y) == (b.y <= p.y)) return;
    const float x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
    if (x > p.x) winding += b.y > a.y ? 1 : -1;
  });
  return part.rule == render::FillRule::EvenOdd ? (winding & 1) != 0 : winding != 0;
}

float DistanceSquared(render::Point p, render::Point a, render::Point b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float length = dx * dx + dy * dy;
  float t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
  t = std::clamp(t, 0.0f, 1.0f);
  const float x = a.x + t * dx - p.x, y = a.y + t * dy - p.y;
  return x * x + y * y;
}

bool StrokeContains(const render::ShapePart& part, render::Point p) {
  const float half = std::max(part.line.width, 20.0f) / 2;
  bool hit = false;
  ForSegments(part.path, [&](render::Point a, render::Point b) {
    if (!hit && DistanceSquared(p, a, b) <= half * half) hit = true;
  });
  return hit;
}

}  // namespace

bool ShapeContains(const render::ShapeGeometry& shape, render::Point p) {
  const render::Rect& b = shape.bounds;
  if (!(p.x >= b.x_min && p.x <= b.x_max && p.y >= b.y_min && p.y <= b.y_max)) return false;
  for (const render::ShapePart& part : shape.parts) {
    const bool hit = part.kind == render::ShapePart::Kind::Fill ? FillContains(part, p)
                                                                : StrokeContains(part, p);
    if (hit) return true;
  }
  return false;
}

}  // namespace lumen::stage
