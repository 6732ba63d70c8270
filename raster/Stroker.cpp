// Design: instead of tracing the outline of a stroke (which needs care at every self-overlap),
// each segment, join and cap becomes its own small convex piece turned to the same orientation;
// the non-zero rule then fills their union exactly. Joins only fill the wedge on the outer side
// of a turn, where the segment quads leave a gap. Round joins and caps are circular arcs drawn
// as quadratic curves of at most 45 degrees and cut into lines like any other curve, so their
// points lie on the circle where the reference pictures put them.

#include "raster/Stroker.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace lumen::raster {

using render::LineCap;
using render::LineJoin;
using render::Point;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kArcTolerance = 0.1;  // device pixels
constexpr double kArcStep = kPi / 4;   // the widest arc one quadratic curve draws
constexpr float kMaxHalfWidth = 1e6f;  // device pixels

double Length(double x, double y) {
  return std::sqrt(x * x + y * y);
}

}  // namespace

void Stroker::Stroke(const Point* points, size_t n, bool closed, const StrokeStyle& style,
                     EdgeList& out) {
  style_ = style;
  if (!(style_.half_width > 0) || !std::isfinite(style_.half_width)) return;
  // Offsets far beyond any canvas would swallow the path's own coordinates in float rounding
  // and collapse the segment quads; such a pen covers the canvas at this width already.
  style_.half_width = std::min(style_.half_width, kMaxHalfWidth);
  pts_.clear();
  for (size_t i = 0; i < n; ++i) {
    if (!pts_.empty() && pts_.back().x == points[i].x && pts_.back().y == points[i].y) continue;
    pts_.push_back(points[i]);
  }
  if (closed && pts_.size() > 1 && pts_.front().x == pts_.back().x &&
      pts_.front().y == pts_.back().y) {
    pts_.pop_back();
  }
  if (pts_.empty()) return;
  if (pts_.size() == 1) {  // a dot: drawn by its caps as if it ran left to right
    const Point p = pts_[0];
    Cap(p, {p.x + 1, p.y}, style_.start_cap, out);
    Cap(p, {p.x - 1, p.y}, style_.end_cap, out);
    return;
  }
  closed = closed && pts_.size() > 2;
  const size_t count = pts_.size();
  const size_t segments = closed ? count : count - 1;
  for (size_t i = 0; i < segments; ++i) Segment(pts_[i], pts_[(i + 1) % count], out);
  for (size_t i = closed ? 0 : 1; i < (closed ? count : count - 1); ++i) {
    Join(pts_[(i + count - 1) % count], pts_[i], pts_[(i + 1) % count], out);
  }
  if (!closed) {
    Cap(pts_[0], pts_[1], style_.start_cap, out);
    Cap(pts_[count - 1], pts_[count - 2], style_.end_cap, out);
  }
}

void Stroker::Segment(Point p, Point q, EdgeList& out) {
  const double len = Length(double{q.x} - p.x, double{q.y} - p.y);
  if (!(len > 0)) return;
  const double nx = -(double{q.y} - p.y) / len * style_.half_width;
  const double ny = (double{q.x} - p.x) / len * style_.half_width;
  piece_ = {{static_cast<float>(p.x + nx), static_cast<float>(p.y + ny)},
            {static_cast<float>(q.x + nx), static_cast<float>(q.y + ny)},
            {static_cast<float>(q.x - nx), static_cast<float>(q.y - ny)},
            {static_cast<float>(p.x - nx), static_cast<float>(p.y - ny)}};
  Piece(out);
}

void Stroker::Join(Point prev, Point at, Point next, EdgeList& out) {
  const double ax = double{at.x} - prev.x, ay = double{at.y} - prev.y;
  const double bx = double{next.x} - at.x, by = double{next.y} - at.y;
  const double la = Length(ax, ay), lb = Length(bx, by);
  if (!(la > 0 && lb > 0)) return;
  const double cross = ax * by - ay * bx, dot = (ax * bx + ay * by) / (la * lb);
  if (cross == 0 && dot > 0) return;  // straight on: the quads already meet
  // Normals on the outer side of the turn.
  const double side = cross > 0 ? -1 : 1, r = style_.half_width;
  const double n0x = -ay / la * r * side, n0y = ax / la * r * side;
  const double n1x = -by / lb * r * side, n1y = bx / lb * r * side;
  const Point a{static_cast<float>(at.x + n0x), static_cast<float>(at.y + n0y)};
  const Point b{static_cast<float>(at.x + n1x), static_cast<float>(at.y + n1y)};
  if (style_.join == LineJoin::Round) {
    const double from = std::atan2(n0y, n0x);
    double sweep = std::atan2(n1y, n1x) - from;
    if (sweep > kPi) sweep -= 2 * kPi;
    if (sweep < -kPi) sweep += 2 * kPi;
    Wedge(at, from, sweep, out);
    return;
  }
  piece_ = {at, a};
  if (style_.join == LineJoin::Miter) {
    const Offset in{a, ax / la, ay / la}, out_back{b, -bx / lb, -by / lb};
    MiterPoint(at, in, out_back, std::sqrt(std::max(0.0, (1 + dot) / 2)));
  }
  piece_.push_back(b);
  Piece(out);
}

