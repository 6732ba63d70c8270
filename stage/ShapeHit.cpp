// Design: curves are split into short lines (a fixed count per curve, enough for a pointer), then
// fills count signed crossings of a ray to the right of the point (non-zero or even-odd, as the
// part says) and strokes measure the distance to each line. That distance is the sum of its
// horizontal and vertical parts, as if a diamond pen drew the stroke: a point beside a slanted
// line, within half the width square to it but not along the axes, is not hit. The shape's
// bounds are checked first, so a miss costs one comparison.
//
// A shape of many lines is walked through bands: its bounds are cut into horizontal bands and
// each line is listed in every band its rows (widened by half the stroke for strokes) touch. A
// line crosses a point's ray only if the point's row lies within the line's rows, so the point's
// band lists every line that can count, and the answers equal the plain walk's. The bands'
// members are bounded by a few per line: lines spanning many bands make for fewer, taller bands.

#include "stage/ShapeHit.h"

#include <algorithm>
#include <cmath>

namespace lumen::stage {

namespace {

constexpr int kCurveSteps = 8;
constexpr size_t kMaxBands = size_t{1} << 16;
constexpr size_t kLinesPerBand = 4;    // on average, when the lines are short
constexpr size_t kMembersPerLine = 4;  // the most band members per line, on average

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

// The winding a line adds to a ray from `p` to the right. A fill holds the points on its left and
// bottom edges, not those on its right and top edges.
int Crossing(render::Point p, render::Point a, render::Point b) {
  if ((a.y < p.y) == (b.y < p.y)) return 0;
  const float x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
  if (!(x > p.x)) return 0;
  return b.y > a.y ? 1 : -1;
}

bool Inside(const render::ShapePart& part, int winding) {
  return part.rule == render::FillRule::EvenOdd ? (winding & 1) != 0 : winding != 0;
}

// |x| + |y| to the nearest point of the line: the sum bends only at the line's ends and where
// it passes level with or plumb above `p`, so the least is at one of those.
float PenDistance(render::Point p, render::Point a, render::Point b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const auto at = [&](float t) {
    return std::fabs(a.x + t * dx - p.x) + std::fabs(a.y + t * dy - p.y);
  };
  float least = std::min(at(0), at(1));
  if (dx != 0) least = std::min(least, at(std::clamp((p.x - a.x) / dx, 0.0f, 1.0f)));
  if (dy != 0) least = std::min(least, at(std::clamp((p.y - a.y) / dy, 0.0f, 1.0f)));
  return least;
}

float HalfWidth(const render::ShapePart& part) {
  return std::max(part.line.width, 20.0f) / 2;
}

bool FillContains(const render::ShapePart& part, render::Point p) {
  int winding = 0;
  ForSegments(part.path, [&](render::Point a, render::Point b) { winding += Crossing(p, a, b); });
  return Inside(part, winding);
}

bool StrokeContains(const render::ShapePart& part, render::Point p) {
  const float half = HalfWidth(part);
  bool hit = false;
  ForSegments(part.path, [&](render::Point a, render::Point b) {
    if (!hit && PenDistance(p, a, b) <= half) hit = true;
  });
  return hit;
}

bool InBounds(const render::Rect& b, render::Point p) {
  return p.x >= b.x_min && p.x <= b.x_max && p.y >= b.y_min && p.y <= b.y_max;
}

}  // namespace

bool ShapeContains(const render::ShapeGeometry& shape, render::Point p) {
  if (!InBounds(shape.bounds, p)) return false;
  for (const render::ShapePart& part : shape.parts) {
    const bool hit = part.kind == render::ShapePart::Kind::Fill ? FillContains(part, p)
                                                                : StrokeContains(part, p);
    if (hit) return true;
  }
  return false;
}

size_t ShapeHitBands::LineCount(const render::ShapeGeometry& shape) {
  size_t count = 0;
  for (const render::ShapePart& part : shape.parts) {
    for (const render::PathVerb verb : part.path.verbs) {
      if (verb == render::PathVerb::LineTo) count += 1;
      if (verb == render::PathVerb::QuadTo) count += kCurveSteps;
    }
  }
  return count;
}

ShapeHitBands::ShapeHitBands(const render::ShapeGeometry& shape) : bounds_(shape.bounds) {
  lines_.reserve(LineCount(shape));
  for (const render::ShapePart& part : shape.parts) {
    ForSegments(part.path, [&](render::Point a, render::Point b) { lines_.push_back({a, b}); });
    const bool stroke = part.kind == render::ShapePart::Kind::Stroke;
    parts_.push_back({static_cast<uint32_t>(lines_.size()), stroke,
                      part.rule == render::FillRule::EvenOdd, stroke ? HalfWidth(part) : 0});
  }
  Sort(std::clamp<size_t>(lines_.size() / kLinesPerBand, 1, kMaxBands));
}

size_t ShapeHitBands::BandOf(float y) const {
  const float at = (y - bounds_.y_min) * band_scale_;
  if (!(at >= 0)) return 0;
  return at >= static_cast<float>(bands_ - 1) ? bands_ - 1 : static_cast<size_t>(at);
}

template <typename Visit>
void ShapeHitBands::ForBands(Visit&& visit) const {
  size_t line = 0;
  for (const Part& part : parts_) {
    // Rows a stroke's line reaches, with room for the distance's rounding.
    const float reach = part.stroke ? part.half_width * 1.01f + 1 : 0;
    for (; line < part.end; ++line) {
      const Line& l = lines_[line];
      visit(line, BandOf(std::min(l.a.y, l.b.y) - reach), BandOf(std::max(l.a.y, l.b.y) + reach));
    }
  }
}

void ShapeHitBands::Sort(size_t bands) {
  const float height = bounds_.y_max - bounds_.y_min;
  // Halves the band count until the members fit their bound.
  for (;; bands = std::max<size_t>(bands / 2, 1)) {
    bands_ = bands;
    band_scale_ = height > 0 ? static_cast<float>(bands) / height : 0;
    size_t members = 0;
    ForBands([&](size_t, size_t first, size_t last) { members += last - first + 1; });
    if (bands == 1 || members <= kMembersPerLine * lines_.size()) break;
  }
  std::vector<uint32_t> counts(bands, 0);
  ForBands([&](size_t, size_t first, size_t last) {
    for (size_t b = first; b <= last; ++b) ++counts[b];
  });
  starts_.assign(bands + 1, 0);
  for (size_t b = 0; b < bands; ++b) starts_[b + 1] = starts_[b] + counts[b];
  members_.resize(starts_.back());
  std::vector<uint32_t> next(starts_.begin(), starts_.end() - 1);
  ForBands([&](size_t line, size_t first, size_t last) {
    for (size_t b = first; b <= last; ++b) members_[next[b]++] = static_cast<uint32_t>(line);
  });
}

bool ShapeHitBands::Contains(render::Point p) const {
  if (!InBounds(bounds_, p)) return false;
  const size_t band = BandOf(p.y);
  // Members are in line order, so each part's lines come together.
  size_t part = 0;
  int winding = 0;
  for (uint32_t m = starts_[band]; m < starts_[band + 1]; ++m) {
    const uint32_t line = members_[m];
    if (line >= parts_[part].end) {
      if (Filled(parts_[part], winding)) return true;
      winding = 0;
      while (line >= parts_[part].end) ++part;
    }
    const Part& current = parts_[part];
    const Line& l = lines_[line];
    if (!current.stroke) {
      winding += Crossing(p, l.a, l.b);
    } else if (PenDistance(p, l.a, l.b) <= current.half_width) {
      return true;
    }
  }
  return part < parts_.size() && Filled(parts_[part], winding);
}

bool ShapeHitBands::Filled(const Part& part, int winding) {
  return !part.stroke && (part.even_odd ? winding & 1 : winding) != 0;
}

size_t ShapeHitBands::Bytes() const {
  return lines_.size() * sizeof(Line) + parts_.size() * sizeof(Part) +
         (starts_.size() + members_.size()) * sizeof(uint32_t);
}

}  // namespace lumen::stage