// A miter whose point lies within `limit` line widths of the vertex is drawn whole. A longer one
// is cut off square to the bisector, limit x width / 4 from the vertex: the reference's pictures
// put the cut of a 45-degree joint at limit 1 between 0.48 and 0.62 half-widths out. Where the
// cut would fall inside the bevel, the bevel stands.
void Stroker::MiterPoint(Point at, const Offset& in, const Offset& out_back, double cos_half) {
  const double r = style_.half_width;
  const double mx = (in.from.x - at.x) + (out_back.from.x - at.x);
  const double my = (in.from.y - at.y) + (out_back.from.y - at.y);
  const double ml = Length(mx, my);
  if (!(cos_half > 0 && ml > 0)) return;
  const double ux = mx / ml, uy = my / ml;  // the bisector, outwards
  if (1 / cos_half <= 2 * style_.miter_limit) {
    const double reach = r / cos_half;
    piece_.push_back(
        {static_cast<float>(at.x + ux * reach), static_cast<float>(at.y + uy * reach)});
    return;
  }
  const double cut = style_.miter_limit * r / 2;
  const auto along = [&](const Offset& edge) {
    const double start = (edge.from.x - at.x) * ux + (edge.from.y - at.y) * uy;
    const double t = (cut - start) / (edge.dx * ux + edge.dy * uy);
    return std::pair{t, Point{static_cast<float>(edge.from.x + edge.dx * t),
                              static_cast<float>(edge.from.y + edge.dy * t)}};
  };
  const auto [t_in, p_in] = along(in);
  const auto [t_out, p_out] = along(out_back);
  if (!(t_in > 0 && t_out > 0)) return;
  piece_.push_back(p_in);
  piece_.push_back(p_out);
}

void Stroker::Cap(Point at, Point away, LineCap cap, EdgeList& out) {
  const double dx = double{at.x} - away.x, dy = double{at.y} - away.y, len = Length(dx, dy);
  if (cap == LineCap::None || !(len > 0)) return;
  const double r = style_.half_width;
  const double ux = dx / len * r, uy = dy / len * r;  // outwards along the line
  if (cap == LineCap::Round) {
    Wedge(at, std::atan2(-ux, uy), kPi, out);
    return;
  }
  piece_ = {{static_cast<float>(at.x - uy), static_cast<float>(at.y + ux)},
            {static_cast<float>(at.x - uy + ux), static_cast<float>(at.y + ux + uy)},
            {static_cast<float>(at.x + uy + ux), static_cast<float>(at.y - ux + uy)},
            {static_cast<float>(at.x + uy), static_cast<float>(at.y - ux)}};
  Piece(out);
}

// A pie slice of the pen around `center`, from angle `from` turning by `sweep` (at most a
// full turn).
void Stroker::Wedge(Point center, double from, double sweep, EdgeList& out) {
  const double r = style_.half_width;
  const double count = std::ceil(std::fabs(sweep) / kArcStep);
  const int arcs = count >= 1 ? static_cast<int>(std::min(count, 8.0)) : 1;  // also NaN
  const double step = sweep / arcs, reach = r / std::cos(step / 2);
  const auto on = [&](double radius, double angle) {
    return Point{static_cast<float>(center.x + radius * std::cos(angle)),
                 static_cast<float>(center.y + radius * std::sin(angle))};
  };
  arc_.verbs.clear();
  arc_.points.clear();
  arc_.MoveTo(on(r, from));
  for (int i = 0; i < arcs; ++i) {
    const double a0 = from + step * i;
    arc_.QuadTo(on(reach, a0 + step / 2), on(r, a0 + step));
  }
  // A pen thousands of pixels wide is cut coarser, at most about 64 lines an arc, so that a
  // hostile width cannot multiply the edges of every join.
  const double tolerance = std::max(kArcTolerance, r * 2e-5);
  arc_lines_.Clear();
  Flatten(arc_, static_cast<float>(tolerance), arc_lines_);
  piece_.assign(1, center);
  piece_.insert(piece_.end(), arc_lines_.points.begin(), arc_lines_.points.end());
  Piece(out);
}

void Stroker::Piece(EdgeList& out) {
  double area = 0;
  for (size_t i = 0, n = piece_.size(); i < n; ++i) {
    const Point& p = piece_[i];
    const Point& q = piece_[(i + 1) % n];
    area += double{p.x} * q.y - double{q.x} * p.y;
  }
  if (area == 0) return;
  if (area < 0) std::reverse(piece_.begin(), piece_.end());
  out.AddPolygon(piece_.data(), piece_.size());
}

}  // namespace lumen::raster
